// What `logs` prints of a service's log: the last lines of the current
// file, and then, following it, each new part as it is written, across the
// launcher's rotations. Pure: the platform layer reads the files.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Where the last `lines` lines of text start; a last line without its line
// end counts as a line. 0 lines: the end.
std::size_t TailStart(const std::string& text, std::size_t lines);

// The bytes [from, to) of a file: all of them, or fewer where they could not
// be read.
using ReadBytesFunction = std::function<std::string(std::uint64_t from, std::uint64_t to)>;

// The last `lines` lines of a file of `size` bytes, read back from its end a
// block at a time (64 KiB, then each twice the one before) until their
// first line end is in or the file's start is reached: a long log is never
// read whole for a few lines.
std::string ReadTail(std::uint64_t size, std::size_t lines, const ReadBytesFunction& read);

// The bytes [from, to) handed to write a block of at most kCopyBlockBytes at
// a time, so that a log that grew by gigabytes between two looks is never
// held whole; a read that comes short ends the copy.
constexpr std::uint64_t kCopyBlockBytes = 1024 * 1024;
void CopyRange(std::uint64_t from, std::uint64_t to, const ReadBytesFunction& read,
               const std::function<void(const std::string&)>& write);

// A log file as one look at it found it: its file index, which a rename
// keeps, its size, and the bytes it holds just before the offset followed.
// The index alone does not tell the file: a file system may give a new file
// the index of one deleted a moment before (Wine on Linux does), so the file
// followed is the one with its index that still holds the bytes printed last
// where they were.
struct LogFileSeen {
    bool exists;
    std::uint64_t id;
    std::uint64_t size;
    std::string mark{};  // as many bytes as the state's mark holds, fewer if the file is shorter
};

// How far the file being followed has been printed.
struct FollowState {
    bool known;  // false before anything was printed
    std::uint64_t id;
    std::uint64_t offset;
    std::string mark{};  // its last bytes before offset, at most kMarkBytes
};
constexpr std::uint64_t kMarkBytes = 64;

// Whether a look found the file followed: the file with its index that
// still holds its mark where it was read.
bool IsFollowed(const LogFileSeen& seen, const FollowState& state);

struct FollowRead {
    unsigned file;  // 0 for output.log, n for output.<n>.log
    std::uint64_t from;
    std::uint64_t to;
};

struct FollowPlan {
    std::vector<FollowRead> reads;  // in the order to print them
    FollowState next;
    bool lost;  // the file followed is gone (rotated past the kept files): a part may be missed
};

// The next step of following, from a look at the files: files[0] is
// output.log, files[n] output.<n>.log, looked at from the newest down as far
// as the one followed (or the first one missing). The file followed, once
// rotated, is finished from where it was left, the files rotated after it are
// printed whole, oldest first, then the new current file from its start; a
// current file that shrank in place is printed from its start. The next
// state's mark is left for the caller to read from the current file.
FollowPlan PlanFollow(const FollowState& state, const std::vector<LogFileSeen>& files);
