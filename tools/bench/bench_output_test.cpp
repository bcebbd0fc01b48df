// Reading the writer's output back: a file that holds every flood line once,
// whole and in order, passes whatever pieces it is read in; one that lost,
// doubled or cut a line does not. Tick lines are taken across pieces.
#include "tools/bench/bench_output.h"

#include <gtest/gtest.h>

namespace {

std::string Flood(unsigned long long from, unsigned long long to) {
    std::string text;
    char line[kFloodLineBytes];
    for (unsigned long long i = from; i < to; ++i) {
        FloodLine(i, line);
        text.append(line, kFloodLineBytes);
    }
    return text;
}

TEST(CheckFlood, TellsAWholeFloodFromOneThatLostDoubledOrCutALine) {
    const std::string marked = "launcher: started\n";
    const std::string cut = Flood(0, 3).substr(0, kFloodLineBytes + 10) + Flood(3, 4);
    struct Case {
        const char* what;
        std::string text;
        unsigned long long next, others, broken;
    };
    const Case cases[] = {
        {"whole, between the launcher's lines", marked + Flood(0, 200) + marked, 200, 2, 0},
        {"a line lost", Flood(0, 5) + Flood(6, 9), 5, 0, 3},
        {"a line doubled", Flood(0, 5) + Flood(4, 9), 9, 0, 1},
        {"a line cut and joined to the next", cut, 1, 0, 1},
    };
    for (const Case& c : cases) {
        for (size_t piece : {size_t(1), size_t(7), size_t(4096)}) {
            SCOPED_TRACE(std::string(c.what) + ", pieces of " + std::to_string(piece));
            FloodCheck check = {};
            for (size_t at = 0; at < c.text.size(); at += piece) {
                CheckFlood(check, c.text.data() + at, std::min(piece, c.text.size() - at));
            }
            EXPECT_EQ(check.next, c.next);
            EXPECT_EQ(check.others, c.others);
            EXPECT_EQ(check.broken, c.broken);
            EXPECT_TRUE(check.partial.empty());
        }
    }
}

TEST(TakeTicks, TakesEachTickLineOnceItEnds) {
    const std::string text = "launcher: started\ntick 0 123456789\ntick 1 -5x\ntick 2 99";
    std::string partial;
    std::vector<Tick> ticks = TakeTicks(partial, text.data(), 20);
    EXPECT_TRUE(ticks.empty());
    ticks = TakeTicks(partial, text.data() + 20, text.size() - 20);
    ASSERT_EQ(ticks.size(), 1u);
    EXPECT_EQ(ticks[0].index, 0u);
    EXPECT_EQ(ticks[0].counter, 123456789);
    ticks = TakeTicks(partial, "8\n", 2);
    ASSERT_EQ(ticks.size(), 1u);
    EXPECT_EQ(ticks[0].index, 2u);
    EXPECT_EQ(ticks[0].counter, 998);
}

}  // namespace
