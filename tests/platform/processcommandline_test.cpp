#include "platform/CommandLineSplitter.h"
#include "platform/ProcessCommandLine.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

std::vector<std::string> SplitCurrent() {
    CommandLineSplitter splitter;
    int count = splitter.Split(GetCommandLineA(), kCommandLineSplitOptions);
    std::vector<std::string> tokens;
    for (int i = 0; i < count; ++i)
        tokens.emplace_back(splitter.Token(i));
    return tokens;
}

void ExpectRoundTrip(const std::vector<std::string>& arguments) {
    std::vector<const char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(argument.c_str());
    SetProcessCommandLine(static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(SplitCurrent(), arguments) << "command line: [" << GetCommandLineA() << "]";
}

}  // namespace

TEST(ProcessCommandLine, ArgumentsComeBackExactly) {
    ExpectRoundTrip({"/usr/bin/pixreel"});
    ExpectRoundTrip({"/usr/bin/pixreel", "-d", "/in", "-f", "jpg"});
    ExpectRoundTrip({"/opt/my apps/pixreel", "-d", "/home/me/My Pictures"});
    ExpectRoundTrip({"p", "", "x", ""});
    ExpectRoundTrip({"p", "\"", "\"\"", "a\"b", "\"lead", "trail\"", "mid \" dle", "a\"\"b c"});
    ExpectRoundTrip({"p", " ", "  two  ", "tab\there", "new\nline", "back\\slash\\\""});
    ExpectRoundTrip({"p", "na\xc3\xafve caf\xc3\xa9", "\xe6\x97\xa5\xe6\x9c\xac"});
    ExpectRoundTrip({"\"quoted path\"", "-u"});
    ExpectRoundTrip({"", "-u"});
}

TEST(ProcessCommandLine, RandomArgumentsComeBackExactly) {
    std::mt19937 random(12345);
    const std::string alphabet = "a \"\\-";
    for (int round = 0; round < 2000; ++round) {
        std::vector<std::string> arguments;
        int count = 1 + static_cast<int>(random() % 4);
        for (int i = 0; i < count; ++i) {
            std::string argument;
            int length = static_cast<int>(random() % 7);
            for (int k = 0; k < length; ++k)
                argument += alphabet[random() % alphabet.size()];
            arguments.push_back(argument);
        }
        ExpectRoundTrip(arguments);
        if (HasFailure())
            return;
    }
}

TEST(ProcessCommandLine, BlankingEndsTheArguments) {
    const char* argv[] = {"pixreel", "-d", "/in"};
    SetProcessCommandLine(3, argv);
    EXPECT_TRUE(CommandLineHasArguments());
    EXPECT_EQ(SplitCurrent(), (std::vector<std::string>{"pixreel", "-d", "/in"}));

    BlankCommandLine();
    EXPECT_EQ(GetCommandLineA()[0], '\0');
    EXPECT_TRUE(SplitCurrent().empty());
    EXPECT_FALSE(CommandLineHasArguments());

    // Only the program path is no argument.
    const char* alone[] = {"pixreel"};
    SetProcessCommandLine(1, alone);
    EXPECT_FALSE(CommandLineHasArguments());
    EXPECT_EQ(SplitCurrent().size(), 1u);
}

TEST(ProcessCommandLine, EachSettingIsANewGeneration) {
    unsigned before = CommandLineGeneration();
    SetProcessCommandLineText("pixreel -u");
    EXPECT_STREQ(GetCommandLineA(), "pixreel -u");
    EXPECT_NE(CommandLineGeneration(), before);
    before = CommandLineGeneration();
    BlankCommandLine();
    EXPECT_EQ(CommandLineGeneration(), before) << "blanking is not a new command line";
}
