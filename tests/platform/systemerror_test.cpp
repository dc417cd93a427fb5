#include "platform/SystemError.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/MessageBox.h"
#include "platform/WinTypes.h"

TEST(SystemError, TextsOfErrorCodes) {
    EXPECT_EQ(SystemErrorText(0), "");
    EXPECT_EQ(SystemErrorText(EACCES), "Permission denied\n");
    EXPECT_EQ(SystemErrorText(ENOSPC), "No space left on device\n");
    EXPECT_EQ(SystemErrorText(987654), "") << "a code the system has no text for";

    char buffer[8];
    SystemErrorString(buffer, sizeof buffer, EACCES);
    EXPECT_STREQ(buffer, "Permiss");
    SystemErrorString(buffer, sizeof buffer, 0);
    EXPECT_STREQ(buffer, "");
    char one[1] = {'x'};
    SystemErrorString(one, sizeof one, EACCES);
    EXPECT_EQ(one[0], '\0');
}

TEST(MessageBoxService, DefaultAnswersAndHandlers) {
    EXPECT_EQ(DefaultMessageBoxAnswer(MB_OK | MB_ICONHAND), IDOK);
    EXPECT_EQ(DefaultMessageBoxAnswer(MB_YESNO | MB_ICONQUESTION), IDYES);
    EXPECT_EQ(DefaultMessageBoxAnswer(MB_YESNO | MB_DEFBUTTON2), IDNO);
    EXPECT_EQ(DefaultMessageBoxAnswer(MB_OKCANCEL | MB_DEFBUTTON2), IDCANCEL);

    // Without a handler the box goes to stderr and takes its default button.
    testing::internal::CaptureStderr();
    EXPECT_EQ(ShowMessageBox("Stop?", "", MB_YESNO | MB_DEFBUTTON2), IDNO);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Stop?\n");

    std::vector<std::string> seen;
    SetMessageBoxHandler([&seen](const std::string& text, const std::string& caption, unsigned flags) {
        seen.push_back(caption + "|" + text + "|" + std::to_string(flags));
        return IDCANCEL;
    });
    EXPECT_EQ(ShowMessageBox("text", "cap", MB_OKCANCEL), IDCANCEL);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], "cap|text|1");

    // FatalBox: the message, a blank, the system text; OK button.
    FatalBox("Error: Fatal using GetModuleFileName", EACCES);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1], "|Error: Fatal using GetModuleFileName Permission denied\n|0");

    // A handler may show a box itself (no lock is held while it runs), from any thread.
    SetMessageBoxHandler([&seen](const std::string& text, const std::string&, unsigned) {
        if (text == "outer")
            SetMessageBoxHandler({});
        return IDOK;
    });
    std::thread other([] { EXPECT_EQ(ShowMessageBox("outer", "", MB_OK), IDOK); });
    other.join();
    EXPECT_FALSE(SetMessageBoxHandler({})) << "the handler removed itself";
}
