#pragma once
// Shared ground of the dialog tests: a settings file of the test's own, no command-line
// arguments, recorded message boxes, the program's data files within reach, and helpers to find
// a dialog's controls by their template ids.

#include <gtest/gtest.h>
#include <wx/window.h>

#include <functional>
#include <string>
#include <vector>

#include "support/JobTesting.h"
#include "support/TempDir.h"

class DialogTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    /// Writes the settings file (INI text).
    void WriteIni(const std::string& text) { WriteFileBytes(ini, text); }
    /// The settings file's keys as "section/key=value", in the file's order.
    std::vector<std::string> IniKeys() const;

    TempDir dir;
    std::string ini;
    BoxRecorder boxes;
};

/// The control of the template id on the parent, as the type asked for; fails the test when
/// there is none of that type.
template <class T>
T* Control(wxWindow* parent, int id) {
    T* control = dynamic_cast<T*>(parent->FindWindow(id));
    EXPECT_NE(control, nullptr) << "no control " << id;
    return control;
}

/// Clicks the button of the id on the window, as a mouse click would.
void PressButton(wxWindow* window, int id);

/// Runs `action` once the next modal dialog runs (from inside its event loop); used to press a
/// dialog's buttons while a function that shows it modally waits. Gives up after that many
/// looks.
void WhenModal(std::function<void(wxWindow* dialog)> action, int triesLeft = 2000);

/// Makes the program's data files (icons, help book, About animation) reachable from the test
/// program as they are from pixreel in the build folder.
void LinkDataFiles();
