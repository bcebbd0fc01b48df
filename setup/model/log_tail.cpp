#include "setup/model/log_tail.h"

std::size_t TailStart(const std::string& text, std::size_t lines) {
    if (lines == 0) return text.size();
    std::size_t end = text.size();
    // A line end at the very end closes the last line; it starts none.
    if (end > 0 && text[end - 1] == '\n') --end;
    while (end > 0) {
        const std::size_t newline = text.rfind('\n', end - 1);
        if (newline == std::string::npos) return 0;
        if (--lines == 0) return newline + 1;
        end = newline;
    }
    return 0;
}

std::string ReadTail(std::uint64_t size, std::size_t lines, const ReadBytesFunction& read) {
    std::string tail;
    std::uint64_t from = size;
    std::uint64_t block = 64 * 1024;
    while (from > 0) {
        const std::uint64_t start = from > block ? from - block : 0;
        const std::string earlier = read(start, from);
        if (earlier.size() != from - start) break;  // what cannot be read ends the tail
        tail.insert(0, earlier);
        from = start;
        // Found once a line end starts it: what is earlier cannot move it.
        if (TailStart(tail, lines) > 0) break;
        block *= 2;
    }
    return tail.substr(TailStart(tail, lines));
}

void CopyRange(std::uint64_t from, std::uint64_t to, const ReadBytesFunction& read,
               const std::function<void(const std::string&)>& write) {
    while (from < to) {
        const std::uint64_t end = to - from > kCopyBlockBytes ? from + kCopyBlockBytes : to;
        const std::string bytes = read(from, end);
        write(bytes);
        if (bytes.size() != end - from) return;
        from = end;
    }
}

static FollowPlan StartOver(const FollowState& state, const LogFileSeen& current) {
    FollowPlan plan{{}, FollowState{true, current.id, current.size, ""}, state.known};
    if (current.size > 0) plan.reads.push_back({0, 0, current.size});
    return plan;
}

bool IsFollowed(const LogFileSeen& seen, const FollowState& state) {
    return state.known && seen.exists && seen.id == state.id && seen.size >= state.offset &&
           seen.mark == state.mark;
}

// The rest of the file followed, now files[n]; the files rotated after it
// whole, each once (a rotation during the look shows a file under two
// numbers); then the current file from its start.
static FollowPlan FinishRotated(const FollowState& state, const std::vector<LogFileSeen>& files,
                                unsigned n) {
    FollowPlan plan{{}, FollowState{false, 0, 0, ""}, false};
    if (files[n].size > state.offset) plan.reads.push_back({n, state.offset, files[n].size});
    for (unsigned m = n - 1; m > 0; --m) {
        bool seenNewer = false;
        for (unsigned k = 0; k < m; ++k) seenNewer = seenNewer || (files[k].exists && files[k].id == files[m].id);
        if (files[m].exists && files[m].size > 0 && !seenNewer) plan.reads.push_back({m, 0, files[m].size});
    }
    if (!files[0].exists) return plan;
    const FollowPlan rest = StartOver(FollowState{false, 0, 0, ""}, files[0]);
    plan.reads.insert(plan.reads.end(), rest.reads.begin(), rest.reads.end());
    plan.next = rest.next;
    return plan;
}

FollowPlan PlanFollow(const FollowState& state, const std::vector<LogFileSeen>& files) {
    const LogFileSeen current = files.empty() ? LogFileSeen{false, 0, 0, ""} : files[0];
    if (state.known && current.exists && current.id == state.id && current.size < state.offset) {
        return StartOver(FollowState{false, 0, 0, ""}, current);
    }
    if (IsFollowed(current, state)) {
        FollowPlan plan{{}, FollowState{true, current.id, current.size, ""}, false};
        if (current.size > state.offset) plan.reads.push_back({0, state.offset, current.size});
        return plan;
    }
    for (unsigned n = 1; n < files.size(); ++n) {
        if (IsFollowed(files[n], state)) return FinishRotated(state, files, n);
    }
    if (!current.exists) return FollowPlan{{}, state, false};
    return StartOver(state, current);
}
