#pragma once
// Message boxes as real dialogs: the handler of the process-wide box service while the window
// runs. A box always shows on the window thread; one asked for by another thread is shown there
// while the asking thread waits for the answer.

#include <memory>
#include <string>

class WindowCalls;
class wxWindow;

/// Shows the box on the calling (window) thread, owned by the main window when there is one, and
/// answers IDOK, IDCANCEL, IDYES or IDNO.
int ShowBoxOnWindowThread(const std::string& text, const std::string& caption, unsigned flags);

/// Installs the handler that shows every box through the window thread's queue. Boxes asked for
/// once the queue is closed take their default button.
void InstallGuiMessageBoxes(const std::shared_ptr<WindowCalls>& calls);
/// Puts back the handler that was installed before.
void RemoveGuiMessageBoxes();
