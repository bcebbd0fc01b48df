#include "launcher/log_lines.h"

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

using Reads = std::vector<std::pair<OutputStream, std::string>>;
constexpr OutputStream kOut = OutputStream::kOut;
constexpr OutputStream kErr = OutputStream::kErr;

struct FrameCase {
    Reads reads;
    std::string framed;  // the reads framed with the time "T"
};
const FrameCase kFrameCases[] = {
    {{{kOut, "a\nb\n"}}, "T out: a\nT out: b\n"},
    {{{kOut, "par"}, {kOut, "tial\n"}}, "T out: partial\n"},
    {{{kOut, "par"}, {kErr, "oops\n"}, {kOut, "tial\n"}}, "T out: par\nT err: oops\nT out: tial\n"},
    {{{kErr, "e\n"}, {kOut, ""}, {kErr, "x"}, {kOut, ""}, {kErr, "y\n"}}, "T err: e\nT err: xy\n"},
    {{{kOut, "\n\n"}}, "T out: \nT out: \n"},
    {{{kOut, "a\r\nb"}, {kErr, "c\n"}}, "T out: a\r\nT out: b\nT err: c\n"},
};

TEST(FrameChunk, PrefixesEachLineWithTimeAndStream) {
    for (const FrameCase& c : kFrameCases) {
        SCOPED_TRACE(c.framed);
        FrameState state{false, kOut};
        std::string framed;
        for (const auto& read : c.reads) framed += FrameChunk(state, read.first, read.second, "T");
        EXPECT_EQ(framed, c.framed);
    }
}

TEST(MarkedLine, StartsOnALineOfItsOwn) {
    EXPECT_EQ(MarkedLine("T", "program started (pid 7)", true), "T launcher: program started (pid 7)\n");
    EXPECT_EQ(MarkedLine("T", "stop seen", false), "\nT launcher: stop seen\n");
    EXPECT_EQ(MarkedLine("T", "started a\nT launcher: b\tc\r\x01\x7F\xC3\xA9", true),
              "T launcher: started a<LF>T launcher: b<TAB>c<CR><U+0001><U+007F>\xC3\xA9\n");
}

TEST(FormatUtcTime, WritesIsoTimeWithMilliseconds) {
    EXPECT_EQ(FormatUtcTime(UtcTime{2026, 1, 9, 5, 7, 46, 3}), "2026-01-09T05:07:46.003Z");
}

TEST(LossCount, AddsUpAndKeepsTheFirstError) {
    LossCount loss{0, 0};
    EXPECT_EQ(LossText(loss), "");
    CountLoss(loss, 0, 5);
    CountLoss(loss, 100, 112);
    CountLoss(loss, 23, 5);
    EXPECT_EQ(LossText(loss), "123 bytes of output could not be written to the log and are lost (Windows error 112)");
}
