#include "shell/ui/GuiMessageBox.h"

#include <wx/app.h>
#include <wx/msgdlg.h>

#include "platform/MessageBox.h"
#include "platform/StringTable.h"
#include "platform/WinTypes.h"
#include "shell/WindowCalls.h"

namespace {

constexpr unsigned kButtonMask = 0x000F;
constexpr unsigned kIconMask = 0x00F0;

MessageBoxHandler g_previous;
bool g_installed = false;

long DialogStyle(unsigned flags) {
    long style = 0;
    switch (flags & kButtonMask) {
    case MB_YESNO:
        style = wxYES_NO | ((flags & MB_DEFBUTTON2) ? wxNO_DEFAULT : wxYES_DEFAULT);
        break;
    case MB_OKCANCEL:
        style = wxOK | wxCANCEL | ((flags & MB_DEFBUTTON2) ? wxCANCEL_DEFAULT : wxOK_DEFAULT);
        break;
    default:
        style = wxOK;
        break;
    }
    switch (flags & kIconMask) {
    case MB_ICONHAND:
        style |= wxICON_ERROR;
        break;
    case MB_ICONQUESTION:
        style |= wxICON_QUESTION;
        break;
    case MB_ICONEXCLAMATION:
        style |= wxICON_WARNING;
        break;
    case MB_ICONINFORMATION:
        style |= wxICON_INFORMATION;
        break;
    default:
        style |= wxICON_NONE;
        break;
    }
    return style;
}

int Answer(int result, unsigned flags) {
    switch (result) {
    case wxID_YES:
        return IDYES;
    case wxID_NO:
        return IDNO;
    case wxID_CANCEL:
        // A Yes/No box closed by its window's close button means No.
        return (flags & kButtonMask) == MB_YESNO ? IDNO : IDCANCEL;
    default:
        return IDOK;
    }
}

}  // namespace

int ShowBoxOnWindowThread(const std::string& text, const std::string& caption, unsigned flags) {
    const char* title = LoadStringText(IDS_APP_TITLE);
    wxWindow* owner = wxTheApp ? wxTheApp->GetTopWindow() : nullptr;
    if (owner && !owner->IsShown())
        owner = nullptr;
    wxMessageDialog dialog(owner, wxString::FromUTF8(text),
                           wxString::FromUTF8(caption.empty() ? (title ? title : "") : caption.c_str()),
                           DialogStyle(flags));
    return Answer(dialog.ShowModal(), flags);
}

void InstallGuiMessageBoxes(const std::shared_ptr<WindowCalls>& calls) {
    std::weak_ptr<WindowCalls> weak = calls;
    MessageBoxHandler previous = SetMessageBoxHandler([weak](const std::string& text, const std::string& caption,
                                                             unsigned flags) {
        std::shared_ptr<WindowCalls> queue = weak.lock();
        if (!queue)
            return DefaultMessageBoxAnswer(flags);
        int answer = DefaultMessageBoxAnswer(flags);
        if (!queue->Invoke([&] { answer = ShowBoxOnWindowThread(text, caption, flags); }))
            return DefaultMessageBoxAnswer(flags);
        return answer;
    });
    if (!g_installed)
        g_previous = std::move(previous);
    g_installed = true;
}

void RemoveGuiMessageBoxes() {
    if (!g_installed)
        return;
    SetMessageBoxHandler(std::move(g_previous));
    g_previous = nullptr;
    g_installed = false;
}
