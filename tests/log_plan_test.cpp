#include "launcher/log_plan.h"

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

struct PlanCase {
    unsigned long long size;
    bool atLineStart;
    unsigned long long limit;
    const char* chunk;
    WriteStep step;
};
const PlanCase kPlanCases[] = {
    {0, true, 10, "abc\n", {4, false}},
    {6, true, 10, "abc\n", {4, false}},      // exactly the size
    {7, true, 10, "ab\ncd\n", {3, true}},    // the last line end that fits
    {7, true, 10, "abcd\n", {0, true}},      // a new line that does not fit starts a new file
    {7, false, 10, "abcd\nef\n", {5, true}},  // a begun line is finished first
    {7, false, 10, "abcd", {4, false}},       // and may go on past the size
    {18, false, 10, "abcd\n", {2, true, true}},  // but is cut at twice the size
    {0, true, 10, "0123456789abcdef\n", {17, true}},
    {0, true, 10, "0123456789abcdefghijk\n", {20, true, true}},
    {20, false, 10, "x", {0, true, true}},
};

TEST(PlanWrite, RotatesAtTheLastLineEndThatFits) {
    for (const PlanCase& c : kPlanCases) {
        SCOPED_TRACE(testing::PrintToString(c.chunk) + " at " + std::to_string(c.size));
        const WriteStep step = PlanWrite(LogFileState{c.size, c.atLineStart}, c.limit, c.chunk, 0);
        EXPECT_EQ(step.bytes, c.step.bytes);
        EXPECT_EQ(step.rotateAfter, c.step.rotateAfter);
        EXPECT_EQ(step.cutsLine, c.step.cutsLine);
    }
}

// Numbered lines of varied length, read in chunks that cut them anywhere:
// the files together hold every byte once, in order; a file passes the size
// only by the rest of one line and never passes twice the size; a file ends
// a line unless a line that long was cut; and no file is rotated while the
// next line would still have fit.
TEST(PlanWrite, KeepsEveryLineWholeAndEveryFileNearItsSize) {
    std::mt19937 next(1209);
    for (const std::size_t limit : {1, 7, 64, 1000}) {
        std::string output;
        for (int n = 0; n < 3000; ++n) output += std::to_string(n) + std::string(next() % 90, 'x') + "\n";
        std::vector<std::string> files(1);
        LogFileState state{0, true};
        for (std::size_t at = 0; at < output.size();) {
            const std::string chunk = output.substr(at, 1 + next() % 300);
            at += chunk.size();
            for (std::size_t offset = 0; offset < chunk.size();) {
                const WriteStep step = PlanWrite(state, limit, chunk, offset);
                ASSERT_LE(step.bytes, chunk.size() - offset);
                files.back().append(chunk, offset, step.bytes);
                offset += step.bytes;
                state.sizeBytes = files.back().size();
                if (step.bytes > 0) state.atLineStart = chunk[offset - 1] == '\n';
                if (step.rotateAfter) files.emplace_back(), state.sizeBytes = 0;
            }
        }
        std::string joined;
        for (std::size_t i = 0; i < files.size(); ++i) {
            const std::string& file = files[i];
            SCOPED_TRACE("limit " + std::to_string(limit) + ": " + file);
            joined += file;
            EXPECT_LE(file.size(), 2 * limit);
            EXPECT_TRUE(file.size() <= limit || file.find('\n', limit) >= file.size() - 1);
            if (i + 1 == files.size()) continue;
            EXPECT_TRUE(file.back() == '\n' || file.size() == 2 * limit);
            const std::string& after = files[i + 1];
            const std::size_t firstLine = std::min(after.find('\n'), after.size() - 1) + 1;
            EXPECT_TRUE(file.size() >= limit || after.empty() || file.size() + firstLine > limit);
        }
        EXPECT_EQ(joined, output);
    }
}

TEST(RotationSteps, MovesTheCurrentFileAsideFirstThenEachOneUp) {
    const std::wstring aside = L"output.rotating.log";
    const std::vector<std::pair<unsigned, std::vector<std::wstring>>> cases = {
        {0, {L"output.log", L""}},
        {1, {L"output.log", aside, aside, L"output.1.log"}},
        {3, {L"output.log", aside, L"output.2.log", L"output.3.log", L"output.1.log", L"output.2.log", aside,
             L"output.1.log"}},
    };
    for (const auto& c : cases) {
        std::vector<std::wstring> flat;
        for (const RenameStep& step : RotationSteps(c.first)) flat.push_back(step.from), flat.push_back(step.to);
        EXPECT_EQ(flat, c.second);
    }
}

// A run terminated after any step of a rotation: the next run's finishing
// steps leave the files as the whole rotation would have, whatever number of
// kept files there were, and replace none that had moved on already.
TEST(FinishingSteps, LeaveTheFilesAsTheWholeRotationWould) {
    using Files = std::map<std::wstring, std::string>;
    const auto apply = [](Files& files, const RenameStep& step) {
        const auto from = files.find(step.from);
        if (from == files.end()) return;  // fewer rotations so far
        if (!step.to.empty()) files[step.to] = from->second;
        files.erase(from);
    };
    for (unsigned keep = 1; keep <= 5; ++keep) {
        for (unsigned kept = 0; kept <= keep; ++kept) {
            Files before = {{L"output.log", "current"}};
            for (unsigned n = 1; n <= kept; ++n) before[LogFileName(n)] = "old " + std::to_string(n);
            const std::vector<RenameStep> steps = RotationSteps(keep);
            Files whole = before;
            for (const RenameStep& step : steps) apply(whole, step);
            for (std::size_t done = 1; done < steps.size(); ++done) {
                SCOPED_TRACE(testing::Message()
                             << "keep " << keep << ", kept " << kept << ", steps done " << done);
                Files files = before;
                for (std::size_t i = 0; i < done; ++i) apply(files, steps[i]);
                const std::vector<RenameStep> finishing = FinishingSteps(
                    keep, [&files](unsigned n) { return files.count(LogFileName(n)) != 0; });
                for (std::size_t i = 1; i < finishing.size(); ++i) apply(files, finishing[i]);
                EXPECT_EQ(files, whole);
            }
        }
    }
}
