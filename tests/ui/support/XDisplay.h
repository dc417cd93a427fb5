#pragma once
// The X display the window tests run on: a private Xvfb server with the openbox window manager,
// started once per test program, so that tests never open windows on a developer's desktop and
// CI needs no display of its own. Helpers drive windows from outside with xdotool and take
// screenshots with ImageMagick's import.

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

/// Starts the private display when it is not running yet and answers its name (":N"); empty when
/// Xvfb is not installed. The display lives until the test program ends. DISPLAY is set to it.
std::string TestDisplay();

/// True when the window tests can run here; in CI (PIXREEL_CI set) a missing Xvfb fails instead.
bool DisplayAvailable();

/// Skips the test (fails it in CI) when no display can be had.
#define PIXREEL_REQUIRE_DISPLAY()                                                   \
    do {                                                                            \
        if (!DisplayAvailable()) {                                                  \
            if (std::getenv("PIXREEL_CI"))                                          \
                FAIL() << "Xvfb is required for the window tests";                  \
            GTEST_SKIP() << "Xvfb is not installed";                                \
        }                                                                           \
    } while (0)

/// Runs a program (xdotool, import, ...) on the test display; answers its standard output with
/// the final line end removed. `status` receives the exit status when given.
std::string RunOnDisplay(const std::vector<std::string>& args, int* status = nullptr);

struct WindowGeometry {
    int x = 0, y = 0, width = 0, height = 0;
};
/// Position on the screen and size of a window.
WindowGeometry GetWindowGeometry(const std::string& window);

/// The id of the first visible, laid-out window whose title matches the regular expression
/// (xdotool search), waiting up to timeoutMs; empty when none appeared. `idle`, when given, runs
/// between looks (an in-process test passes its event pump there).
std::string WaitForWindow(const std::string& titlePattern, int timeoutMs = 10000,
                          const std::function<void()>& idle = {});
/// Looks every 50 ms until the condition holds, for up to timeoutMs; false when it never did.
bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 10000);
/// All visible windows whose title matches, in xdotool's order.
std::vector<std::string> FindWindows(const std::string& titlePattern);

/// Sends keys (xdotool key syntax: "ctrl+p", "Escape", "alt+f") to the window, after activating it.
void SendKeys(const std::string& window, const std::string& keys);
/// Types text into the focused control of the window.
void TypeText(const std::string& window, const std::string& text);
/// Clicks mouse button 1 (or `button`) at (x, y) relative to the window.
void ClickAt(const std::string& window, int x, int y, int button = 1);

/// Saves a screenshot of the window as PNG; false when import failed.
bool Screenshot(const std::string& window, const std::string& pngPath);
