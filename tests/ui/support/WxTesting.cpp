#include "WxTesting.h"

#include <wx/app.h>
#include <wx/utils.h>

#include <chrono>

bool PumpEventsUntil(const std::function<bool()>& condition, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        wxTheApp->Yield(true);
        if (condition())
            return true;
        if (std::chrono::steady_clock::now() >= end)
            return false;
        wxMilliSleep(5);
    }
}

void PumpEventsFor(int milliseconds) {
    PumpEventsUntil([] { return false; }, milliseconds);
}
