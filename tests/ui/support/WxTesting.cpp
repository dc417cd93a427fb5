#include "WxTesting.h"

#include <wx/app.h>
#include <wx/dialog.h>
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

void CloseNextModalDialog(int timeoutMs) {
    // Posted calls run inside the dialog's own event loop once it shows.
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    struct Looker {
        static void Post(std::chrono::steady_clock::time_point until) {
            wxTheApp->CallAfter([until] {
                for (wxWindow* window : wxTopLevelWindows) {
                    auto* dialog = dynamic_cast<wxDialog*>(window);
                    if (dialog && dialog->IsModal()) {
                        dialog->EndModal(wxID_CANCEL);
                        return;
                    }
                }
                if (std::chrono::steady_clock::now() < until) {
                    wxMilliSleep(5);
                    Post(until);
                }
            });
        }
    };
    Looker::Post(end);
}
