#include "shell/ui/MainFrame.h"

#include <wx/accel.h>
#include <wx/app.h>
#include <wx/artprov.h>
#include <wx/filedlg.h>
#include <wx/menu.h>
#include <wx/statusbr.h>
#include <wx/toolbar.h>
#include <wx/utils.h>

#include <map>
#include <vector>

#include "config/ui/Dialogs.h"
#include "engine/ConversionView.h"
#include "engine/FileList.h"
#include "engine/StatusLog.h"
#include "platform/MessageBox.h"
#include "platform/StringTable.h"
#include "shell/WindowCalls.h"
#include "shell/ui/Commands.h"
#include "shell/ui/FileListCtrl.h"
#include "shell/ui/GuiServices.h"
#include "shell/ui/PixreelView.h"
#include "shell/ui/StatusLogCtrl.h"

namespace {

std::string Text(unsigned id) {
    const char* text = LoadStringText(id);
    return text ? text : "";
}

wxString Wx(const std::string& text) {
    return wxString::FromUTF8(text);
}

// The status bar: the message pane, then the five panes the conversion fills, by identifier.
constexpr int kPaneIds[] = {0, ID_INDICATOR_TIME, ID_INDICATOR_FILE_NUMBER, ID_INDICATOR_FAILURES,
                            ID_INDICATOR_FILE_COUNT, ID_INDICATOR_FILE_NAME};
constexpr int kPaneCount = static_cast<int>(std::size(kPaneIds));

int PaneIndex(int paneId) {
    for (int i = 1; i < kPaneCount; ++i)
        if (kPaneIds[i] == paneId)
            return i;
    return -1;
}

// The file dialog's filter: the first entry is the default one.
constexpr const char* kFileFilter =
    "JPG (*.jpg)|*.jpg;*.jpeg|BMP (*.bmp)|*.bmp|ICO (*.ico)|*.ico|IFF (*.iff)|*.iff|JIF (*.jif)|*.jif|"
    "LBM (*.lbm)|*.LBM|MNG (*.mng)|*.mng|PCX (*.pcx)|*.PCX|PBM (*.pbm)|*.pbm|PGM (*.pgm)|*.pgm|PNG (*.png)|*.png|"
    "PPM (*.ppm)|*.ppm|PSD (*.psd)|*.psd|RAS (*.ras)|*.ras|TARGA (*.tga)|*.targa|TIF (*.tif)|*.tif|"
    "WBPM (*.wbpm)|*.wbpm|All|*.*";

constexpr int kToolIconSize = 16;

}  // namespace

CMainFrame::CMainFrame(std::shared_ptr<WindowCalls> calls)
    : wxFrame(nullptr, wxID_ANY, Wx(Text(IDS_APP_TITLE))), calls_(std::move(calls)) {
    CreateMenus();
    CreateTools();
    CreateStatusPanes();
    CreateAccelerators();
    EnableCloseAvi(false);
    view_ = new CPixreelView(this, calls_);
    Bind(wxEVT_CLOSE_WINDOW, &CMainFrame::OnCloseWindow, this);
}

CMainFrame::~CMainFrame() = default;

void CMainFrame::CreateMenus() {
    auto* bar = new wxMenuBar;
    for (const MenuLayout& layout : MainMenuLayout()) {
        auto* menu = new wxMenu;
        for (int id : layout.items) {
            const Command* command = id ? FindCommand(id) : nullptr;
            if (!command) {
                menu->AppendSeparator();
                continue;
            }
            menu->Append(command->wxId, Wx(MenuLabel(command->menuCaption)), Wx(PromptOf(*command)),
                         command->checkable ? wxITEM_CHECK : wxITEM_NORMAL);
        }
        bar->Append(menu, layout.title);
    }
    SetMenuBar(bar);
    bar->Check(FindCommand(CMD_TOOLBAR)->wxId, true);
    bar->Check(FindCommand(CMD_STATUS_BAR)->wxId, true);
}

void CMainFrame::CreateTools() {
    wxToolBar* tools = CreateToolBar(wxTB_HORIZONTAL | wxTB_FLAT | wxTB_DOCKABLE);
    for (int id : ToolbarLayout()) {
        const Command* command = id ? FindCommand(id) : nullptr;
        if (!command) {
            tools->AddSeparator();
            continue;
        }
        const wxBitmapBundle icon =
            wxArtProvider::GetBitmapBundle(command->icon, wxART_TOOLBAR, wxSize(kToolIconSize, kToolIconSize));
        wxToolBarToolBase* tool = tools->AddTool(command->wxId, Wx(ToolTipOf(*command)), icon, Wx(ToolTipOf(*command)));
        tool->SetLongHelp(Wx(PromptOf(*command)));
    }
    tools->Realize();
}

void CMainFrame::CreateStatusPanes() {
    wxStatusBar* bar = CreateStatusBar(kPaneCount);
    // Panes 1 to 4 are as wide as the elapsed-time pane's sizing text, pane 5 as its own.
    const int margin = bar->GetTextExtent("  ").GetWidth();
    const int narrow = bar->GetTextExtent(Wx(Text(ID_INDICATOR_TIME))).GetWidth() + margin;
    const int wide = bar->GetTextExtent(Wx(Text(ID_INDICATOR_FILE_NAME))).GetWidth() + margin;
    const int widths[kPaneCount] = {-1, narrow, narrow, narrow, narrow, wide};
    bar->SetStatusWidths(kPaneCount, widths);
    SetStatusText(Wx(Text(IDS_READY)), 0);
}

void CMainFrame::CreateAccelerators() {
    std::vector<wxAcceleratorEntry> entries;
    for (const Command& command : Commands())
        for (const CommandKey& key : command.keys)
            if (key.key)
                entries.emplace_back(key.flags, key.key, command.wxId);
    SetAcceleratorTable(wxAcceleratorTable(static_cast<int>(entries.size()), entries.data()));
}

bool CMainFrame::TryBefore(wxEvent& event) {
    // Every command of the table is the frame's, wherever it was reached: a control that has the
    // focus never takes one for itself (the edit commands act on the status log).
    if (event.GetEventType() == wxEVT_MENU) {
        if (const Command* command = FindCommandByWxId(event.GetId())) {
            Dispatch(*command);
            return true;
        }
    }
    return wxFrame::TryBefore(event);
}

void CMainFrame::Dispatch(const Command& command) {
    // While a Stop or the close waits for the threads, the window goes on serving its events;
    // a command given meanwhile is not taken.
    if (IsWaiting() || !command.handler)
        return;
    if (command.refusedWhileConverting && view_->Conversion().IsWorkerAlive()) {
        ShowMessageBox(Text(IDS_STILL_PROCESSING), "", MB_OK);
        return;
    }
    ++commandDepth_;
    (this->*command.handler)();
    --commandDepth_;
    if (commandDepth_ == 0 && closeDeferred_) {
        closeDeferred_ = false;
        CallAfter([this] { Close(); });
    }
}

void CMainFrame::RunCommand(int commandId) {
    if (const Command* command = FindCommand(commandId))
        Dispatch(*command);
}

void CMainFrame::SetPaneText(int paneId, const std::string& text) {
    const int index = PaneIndex(paneId);
    if (index > 0 && GetStatusBar())
        SetStatusText(Wx(text), index);
}

std::string CMainFrame::PaneText(int paneId) const {
    const int index = paneId == 0 ? 0 : PaneIndex(paneId);
    if (index < 0 || !GetStatusBar())
        return {};
    return GetStatusBar()->GetStatusText(index).utf8_string();
}

void CMainFrame::EnableCloseAvi(bool enabled) {
    const int id = FindCommand(CMD_CLOSE_AVI)->wxId;
    GetMenuBar()->Enable(id, enabled);
    GetToolBar()->EnableTool(id, enabled);
}

void CMainFrame::RaiseWindow() {
    if (IsIconized())
        Iconize(false);
    Show();
    Raise();
}

// The close.

void CMainFrame::OnCloseWindow(wxCloseEvent& event) {
    if (closing_) {
        // A second close request while the first one waits for the threads.
        event.Veto();
        return;
    }
    if (commandDepth_ > 0) {
        // A command is still running (a dialog of it open, or Stop waiting for the worker): the
        // window must outlive it, so the close follows once it has returned.
        closeDeferred_ = true;
        event.Veto();
        return;
    }
    closing_ = true;
    if (!view_->Conversion().OnCloseRequest()) {
        closing_ = false;
        event.Veto();
        return;
    }
    // The window goes at once; a worker that did not stop within the waits is still served (and
    // its output completed) before anything it uses is destroyed.
    Hide();
    view_->ShutDown();
    if (onClosed_)
        onClosed_();
    ShutdownHelp();
    Destroy();
}

// Commands.

void CMainFrame::OnSelectFiles() {
    FileList& files = view_->Conversion().Files();
    const std::string start = files.DialogStartDirectory(view_->Conversion().CurrentSettings());
    wxFileDialog dialog(this, wxFileSelectorPromptStr, Wx(start), wxString(), kFileFilter,
                        wxFD_OPEN | wxFD_MULTIPLE | wxFD_FILE_MUST_EXIST);
    if (dialog.ShowModal() != wxID_OK)
        return;
    wxArrayString chosen;
    dialog.GetPaths(chosen);
    std::vector<std::string> paths;
    for (const wxString& path : chosen)
        paths.push_back(path.utf8_string());
    if (files.FillFromChosenFiles(paths))
        view_->FileListChanged(true);
}

void CMainFrame::OnCloseAviFile() {
    view_->Conversion().OnCloseAviFile();
}

void CMainFrame::OnClearFiles() {
    view_->Conversion().Files().Clear();
    view_->FileListChanged(false);
}

void CMainFrame::OnProcessFiles() {
    view_->Conversion().OnProcessFiles();
}

void CMainFrame::OnProcessAllFiles() {
    view_->Conversion().OnProcessAllFiles();
}

void CMainFrame::OnStopProcessing() {
    waiting_ = true;
    view_->Conversion().OnStopProcessing();
    waiting_ = false;
}

void CMainFrame::OnRefresh() {
    wxBusyCursor wait;
    view_->Conversion().PopulateFileList(true, false);
}

void CMainFrame::OnCut() {
    view_->StatusLog().CutSelection();
}

void CMainFrame::OnCopy() {
    view_->StatusLog().CopySelection();
}

void CMainFrame::OnUndo() {
    view_->StatusLog().UndoLastEdit();
}

void CMainFrame::OnClearLog() {
    view_->StatusLog().ClearLog();
}

void CMainFrame::OnSortAToZ() {
    wxBusyCursor wait;
    view_->Conversion().Files().SortByName(true);
    view_->FileListChanged(false);
}

void CMainFrame::OnSortZToA() {
    wxBusyCursor wait;
    view_->Conversion().Files().SortByName(false);
    view_->FileListChanged(false);
}

void CMainFrame::OnSortLastModified() {
    wxBusyCursor wait;
    view_->Conversion().Files().SortByLastModified();
    view_->FileListChanged(false);
}

void CMainFrame::OnSortCreationTime() {
    wxBusyCursor wait;
    view_->Conversion().Files().SortByCreationTime();
    view_->FileListChanged(false);
}

void CMainFrame::OnProperties() {
    CConversionView& conversion = view_->Conversion();
    const std::string oldDirectory = conversion.CurrentSettings().JPGDir;
    if (!RunConfigurationSheet(this))
        return;
    conversion.ReloadSettings();
    const Settings settings = conversion.CurrentSettings();
    // The directory texts are compared as they are: a change of case is a change.
    if (oldDirectory != settings.JPGDir)
        conversion.PopulateFileList(true, false);
    LogMessage(view_->Services(), IDS_CONFIG_UPDATED, true, false);
    view_->ApplyToolTips();
}

void CMainFrame::OnExit() {
    Close();
}

void CMainFrame::OnToggleToolbar() {
    wxToolBar* tools = GetToolBar();
    const bool show = !tools->IsShown();
    tools->Show(show);
    GetMenuBar()->Check(FindCommand(CMD_TOOLBAR)->wxId, show);
    SendSizeEvent();
}

void CMainFrame::OnToggleStatusBar() {
    wxStatusBar* bar = GetStatusBar();
    const bool show = !bar->IsShown();
    bar->Show(show);
    GetMenuBar()->Check(FindCommand(CMD_STATUS_BAR)->wxId, show);
    SendSizeEvent();
}

void CMainFrame::OnAbout() {
    ShowAboutBox(this);
}

void CMainFrame::OnAcknowledge() {
    ShowAcknowledgementsBox(this);
}

void CMainFrame::OnHelp() {
    ShowHelpTopic("index.html");
}

void CMainFrame::OnDeleteFiles() {
    view_->Conversion().Files().DeleteSelected();
    view_->FileListChanged(true);
}

void CMainFrame::OnSelectAll() {
    view_->Conversion().Files().SelectAll();
    view_->FileListChanged(true);
}

void CMainFrame::ShowFileListMenu(const wxPoint& screenPoint) {
    wxMenu menu;
    for (int id : PopupMenuLayout()) {
        const Command* command = FindCommand(id);
        menu.Append(command->wxId, command->popupCaption, Wx(PromptOf(*command)));
    }
    PopupMenu(&menu, ScreenToClient(screenPoint));
}
