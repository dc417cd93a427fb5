#pragma once
// A read-only text field that acts as a link: blue text, red while the mouse is over it, a hand
// cursor and an underlined font; a double-click opens the web address it shows in the browser,
// or a new mail to the e-mail address it shows.

#include <wx/textctrl.h>

#include <string>

class LinkEdit : public wxTextCtrl {
public:
    LinkEdit(wxWindow* parent, int id, const std::string& text);

    /// What a double-click opens: the text itself when it holds no '@', else
    /// "mailto:<text>?subject=<title> <FileVersion> <SpecialBuild>" (blanks written %20).
    static std::string Target(const std::string& text);

    /// Opens the target of the field's text (a double-click does this).
    void Open();

private:
    void SetHovered(bool hovered);
    void OnEnter(wxMouseEvent& event);
    void OnLeave(wxMouseEvent& event);
    void OnFocusLost(wxFocusEvent& event);
    void OnDoubleClick(wxMouseEvent& event);

    bool hovered_ = false;
};
