#pragma once
// The program with its window: process start-up (single interactive instance, the main window,
// its view's start-up), the window thread's loop and the run's exit status.

/// What RunPixreelWindow answers when no display could be opened: nothing has been shown.
inline constexpr int kNoWindowSystem = -1;

/// True when the environment names a display (DISPLAY or WAYLAND_DISPLAY).
bool DisplayNamed();

/// Runs Pixreel in its window until it closes. A start with arguments converts unattended and
/// answers the console's exit status for its run; an interactive start answers 0, also when it
/// only raised an instance that was already running. kNoWindowSystem when the display cannot be
/// opened.
int RunPixreelWindow(int argc, char** argv);
