#include "shell/ui/Commands.h"

#include <wx/accel.h>
#include <wx/defs.h>

#include "shell/ui/MainFrame.h"

namespace {

// wx identifiers of the commands wx has no stock identifier for.
enum : int {
    kIdCloseAvi = wxID_HIGHEST + 1,
    kIdClearFiles,
    kIdProcessFiles,
    kIdProcessAllFiles,
    kIdSortModified,
    kIdSortCreation,
    kIdToolbar,
    kIdStatusBar,
    kIdAcknowledge,
    kIdNextPane,
    kIdPreviousPane,
    kIdExit,
};

using F = CMainFrame;
constexpr CommandKey kNoKey{};

// The edit commands act on the status log wherever the focus is, as the frame's accelerators
// come before any control; they keep the stock identifiers all the same, since the frame takes
// every command of the table before a control sees it (CMainFrame::TryBefore).
constexpr Command kCommands[] = {
    {CMD_SELECT_FILES, wxID_OPEN, "S&elect File(s)..\tCtrl+O", nullptr, "Select an existing JPG or Bitmap file\nSelect JPG",
     "document-open-symbolic", {{wxACCEL_CTRL, 'O'}, kNoKey}, &F::OnSelectFiles, false, false},
    // The caption's key hint "Ctl+S" is not a key name wx understands; the menu shows the key
    // as the desktop names it (MenuLabel), and the key itself comes from the accelerator.
    {CMD_CLOSE_AVI, kIdCloseAvi, "&Close AVI File\tCtl+S", nullptr, "Closes the AVI file\nClose AVI File", "window-close-symbolic",
     {{wxACCEL_CTRL, 'S'}, kNoKey}, &F::OnCloseAviFile, true, false},
    {CMD_CLEAR_FILES, kIdClearFiles, "&Clear Files", nullptr, "Clears all the files from the list box\nClear Files",
     "edit-clear-all-symbolic", {kNoKey, kNoKey}, &F::OnClearFiles, false, false},
    {CMD_PROCESS_FILES, kIdProcessFiles, "&Process File(s)\tCtrl+P", "Process Files",
     "Process the files(s) selected\nProcess File(s)", "media-playback-start-symbolic", {{wxACCEL_CTRL, 'P'}, kNoKey},
     &F::OnProcessFiles, true, false},
    {CMD_PROCESS_ALL_FILES, kIdProcessAllFiles, nullptr, "Process All Files", "Process All Files\nProcess All Files",
     "media-seek-forward-symbolic", {kNoKey, kNoKey}, &F::OnProcessAllFiles, true, false},
    {CMD_STOP, wxID_STOP, "Stop Processing\tEsc", nullptr, "Stop processing the files\nStop", "process-stop-symbolic",
     {{wxACCEL_NORMAL, WXK_ESCAPE}, kNoKey}, &F::OnStopProcessing, false, false},
    {CMD_REFRESH, wxID_REFRESH, "Refresh\tF5", nullptr, "Refresh the list box contents\nRefresh", "view-refresh-symbolic",
     {{wxACCEL_NORMAL, WXK_F5}, kNoKey}, &F::OnRefresh, false, false},
    {CMD_CUT, wxID_CUT, "Cu&t\tCtrl+X", nullptr, "Cut the status display and put it on the Clipboard\nCut", "edit-cut-symbolic",
     {{wxACCEL_CTRL, 'X'}, {wxACCEL_SHIFT, WXK_DELETE}}, &F::OnCut, false, false},
    {CMD_COPY, wxID_COPY, "&Copy\tCtrl+C", nullptr, "Copy the status display and put it on the Clipboard\nCopy",
     "edit-copy-symbolic", {{wxACCEL_CTRL, 'C'}, {wxACCEL_CTRL, WXK_INSERT}}, &F::OnCopy, false, false},
    {CMD_PASTE, wxID_PASTE, nullptr, nullptr, nullptr, nullptr, {{wxACCEL_CTRL, 'V'}, {wxACCEL_SHIFT, WXK_INSERT}},
     nullptr, false, false},
    {CMD_UNDO, wxID_UNDO, "&Undo\tCtrl+Z", nullptr, "Undo the last action\nUndo", nullptr,
     {{wxACCEL_CTRL, 'Z'}, {wxACCEL_ALT, WXK_BACK}}, &F::OnUndo, false, false},
    {CMD_CLEAR_LOG, wxID_CLEAR, "&Clear", nullptr, "Clears the contents of the status display\nClear Status Display",
     "edit-clear-symbolic", {kNoKey, kNoKey}, &F::OnClearLog, false, false},
    {CMD_SORT_A_Z, wxID_SORT_ASCENDING, "Sort &A - Z", nullptr, "Sort the files A - Z\nSort A - Z",
     "view-sort-ascending-symbolic", {kNoKey, kNoKey}, &F::OnSortAToZ, false, false},
    {CMD_SORT_Z_A, wxID_SORT_DESCENDING, "Sort &Z - A", nullptr, "Sort the files Z- A\nSort Z - A",
     "view-sort-descending-symbolic", {kNoKey, kNoKey}, &F::OnSortZToA, false, false},
    {CMD_SORT_MODIFIED, kIdSortModified, "Sort Time &Last Modified", nullptr,
     "Sort Files by their  Last Modified Time\nSort Last Modified", "document-open-recent-symbolic", {kNoKey, kNoKey},
     &F::OnSortLastModified, false, false},
    {CMD_SORT_CREATION, kIdSortCreation, "Sort Time C&reation ", nullptr,
     "Sort Files by their Creation Time\nSort Creation Time", "appointment-new-symbolic", {kNoKey, kNoKey},
     &F::OnSortCreationTime, false, false},
    {CMD_PROPERTIES, wxID_PROPERTIES, "P&roperties...", nullptr, "Configuration dialog box\nProperties", nullptr,
     {kNoKey, kNoKey}, &F::OnProperties, false, false},
    // GTK's stock Quit item brings Ctrl+Q with it, a key this window does not have.
    {CMD_EXIT, kIdExit, "E&xit", nullptr, "Quit the application, Saves the AVI file\nExit", nullptr, {kNoKey, kNoKey},
     &F::OnExit, false, false},
    {CMD_TOOLBAR, kIdToolbar, "&Toolbar", nullptr, "Show or hide the toolbar\nToggle ToolBar", nullptr,
     {kNoKey, kNoKey}, &F::OnToggleToolbar, false, true},
    {CMD_STATUS_BAR, kIdStatusBar, "&Status Bar", nullptr, "Show or hide the status bar\nToggle StatusBar", nullptr,
     {kNoKey, kNoKey}, &F::OnToggleStatusBar, false, true},
    {CMD_ABOUT, wxID_ABOUT, "&About Pixreel...", nullptr, "Display program information, version number and copyright\nAbout",
     "help-about-symbolic", {kNoKey, kNoKey}, &F::OnAbout, false, false},
    {CMD_ACKNOWLEDGE, kIdAcknowledge, "A&cknowledge...", nullptr, "Acknowledgements", nullptr, {kNoKey, kNoKey},
     &F::OnAcknowledge, false, false},
    {CMD_HELP, wxID_HELP, "Help...", nullptr, "Displays the on line help\nHelp", "help-browser-symbolic",
     {{wxACCEL_NORMAL, WXK_F1}, kNoKey}, &F::OnHelp, false, false},
    {CMD_DELETE, wxID_DELETE, nullptr, "Delete", nullptr, nullptr, {kNoKey, kNoKey}, &F::OnDeleteFiles, false, false},
    {CMD_SELECT_ALL, wxID_SELECTALL, nullptr, "Select All", nullptr, nullptr, {kNoKey, kNoKey}, &F::OnSelectAll, false,
     false},
    // The window has one pane, so moving to the next or previous one does nothing.
    {CMD_NEXT_PANE, kIdNextPane, nullptr, nullptr, nullptr, nullptr, {{wxACCEL_NORMAL, WXK_F6}, kNoKey}, nullptr, false,
     false},
    {CMD_PREVIOUS_PANE, kIdPreviousPane, nullptr, nullptr, nullptr, nullptr, {{wxACCEL_SHIFT, WXK_F6}, kNoKey}, nullptr,
     false, false},
};

constexpr int kFileMenu[] = {CMD_SELECT_FILES, CMD_CLOSE_AVI, 0, CMD_PROCESS_FILES, CMD_STOP, 0, CMD_PROPERTIES, CMD_EXIT};
constexpr int kEditMenu[] = {CMD_UNDO, 0, CMD_CUT, CMD_COPY, CMD_CLEAR_LOG};
constexpr int kViewMenu[] = {CMD_TOOLBAR,  CMD_STATUS_BAR, CMD_CLEAR_FILES,   0,         CMD_SORT_CREATION,
                             CMD_SORT_A_Z, CMD_SORT_Z_A,   CMD_SORT_MODIFIED, 0,         CMD_REFRESH};
constexpr int kHelpMenu[] = {CMD_ABOUT, CMD_ACKNOWLEDGE, 0, CMD_HELP};

constexpr MenuLayout kMainMenu[] = {
    {"&File", kFileMenu},
    {"&Edit", kEditMenu},
    {"&View", kViewMenu},
    {"&Help", kHelpMenu},
};

constexpr int kPopupMenu[] = {CMD_DELETE, CMD_PROCESS_FILES, CMD_PROCESS_ALL_FILES, CMD_SELECT_ALL};

constexpr int kToolbar[] = {CMD_SELECT_FILES, CMD_CLOSE_AVI,  CMD_CLEAR_FILES, 0, CMD_PROCESS_FILES,
                            CMD_PROCESS_ALL_FILES, 0, CMD_STOP, CMD_REFRESH, 0, CMD_CUT, CMD_COPY, CMD_CLEAR_LOG, 0,
                            CMD_SORT_A_Z, CMD_SORT_Z_A, CMD_SORT_MODIFIED, CMD_SORT_CREATION, 0, CMD_ABOUT, CMD_HELP};

}  // namespace

std::span<const Command> Commands() {
    return kCommands;
}

const Command* FindCommand(int id) {
    for (const Command& command : kCommands)
        if (command.id == id)
            return &command;
    return nullptr;
}

const Command* FindCommandByWxId(int wxId) {
    for (const Command& command : kCommands)
        if (command.wxId == wxId)
            return &command;
    return nullptr;
}

std::span<const MenuLayout> MainMenuLayout() {
    return kMainMenu;
}

std::span<const int> PopupMenuLayout() {
    return kPopupMenu;
}

std::span<const int> ToolbarLayout() {
    return kToolbar;
}

std::string MenuLabel(const char* caption) {
    std::string label = caption ? caption : "";
    const size_t hint = label.find("\tCtl+");
    if (hint != std::string::npos)
        label.replace(hint, 5, "\tCtrl+");
    return label;
}

std::string PromptOf(const Command& command) {
    if (!command.text)
        return {};
    const std::string text = command.text;
    return text.substr(0, text.find('\n'));
}

std::string ToolTipOf(const Command& command) {
    if (!command.text)
        return {};
    const std::string text = command.text;
    const size_t lineBreak = text.find('\n');
    return lineBreak == std::string::npos ? std::string() : text.substr(lineBreak + 1);
}
