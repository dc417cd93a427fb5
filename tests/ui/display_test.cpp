// The window-test harness itself: a wx window shown on the private display can be found, driven
// and photographed from outside, the way the end-to-end tests drive the real program.

#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/frame.h>

#include <filesystem>

#include "support/TempDir.h"
#include "support/WxTesting.h"
#include "support/XDisplay.h"

TEST(Harness, WindowIsFoundDrivenAndPhotographed) {
    PIXREEL_REQUIRE_DISPLAY();
    auto* frame = new wxFrame(nullptr, wxID_ANY, "Harness probe", wxDefaultPosition, wxSize(300, 200));
    int clicks = 0;
    auto* button = new wxButton(frame, wxID_ANY, "Press", wxPoint(10, 10), wxSize(100, 40));
    button->Bind(wxEVT_BUTTON, [&](wxCommandEvent&) { ++clicks; });
    frame->Show();

    const std::string window = WaitForWindow("^Harness probe$", 10000, [] { PumpEventsFor(20); });
    ASSERT_FALSE(window.empty());
    ClickAt(window, 50, 30);
    EXPECT_TRUE(PumpEventsUntil([&] { return clicks == 1; }));

    TempDir dir;
    ASSERT_TRUE(Screenshot(window, dir.file("shot.png")));
    EXPECT_GT(std::filesystem::file_size(dir.file("shot.png")), 1000u);
    frame->Destroy();
    PumpEventsFor(50);
}
