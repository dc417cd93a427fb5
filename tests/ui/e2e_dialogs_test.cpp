// The real pixreel program driven from outside through its configuration dialogs: the sheet from
// the menu, its Cancel, the sheet a first start opens by itself, Select Codec with "Always use
// this Codec", and F1 on a page. Results are checked in the settings file.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "support/DialogTesting.h"
#include "support/TestImages.h"
#include "support/WindowProgram.h"
#include "support/XDisplay.h"

namespace {

class DialogProgramTest : public DialogTest {
protected:
    void SetUp() override {
        DialogTest::SetUp();
        PIXREEL_REQUIRE_DISPLAY();
        for (const char* folder : {"in", "out", "run"})
            std::filesystem::create_directories(dir.file(folder));
        // Tool tips would open windows of their own under the pointer.
        RunOnDisplay({"xdotool", "mousemove", "0", "0"});
    }
    // The settings file with the folders of the test and `more` lines of section "Config".
    void WriteConfig(const std::string& more) {
        WriteIni("[Config]\nJPGDir=" + Folder("in") + "\nOutputPath=" + Folder("out") + "\nDisplayToolTips=0\n" + more);
    }
    std::string Folder(const char* name) const { return dir.file(name) + "/"; }
    void Start() { program = std::make_unique<WindowProgram>(std::vector<std::string>{}, ini, dir.file("run")); }
    static std::string Window(const std::string& title) { return WaitForWindow(title, 15000); }
    // Opens the sheet the way a user does: the File menu, then "P&roperties...".
    std::string OpenSheetFromMenu() {
        const std::string main = Window("^Pixreel$");
        EXPECT_FALSE(main.empty());
        SendKeys(main, "alt+f");
        RunOnDisplay({"xdotool", "key", "r"});
        return Window("^Configure$");
    }
    // The keys stored since the test wrote the file, which holds `before` keys.
    std::vector<std::string> StoredKeys(size_t before) const {
        std::vector<std::string> keys = IniKeys();
        keys.erase(keys.begin(), keys.begin() + static_cast<long>(std::min(before, keys.size())));
        return keys;
    }

    std::unique_ptr<WindowProgram> program;
};

}  // namespace

TEST_F(DialogProgramTest, PropertiesFromTheMenuStoreTheConfigurePageAndCancelStoresNothing) {
    WriteConfig("");
    const size_t before = IniKeys().size();
    Start();
    std::string sheet = OpenSheetFromMenu();
    ASSERT_FALSE(sheet.empty());
    SendKeys(sheet, "Escape");
    ASSERT_TRUE(WaitUntil([] { return FindWindows("^Configure$").empty(); }));
    EXPECT_TRUE(StoredKeys(before).empty());

    // The input box has the focus; Return confirms the sheet.
    sheet = OpenSheetFromMenu();
    ASSERT_FALSE(sheet.empty());
    SendKeys(sheet, "ctrl+a");
    TypeText(sheet, Folder("other"));
    SendKeys(sheet, "Return");
    // JPGDir and OutputPath were in the file already, so they keep their places.
    const std::vector<std::string> expected = {
        "Config/AutoPopulate=1", "Config/JPGSuffix=jpg",  "Config/RememberCodec=0", "Config/VideoFile=TavrinVideoFile",
        "Config/AutoProcess=0",  "Config/AutoSelect=1",   "Detect/Overwrite=1"};
    ASSERT_TRUE(WaitUntil([&] { return StoredKeys(before).size() >= expected.size(); }));
    EXPECT_EQ(StoredKeys(before), expected);
    EXPECT_EQ(IniKeys()[0], "Config/JPGDir=" + Folder("other"));
}

TEST_F(DialogProgramTest, FirstStartOpensTheSheetAndF1ShowsThePagesTopic) {
    WriteIni("[Config]\nDisplayToolTips=0\n");
    Start();
    const std::string sheet = Window("^Configure$");
    ASSERT_FALSE(sheet.empty());
    // To the Video page, then its help.
    SendKeys(sheet, "ctrl+Next");
    SendKeys(sheet, "F1");
    const std::string help = Window("^Pixreel Help - Video page$");
    ASSERT_FALSE(help.empty());
    if (const char* shots = std::getenv("PIXREEL_SCREENSHOT_DIR"))
        Screenshot(help, std::string(shots) + "/help-over-sheet.png");
    SendKeys(help, "Escape");
    ASSERT_TRUE(WaitUntil([] { return FindWindows("^Pixreel Help").empty(); }));
    SendKeys(sheet, "Escape");
    EXPECT_TRUE(WaitUntil([] { return FindWindows("^Configure$").empty(); }));
}

TEST_F(DialogProgramTest, SelectCodecWithAlwaysUseStoresTheChoice) {
    for (int i = 1; i <= 2; ++i)
        WriteJpeg(dir.file("in/p" + std::to_string(i) + ".jpg"), 64, 48, Pattern(i));
    WriteConfig("AutoProcess=1\nRememberCodec=0\n");
    Start();
    const std::string codec = Window("^Select Codec$");
    ASSERT_FALSE(codec.empty());
    // The focus starts on the list; past the key-frame box is "Always use this Codec".
    SendKeys(codec, "Tab");
    SendKeys(codec, "Tab");
    SendKeys(codec, "space");
    SendKeys(codec, "alt+o");
    ASSERT_TRUE(WaitUntil([&] { return ReadFileBytes(ini).find("CodecName=") != std::string::npos; }));
    const std::vector<std::string> keys = IniKeys();
    auto has = [&](const std::string& key) { return std::find(keys.begin(), keys.end(), key) != keys.end(); };
    EXPECT_TRUE(has("Codec/fccHandler=541215044"));
    EXPECT_TRUE(has("Codec/CodecName=Full Frames (Uncompressed)"));
    EXPECT_TRUE(WaitUntil([&] { return ReadFileBytes(ini).find("RememberCodec=1") != std::string::npos; }));
}
