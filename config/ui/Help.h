#pragma once
// The help book's path, the help window while it is open, and the texts of help failures.

#include <string>

class wxWindow;

/// The help book of the program: help/pixreel.hhp among the data files, unless another book
/// was named with SetHelpBook.
std::string HelpBookPath();
/// Uses the book at the path instead of the program's own ("" for the program's own again).
void SetHelpBook(const std::string& path);

/// The help frame of the main window; nullptr while none was opened. (Help asked for while a
/// modal dialog runs is shown in a modal help dialog of its own instead.)
wxWindow* OpenHelpWindow();

/// The text of the box shown when the help system itself fails, in French for a French
/// language name ("fr", "fr_BE", ...), else in English.
std::string HelpUnavailableText(const std::string& languageName);
