#include "launcher/log_plan.h"

#include <algorithm>

WriteStep PlanWrite(const LogFileState& file, unsigned long long limitBytes, const std::string& chunk,
                    std::size_t offset) {
    const std::size_t left = chunk.size() - offset;
    const unsigned long long room = file.sizeBytes < limitBytes ? limitBytes - file.sizeBytes : 0;
    if (left <= room) return WriteStep{left, false};
    // The last line end that still fits under the size.
    const std::size_t fits = static_cast<std::size_t>(room);
    if (fits > 0) {
        const std::size_t end = chunk.rfind('\n', offset + fits - 1);
        if (end != std::string::npos && end >= offset) return WriteStep{end + 1 - offset, true};
    }
    // A new line that does not fit begins in a new file.
    if (file.atLineStart && file.sizeBytes > 0) return WriteStep{0, true};
    // The line begun here is finished here, up to twice the size.
    const unsigned long long cap = limitBytes > ~0ULL / 2 ? ~0ULL : 2 * limitBytes;
    const unsigned long long capRoom = file.sizeBytes < cap ? cap - file.sizeBytes : 0;
    const std::size_t end = chunk.find('\n', offset);
    if (end != std::string::npos && end + 1 - offset <= capRoom) return WriteStep{end + 1 - offset, true};
    if (end == std::string::npos && left <= capRoom) return WriteStep{left, false};
    return WriteStep{static_cast<std::size_t>(capRoom), true, true};
}

std::wstring LogFileName(unsigned number) {
    if (number == 0) return L"output.log";
    return L"output." + std::to_wstring(number) + L".log";
}

std::vector<RenameStep> RotationSteps(unsigned keep) {
    std::vector<RenameStep> steps;
    if (keep == 0) {
        steps.push_back(RenameStep{LogFileName(0), L""});
        return steps;
    }
    const std::wstring aside = L"output.rotating.log";
    steps.push_back(RenameStep{LogFileName(0), aside});
    for (unsigned n = keep; n > 1; --n) steps.push_back(RenameStep{LogFileName(n - 1), LogFileName(n)});
    steps.push_back(RenameStep{aside, LogFileName(1)});
    return steps;
}

std::vector<RenameStep> FinishingSteps(unsigned keep, const std::function<bool(unsigned)>& exists) {
    unsigned missing = 1;
    while (missing < keep && exists(missing)) ++missing;
    return RotationSteps(missing);
}
