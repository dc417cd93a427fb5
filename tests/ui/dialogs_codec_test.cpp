// The Select Codec dialog's controls over the codec-choice rules: what they show for the stored
// options, what OK hands back, what the key-frame box refuses, and a compressor's own options.

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/slider.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <memory>
#include <string>

#include "config/ui/ControlIds.h"
#include "config/ui/Dialogs.h"
#include "config/ui/SelectCodecDialog.h"
#include "platform/Codecs.h"
#include "support/DialogTesting.h"
#include "support/TestImages.h"
#include "support/XDisplay.h"

namespace {

constexpr DWORD kMjpg = mmioFOURCC('M', 'J', 'P', 'G');

class CodecDialogTest : public DialogTest {
protected:
    void SetUp() override {
        DialogTest::SetUp();
        PIXREEL_REQUIRE_DISPLAY();
        sample = dir.file("sample.jpg");
        WriteJpeg(sample, 32, 16, Pattern(1));
    }
    // The dialog as it opens for options stored with these values.
    SelectCodecDialog& Open(DWORD code, DWORD quality, DWORD keyFrames) {
        options = AVICOMPRESSOPTIONS{};
        options.fccHandler = code;
        options.dwQuality = quality;
        options.dwKeyFrameEvery = keyFrames;
        request = CodecRequest{sample.c_str(), &options, 0, ""};
        dialog = std::make_unique<SelectCodecDialog>(nullptr, request);
        EXPECT_TRUE(dialog->Initialise());
        return *dialog;
    }
    int EntryOf(DWORD code) const {
        const auto& entries = dialog->Choice().Entries();
        for (size_t i = 1; i < entries.size(); ++i)
            if (entries[i].code == code)
                return static_cast<int>(i);
        return 0;
    }
    void Select(int entry) {
        auto* list = Control<wxChoice>(dialog.get(), IDC_CODEC_LIST);
        list->SetSelection(entry);
        wxCommandEvent chosen(wxEVT_CHOICE, list->GetId());
        chosen.SetInt(entry);
        list->ProcessWindowEvent(chosen);
    }
    wxWindow* Find(int id) const { return dialog->FindWindow(id); }

    std::string sample;
    AVICOMPRESSOPTIONS options{};
    CodecRequest request{};
    std::unique_ptr<SelectCodecDialog> dialog;
};

}  // namespace

TEST_F(CodecDialogTest, FreshSettingsOfferFullFramesWithTheSliderAtOne) {
    Open(0, 0, 0);
    auto* list = Control<wxChoice>(dialog.get(), IDC_CODEC_LIST);
    ASSERT_EQ(list->GetCount(), dialog->Choice().Entries().size());
    EXPECT_EQ(list->GetSelection(), 0);
    EXPECT_EQ(list->GetString(0), "Full Frames (Uncompressed)");
    EXPECT_EQ(Control<wxSlider>(dialog.get(), IDC_QUALITY)->GetValue(), 1);
    EXPECT_EQ(Control<wxStaticText>(dialog.get(), IDC_PERCENT)->GetLabel(), "0%");
    EXPECT_EQ(Control<wxTextCtrl>(dialog.get(), IDC_KEY_FRAMES)->GetValue(), "0");
    EXPECT_FALSE(Control<wxCheckBox>(dialog.get(), IDC_ALWAYS_USE)->GetValue());
    for (int id : {IDC_CONFIGURE, IDC_QUALITY, IDC_PERCENT,
                   IDC_QUALITY_LABEL})
        EXPECT_FALSE(Find(id)->IsEnabled()) << id;

    ASSERT_TRUE(dialog->Accept());
    EXPECT_EQ(options.fccHandler, comptypeDIB);
    EXPECT_EQ(options.dwQuality, 100u);
    EXPECT_STREQ(request.CodecName, "Full Frames (Uncompressed)");
}

TEST_F(CodecDialogTest, RememberedCompressorKeepsItsQualityAndOkHandsBackTheControls) {
    Open(kMjpg, 7550, 12);
    ASSERT_NE(EntryOf(kMjpg), 0);
    EXPECT_EQ(Control<wxChoice>(dialog.get(), IDC_CODEC_LIST)->GetSelection(), EntryOf(kMjpg));
    EXPECT_EQ(Control<wxSlider>(dialog.get(), IDC_QUALITY)->GetValue(), 75);
    EXPECT_EQ(Control<wxStaticText>(dialog.get(), IDC_PERCENT)->GetLabel(), "75%");
    EXPECT_EQ(Control<wxTextCtrl>(dialog.get(), IDC_KEY_FRAMES)->GetValue(), "12");
    EXPECT_TRUE(Find(IDC_CONFIGURE)->IsEnabled());
    EXPECT_TRUE(Find(IDC_QUALITY)->IsEnabled());

    // Full frames have no options; back on the compressor, its remembered values return.
    Select(0);
    EXPECT_FALSE(Find(IDC_CONFIGURE)->IsEnabled());
    Select(EntryOf(kMjpg));
    EXPECT_TRUE(Find(IDC_CONFIGURE)->IsEnabled());

    Control<wxCheckBox>(dialog.get(), IDC_ALWAYS_USE)->SetValue(true);
    struct Case {
        const char* keyFrames;
        const char* refusal;  // "" when accepted
    };
    const Case cases[] = {
        {"40000", "Please enter an integer between 0 and 32700."},
        {"", "Please enter a positive integer."},
        {"32700", ""},
    };
    for (const Case& c : cases) {
        const size_t before = boxes.Texts().size();
        Control<wxTextCtrl>(dialog.get(), IDC_KEY_FRAMES)->SetValue(c.keyFrames);
        EXPECT_EQ(dialog->Accept(), *c.refusal == '\0') << c.keyFrames;
        if (*c.refusal) {
            ASSERT_EQ(boxes.Texts().size(), before + 1);
            EXPECT_EQ(boxes.Texts().back(), c.refusal);
        }
    }
    EXPECT_EQ(options.fccHandler, kMjpg);
    EXPECT_EQ(options.dwQuality, 7500u);
    EXPECT_EQ(options.dwKeyFrameEvery, 32700u);
    EXPECT_EQ(request.AlwaysUse, 1);
    EXPECT_STREQ(request.CodecName, "Motion JPEG (libjpeg-turbo)");
}

TEST_F(CodecDialogTest, UnknownStoredCompressorAndUnreadableSample) {
    Open(mmioFOURCC('Z', 'Z', 'Z', 'Z'), 5000, 3);
    EXPECT_EQ(Control<wxChoice>(dialog.get(), IDC_CODEC_LIST)->GetSelection(), 0);

    options = AVICOMPRESSOPTIONS{};
    const std::string missing = dir.file("gone.jpg");
    CodecRequest lost{missing.c_str(), &options, 0, ""};
    EXPECT_EQ(RunSelectCodecDialog(nullptr, lost), 0);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, "Error. Failed to open " + missing);
    EXPECT_EQ(boxes.Boxes()[0].flags & MB_ICONHAND, MB_ICONHAND);
    EXPECT_EQ(options.fccHandler, 0u);
}

TEST_F(CodecDialogTest, RunAnswersOneForOkAndZeroForCancel) {
    AVICOMPRESSOPTIONS stored{};
    CodecRequest asked{sample.c_str(), &stored, 0, ""};
    WhenModal([](wxWindow* shown) { PressButton(shown, wxID_CANCEL); });
    EXPECT_EQ(RunSelectCodecDialog(nullptr, asked), 0);
    EXPECT_EQ(stored.fccHandler, 0u);
    WhenModal([](wxWindow* shown) { PressButton(shown, wxID_OK); });
    EXPECT_EQ(RunSelectCodecDialog(nullptr, asked), 1);
    EXPECT_EQ(stored.fccHandler, comptypeDIB);
}

TEST_F(CodecDialogTest, ConfigureShowsTheCompressorsOptionsAndKeepsThemInTheSettingsFile) {
    Open(kMjpg, 8500, 0);
    WhenModal([](wxWindow* shown) {
        // The first option, the chroma subsampling, set to its second choice.
        for (wxWindow* child : shown->GetChildren()) {
            if (auto* list = dynamic_cast<wxChoice*>(child)) {
                list->SetSelection(1);
                break;
            }
        }
        static_cast<wxDialog*>(shown)->EndModal(wxID_OK);
    });
    PressButton(dialog.get(), IDC_CONFIGURE);
    const std::vector<std::string> keys = IniKeys();
    ASSERT_FALSE(keys.empty()) << ReadFileBytes(ini);
    EXPECT_EQ(keys[0].rfind("Codec.MJPG/", 0), 0u) << keys[0];
}
