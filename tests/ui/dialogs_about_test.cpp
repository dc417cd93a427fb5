// The help book viewer, the About and Acknowledgements boxes with their version texts and links,
// and the Bitmap Information box.

#include <png.h>
#include <wx/animate.h>
#include <wx/html/helpfrm.h>
#include <wx/html/helpwnd.h>
#include <wx/html/htmlwin.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <string>

#include "config/ui/AboutBox.h"
#include "config/ui/AcknowledgementsBox.h"
#include "config/ui/BitmapInfoDialog.h"
#include "config/ui/ConfigurationSheet.h"
#include "config/ui/ControlIds.h"
#include "config/ui/Dialogs.h"
#include "config/ui/Help.h"
#include "config/ui/LibraryVersions.h"
#include "config/ui/LinkEdit.h"
#include "engine/ImageFile.h"
#include "platform/StringTable.h"
#include "platform/VersionInfo.h"
#include "platform/WinTypes.h"
#include "support/DialogTesting.h"
#include "support/TestImages.h"
#include "support/WxTesting.h"
#include "support/XDisplay.h"

namespace {

class InfoTest : public DialogTest {
protected:
    void SetUp() override {
        DialogTest::SetUp();
        PIXREEL_REQUIRE_DISPLAY();
        LinkDataFiles();
    }
    void TearDown() override {
        ShutdownHelp();
        SetHelpBook("");
        DialogTest::TearDown();
    }
    // The page the help frame shows, relative to the book's folder.
    static std::string HelpPage() {
        auto* frame = dynamic_cast<wxHtmlHelpFrame*>(OpenHelpWindow());
        if (!frame)
            return "(no help window)";
        const std::string page = frame->GetHelpWindow()->GetHtmlWindow()->GetOpenedPage().utf8_string();
        const size_t help = page.rfind("help/");
        return help == std::string::npos ? page : page.substr(help + 5);
    }
};

}  // namespace

TEST_F(InfoTest, HelpOpensTopicsAndReportsABrokenBook) {
    ASSERT_NE(HelpBookPath().find("help/pixreel.hhp"), std::string::npos);
    ShowHelpTopic("configure/video.html");
    EXPECT_TRUE(PumpEventsUntil([] { return HelpPage() == "configure/video.html"; }, 3000)) << HelpPage();
    ShowHelpTopic("index.html");
    EXPECT_TRUE(PumpEventsUntil([] { return HelpPage() == "index.html"; }, 3000)) << HelpPage();
    // The sheet's Help button opens the topic of the page in front.
    {
        ConfigurationSheet sheet(nullptr);
        ASSERT_TRUE(sheet.ShowPage(2));
        PressButton(&sheet, wxID_HELP);
        EXPECT_TRUE(PumpEventsUntil([] { return HelpPage() == "configure/advanced.html"; }, 3000)) << HelpPage();
    }
    EXPECT_TRUE(boxes.Texts().empty());
    const std::string book = HelpBookPath();
    ShowHelpTopic("no/such/topic.html");
    ShutdownHelp();
    EXPECT_EQ(OpenHelpWindow(), nullptr);

    const std::string missing = dir.file("missing.hhp");
    const std::string broken = dir.file("broken.hhp");
    WriteFileBytes(broken, std::string("\x00\x01garbage\xff", 11));
    struct Case {
        std::string book;
        std::string description;
    };
    const Case cases[] = {
        {missing, "The help book could not be found."},
        {broken, "The help book could not be read."},
    };
    for (const Case& c : cases) {
        SetHelpBook(c.book);
        ShowHelpTopic("index.html");
        EXPECT_EQ(OpenHelpWindow(), nullptr);
    }
    const std::vector<BoxRecorder::Box> shown = boxes.Boxes();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0].text, "The help book has no topic no/such/topic.html\n" + book);
    EXPECT_EQ(shown[1].text, cases[0].description + "\n" + missing);
    EXPECT_EQ(shown[2].text, cases[1].description + "\n" + broken);
    for (const BoxRecorder::Box& box : shown)
        EXPECT_EQ(box.flags & MB_ICONHAND, MB_ICONHAND);

    EXPECT_EQ(HelpUnavailableText("fr_BE"), "N'a pas ouvert l'aide automatiquement, l'ouvrent svp manuellement");
    EXPECT_EQ(HelpUnavailableText("fr"), HelpUnavailableText("fr_CA"));
    EXPECT_EQ(HelpUnavailableText("en_GB"), "Failed to open the Help automatically, please open it manually");
}

TEST_F(InfoTest, AboutBoxShowsTheVersionAndLinks) {
    EXPECT_EQ(VersionValue("NoSuchValue"), "Failure getting NoSuchValue");
    EXPECT_EQ(VersionLine(), "Pixreel Version " + VersionValue("SpecialBuild") + " " + VersionValue("FileVersion"));

    AboutBox box(nullptr);
    EXPECT_EQ(Control<wxStaticText>(&box, IDC_VERSION)->GetLabel().utf8_string(), VersionLine());
    EXPECT_EQ(Control<wxStaticText>(&box, IDC_COPYRIGHT_LABEL)->GetLabel().utf8_string(),
              VersionValue("LegalCopyright"));
    EXPECT_NE(box.FindWindow(IDC_ANIMATION), nullptr);
    auto* web = Control<LinkEdit>(&box, IDC_WEB_SITE);
    auto* mail = Control<LinkEdit>(&box, IDC_EMAIL);
    EXPECT_EQ(web->GetValue(), kMakerWebSite);
    EXPECT_EQ(mail->GetValue(), kSupportEmail);
    EXPECT_TRUE(mail->GetFont().GetUnderlined());

    // Blue, red while the mouse is over it, blue again when it leaves or the field loses focus.
    EXPECT_EQ(web->GetForegroundColour(), wxColour(0, 0, 255));
    wxMouseEvent enter(wxEVT_ENTER_WINDOW), leave(wxEVT_LEAVE_WINDOW);
    wxFocusEvent lost(wxEVT_KILL_FOCUS);
    for (wxEvent* ending : std::initializer_list<wxEvent*>{&leave, &lost}) {
        web->ProcessWindowEvent(enter);
        EXPECT_EQ(web->GetForegroundColour(), wxColour(255, 0, 0));
        web->ProcessWindowEvent(*ending);
        EXPECT_EQ(web->GetForegroundColour(), wxColour(0, 0, 255));
    }

    EXPECT_EQ(LinkEdit::Target("https://www.pixreel.org/"), "https://www.pixreel.org/");
    EXPECT_EQ(LinkEdit::Target("help@example.org"), "mailto:help@example.org?subject=Pixreel%20" +
                                                        VersionValue("FileVersion") + "%20" +
                                                        VersionValue("SpecialBuild"));
}

TEST_F(InfoTest, AcknowledgementsNameTheLibrariesWithTheirVersions) {
    AcknowledgementsBox box(nullptr);
    EXPECT_EQ(Control<wxStaticText>(&box, IDC_PIXIMAGE_VERSION)->GetLabel(), "PixImage 5.10");
    const std::vector<LibraryVersion> libraries = LibraryVersions();
    ASSERT_EQ(libraries.size(), 7u);
    for (const LibraryVersion& library : libraries)
        EXPECT_FALSE(library.version.empty()) << library.name;
    ASSERT_EQ(libraries[1].name, "libpng");
    EXPECT_EQ(libraries[1].version, png_get_libpng_ver(nullptr));
}

TEST_F(InfoTest, BitmapInformationFields) {
    const std::string bmp = dir.file("eight.bmp");
    WriteBmp8(bmp, 20, 10, {{0, 0, 0}, {255, 255, 255}}, [](uint32_t x, uint32_t) { return x & 1; });
    const std::string jpeg = dir.file("photo.JPG");
    WriteJpeg(jpeg, 64, 48, Pattern(2));
    CImageFile eight, photo;
    ASSERT_TRUE(eight.Load(bmp));
    ASSERT_TRUE(photo.Load(jpeg));
    photo.Image().SetHorizontalDpi(0);

    struct Case {
        const CImageFile* image;
        std::vector<std::string> fields;
    };
    const Case cases[] = {
        {&eight, {"eight.bmp", "Windows BMP Format", "20 x 10 pixels", "72 DPI", "8 bits"}},
        {&photo, {"photo.JPG", "JPEG - JFIF Compliant", "64 x 48 pixels", "Unknown", "24 bits"}},
        {nullptr, {"", "", "", "", ""}},
    };
    for (const Case& c : cases) {
        BitmapInfoDialog box(nullptr, c.image);
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(Control<wxTextCtrl>(&box, IDC_FILE_NAME + i)->GetValue().utf8_string(),
                      c.fields[static_cast<size_t>(i)]);
    }
}
