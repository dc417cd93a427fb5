#pragma once
// Helpers for tests that create windows inside the test program.

#include <functional>

/// Runs the wx event loop's pending work until the condition holds or the time is up; answers
/// the condition's last value.
bool PumpEventsUntil(const std::function<bool()>& condition, int timeoutMs = 5000);
/// Runs the pending work for about the given time.
void PumpEventsFor(int milliseconds);
