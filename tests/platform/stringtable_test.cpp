#include "platform/StringTable.h"

#include <gtest/gtest.h>


TEST(StringTable, TextsAreTheProgramsOwn) {
    // The texts whose exact letters are easiest to "correct" by mistake.
    EXPECT_STREQ(LoadStringText(61244),
                 "Error displaying the Codec dilaog box, please try re starting Pixreel or rebooting your PC.");
    EXPECT_STREQ(LoadStringText(IDS_SERIOUS_ERROR_1),
                 "Serious  error No. 1 has occurred please report to support@pixreel.org and supply the command "
                 "line arguments you were using.");
    EXPECT_STREQ(LoadStringText(IDS_SERIOUS_ERROR_REPORT),
                 "Serious Error. please send an email to support@pixreel.org containg this error "
                 "message.\r\n%s\r\n%sError code 0x%04x");
    EXPECT_STREQ(LoadStringText(61245), "Warning: Files are still being processed are you sure  you want to stop?");
    EXPECT_STREQ(LoadStringText(61239),
                 "There are too many files, processing the first %d only.\nTry closing some programs down.");
    EXPECT_STREQ(LoadStringText(61212), "The name of a file a long one a very ver long one");
    EXPECT_STREQ(LoadStringText(61209), " 88:88:88");
    EXPECT_STREQ(LoadStringText(40012), "1");
    EXPECT_STREQ(LoadStringText(IDS_FAILED_TO_OPEN_FILE), "Failed to open the file %s");
    EXPECT_STREQ(LoadStringText(IDS_FAILED_TO_WRITE_FILE), "Failed to write to file %s");
    EXPECT_STREQ(LoadStringText(IDS_APP_TITLE), "Pixreel");
    EXPECT_EQ(LoadStringText(12345), nullptr);

    // Every identifier of the catalogue has a text.
    for (unsigned id : {57344u, 57345u, 61204u, 61205u, 61206u, 61207u, 61208u, 61209u, 61210u, 61211u, 61212u,
                        40012u, 61216u, 61217u, 61218u, 61219u, 61222u, 61223u, 61224u, 61226u, 61227u, 61228u,
                        61229u, 61230u, 61231u, 61232u, 61233u, 61234u, 61235u, 61238u, 61239u, 61240u, 61241u,
                        61242u, 61243u, 61244u, 61245u, 40009u, 40011u})
        EXPECT_NE(LoadStringText(id), nullptr) << id;

}

TEST(StringTable, LoadStringCopiesWithinTheBuffer) {
    char buffer[8];
    EXPECT_EQ(LoadStringA(IDS_READY, buffer, sizeof buffer), 5);
    EXPECT_STREQ(buffer, "Ready");
    EXPECT_EQ(LoadStringA(IDS_FAILED_TO_OPEN_FILE, buffer, sizeof buffer), 7);
    EXPECT_STREQ(buffer, "Failed ");
    EXPECT_EQ(LoadStringA(1, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "");
}
