// Where the output goes in the log folder, and when the current file is
// rotated: the current file is output.log, the rotated ones output.1.log
// (newest) to output.<keep>.log (oldest).
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// The log file's state as far as the plan needs it.
struct LogFileState {
    unsigned long long sizeBytes;  // what the current file holds
    bool atLineStart;              // its last byte ends a line, or it is empty
};

// How much of a chunk goes into the current file, and whether the file is
// rotated after that. Rotation happens before a write would take the file past
// the size, at the last line end that fits. A line already begun is finished
// in the same file, so a file may pass the size by the rest of one line; but
// no file passes twice the size: a line that long is cut there, and its
// rest begins the next file.
struct WriteStep {
    std::size_t bytes;
    bool rotateAfter;
    bool cutsLine = false;  // the rotation parts a line
};
WriteStep PlanWrite(const LogFileState& file, unsigned long long limitBytes, const std::string& chunk,
                    std::size_t offset);

// output.log for 0, output.<n>.log after.
std::wstring LogFileName(unsigned number);

// The renames that rotate the files, in the order to make them. output.log
// is moved aside first, so that when it cannot be moved (someone holds it
// open without sharing delete) nothing else has moved either; then the
// oldest kept file is replaced by the one before it, and so on, and the file
// moved aside becomes output.1.log. A step that fails after the first is
// undone by moving output.log back, so that no file is replaced before it
// has moved on. A step with an empty target deletes its file (keep 0:
// nothing is kept).
struct RenameStep {
    std::wstring from;
    std::wstring to;
};
std::vector<RenameStep> RotationSteps(unsigned keep);

// The renames that finish a rotation a run ended inside of (terminated at
// its stop timeout): output.log is moved aside, and the kept files from the
// oldest down may have moved up already, each leaving its number missing.
// Only the files below the first missing number move up, then the one moved
// aside becomes output.1.log, so that no file that moved on already is
// replaced; with none missing the oldest goes, as the rotation would have
// let it. exists(n): whether output.<n>.log is there. keep is at least 1.
std::vector<RenameStep> FinishingSteps(unsigned keep, const std::function<bool(unsigned)>& exists);
