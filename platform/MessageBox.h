#pragma once
// The process-wide message-box service. Every box of the program (decisions, error boxes of the
// AVI writer, last-resort boxes before a window exists) goes through ShowMessageBox; the front
// end in use installs the handler that actually shows it. Without a handler the text is printed
// to stderr and the default button is taken, which is what an unattended run needs.
// Flags and answers are the MB_* and ID* values of platform/WinTypes.h.

#include <functional>
#include <string>

/// text, caption ("" = the front end's default caption), flags -> answer (IDOK, IDYES, ...).
using MessageBoxHandler = std::function<int(const std::string& text, const std::string& caption, unsigned flags)>;

/// Installs the handler for every later box; an empty function restores the default handler.
/// Returns the handler that was installed before (empty for the default one).
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

/// Shows a box through the installed handler and returns its answer. Safe from any thread; the
/// handler runs on the calling thread, outside any lock of the service.
int ShowMessageBox(const std::string& text, const std::string& caption, unsigned flags);

/// The button a box with these flags answers when nobody presses one: IDOK for MB_OK; for
/// MB_YESNO IDYES, or IDNO with MB_DEFBUTTON2; for MB_OKCANCEL IDOK, or IDCANCEL with MB_DEFBUTTON2.
int DefaultMessageBoxAnswer(unsigned flags);
