#include "config/ui/LinkEdit.h"

#include <wx/utils.h>

#include "config/ui/DialogLayout.h"
#include "platform/StringTable.h"
#include "platform/VersionInfo.h"

namespace {

const wxColour kLinkColour(0, 0, 255);
const wxColour kHoverColour(255, 0, 0);

std::string EncodeBlanks(const std::string& text) {
    std::string encoded;
    for (char c : text)
        encoded += c == ' ' ? std::string("%20") : std::string(1, c);
    return encoded;
}

}  // namespace

LinkEdit::LinkEdit(wxWindow* parent, int id, const std::string& text)
    : wxTextCtrl(parent, id, FromUtf8(text), wxDefaultPosition, wxDefaultSize, wxTE_READONLY | wxBORDER_NONE) {
    SetBackgroundColour(parent->GetBackgroundColour());
    SetForegroundColour(kLinkColour);
    SetFont(GetFont().Underlined());
    SetCursor(wxCursor(wxCURSOR_HAND));
    Bind(wxEVT_ENTER_WINDOW, &LinkEdit::OnEnter, this);
    Bind(wxEVT_LEAVE_WINDOW, &LinkEdit::OnLeave, this);
    Bind(wxEVT_KILL_FOCUS, &LinkEdit::OnFocusLost, this);
    Bind(wxEVT_LEFT_DCLICK, &LinkEdit::OnDoubleClick, this);
}

std::string LinkEdit::Target(const std::string& text) {
    if (text.find('@') == std::string::npos)
        return text;
    const char* title = LoadStringText(IDS_APP_TITLE);
    const std::string subject = std::string(title ? title : "") + " " + VersionValue("FileVersion") + " " +
                                VersionValue("SpecialBuild");
    // A blank may not stand in an address; %20 is how the same subject is written in one.
    return "mailto:" + text + "?subject=" + EncodeBlanks(subject);
}

void LinkEdit::SetHovered(bool hovered) {
    if (hovered_ == hovered)
        return;
    hovered_ = hovered;
    SetForegroundColour(hovered ? kHoverColour : kLinkColour);
    Refresh();
}

void LinkEdit::OnEnter(wxMouseEvent& event) {
    SetHovered(true);
    event.Skip();
}

void LinkEdit::OnLeave(wxMouseEvent& event) {
    SetHovered(false);
    event.Skip();
}

void LinkEdit::OnFocusLost(wxFocusEvent& event) {
    SetHovered(false);
    event.Skip();
}

void LinkEdit::Open() {
    const std::string text = ToUtf8(GetValue());
    SetHovered(false);
    wxLaunchDefaultBrowser(FromUtf8(Target(text)));
}

void LinkEdit::OnDoubleClick(wxMouseEvent&) {
    Open();
}
