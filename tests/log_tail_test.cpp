#include "setup/model/log_tail.h"

#include <algorithm>

#include <gtest/gtest.h>

namespace {

TEST(TailStart, FindsTheLastLinesWithOrWithoutAFinalLineEnd) {
    const struct {
        std::string text;
        std::size_t lines;
        std::string tail;
    } kCases[] = {
        {"a\nb\nc\n", 2, "b\nc\n"},
        {"a\nb\nc", 2, "b\nc"},
        {"a\nb\nc\n", 3, "a\nb\nc\n"},
        {"a\nb\nc\n", 50, "a\nb\nc\n"},
        {"a\nb\nc\n", 0, ""},
        {"", 5, ""},
        {"\n\n\n", 2, "\n\n"},
        {"one line", 1, "one line"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        EXPECT_EQ(c.text.substr(TailStart(c.text, c.lines)), c.tail);
    }
}

std::string Lines(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += "line " + std::to_string(100000 + i) + "\n";
    return text;  // 12 bytes a line
}

// The lines TailStart finds in the whole file, read from no further back
// than the blocks that hold them.
TEST(ReadTail, ReadsBackOnlyAsFarAsTheLinesGo) {
    const std::string kBlockEdge = "a\n" + std::string(65534, 'x') + "\n";
    const struct {
        const char* what;
        std::string text;
        std::size_t lines;
        std::uint64_t mostRead;
    } kCases[] = {
        {"few lines", Lines(20000), 3, 65536},
        {"more than a block", Lines(20000), 10000, 65536 * 3},
        {"more than there are", Lines(20000), 30000, 240000},
        {"no line end", std::string(100000, 'x'), 1, 100000},
        {"a line end first in the block", kBlockEdge, 1, 65536},
        {"past the line end first in the block", kBlockEdge, 2, 65537},
        {"short", "a\nb\nc", 2, 5},
        {"empty", "", 5, 0},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        std::uint64_t read = 0;
        const std::string tail =
            ReadTail(c.text.size(), c.lines, [&](std::uint64_t from, std::uint64_t to) {
                read += to - from;
                return c.text.substr(from, to - from);
            });
        EXPECT_EQ(tail, c.text.substr(TailStart(c.text, c.lines)));
        EXPECT_LE(read, c.mostRead);
    }
}

// A follow that finds gigabytes new holds one block of them at a time; a
// read that comes short (the file cut meanwhile) ends the copy there, so no
// part is skipped.
TEST(CopyRange, HandsOnBlocksOfBoundedSizeInOrder) {
    const std::string text = Lines(300000);  // some 2.2 MiB
    for (const std::uint64_t readable : {std::uint64_t(text.size()), std::uint64_t(1500000)}) {
        std::string copied;
        std::uint64_t mostRead = 0;
        CopyRange(7, text.size(),
                  [&](std::uint64_t from, std::uint64_t to) {
                      mostRead = std::max(mostRead, to - from);
                      return text.substr(from, (from < readable && readable < to ? readable : to) - from);
                  },
                  [&](const std::string& bytes) { copied += bytes; });
        EXPECT_EQ(copied.size(), readable - 7);
        EXPECT_TRUE(copied == text.substr(7, readable - 7));
        EXPECT_EQ(mostRead, kCopyBlockBytes);
    }
}

const LogFileSeen kNone{false, 0, 0, ""};

std::string Reads(const FollowPlan& plan) {
    std::string text;
    for (const FollowRead& read : plan.reads) {
        text += (read.file == 0 ? "current " : "rotated " + std::to_string(read.file) + " ") +
                std::to_string(read.from) + "-" + std::to_string(read.to) + ";";
    }
    return text;
}

// files: output.log, output.1.log, ... as the look found them.
TEST(PlanFollow, PrintsEachPartOnceAcrossRotations) {
    const struct {
        const char* what;
        FollowState state;
        std::vector<LogFileSeen> files;
        std::string reads;
        FollowState next;
        bool lost;
    } kCases[] = {
        {"grown", {true, 7, 100}, {{true, 7, 150}}, "current 100-150;", {true, 7, 150}, false},
        {"unchanged", {true, 7, 100}, {{true, 7, 100}}, "", {true, 7, 100}, false},
        {"rotated, new file written", {true, 7, 100}, {{true, 8, 30}, {true, 7, 120}},
         "rotated 1 100-120;current 0-30;", {true, 8, 30}, false},
        {"rotated, no new file yet", {true, 7, 100}, {kNone, {true, 7, 120}}, "rotated 1 100-120;",
         {false, 0, 0}, false},
        {"new file after waiting", {false, 0, 0}, {{true, 8, 10}, {true, 7, 120}}, "current 0-10;",
         {true, 8, 10}, false},
        {"rotated twice meanwhile", {true, 7, 100}, {{true, 9, 5}, {true, 8, 200}, {true, 7, 120}},
         "rotated 2 100-120;rotated 1 0-200;current 0-5;", {true, 9, 5}, false},
        {"rotated during the look", {true, 7, 100}, {{true, 8, 200}, {true, 8, 200}, {true, 7, 120}},
         "rotated 2 100-120;current 0-200;", {true, 8, 200}, false},
        {"rotated past the kept files", {true, 7, 100}, {{true, 9, 5}, {true, 8, 200}},
         "current 0-5;", {true, 9, 5}, true},
        {"shrank in place", {true, 7, 100}, {{true, 7, 40}}, "current 0-40;", {true, 7, 40}, false},
        {"no log yet", {false, 0, 0}, {kNone}, "", {false, 0, 0}, false},
        {"a new file given its index", {true, 7, 100, "ab"}, {{true, 7, 150, "xy"}},
         "current 0-150;", {true, 7, 150}, true},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        const FollowPlan plan = PlanFollow(c.state, c.files);
        EXPECT_EQ(Reads(plan), c.reads);
        EXPECT_EQ(plan.next.known, c.next.known);
        EXPECT_EQ(plan.next.id, c.next.id);
        EXPECT_EQ(plan.next.offset, c.next.offset);
        EXPECT_EQ(plan.lost, c.lost);
    }
}

}  // namespace
