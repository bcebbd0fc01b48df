// What goes into the log besides the program's bytes as they come: the
// optional prefix of each line (time and stream), the launcher's own marked
// lines, and the count of what could not be written.
#pragma once

#include <string>

enum class OutputStream { kOut, kErr };

// A UTC time in ISO 8601 with milliseconds: 2026-12-09T05:07:46.123Z.
struct UtcTime {
    unsigned year, month, day, hour, minute, second, millisecond;
};
std::string FormatUtcTime(const UtcTime& time);

// Where the program's output stands between two reads.
struct FrameState {
    bool midLine;             // the last byte framed did not end a line
    OutputStream lastStream;  // the stream that byte came from
};

// What each line of the program begins with: "<time> out: " or "<time> err: ".
std::string LinePrefix(const std::string& time, OutputStream stream);

// What each of the launcher's own lines begins with: "<time> launcher: ".
std::string MarkedPrefix(const std::string& time);

// The bytes of one read, each line prefixed with the time and its stream.
// A partial line is passed on at once; the next read of the same stream
// continues it without a prefix, while the other stream's read first ends
// it, so that every line in the log comes from one stream.
std::string FrameChunk(FrameState& state, OutputStream stream, const std::string& chunk,
                       const std::string& time);

// The launcher's own line, marked "launcher:" where a program's line, with
// timestamps on, is marked "out:" or "err:". atLineStart says whether the log
// ends a line now; if not, the program's partial line is ended first. The
// text's control characters are spelled out (<LF>, <TAB>, <U+0001>), so that
// it stays one line.
std::string MarkedLine(const std::string& time, const std::string& text, bool atLineStart);

// Output that could not be written: counted, and reported in one marked line
// once writing works again.
struct LossCount {
    unsigned long long lostBytes;
    unsigned long error;  // the first failure's Windows error code
};
void CountLoss(LossCount& loss, unsigned long long bytes, unsigned long error);
// The text of the line that reports the loss; empty when nothing was lost.
std::string LossText(const LossCount& loss);
