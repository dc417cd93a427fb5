// Pictures of every configuration dialog for looking at by eye: with PIXREEL_SCREENSHOT_DIR set,
// each dialog is shown on the test display and saved there as a PNG; without it the test skips.

#include <gtest/gtest.h>
#include <wx/dialog.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "config/ui/AboutBox.h"
#include "config/ui/AcknowledgementsBox.h"
#include "config/ui/BitmapInfoDialog.h"
#include "config/ui/ConfigurationSheet.h"
#include "config/ui/Dialogs.h"
#include "config/ui/Help.h"
#include "config/ui/SelectCodecDialog.h"
#include "engine/ImageFile.h"
#include "platform/Codecs.h"
#include "support/DialogTesting.h"
#include "support/TestImages.h"
#include "support/WxTesting.h"
#include "support/XDisplay.h"

namespace {

class Screenshots : public DialogTest {
protected:
    void SetUp() override {
        DialogTest::SetUp();
        const char* folder = std::getenv("PIXREEL_SCREENSHOT_DIR");
        if (!folder || !*folder)
            GTEST_SKIP() << "PIXREEL_SCREENSHOT_DIR is not set";
        if (!DisplayAvailable())
            GTEST_SKIP() << "no display";
        out = folder;
        LinkDataFiles();
        sample = dir.file("sample.jpg");
        WriteJpeg(sample, 64, 48, Pattern(3));
    }
    // Saves the window whose title matches as <name>.png.
    void Take(const std::string& title, const std::string& name) {
        const std::string window = WaitForWindow(title, 10000, [] { PumpEventsFor(20); });
        ASSERT_FALSE(window.empty()) << title;
        PumpEventsFor(300);
        EXPECT_TRUE(Screenshot(window, out + "/" + name + ".png")) << name;
    }
    void TakeDialog(wxDialog* dialog, const std::string& title, const std::string& name) {
        dialog->Show();
        Take(title, name);
        dialog->Destroy();
        PumpEventsFor(50);
    }

    std::string out;
    std::string sample;
};

}  // namespace

TEST_F(Screenshots, EveryDialog) {
    WriteIni("[Config]\nJPGDir=/home/user/Pictures/Holiday/\nOutputPath=/home/user/Videos/\n"
             "[Codec]\nCodecName=Motion JPEG\n");
    auto* sheet = new ConfigurationSheet(nullptr);
    sheet->Show();
    const char* pages[] = {"sheet-configure", "sheet-video", "sheet-advanced"};
    for (size_t i = 0; i < 3; ++i) {
        sheet->ShowPage(i);
        Take("^Configure$", pages[i]);
    }
    sheet->Destroy();

    AVICOMPRESSOPTIONS options{};
    options.fccHandler = mmioFOURCC('M', 'J', 'P', 'G');
    options.dwQuality = 7500;
    CodecRequest request{sample.c_str(), &options, 0, ""};
    auto* codec = new SelectCodecDialog(nullptr, request);
    ASSERT_TRUE(codec->Initialise());
    TakeDialog(codec, "^Select Codec$", "select-codec");

    WhenModal([this](wxWindow* dialog) {
        Take("^Motion JPEG", "codec-options");
        static_cast<wxDialog*>(dialog)->EndModal(wxID_CANCEL);
    });
    HIC mjpg = ICOpen(ICTYPE_VIDEO, mmioFOURCC('M', 'J', 'P', 'G'), ICMODE_QUERY);
    ICSetConfigureHandler(&RunCodecOptionsDialog);
    ICConfigure(mjpg, nullptr);
    ICClose(mjpg);

    ShowHelpTopic("configure/video.html");
    Take("^Pixreel Help", "help-window");
    ShutdownHelp();

    TakeDialog(new AboutBox(nullptr), "^About Pixreel$", "about");
    TakeDialog(new AcknowledgementsBox(nullptr), "^Acknowledgements$", "acknowledgements");
    CImageFile image;
    ASSERT_TRUE(image.Load(sample));
    TakeDialog(new BitmapInfoDialog(nullptr, &image), "^Bitmap Information$", "bitmap-information");
    EXPECT_TRUE(boxes.Texts().empty());
}
