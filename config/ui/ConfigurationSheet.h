#pragma once
// The "Configure" property sheet: the pages Configure, Video and Advanced, with OK, Cancel and
// Help. A page is initialised the first time it is shown; leaving a page checks its values and a
// refused value keeps it in front; OK stores the pages that were shown, each in its own order.

#include <wx/propdlg.h>

#include <array>

class CDlgAdvanced;
class CDlgGeneral;
class CDlgProperties;
class ConfigPage;
class wxBookCtrlEvent;

class ConfigurationSheet : public wxPropertySheetDialog {
public:
    explicit ConfigurationSheet(wxWindow* parent);

    /// Brings the page of the index to the front, as a click on its tab does: the page in front
    /// must accept its values first. True when the page is in front.
    bool ShowPage(size_t index);
    /// What OK does: checks every page that was shown (a refused value brings its page to the
    /// front and the answer is false), then stores them in page order.
    bool Confirm();
    /// Opens the help topic of the page in front.
    void ShowPageHelp();

    CDlgProperties* Properties() const { return properties_; }
    CDlgGeneral* General() const { return general_; }
    CDlgAdvanced* Advanced() const { return advanced_; }

private:
    /// Checks the page in front; on a refusal, it is shown (once the current event is over) and
    /// the answer is false.
    bool LeaveShownPage();
    void EnterPage(size_t index);
    void OnPageChanged(wxBookCtrlEvent& event);
    void OnOk(wxCommandEvent& event);
    void OnHelp(wxCommandEvent& event);

    CDlgProperties* properties_;
    CDlgGeneral* general_;
    CDlgAdvanced* advanced_;
    std::array<ConfigPage*, 3> pages_;
    size_t shown_ = 0;  // the page in front, as far as the pages are concerned
};
