#pragma once
// What the pages of the "Configure" sheet have in common: each loads its own Settings the first
// time it is shown, checks its values when it is left or the sheet is confirmed, stores its keys
// when the sheet is confirmed with OK, and names its help topic.

#include <wx/panel.h>

#include <string>

#include "config/Settings.h"

class ConfigPage : public wxPanel {
public:
    ConfigPage(wxWindow* book, const char* helpTopic);

    /// Loads the page's Settings and puts them into the controls, the first time only.
    void EnsureInitialised();
    bool IsInitialised() const { return initialised_; }

    /// A value the page refuses: the control that holds it and the message to show.
    struct Refusal {
        wxWindow* control = nullptr;
        std::string message;
    };
    /// Takes the values from the controls and checks them; false with the first refusal.
    virtual bool CheckValues(Refusal&) { return true; }
    /// Writes the page's keys, in the page's order (after CheckValues said yes).
    virtual void Store() = 0;

    const char* HelpTopic() const { return helpTopic_; }

protected:
    /// Fills the controls from the freshly loaded settings_.
    virtual void Initialise() = 0;
    /// Lays the page out: the content beside the program icon, at least the page size of the
    /// dialog template.
    void SetPageContent(wxSizer* content);

    Settings settings_;

private:
    const char* helpTopic_;
    bool initialised_ = false;
};
