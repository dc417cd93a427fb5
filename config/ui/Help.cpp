#include "config/ui/Help.h"

#include <wx/dialog.h>
#include <wx/filename.h>
#include <wx/html/helpctrl.h>
#include <wx/html/helpdlg.h>
#include <wx/html/helpfrm.h>
#include <wx/image.h>
#include <wx/intl.h>
#include <wx/log.h>

#include <memory>

#include "config/ui/DialogLayout.h"
#include "config/ui/Dialogs.h"
#include "config/ui/SelectCodecDialog.h"
#include "platform/Codecs.h"
#include "platform/DataFiles.h"
#include "platform/MessageBox.h"
#include "platform/WinTypes.h"

namespace {

constexpr const char* kHelpErrorCaption = "Help Error";
constexpr const char* kBookMissing = "The help book could not be found.";
constexpr const char* kBookUnreadable = "The help book could not be read.";
constexpr const char* kTopicMissing = "The help book has no topic ";
constexpr const char* kTitleFormat = "Pixreel Help - %s";
constexpr const char* kDialogTitle = "Pixreel Help";
// The help frame's size when it first opens, in pixels.
constexpr int kHelpWidth = 960;
constexpr int kHelpHeight = 720;

// The help book's windows open at a readable size and are titled with the page they show (the
// dialog, shown when help is asked for while a modal dialog runs, with the page it opened on).
class HelpController : public wxHtmlHelpController {
public:
    using wxHtmlHelpController::wxHtmlHelpController;

    /// Shows the topic; a help dialog is titled with the topic's name in the contents.
    void ShowTopic(const std::string& topic) {
        dialogTitle_ = kDialogTitle;
        const wxHtmlHelpDataItems& contents = GetHelpData()->GetContentsArray();
        for (size_t i = 0; i < contents.size(); ++i) {
            if (contents[i].page == FromUtf8(topic)) {
                dialogTitle_ += " - " + contents[i].name;
                break;
            }
        }
        Display(FromUtf8(topic));
    }

protected:
    wxHtmlHelpFrame* CreateHelpFrame(wxHtmlHelpData* data) override {
        wxHtmlHelpFrame* frame = wxHtmlHelpController::CreateHelpFrame(data);
        frame->SetSize(wxSize(kHelpWidth, kHelpHeight));
        frame->Centre();
        return frame;
    }
    wxHtmlHelpDialog* CreateHelpDialog(wxHtmlHelpData* data) override {
        wxHtmlHelpDialog* dialog = wxHtmlHelpController::CreateHelpDialog(data);
        dialog->SetTitle(dialogTitle_);
        dialog->SetSize(wxSize(kHelpWidth, kHelpHeight));
        dialog->CentreOnParent();
        return dialog;
    }

private:
    wxString dialogTitle_;
};

// The help window of the main window: one controller, made when help is first asked for and
// kept until the main view shuts help down. The book it has loaded is remembered so that a
// changed book (a test's, or a reinstalled one) is loaded afresh.
HelpController* gHelp = nullptr;
std::string gLoadedBook;
std::string gChosenBook;

void ReportHelpError(const std::string& description, const std::string& book) {
    ShowMessageBox(description + "\n" + book, kHelpErrorCaption, MB_ICONHAND);
}

// The modal dialog in front, if one is running: help shown while it runs must be modal too,
// for the modal dialog takes every input from the program's other windows.
wxDialog* RunningModalDialog() {
    for (wxWindow* window : wxTopLevelWindows) {
        auto* dialog = dynamic_cast<wxDialog*>(window);
        if (dialog && dialog->IsModal())
            return dialog;
    }
    return nullptr;
}

bool HasTopic(const std::string& book, const std::string& topic, std::string& reason);

// Loads the book into the controller and checks that it has the topic; false (with the reason)
// when the book is missing or unreadable or lacks the topic.
bool LoadBook(wxHtmlHelpController& help, const std::string& book, const std::string& topic, std::string& reason) {
    if (!wxFileName::FileExists(FromUtf8(book))) {
        reason = kBookMissing;
        return false;
    }
    // The pages show pictures of the program's own formats.
    wxInitAllImageHandlers();
    // The help data reports a broken book through the log; the "Help Error" box says it instead.
    // Its contents start with an entry for the book itself: a book whose own contents could not
    // be read has no other.
    wxLogNull quiet;
    if (!help.AddBook(wxFileName(FromUtf8(book))) || help.GetHelpData()->GetContentsArray().size() < 2) {
        reason = kBookUnreadable;
        return false;
    }
    return HasTopic(book, topic, reason);
}

bool HasTopic(const std::string& book, const std::string& topic, std::string& reason) {
    wxFileName page(FromUtf8(topic), wxPATH_UNIX);
    page.MakeAbsolute(wxFileName(FromUtf8(book)).GetPath());
    if (page.FileExists())
        return true;
    reason = kTopicMissing + topic;
    return false;
}

void ShowInModalHelp(wxDialog* owner, const std::string& book, const std::string& topic) {
    HelpController help(wxHF_DEFAULT_STYLE | wxHF_DIALOG | wxHF_MODAL, owner);
    help.SetTitleFormat(kTitleFormat);
    std::string reason;
    if (!LoadBook(help, book, topic, reason)) {
        ReportHelpError(reason, book);
        return;
    }
    // Runs the help dialog modally and returns once it is closed.
    help.ShowTopic(topic);
}

void ShowInHelpFrame(const std::string& book, const std::string& topic) {
    std::string reason;
    if (gHelp && gLoadedBook != book)
        ShutdownHelp();
    if (gHelp) {
        if (!HasTopic(book, topic, reason)) {
            ReportHelpError(reason, book);
            return;
        }
    } else {
        auto help = std::make_unique<HelpController>(wxHF_DEFAULT_STYLE | wxHF_FRAME);
        help->SetTitleFormat(kTitleFormat);
        if (!LoadBook(*help, book, topic, reason)) {
            ReportHelpError(reason, book);
            return;
        }
        gHelp = help.release();
        gLoadedBook = book;
    }
    gHelp->ShowTopic(topic);
}

}  // namespace

std::string HelpBookPath() {
    return gChosenBook.empty() ? DataFilePath("help/pixreel.hhp") : gChosenBook;
}

void SetHelpBook(const std::string& path) {
    gChosenBook = path;
}

std::string HelpUnavailableText(const std::string& languageName) {
    if (languageName.rfind("fr", 0) == 0)
        return "N'a pas ouvert l'aide automatiquement, l'ouvrent svp manuellement";
    return "Failed to open the Help automatically, please open it manually";
}

wxWindow* OpenHelpWindow() {
    return gHelp ? gHelp->GetFrame() : nullptr;
}

void InitialiseHelp(wxWindow*) {
    // The compressors' own option dialogs are the window side's too; they can be asked for
    // from the main view's start on.
    ICSetConfigureHandler(&RunCodecOptionsDialog);
}

void ShutdownHelp() {
    delete gHelp;
    gHelp = nullptr;
    gLoadedBook.clear();
}

void ShowHelpTopic(const std::string& topic) {
    const std::string book = HelpBookPath();
    try {
        if (wxDialog* owner = RunningModalDialog())
            ShowInModalHelp(owner, book, topic);
        else
            ShowInHelpFrame(book, topic);
    } catch (...) {
        const std::string language = ToUtf8(wxLocale::GetLanguageCanonicalName(wxLocale::GetSystemLanguage()));
        ShowMessageBox(HelpUnavailableText(language), "", MB_ICONINFORMATION);
    }
}
