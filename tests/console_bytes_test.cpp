// A log's bytes split into what a console can be given as UTF-8 text and
// what goes to it as bytes.
#include "setup/model/console_bytes.h"

#include <gtest/gtest.h>

namespace {

// The runs as "t[...]" for text and "b[...]" for bytes, one after another.
std::string Shown(const std::vector<ByteRun>& runs) {
    std::string shown;
    for (const ByteRun& run : runs) shown += (run.utf8 ? "t[" : "b[") + run.bytes + "]";
    return shown;
}

TEST(SplitUtf8Runs, GivesWellFormedUtf8AsTextAndEverythingElseAsBytes) {
    const struct {
        std::string bytes;
        std::string shown;
    } kCases[] = {
        {"plain\r\n", "t[plain\r\n]"},
        {"T\xC3\xABst \xE7\xA8\x8B\xE5\xBA\x8F \xF0\x9F\x98\x80\n", "t[T\xC3\xABst \xE7\xA8\x8B\xE5\xBA\x8F \xF0\x9F\x98\x80\n]"},
        {std::string("a\0b", 3), std::string("t[a\0b]", 6)},
        {"caf\x82 ok", "t[caf]b[\x82]t[ ok]"},                       // a code page's e-acute
        {"\xC3(", "b[\xC3]t[(]"},                                    // a lead byte without its follower
        {"\xC0\xAF\xE0\x80\xAF", "b[\xC0\xAF\xE0\x80\xAF]"},         // overlong forms
        {"\xED\xA0\x80", "b[\xED\xA0\x80]"},                         // a surrogate
        {"\xF4\x90\x80\x80\xF5", "b[\xF4\x90\x80\x80\xF5]"},         // past U+10FFFF
        {"\xEF\xBB\xBFx\xFF\xFE", "t[\xEF\xBB\xBFx]b[\xFF\xFE]"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.shown);
        std::string carry;
        EXPECT_EQ(Shown(SplitUtf8Runs(carry, c.bytes, /*last=*/false)), c.shown);
        EXPECT_EQ(carry, "");
    }
}

// A block of the log may end inside a character: the next block finishes it,
// whichever byte the cut falls after, and nothing goes out as bytes.
TEST(SplitUtf8Runs, FinishesACharacterCutBetweenTwoCalls) {
    const std::string text = "x \xF0\x9F\x98\x80 \xE7\xA8\x8B \xC3\xAB";
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
        SCOPED_TRACE(cut);
        std::string carry;
        std::vector<ByteRun> runs = SplitUtf8Runs(carry, text.substr(0, cut), /*last=*/false);
        const std::vector<ByteRun> rest = SplitUtf8Runs(carry, text.substr(cut), /*last=*/false);
        runs.insert(runs.end(), rest.begin(), rest.end());
        std::string joined;
        for (const ByteRun& run : runs) joined += run.utf8 ? run.bytes : "<bytes>";
        EXPECT_EQ(joined, text);
        EXPECT_EQ(carry, "");
    }
}

TEST(SplitUtf8Runs, GivesACharacterCutAtTheVeryEndAsBytesOnlyWhenLast) {
    std::string carry;
    EXPECT_EQ(Shown(SplitUtf8Runs(carry, "ab\xE7\xA8", /*last=*/false)), "t[ab]");
    EXPECT_EQ(carry, "\xE7\xA8");
    EXPECT_EQ(Shown(SplitUtf8Runs(carry, "", /*last=*/true)), "b[\xE7\xA8]");
    EXPECT_EQ(carry, "");
    EXPECT_EQ(Shown(SplitUtf8Runs(carry, "", /*last=*/true)), "");
}

// What a console would act on is spelled out: nothing the program wrote can
// move the cursor back over, erase or recolour the lines before it.
TEST(SpelledOutControls, LeavesTabsAndLineEndsAndSpellsOutTheRest) {
    const std::pair<std::string, std::string> kCases[] = {
        {"a\tb\r\nc\n", "a\tb\r\nc\n"},
        {"failed\rok    \n", "failed<CR>ok    \n"},
        {"\x1B[2K\x1B]0;t\x07x\b\x7F", "<U+001B>[2K<U+001B>]0;t<U+0007>x<U+0008><U+007F>"},
        {"\xC2\x9B" "2J \xC2\xA0 \xE2\x80\xA8 \xE2\x80\x94", "<U+009B>2J \xC2\xA0 <U+2028> \xE2\x80\x94"},
        {"x\r", "x<CR>"},
    };
    for (const auto& c : kCases) EXPECT_EQ(SpelledOutControls(c.first), c.second) << c.second;
}

// Whether a carriage return ends a line is known only from the byte after it,
// which may come in the next block.
TEST(SplitUtf8Runs, KeepsACarriageReturnAtTheEndForTheByteAfterIt) {
    std::string carry;
    EXPECT_EQ(Shown(SplitUtf8Runs(carry, "bad\r", /*last=*/false)), "t[bad]");
    EXPECT_EQ(Shown(SplitUtf8Runs(carry, "\nok\r", /*last=*/false)), "t[\r\nok]");
    EXPECT_EQ(Shown(SplitUtf8Runs(carry, "", /*last=*/true)), "t[\r]");
    EXPECT_EQ(carry, "");
}

}  // namespace
