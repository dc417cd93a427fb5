#pragma once
// The main window's commands: one table from which the menus, the toolbar, the pop-up menu of
// the file list, the keyboard accelerators, the status-bar prompts and the tool tips are built.
// A command keeps the program's own identifier (32773 "Process File(s)", ...); wx menu and tool
// identifiers must stay below 0x7fff, so each one also has the wx identifier it is shown with, a
// stock one where wx has it.

#include <span>
#include <string>

#include "engine/ConversionView.h"

class CMainFrame;

/// The program's command identifiers (those the conversion view posts are its own).
enum CommandId : int {
    CMD_SELECT_FILES = 57601,
    CMD_CLOSE_AVI = ID_FILE_CLOSE_AVI,
    CMD_CLEAR_FILES = 32771,
    CMD_PROCESS_FILES = ID_PROCESS_FILES,
    CMD_PROCESS_ALL_FILES = ID_PROCESS_ALL_FILES,
    CMD_STOP = ID_STOP_PROCESSING,
    CMD_REFRESH = 32789,
    CMD_CUT = 57635,
    CMD_COPY = 57634,
    CMD_PASTE = 57637,
    CMD_UNDO = 57643,
    CMD_CLEAR_LOG = 32778,
    CMD_SORT_A_Z = 32777,
    CMD_SORT_Z_A = 32779,
    CMD_SORT_MODIFIED = 32782,
    CMD_SORT_CREATION = 32784,
    CMD_PROPERTIES = ID_PROPERTIES,
    CMD_EXIT = 57665,
    CMD_TOOLBAR = 59392,
    CMD_STATUS_BAR = 59393,
    CMD_ABOUT = 57664,
    CMD_ACKNOWLEDGE = 32786,
    CMD_HELP = 32790,
    CMD_DELETE = 32783,
    CMD_SELECT_ALL = 32781,
    CMD_NEXT_PANE = 57680,
    CMD_PREVIOUS_PANE = 57681,
};

/// A key that runs a command: wxAcceleratorEntry flags and key code; key 0 for none.
struct CommandKey {
    int flags = 0;
    int key = 0;
};

struct Command {
    CommandId id;
    int wxId;
    const char* menuCaption;            ///< caption in the main menu; nullptr when not in it
    const char* popupCaption;           ///< caption in the file list's pop-up menu; nullptr when not in it
    const char* text;                   ///< "prompt\ntool tip"; nullptr when the command has none
    const char* icon;                   ///< toolbar picture: art or theme icon name; nullptr when not on the toolbar
    CommandKey keys[2];
    void (CMainFrame::*handler)();      ///< nullptr: the command has no effect
    bool refusedWhileConverting;        ///< shows "Please wait files are still being processed" instead
    bool checkable;                     ///< the menu item carries a tick
};

std::span<const Command> Commands();
/// The command with the program identifier or the wx identifier; nullptr for none.
const Command* FindCommand(int id);
const Command* FindCommandByWxId(int wxId);

/// Layouts: command identifiers in order, 0 for a separator; a menu starts with its title entry.
struct MenuLayout {
    const char* title;
    std::span<const int> items;
};
std::span<const MenuLayout> MainMenuLayout();
std::span<const int> PopupMenuLayout();
std::span<const int> ToolbarLayout();

/// A caption as the menu is given it: the desktop draws a key hint from the key it names, so the
/// hint must be one wx can read ("Ctl+S" becomes "Ctrl+S"; the caption itself keeps the text).
std::string MenuLabel(const char* caption);

/// The status-bar prompt (the text before the line break) and the tool tip (the text after it).
std::string PromptOf(const Command& command);
std::string ToolTipOf(const Command& command);
