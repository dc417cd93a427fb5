// The main window in the test program: its frame built from the command table, the form's rules,
// the status log, the file list, the pictures and a conversion run through its commands.

#include <gtest/gtest.h>
#include <wx/checkbox.h>
#include <wx/clipbrd.h>
#include <wx/dataobj.h>
#include <wx/menu.h>
#include <wx/radiobut.h>
#include <wx/slider.h>
#include <wx/statusbr.h>
#include <wx/textctrl.h>
#include <wx/toolbar.h>
#include <wx/tooltip.h>
#include <wx/weakref.h>

#include <filesystem>
#include <memory>

#include "config/CommandLineOverlay.h"
#include "engine/ConversionView.h"
#include "engine/FileList.h"
#include "engine/PixreelDoc.h"
#include "platform/ProcessCommandLine.h"
#include "platform/StringTable.h"
#include "shell/WindowCalls.h"
#include "shell/ui/Commands.h"
#include "shell/ui/FileListCtrl.h"
#include "shell/ui/GuiServices.h"
#include "shell/ui/MainFrame.h"
#include "shell/ui/PictureBox.h"
#include "shell/ui/PixreelView.h"
#include "shell/ui/StatusLogCtrl.h"
#include "support/Ffprobe.h"
#include "support/JobTesting.h"
#include "support/TempDir.h"
#include "support/TestImages.h"
#include "support/WxTesting.h"
#include "support/XDisplay.h"

namespace fs = std::filesystem;

namespace {

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(dir.file("in"));
        fs::create_directories(dir.file("out"));
    }
    void TearDown() override {
        if (window) {
            window->Close();
            PumpEventsUntil([&] { return !window; });
        }
    }

    // Opens the window on a settings file that lists in/ in A-Z order, writes to out/ and keeps
    // uncompressed frames; `config` adds keys to the "Config" section; `arguments` (program path
    // first) make it a command-line run.
    void Open(const std::string& config = "", const std::vector<std::string>& arguments = {}) {
        ini = std::make_unique<IniScope>(dir.file("pixreel.ini"),
                                         "[Config]\nJPGDir=" + dir.file("in") + "/\nOutputPath=" + dir.file("out") +
                                             "/\nJPGSortOrder=2\nRememberCodec=1\n" + config +
                                             "\n[Codec]\nfccHandler=541215044\n");
        InstallCommandLineOverlay();
        SetProcessArguments(arguments);
        frame = new CMainFrame(CreateWindowThreadCalls());
        window = frame;
        frame->View().InitialUpdate();
        frame->Show();
        if (arguments.empty())
            PumpEventsFor(100);  // a command-line run may close by itself meanwhile
    }
    void Image(const std::string& name, uint32_t width = 64, uint32_t height = 48, uint32_t seed = 1) {
        WriteJpeg(dir.file("in/" + name), width, height, Pattern(seed));
    }

    CPixreelView& View() { return frame->View(); }
    CConversionView& Conversion() { return View().Conversion(); }
    template <class T>
    T* Control(FormControl id) {
        return static_cast<T*>(View().Control(id));
    }
    wxRect Rect(FormControl id) { return View().Control(id)->GetRect(); }
    std::string LogText() { return View().StatusLog().GetValue().utf8_string(); }
    void WaitForWorker() {
        ASSERT_TRUE(PumpEventsUntil([&] { return !Conversion().IsWorkerAlive(); }, 30000));
        PumpEventsFor(50);
    }

    TempDir dir;
    std::unique_ptr<IniScope> ini;
    BoxRecorder boxes;
    CMainFrame* frame = nullptr;
    wxWeakRef<wxFrame> window;  // empty once the frame is gone
};

}  // namespace

TEST_F(MainWindowTest, FrameIsBuiltFromTheCommandTable) {
    PIXREEL_REQUIRE_DISPLAY();
    Open();
    EXPECT_EQ(frame->GetTitle(), "Pixreel");
    EXPECT_EQ(frame->GetMinSize(), frame->GetSize());

    wxMenuBar* bar = frame->GetMenuBar();
    ASSERT_EQ(bar->GetMenuCount(), MainMenuLayout().size());
    for (size_t m = 0; m < MainMenuLayout().size(); ++m) {
        const MenuLayout& layout = MainMenuLayout()[m];
        EXPECT_EQ(bar->GetMenuLabel(m), layout.title);
        const wxMenuItemList& items = bar->GetMenu(m)->GetMenuItems();
        ASSERT_EQ(items.size(), layout.items.size());
        size_t i = 0;
        for (const wxMenuItem* item : items) {
            const int id = layout.items[i++];
            EXPECT_EQ(item->IsSeparator(), id == 0);
            if (id) {
                EXPECT_EQ(item->GetItemLabel(), MenuLabel(FindCommand(id)->menuCaption));
            }
        }
    }
    EXPECT_EQ(bar->FindItem(FindCommand(CMD_SORT_CREATION)->wxId)->GetItemLabel(), "Sort Time C&reation ");
    EXPECT_FALSE(bar->IsEnabled(FindCommand(CMD_CLOSE_AVI)->wxId));
    EXPECT_FALSE(frame->GetToolBar()->GetToolEnabled(FindCommand(CMD_CLOSE_AVI)->wxId));
    EXPECT_TRUE(bar->IsChecked(FindCommand(CMD_TOOLBAR)->wxId));
    frame->RunCommand(CMD_TOOLBAR);
    EXPECT_FALSE(frame->GetToolBar()->IsShown());
    EXPECT_FALSE(bar->IsChecked(FindCommand(CMD_TOOLBAR)->wxId));
    frame->RunCommand(CMD_TOOLBAR);
    EXPECT_TRUE(frame->GetToolBar()->IsShown());

    wxToolBar* tools = frame->GetToolBar();
    ASSERT_EQ(static_cast<size_t>(tools->GetToolsCount()), ToolbarLayout().size());
    for (size_t i = 0; i < ToolbarLayout().size(); ++i) {
        const wxToolBarToolBase* tool = tools->GetToolByPos(static_cast<int>(i));
        const int id = ToolbarLayout()[i];
        EXPECT_EQ(tool->IsSeparator(), id == 0);
        if (id) {
            EXPECT_EQ(tool->GetId(), FindCommand(id)->wxId);
            EXPECT_EQ(tool->GetShortHelp(), ToolTipOf(*FindCommand(id)));
            EXPECT_EQ(tool->GetLongHelp(), PromptOf(*FindCommand(id)));
        }
    }
    EXPECT_EQ(ToolTipOf(*FindCommand(CMD_SELECT_FILES)), "Select JPG");
    EXPECT_EQ(PromptOf(*FindCommand(CMD_SELECT_FILES)), "Select an existing JPG or Bitmap file");

    wxStatusBar* status = frame->GetStatusBar();
    ASSERT_EQ(status->GetFieldsCount(), 6);
    EXPECT_EQ(status->GetStatusText(0), "Ready");
    wxRect time, name;
    status->GetFieldRect(1, time);
    status->GetFieldRect(5, name);
    for (int pane = 2; pane <= 4; ++pane) {
        wxRect rect;
        status->GetFieldRect(pane, rect);
        EXPECT_EQ(rect.width, time.width);
    }
    EXPECT_GT(name.width, 3 * time.width);
    frame->SetPaneText(ID_INDICATOR_FILE_NUMBER, "7");
    EXPECT_EQ(status->GetStatusText(2), "7");

    // Prompts: a highlighted menu item or a tool under the pointer shows its prompt, then "Ready".
    wxMenuEvent highlight(wxEVT_MENU_HIGHLIGHT, FindCommand(CMD_REFRESH)->wxId);
    frame->ProcessWindowEvent(highlight);
    EXPECT_EQ(status->GetStatusText(0), "Refresh the list box contents");
    wxMenuEvent leave(wxEVT_MENU_HIGHLIGHT, wxID_NONE);
    frame->ProcessWindowEvent(leave);
    tools->OnMouseEnter(FindCommand(CMD_PROCESS_FILES)->wxId);
    EXPECT_EQ(status->GetStatusText(0), "Process the files(s) selected");
    tools->OnMouseEnter(-1);
    EXPECT_EQ(status->GetStatusText(0), "Ready");
}

TEST_F(MainWindowTest, FormShowsItsSettingsAndFollowsItsRules) {
    PIXREEL_REQUIRE_DISPLAY();
    Open("AVIScale=1\nAVIXScale=640\nAVIXYcale=480\nAVIStyle=0\nBrightness=-40\nContrast=300\nDisplayToolTips=0");
    EXPECT_TRUE(Control<wxCheckBox>(FormControl::Scale)->GetValue());
    EXPECT_EQ(Control<wxTextCtrl>(FormControl::ScaleWidth)->GetValue(), "640");
    EXPECT_TRUE(Control<wxRadioButton>(FormControl::UniqueAvi)->GetValue());
    EXPECT_EQ(View().Document().OutputMode(), CPixreelDoc::kOnePerImage);
    auto* brightness = Control<wxSlider>(FormControl::Brightness);
    EXPECT_EQ(brightness->GetValue(), -40);
    EXPECT_EQ(brightness->GetMin(), -255);
    EXPECT_EQ(brightness->GetMax(), 255);
    EXPECT_EQ(Control<wxSlider>(FormControl::Contrast)->GetMax(), 512);

    // Each check box enables its own fields only.
    EXPECT_TRUE(Control<wxTextCtrl>(FormControl::ScaleHeight)->IsEnabled());
    EXPECT_FALSE(Control<wxTextCtrl>(FormControl::RotateAngle)->IsEnabled());
    EXPECT_FALSE(brightness->IsEnabled());
    auto* rotate = Control<wxCheckBox>(FormControl::Rotate);
    rotate->SetValue(true);
    wxCommandEvent click(wxEVT_CHECKBOX, rotate->GetId());
    click.SetEventObject(rotate);
    rotate->ProcessWindowEvent(click);
    EXPECT_TRUE(Control<wxTextCtrl>(FormControl::RotateAngle)->IsEnabled());
    EXPECT_FALSE(brightness->IsEnabled());
    EXPECT_EQ(Conversion().Form().AVIRotate, 1);  // the click read the form

    auto* single = Control<wxRadioButton>(FormControl::SingleAvi);
    single->SetValue(true);
    wxCommandEvent pick(wxEVT_RADIOBUTTON, single->GetId());
    pick.SetEventObject(single);
    single->ProcessWindowEvent(pick);
    EXPECT_EQ(View().Document().OutputMode(), CPixreelDoc::kOneForAll);

    // Tool tips follow DisplayToolTips without a restart.
    EXPECT_EQ(View().Control(FormControl::FileList)->GetToolTip(), nullptr);
    std::string text = ReadFileBytes(ini->path());
    text.replace(text.find("DisplayToolTips=0"), 17, "DisplayToolTips=1");
    WriteFileBytes(ini->path(), text);
    Conversion().ReloadSettings();
    View().ApplyToolTips();
    ASSERT_NE(View().Control(FormControl::FileList)->GetToolTip(), nullptr);
    EXPECT_EQ(View().Control(FormControl::FileList)->GetToolTip()->GetTip(), "The bitmap files to process");
    EXPECT_EQ(View().Control(FormControl::VideoLabel)->GetToolTip(), nullptr);
}

TEST_F(MainWindowTest, ReadingStopsAtTheFirstFieldWithoutAnInteger) {
    PIXREEL_REQUIRE_DISPLAY();
    Open("AVIXScale=640\nAVIRotateAngle=15");
    Control<wxCheckBox>(FormControl::Scale)->SetValue(true);
    Control<wxCheckBox>(FormControl::Rotate)->SetValue(true);
    Control<wxTextCtrl>(FormControl::RotateAngle)->ChangeValue("");
    Control<wxTextCtrl>(FormControl::ScaleWidth)->ChangeValue("800");
    View().ReadForm();
    ASSERT_EQ(boxes.Texts(), std::vector<std::string>{"Please enter an integer."});
    const FormValues form = Conversion().Form();
    EXPECT_EQ(form.AVIScale, 1);         // read before the empty field
    EXPECT_EQ(form.AVIRotate, 0);        // after it: unchanged
    EXPECT_EQ(form.AVIXScale, 640);
    EXPECT_EQ(form.AVIRotateAngle, 15);
    PumpEventsFor(50);
    EXPECT_EQ(wxWindow::FindFocus(), View().Control(FormControl::RotateAngle));
}

TEST_F(MainWindowTest, NoControlIsClippedOrOverlapsAnother) {
    PIXREEL_REQUIRE_DISPLAY();
    Open();
    const wxRect form(wxPoint(0, 0), View().FormSize());
    for (const FormControlSpec& layout : FormControls()) {
        const wxRect rect = Rect(layout.id);
        EXPECT_TRUE(form.Contains(rect)) << static_cast<int>(layout.id);
        if (layout.kind == ControlKind::Label || layout.kind == ControlKind::CheckBox || layout.kind == ControlKind::Radio ||
            layout.kind == ControlKind::RadioFirst || layout.kind == ControlKind::DigitsEdit) {
            const wxSize best = View().Control(layout.id)->GetBestSize();
            EXPECT_GE(rect.height, best.GetHeight()) << static_cast<int>(layout.id);
            if (layout.kind != ControlKind::DigitsEdit) {
                EXPECT_GE(rect.width, best.GetWidth()) << static_cast<int>(layout.id);
            }
        }
        if (layout.kind == ControlKind::GroupBox)
            continue;
        for (const FormControlSpec& other : FormControls()) {
            // Where the form's own rectangles overlap (a label reaching under its slider), the
            // controls may too.
            const LayoutRect& a = layout.dialogUnits;
            const LayoutRect& b = other.dialogUnits;
            const bool designed = a.x < b.Right() && b.x < a.Right() && a.y < b.Bottom() && b.y < a.Bottom();
            if (other.kind != ControlKind::GroupBox && other.id > layout.id && !designed) {
                EXPECT_FALSE(rect.Intersects(Rect(other.id)))
                    << static_cast<int>(layout.id) << " and " << static_cast<int>(other.id);
            }
        }
    }
}

TEST_F(MainWindowTest, ControlsFollowAResizeByTheirRules) {
    PIXREEL_REQUIRE_DISPLAY();
    Open();
    struct Before {
        FormControl id;
        wxRect rect;
    };
    std::vector<Before> before;
    for (FormControl id : {FormControl::FileList, FormControl::StatusLog, FormControl::VideoBox, FormControl::Scale,
                           FormControl::Contrast, FormControl::PreviewBox, FormControl::VideoLabel})
        before.push_back({id, Rect(id)});
    const wxSize start = frame->GetClientSize();
    frame->SetClientSize(start + wxSize(120, 80));
    ASSERT_TRUE(PumpEventsUntil([&] { return View().GetClientSize() == View().FormSize() + wxSize(120, 80); }));
    PumpEventsFor(50);
    auto grown = [](wxRect r, int x, int y, int w, int h) { return wxRect(r.x + x, r.y + y, r.width + w, r.height + h); };
    EXPECT_EQ(Rect(FormControl::FileList), grown(before[0].rect, 0, 0, 0, 80));
    EXPECT_EQ(Rect(FormControl::StatusLog), grown(before[1].rect, 0, 80, 120, 0));
    EXPECT_EQ(Rect(FormControl::VideoBox), grown(before[2].rect, 0, 0, 120, 80));
    EXPECT_EQ(Rect(FormControl::Scale), grown(before[3].rect, 120, 0, 0, 0));
    EXPECT_EQ(Rect(FormControl::Contrast), grown(before[4].rect, 120, 0, 0, 0));
    EXPECT_EQ(Rect(FormControl::PreviewBox), before[5].rect);
    EXPECT_EQ(Rect(FormControl::VideoLabel), before[6].rect);
}

TEST_F(MainWindowTest, StatusLogTrimsColoursAndEdits) {
    PIXREEL_REQUIRE_DISPLAY();
    Open();
    CStatusLogCtrl& log = View().StatusLog();
    log.ClearLog();
    for (int i = 0; i < 5000; ++i)
        log.Append("line " + std::to_string(i), false, true);
    EXPECT_EQ(log.LineCount(), 5001);  // 5000 lines and the empty one after the last line end
    log.Append("next", false, true);
    EXPECT_EQ(log.GetLineText(0), "line 2000");
    EXPECT_EQ(log.LineCount(), 3002);

    log.ClearLog();
    log.Append("bad", true, true);
    log.Append("good", false, true);
    wxTextAttr red, normal;
    ASSERT_TRUE(log.GetStyle(1, red));
    ASSERT_TRUE(log.GetStyle(5, normal));
    EXPECT_EQ(red.GetTextColour(), wxColour(255, 0, 0));
    EXPECT_NE(normal.GetTextColour(), wxColour(255, 0, 0));

    // Cut and Clear are undone; the control stays read-only.
    log.SetSelection(0, 4);
    frame->RunCommand(CMD_CUT);
    EXPECT_EQ(log.GetValue(), "good\n");
    frame->RunCommand(CMD_UNDO);
    EXPECT_EQ(log.GetValue(), "bad\ngood\n");
    frame->RunCommand(CMD_CLEAR_LOG);
    EXPECT_EQ(log.GetValue(), "");
    frame->RunCommand(CMD_UNDO);
    EXPECT_EQ(log.GetValue(), "bad\ngood\n");
    EXPECT_FALSE(log.IsEditable());
}

TEST_F(MainWindowTest, EditKeysActOnTheStatusLogWhereverTheFocusIs) {
    PIXREEL_REQUIRE_DISPLAY();
    Open("AVIXScale=320");
    const std::string id = WaitForWindow("^Pixreel$", 10000, [] { PumpEventsFor(20); });
    ASSERT_FALSE(id.empty());
    CStatusLogCtrl& log = View().StatusLog();
    log.ClearLog();
    log.Append("copied text", false, true);
    auto* width = Control<wxTextCtrl>(FormControl::ScaleWidth);
    width->Enable();
    width->SetFocus();
    PumpEventsFor(50);
    log.SetSelection(0, 6);
    SendKeys(id, "ctrl+c");
    PumpEventsFor(200);
    wxString clipboard;
    if (wxTheClipboard->Open()) {
        wxTextDataObject text;
        if (wxTheClipboard->GetData(text))
            clipboard = text.GetText();
        wxTheClipboard->Close();
    }
    EXPECT_EQ(clipboard, "copied");
    SendKeys(id, "ctrl+v");  // Paste has no effect anywhere
    PumpEventsFor(200);
    EXPECT_EQ(width->GetValue(), "320");
    width->SetInsertionPointEnd();
    TypeText(id, "-5x");  // digits only: no sign
    PumpEventsFor(300);
    EXPECT_EQ(width->GetValue(), "3205");
}

TEST_F(MainWindowTest, FileListShowsTheModelAndHandsBackTheSelection) {
    PIXREEL_REQUIRE_DISPLAY();
    for (const char* name : {"b.jpg", "C.jpg", "a.jpg"})
        Image(name);
    Open();
    CFileListCtrl& list = View().FileListCtrl();
    auto names = [&] {
        std::vector<std::string> shown;
        for (long i = 0; i < list.GetItemCount(); ++i)
            shown.push_back(list.GetItemText(i, 1).utf8_string());
        return shown;
    };
    EXPECT_EQ(names(), (std::vector<std::string>{"a.jpg", "b.jpg", "C.jpg"}));  // A-Z ignoring case
    EXPECT_EQ(list.SelectedRows(), (std::vector<int>{0, 1, 2}));                 // AutoSelect
    frame->RunCommand(CMD_SORT_A_Z);                                             // upper case first
    EXPECT_EQ(names(), (std::vector<std::string>{"C.jpg", "a.jpg", "b.jpg"}));

    list.SetItemState(-1, 0, wxLIST_STATE_SELECTED);
    list.SetItemState(2, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    PumpEventsFor(20);
    std::string first;
    int index = -1;
    ASSERT_TRUE(Conversion().Files().FirstSelected(first, index));
    EXPECT_EQ(first, "b.jpg");
    frame->RunCommand(CMD_DELETE);
    EXPECT_EQ(names(), (std::vector<std::string>{"C.jpg", "a.jpg"}));

    // Dropped files replace the list unselected; dropped folders are left out.
    std::vector<std::string> dropped;
    for (int i = 0; i < 10000; ++i)
        dropped.push_back(dir.file("in/drop" + std::to_string(i) + ".jpg"));
    View().DropFiles(dropped);
    EXPECT_EQ(list.GetItemCount(), 10000);
    EXPECT_TRUE(list.SelectedRows().empty());
    View().DropFiles({dir.file("in"), dir.file("out")});
    EXPECT_EQ(list.GetItemCount(), 0);
}

TEST_F(MainWindowTest, PreviewShowsTheFirstSelectedEntryAndItsInformation) {
    PIXREEL_REQUIRE_DISPLAY();
    WriteJpeg(dir.file("in/a.jpg"), 400, 200, SolidColor({255, 255, 255}));
    WriteFileBytes(dir.file("in/b.jpg"), "no picture here");
    Open();
    CPictureBox& preview = View().PreviewBox();
    const wxSize box = preview.GetClientSize();
    ASSERT_TRUE(PumpEventsUntil([&] { return preview.PictureSize().GetWidth() == box.GetWidth(); }));
    EXPECT_EQ(preview.PictureSize().GetHeight(), box.GetWidth() / 2);

    // A file that does not decode leaves the box as it was, without a message.
    CFileListCtrl& list = View().FileListCtrl();
    list.SetItemState(-1, 0, wxLIST_STATE_SELECTED);
    list.SetItemState(1, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    PumpEventsFor(300);
    EXPECT_EQ(preview.PictureSize().GetWidth(), box.GetWidth());
    EXPECT_TRUE(boxes.Texts().empty());

    // After the Bitmap Information box the sliders show brightness 0 and the mean gray level.
    list.SetItemState(-1, 0, wxLIST_STATE_SELECTED);
    list.SetItemState(0, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    ASSERT_TRUE(PumpEventsUntil([&] { return View().Services().PreviewName() == "a.jpg"; }));
    CloseNextModalDialog(3000);
    View().ShowBitmapInformation();
    EXPECT_EQ(Control<wxSlider>(FormControl::Brightness)->GetValue(), 0);
    EXPECT_EQ(Control<wxSlider>(FormControl::Contrast)->GetValue(), 255);
    EXPECT_EQ(Conversion().Form().Contrast, 255);

    // A released slider previews its brightness and contrast, switched on or not: dark here.
    auto* brightness = Control<wxSlider>(FormControl::Brightness);
    brightness->SetValue(-255);
    Control<wxSlider>(FormControl::Contrast)->SetValue(100);
    wxScrollEvent release(wxEVT_SCROLL_CHANGED, brightness->GetId());
    release.SetEventObject(brightness);
    brightness->ProcessWindowEvent(release);
    EXPECT_TRUE(wxIsBusy());
    ASSERT_TRUE(PumpEventsUntil([] { return !wxIsBusy(); }));
    const wxImage shown = preview.Canvas().ConvertToImage();
    EXPECT_LT(shown.GetRed(10, 10), 20);
    EXPECT_EQ(Conversion().Form().UseBrightness, 0);
}

TEST_F(MainWindowTest, ConversionMarksTheListAndIsStoppedAndRefusedAsTheCommandsSay) {
    PIXREEL_REQUIRE_DISPLAY();
    for (int i = 1; i <= 3; ++i) {
        const std::string number = std::to_string(i);  // not a temporary: GCC 12 -O3 warns falsely on "f" + temporary
        Image("f" + number + ".jpg", 160, 120, static_cast<uint32_t>(i));
    }
    Open("FramesPerSec=1");
    frame->RunCommand(CMD_PROCESS_FILES);
    WaitForWorker();
    for (const FileList::Entry& entry : Conversion().Files().Entries())
        EXPECT_TRUE(entry.converted) << entry.name;
    EXPECT_NE(LogText().find("Processed f3.jpg"), std::string::npos);
    EXPECT_TRUE(frame->GetMenuBar()->IsEnabled(FindCommand(CMD_CLOSE_AVI)->wxId));
    frame->RunCommand(CMD_CLOSE_AVI);
    PumpEventsFor(50);
    EXPECT_FALSE(frame->GetMenuBar()->IsEnabled(FindCommand(CMD_CLOSE_AVI)->wxId));
    ASSERT_EQ(std::distance(fs::directory_iterator(dir.file("out")), fs::directory_iterator()), 1);
    const std::string avi = fs::directory_iterator(dir.file("out"))->path().string();
    EXPECT_EQ(ProbeFile(avi, true).streams.at(0).nbReadFrames, 3);

    // A long conversion: each picture shown for an hour. Process is refused while it runs, and
    // Stop ends it between two frames.
    Control<wxCheckBox>(FormControl::UseFrameTime)->SetValue(true);
    Control<wxTextCtrl>(FormControl::FrameTime)->ChangeValue("3600000");
    frame->RunCommand(CMD_PROCESS_ALL_FILES);
    ASSERT_TRUE(PumpEventsUntil([&] {
        const std::string log = LogText();
        return log.find("Opened AVI file", log.find("Opened AVI file") + 1) != std::string::npos;
    }));
    frame->RunCommand(CMD_PROCESS_FILES);
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Please wait files are still being processed"});
    frame->RunCommand(CMD_STOP);
    EXPECT_FALSE(Conversion().IsWorkerAlive());
    PumpEventsFor(50);
    const std::string log = LogText();
    const size_t abort = log.find("Abort processing request");
    const size_t stopping = log.find("Stopping Processing");
    const size_t stopped = log.find("Processing stopped by user");
    EXPECT_LT(abort, stopping);
    EXPECT_LT(stopping, stopped);
    EXPECT_NE(stopped, std::string::npos);
}

TEST_F(MainWindowTest, UnattendedRunReportsALogFileItCannotOpenInRedAndClosesByItself) {
    PIXREEL_REQUIRE_DISPLAY();
    // Nothing to convert: the run closes its window by itself, without a question, once its
    // start-up lines are in the log, the red one among them.
    Open("", {"pixreel", "-d", dir.file("out"), "-l", dir.file("no/such/folder/run.log")});
    std::string log;
    wxColour colour;
    const std::string failure = "Failed to open the log file " + dir.file("no/such/folder/run.log");
    ASSERT_TRUE(PumpEventsUntil(
        [&] {
            if (!window)
                return true;
            log = LogText();
            wxTextAttr style;
            if (log.find(failure) != std::string::npos &&
                View().StatusLog().GetStyle(static_cast<long>(log.find(failure)) + 1, style))
                colour = style.GetTextColour();
            return false;
        },
        10000));
    EXPECT_NE(log.find(failure), std::string::npos) << log;
    EXPECT_EQ(colour, wxColour(255, 0, 0));
    EXPECT_TRUE(boxes.Texts().empty());
    SetProcessArguments({});
}
