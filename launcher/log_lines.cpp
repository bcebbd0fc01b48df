#include "launcher/log_lines.h"

#include <cstdio>

std::string FormatUtcTime(const UtcTime& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", t.year % 10000, t.month % 100,
                  t.day % 100, t.hour % 100, t.minute % 100, t.second % 100, t.millisecond % 1000);
    return text;
}

std::string LinePrefix(const std::string& time, OutputStream stream) {
    return time + (stream == OutputStream::kOut ? " out: " : " err: ");
}

std::string MarkedPrefix(const std::string& time) {
    return time + " launcher: ";
}

std::string FrameChunk(FrameState& state, OutputStream stream, const std::string& chunk,
                       const std::string& time) {
    std::string framed;
    framed.reserve(chunk.size() + 32);
    if (state.midLine && state.lastStream != stream && !chunk.empty()) {
        framed += '\n';
        state.midLine = false;
    }
    std::size_t start = 0;
    while (start < chunk.size()) {
        if (!state.midLine) framed += LinePrefix(time, stream);
        std::size_t end = chunk.find('\n', start);
        end = end == std::string::npos ? chunk.size() : end + 1;
        framed.append(chunk, start, end - start);
        state.midLine = chunk[end - 1] != '\n';
        start = end;
    }
    if (!chunk.empty()) state.lastStream = stream;
    return framed;
}

// The text with its control characters spelled out as the setup program
// spells them: an argument holding a line feed would otherwise end the
// launcher's line early, and what followed it could be taken for the
// program's output, or for another line of the launcher's.
static std::string Visible(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F) {
            out += c;
        } else if (c == '\t') {
            out += "<TAB>";
        } else if (c == '\n') {
            out += "<LF>";
        } else if (c == '\r') {
            out += "<CR>";
        } else {
            char mark[16];
            std::snprintf(mark, sizeof mark, "<U+%04X>", static_cast<unsigned>(byte));
            out += mark;
        }
    }
    return out;
}

std::string MarkedLine(const std::string& time, const std::string& text, bool atLineStart) {
    return (atLineStart ? "" : "\n") + MarkedPrefix(time) + Visible(text) + "\n";
}

void CountLoss(LossCount& loss, unsigned long long bytes, unsigned long error) {
    if (bytes == 0) return;
    if (loss.lostBytes == 0) loss.error = error;
    loss.lostBytes += bytes;
}

std::string LossText(const LossCount& loss) {
    if (loss.lostBytes == 0) return "";
    return std::to_string(loss.lostBytes) + " bytes of output could not be written to the log and are lost"
           " (Windows error " + std::to_string(loss.error) + ")";
}
