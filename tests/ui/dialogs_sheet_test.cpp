// The "Configure" sheet and its pages, driven in the test program: what each page shows for the
// settings file, what it refuses, and exactly which keys OK writes.

#include <wx/bookctrl.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/combobox.h>
#include <wx/datetime.h>
#include <wx/radiobut.h>
#include <wx/slider.h>
#include <wx/spinbutt.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "config/ui/ConfigurationSheet.h"
#include "config/ui/ControlIds.h"
#include "config/ui/Dialogs.h"
#include "config/ui/DlgAdvanced.h"
#include "config/ui/DlgGeneral.h"
#include "config/ui/DlgProperties.h"
#include "platform/ProcessCommandLine.h"
#include "support/DialogTesting.h"
#include "support/WxTesting.h"
#include "support/XDisplay.h"

namespace {

using Keys = std::vector<std::string>;

const Keys kConfigureKeys = {"Config/AutoPopulate=1", "Config/JPGDir=",        "Config/JPGSuffix=jpg",
                             "Config/OutputPath=",    "Config/RememberCodec=0",  "Config/VideoFile=TavrinVideoFile",
                             "Config/AutoProcess=0",  "Config/AutoSelect=1",     "Detect/Overwrite=1"};
const Keys kVideoKeys = {"Config/Copyright=Tavrin Ltd", "Config/JPGSortOrder=0", "Config/FramesPerSec=5",
                         "Detect/MotionDeviation=0"};
const Keys kAdvancedKeys = {"Detect/AutoStop=0", "Detect/ScaleType=1", "Detect/DisplayFileNames=1",
                            "Config/DisplayToolTips=1", "Config/WriteCopyright=1"};

// The keys grouped by section in the order they were first written, as the file holds them.
Keys AsFileHoldsThem(const std::vector<Keys>& written) {
    Keys config, detect;
    for (const Keys& keys : written)
        for (const std::string& key : keys)
            (key.rfind("Config/", 0) == 0 ? config : detect).push_back(key);
    config.insert(config.end(), detect.begin(), detect.end());
    return config;
}

class SheetTest : public DialogTest {
protected:
    void SetUp() override {
        DialogTest::SetUp();
        PIXREEL_REQUIRE_DISPLAY();
    }
    static void Type(wxWindow* page, int id, const char* text) { Control<wxTextCtrl>(page, id)->SetValue(text); }
};

std::string gChooserStart;
std::string gChooserAnswer;
std::string FakeChooser(wxWindow*, const std::string& start) {
    gChooserStart = start;
    return gChooserAnswer;
}

}  // namespace

TEST_F(SheetTest, OkStoresExactlyTheShownPagesInTheirOrder) {
    // Texts are stored as typed: no separator added, the suffix's dot kept.
    Keys typed = kConfigureKeys;
    typed[1] = "Config/JPGDir=/typed/in";
    typed[2] = "Config/JPGSuffix=.png";
    struct Case {
        std::vector<size_t> shown;
        Keys stored;
    };
    const Case cases[] = {
        {{0}, AsFileHoldsThem({typed})},
        {{0, 2}, AsFileHoldsThem({typed, kAdvancedKeys})},
        {{0, 1, 2}, AsFileHoldsThem({typed, kVideoKeys, kAdvancedKeys})},
    };
    for (const Case& c : cases) {
        std::remove(ini.c_str());
        ConfigurationSheet sheet(nullptr);
        for (size_t page : c.shown)
            ASSERT_TRUE(sheet.ShowPage(page));
        Type(sheet.Properties(), IDC_INPUT_DIR, "/typed/in");
        Control<wxComboBox>(sheet.Properties(), IDC_SUFFIX)->SetValue(".png");
        ASSERT_TRUE(sheet.Confirm());
        EXPECT_EQ(IniKeys(), c.stored) << c.shown.size() << " pages shown";
    }
}

TEST_F(SheetTest, CancelStoresNothingAndOkReportsTrue) {
    WhenModal([](wxWindow* sheet) {
        static_cast<ConfigurationSheet*>(sheet)->ShowPage(1);
        PressButton(sheet, wxID_CANCEL);
    });
    EXPECT_FALSE(RunConfigurationSheet(nullptr));
    EXPECT_FALSE(std::filesystem::exists(ini));

    WhenModal([](wxWindow* sheet) { PressButton(sheet, wxID_OK); });
    EXPECT_TRUE(RunConfigurationSheet(nullptr));
    EXPECT_EQ(IniKeys().size(), kConfigureKeys.size());

    // A run with arguments stores nothing, though OK is still OK.
    std::remove(ini.c_str());
    SetProcessCommandLineText("pixreel -d /in");
    ConfigurationSheet sheet(nullptr);
    EXPECT_TRUE(sheet.Confirm());
    EXPECT_FALSE(std::filesystem::exists(ini));
}

TEST_F(SheetTest, ConfigurePageShowsTheSettingsAndFillsTheOutputDirectory) {
    const std::string longName(300, 'N');
    WriteIni("[Config]\nJPGDir=/photos\nJPGSuffix=.bmp\nRememberCodec=1\n[Detect]\nOverwrite=7\n[Codec]\nCodecName=" +
             longName + "\n");
    ConfigurationSheet sheet(nullptr);
    CDlgProperties* page = sheet.Properties();
    EXPECT_EQ(Control<wxTextCtrl>(page, IDC_INPUT_DIR)->GetValue(), "/photos/");
    EXPECT_EQ(Control<wxComboBox>(page, IDC_SUFFIX)->GetValue(), "bmp");
    EXPECT_TRUE(Control<wxCheckBox>(page, IDC_REMEMBER_CODEC)->GetValue());
    EXPECT_TRUE(Control<wxCheckBox>(page, IDC_OVERWRITE)->GetValue());
    // The stored name, cut to its field.
    EXPECT_EQ(Control<wxStaticText>(page, IDC_CODEC_NAME)->GetLabelText(), longName.substr(0, 259));
    const wxArrayString suffixes = Control<wxComboBox>(page, IDC_SUFFIX)->GetStrings();
    EXPECT_EQ(wxJoin(suffixes, ' '), "jpg bmp tif tga gif png ico *");

    // The input button starts at the directory without its separator; a cancelled choice changes
    // nothing, a chosen folder gets a separator and fills the empty output box.
    CDlgProperties::SetFolderChooser(&FakeChooser);
    wxTextCtrl* output = Control<wxTextCtrl>(page, IDC_OUTPUT_DIR);
    gChooserAnswer = "";
    PressButton(page, IDC_INPUT_BROWSE);
    EXPECT_EQ(gChooserStart, "/photos");
    EXPECT_EQ(output->GetValue(), "");
    gChooserAnswer = "/home/me/Photos";
    PressButton(page, IDC_INPUT_BROWSE);
    EXPECT_EQ(Control<wxTextCtrl>(page, IDC_INPUT_DIR)->GetValue(), "/home/me/Photos/");
    EXPECT_EQ(output->GetValue(), "/home/me/Photos/");
    // The output button changes the output box only.
    Type(page, IDC_VIDEO_FILE, "typed");
    gChooserAnswer = "/videos";
    PressButton(page, IDC_OUTPUT_BROWSE);
    EXPECT_EQ(output->GetValue(), "/videos/");
    EXPECT_EQ(Control<wxTextCtrl>(page, IDC_VIDEO_FILE)->GetValue(), "typed");
    CDlgProperties::SetFolderChooser(nullptr);

    // Leaving the input box copies it, as typed, into an empty output box only.
    wxTextCtrl* input = Control<wxTextCtrl>(page, IDC_INPUT_DIR);
    auto leaveInput = [input] {
        wxFocusEvent left(wxEVT_KILL_FOCUS, input->GetId());
        left.SetEventObject(input);
        input->ProcessWindowEvent(left);
    };
    input->SetValue("/typed/in");
    leaveInput();
    EXPECT_EQ(output->GetValue(), "/videos/");
    output->SetValue("");
    leaveInput();
    EXPECT_EQ(output->GetValue(), "/typed/in");
}

TEST_F(SheetTest, VideoPageRefusesWhatItMustAndKeepsItsPageInFront) {
    ConfigurationSheet sheet(nullptr);
    ASSERT_TRUE(sheet.ShowPage(1));
    CDlgGeneral* page = sheet.General();
    wxSlider* slider = Control<wxSlider>(page, IDC_FRAME_SLIDER);
    EXPECT_EQ(Control<wxStaticText>(page, IDC_COPYRIGHT_LABEL)->GetLabel(),
              wxString::FromUTF8(CDlgGeneral::CopyrightLabel(wxDateTime::Now().GetYear())));
    EXPECT_EQ(slider->GetValue(), 5);

    struct Case {
        const char* frames;
        const char* percent;
        int slider;
        const char* refusal;  // "" when accepted
    };
    const Case cases[] = {
        {"40", "0", 32, "Please enter an integer between 1 and 32."},
        {"", "0", 32, "Please enter an integer."},
        {"12", "101", 12, "Please enter an integer between 0 and 100."},
        {"7", "", 7, "Please enter an integer."},
        {"99999999999", "0", 32, "Please enter an integer between 1 and 32."},
        {"0", "0", 32, "Please enter an integer between 1 and 32."},
        {"32", "100", 32, ""},
    };
    for (const Case& c : cases) {
        Type(page, IDC_FRAMES_PER_SEC, c.frames);
        Type(page, IDC_PERCENT_CHANGE, c.percent);
        EXPECT_EQ(slider->GetValue(), c.slider) << c.frames;
        const size_t before = boxes.Texts().size();
        const bool refused = *c.refusal != '\0';
        // Another page may not be brought to the front, nor the sheet confirmed, with a refused value.
        EXPECT_EQ(sheet.ShowPage(2), !refused) << c.frames << " " << c.percent;
        if (!refused) {
            ASSERT_TRUE(sheet.ShowPage(1));
        }
        EXPECT_EQ(sheet.Confirm(), !refused);
        PumpEventsUntil([&] { return boxes.Texts().size() == before + (refused ? 2 : 0); }, 2000);
        EXPECT_EQ(sheet.GetBookCtrl()->GetSelection(), 1);
        if (refused) {
            ASSERT_EQ(boxes.Texts().size(), before + 2);
            EXPECT_EQ(boxes.Texts().back(), c.refusal);
        }
    }
    EXPECT_EQ(IniKeys(), AsFileHoldsThem({kConfigureKeys, {"Config/Copyright=Tavrin Ltd", "Config/JPGSortOrder=0",
                                                           "Config/FramesPerSec=32", "Detect/MotionDeviation=100"},
                                          kAdvancedKeys}));

    // The slider, the up-down and the arrow keys write the box; the box moves the slider.
    slider->SetValue(20);
    wxCommandEvent moved(wxEVT_SLIDER, IDC_FRAME_SLIDER);
    slider->ProcessWindowEvent(moved);
    EXPECT_EQ(Control<wxTextCtrl>(page, IDC_FRAMES_PER_SEC)->GetValue(), "20");
    wxSpinEvent spun(wxEVT_SPIN, IDC_FRAMES_SPIN);
    spun.SetPosition(9);
    page->FindWindow(IDC_FRAMES_SPIN)->ProcessWindowEvent(spun);
    EXPECT_EQ(Control<wxTextCtrl>(page, IDC_FRAMES_PER_SEC)->GetValue(), "9");
    EXPECT_EQ(slider->GetValue(), 9);
    wxKeyEvent up(wxEVT_KEY_DOWN);
    up.m_keyCode = WXK_UP;
    page->FindWindow(IDC_FRAMES_PER_SEC)->ProcessWindowEvent(up);
    EXPECT_EQ(slider->GetValue(), 10);
}

TEST_F(SheetTest, HandEditedValuesOpenEveryPage) {
    WriteIni("[Config]\nFramesPerSec=abc\nJPGSortOrder=9\n[Detect]\nMotionDeviation=-5\nScaleType=7\n");
    ConfigurationSheet sheet(nullptr);
    ASSERT_TRUE(sheet.ShowPage(1));
    EXPECT_EQ(Control<wxTextCtrl>(sheet.General(), IDC_FRAMES_PER_SEC)->GetValue(), "0");
    EXPECT_EQ(Control<wxTextCtrl>(sheet.General(), IDC_PERCENT_CHANGE)->GetValue(), "-5");
    for (int id = IDC_SORT_FIRST; id < IDC_SORT_FIRST + 4; ++id)
        EXPECT_FALSE(Control<wxRadioButton>(sheet.General(), id)->GetValue()) << id;
    EXPECT_FALSE(sheet.ShowPage(2));
    Type(sheet.General(), IDC_FRAMES_PER_SEC, "10");
    Type(sheet.General(), IDC_PERCENT_CHANGE, "10");
    ASSERT_TRUE(sheet.ShowPage(2));

    // A scale style other than 0 or 1 ticks neither button and is stored as -1, as is the sort
    // order that ticked none.
    CDlgAdvanced* advanced = sheet.Advanced();
    EXPECT_FALSE(Control<wxRadioButton>(advanced, IDC_SLOW_SCALING)->GetValue());
    EXPECT_FALSE(Control<wxRadioButton>(advanced, IDC_FAST_SCALING)->GetValue());
    ASSERT_TRUE(sheet.Confirm());
    const Keys keys = IniKeys();
    EXPECT_NE(std::find(keys.begin(), keys.end(), "Detect/ScaleType=-1"), keys.end());
    EXPECT_NE(std::find(keys.begin(), keys.end(), "Config/JPGSortOrder=-1"), keys.end());
    Control<wxRadioButton>(advanced, IDC_SLOW_SCALING)->SetValue(true);
    ASSERT_TRUE(sheet.Confirm());
    EXPECT_NE(ReadFileBytes(ini).find("ScaleType=0"), std::string::npos);
}

TEST_F(SheetTest, ClickOnAnotherTabIsRefusedWithTheValue) {
    auto* sheet = new ConfigurationSheet(nullptr);
    sheet->Show();
    const std::string window = WaitForWindow("^Configure$", 10000, [] { PumpEventsFor(20); });
    ASSERT_FALSE(window.empty());
    ASSERT_TRUE(sheet->ShowPage(1));
    Type(sheet->General(), IDC_FRAMES_PER_SEC, "40");

    // Where the "Advanced" tab is, found by the notebook itself.
    wxBookCtrlBase* book = sheet->GetBookCtrl();
    wxPoint tab;
    for (int x = 0; x < book->GetSize().x && tab == wxPoint(); x += 4)
        for (int y = 0; y < 60 && tab == wxPoint(); y += 4)
            if (book->HitTest(wxPoint(x, y)) == 2)
                tab = wxPoint(x, y);
    ASSERT_NE(tab, wxPoint());
    const wxPoint at = sheet->ScreenToClient(book->ClientToScreen(tab));
    ClickAt(window, at.x, at.y);
    EXPECT_TRUE(PumpEventsUntil([&] { return !boxes.Texts().empty(); }, 3000));
    PumpEventsFor(100);
    ASSERT_EQ(boxes.Texts().size(), 1u);
    EXPECT_EQ(boxes.Texts()[0], "Please enter an integer between 1 and 32.");
    EXPECT_EQ(book->GetSelection(), 1);

    Type(sheet->General(), IDC_FRAMES_PER_SEC, "20");
    // Another point of the tab: a pointer that is already where it is sent waits to move.
    ClickAt(window, at.x + 2, at.y + 2);
    EXPECT_TRUE(PumpEventsUntil([&] { return book->GetSelection() == 2; }, 3000));
    EXPECT_TRUE(sheet->Advanced()->IsInitialised());
    sheet->Destroy();
    PumpEventsFor(50);
}
