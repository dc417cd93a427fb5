#pragma once
// The status log on the form: a read-only, multi-line rich text control that every part of the
// program reports to. Appends run on the window thread (GuiServices queues them in order from any
// thread); red text is pure red and the text after it the control's own colour again.

#include <wx/textctrl.h>

#include <string>

class CStatusLogCtrl : public wxTextCtrl {
public:
    CStatusLogCtrl(wxWindow* parent, const wxPoint& position, const wxSize& size);

    /// One append: trims the oldest lines when the log is full, adds the text in red or the
    /// default colour, and a line end when asked.
    void Append(const std::string& text, bool red, bool lineEnd);
    /// Empties the log ("Clear"); Undo brings the text back.
    void ClearLog();
    void CopySelection();
    /// Cuts the selection to the clipboard; Undo brings it back.
    void CutSelection();
    /// Undoes the last Cut or Clear.
    void UndoLastEdit();

    int LineCount() const { return GetNumberOfLines(); }

private:
    void Trim();
    void Remember(long from, const wxString& removed);

    wxTextAttr normal_;
    // The one edit that Undo reverts: text removed by Cut or Clear and where it stood.
    long undoPosition_ = -1;
    wxString undoText_;
};
