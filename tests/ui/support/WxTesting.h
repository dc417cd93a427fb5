#pragma once
// Helpers for tests that create windows inside the test program.

#include <functional>

/// Runs the wx event loop's pending work until the condition holds or the time is up; answers
/// the condition's last value.
bool PumpEventsUntil(const std::function<bool()>& condition, int timeoutMs = 5000);
/// Runs the pending work for about the given time.
void PumpEventsFor(int milliseconds);

/// Ends the next modal dialog of this program as soon as it shows (with Cancel), so that a test
/// can run code that opens one. Gives up after about the given time.
void CloseNextModalDialog(int timeoutMs = 10000);
