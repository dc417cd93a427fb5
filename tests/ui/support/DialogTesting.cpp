#include "DialogTesting.h"

#include <wx/app.h>
#include <wx/dialog.h>
#include <wx/toplevel.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "config/Settings.h"
#include "platform/DataFiles.h"
#include "platform/ProcessCommandLine.h"

void DialogTest::SetUp() {
    ini = dir.file("pixreel.ini");
    ::setenv("PIXREEL_INI", ini.c_str(), 1);
    SetProcessCommandLineText("");
    Settings::SetCommandLineOverlay(nullptr);
}

void DialogTest::TearDown() {
    ::unsetenv("PIXREEL_INI");
    SetProcessCommandLineText("");
}

std::vector<std::string> DialogTest::IniKeys() const {
    std::vector<std::string> keys;
    std::istringstream in(ReadFileBytes(ini));
    std::string section;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.size() > 1 && line.front() == '[')
            section = line.substr(1, line.find(']') - 1);
        else if (line.find('=') != std::string::npos)
            keys.push_back(section + "/" + line);
    }
    return keys;
}

void PressButton(wxWindow* window, int id) {
    wxWindow* button = window->FindWindow(id);
    ASSERT_NE(button, nullptr) << "no button " << id;
    wxCommandEvent click(wxEVT_BUTTON, id);
    click.SetEventObject(button);
    button->ProcessWindowEvent(click);
}

void WhenModal(std::function<void(wxWindow* dialog)> action, int triesLeft) {
    // Posted calls run from the modal dialog's own loop once it is dispatching.
    wxTheApp->CallAfter([action, triesLeft] {
        for (wxWindow* window : wxTopLevelWindows) {
            auto* dialog = dynamic_cast<wxDialog*>(window);
            if (dialog && dialog->IsModal()) {
                action(dialog);
                return;
            }
        }
        if (triesLeft > 0)
            WhenModal(action, triesLeft - 1);
    });
}

void LinkDataFiles() {
    namespace fs = std::filesystem;
    const fs::path built = PIXREEL_BINARY_DIR;
    for (const char* name : {"icons", "help", "about.gif", "pixreel.jpg"}) {
        const fs::path link = fs::path(ProgramFolder()) / name;
        std::error_code ignored;
        if (!fs::exists(link) && fs::exists(built / name))
            fs::create_symlink(built / name, link, ignored);
    }
}
