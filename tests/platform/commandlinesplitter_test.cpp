#include "platform/CommandLineSplitter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> SplitText(const char* text, const SplitOptions& options = kCommandLineSplitOptions) {
    CommandLineSplitter splitter;
    int count = splitter.Split(text, options);
    std::vector<std::string> tokens;
    for (int i = 0; i < count; ++i)
        tokens.emplace_back(splitter.Token(i));
    EXPECT_EQ(count, splitter.Count());
    if (count > 0) {
        EXPECT_EQ(splitter.Tokens()[count], nullptr) << "the pointer table ends with an empty entry";
    }
    return tokens;
}

using Tokens = std::vector<std::string>;

}  // namespace

TEST(CommandLineSplitter, NothingToSplit) {
    CommandLineSplitter splitter;
    EXPECT_EQ(splitter.Split(nullptr, kCommandLineSplitOptions), 0);
    EXPECT_EQ(splitter.Split("", kCommandLineSplitOptions), 0);
    EXPECT_EQ(splitter.Tokens(), nullptr);
    EXPECT_EQ(splitter.Token(0), nullptr);
}

TEST(CommandLineSplitter, ProgramPathIsTokenZero) {
    EXPECT_EQ(SplitText("pixreel"), Tokens({"pixreel"}));
    EXPECT_EQ(SplitText("pixreel -d /in -u"), Tokens({"pixreel", "-d", "/in", "-u"}));
    // A quoted program path keeps its spaces and loses its quotes.
    EXPECT_EQ(SplitText("\"/opt/my apps/pixreel\" -u"), Tokens({"/opt/my apps/pixreel", "-u"}));
    // A lone quote is an empty program path.
    EXPECT_EQ(SplitText("\""), Tokens({""}));
}

TEST(CommandLineSplitter, QuotedArgumentIsOneTokenWithoutQuotes) {
    EXPECT_EQ(SplitText("p -d \"/home/me/My Pictures\" -f jpg"),
              Tokens({"p", "-d", "/home/me/My Pictures", "-f", "jpg"}));
    // Quotes may start in the middle of a token and stop before its end.
    EXPECT_EQ(SplitText("p a\"b c\"d"), Tokens({"p", "ab cd"}));
    EXPECT_EQ(SplitText("p \"\" x"), Tokens({"p", "", "x"}));
}

TEST(CommandLineSplitter, DoubledQuoteInsideQuotesIsLiteralAndEndsTheSpan) {
    EXPECT_EQ(SplitText("p \"a\"\"b\""), Tokens({"p", "a\"b"}));
    // After the doubled quote the span is closed, so the next space separates.
    EXPECT_EQ(SplitText("p \"say \"\"hi\"\" now\""), Tokens({"p", "say \"hi", "now"}));
    // Outside quotes two quotes are an empty quoted span, not a literal quote.
    EXPECT_EQ(SplitText("p a\"\"b"), Tokens({"p", "ab"}));
    // With keepQuotes both quotes of the pair stay.
    SplitOptions keep = kCommandLineSplitOptions;
    keep.keepQuotes = 1;
    EXPECT_EQ(SplitText("p \"a b\" \"c\"\"d\"", keep), Tokens({"p", "\"a b\"", "\"c\"\"d\""}));
}

TEST(CommandLineSplitter, SeparatorsCollapseAndNoTrailingEmpty) {
    EXPECT_EQ(SplitText("p   a    b   "), Tokens({"p", "a", "b"}));

    SplitOptions exact = kCommandLineSplitOptions;
    exact.collapseSeparators = 0;
    EXPECT_EQ(SplitText("p a  b", exact), Tokens({"p", "a", "", "b"}));

    SplitOptions trailing = kCommandLineSplitOptions;
    trailing.noTrailingEmpty = 0;
    EXPECT_EQ(SplitText("p a ", trailing), Tokens({"p", "a", ""}));
    EXPECT_EQ(SplitText("p a   ", trailing), Tokens({"p", "a", ""}));
    EXPECT_EQ(SplitText("p a", trailing), Tokens({"p", "a"}));

    // Other separators than the space.
    SplitOptions commas{',', '\'', 0, 0, 0, 0};
    EXPECT_EQ(SplitText("a,'b,c',,d,", commas), Tokens({"a", "b,c", "", "d", ""}));
}

TEST(CommandLineSplitter, EscapeRunsBeforeQuotes) {
    SplitOptions escaped = kCommandLineSplitOptions;
    escaped.escape = '\\';
    EXPECT_EQ(SplitText(R"(p \"a)", escaped), Tokens({"p", "\"a"}));           // odd: literal quote
    EXPECT_EQ(SplitText(R"(p \\"a b")", escaped), Tokens({"p", "\\a b"}));     // even: pairs halve, quote opens
    EXPECT_EQ(SplitText(R"(p \\\"a)", escaped), Tokens({"p", "\\\"a"}));       // three: one escape, literal quote
    EXPECT_EQ(SplitText(R"(p a\\b c\d)", escaped), Tokens({"p", "a\\\\b", "c\\d"}));  // not before a quote: kept
    // Without an escape character backslashes are ordinary.
    EXPECT_EQ(SplitText(R"(p \"a b")"), Tokens({"p", "\\a b"}));
}

TEST(CommandLineSplitter, SplittingAgainReplacesTheTokens) {
    CommandLineSplitter splitter;
    ASSERT_EQ(splitter.Split("p a b c", kCommandLineSplitOptions), 4);
    ASSERT_EQ(splitter.Split("q x", kCommandLineSplitOptions), 2);
    EXPECT_STREQ(splitter.Token(0), "q");
    EXPECT_STREQ(splitter.Token(1), "x");
    EXPECT_EQ(splitter.Token(2), nullptr);
    splitter.Clear();
    EXPECT_EQ(splitter.Count(), 0);
}
