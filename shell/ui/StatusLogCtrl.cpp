#include "shell/ui/StatusLogCtrl.h"

#include "engine/StatusLog.h"

namespace {

const wxColour kRed(255, 0, 0);

}  // namespace

CStatusLogCtrl::CStatusLogCtrl(wxWindow* parent, const wxPoint& position, const wxSize& size)
    : wxTextCtrl(parent, wxID_ANY, wxEmptyString, position, size,
                 wxTE_MULTILINE | wxTE_READONLY | wxTE_RICH2 | wxHSCROLL | wxVSCROLL | wxBORDER_SUNKEN) {
    normal_ = wxTextAttr(GetForegroundColour());
    SetDefaultStyle(normal_);
}

void CStatusLogCtrl::Trim() {
    const int drop = StatusLogLinesToDrop(GetNumberOfLines());
    if (drop <= 0)
        return;
    const long end = XYToPosition(0, drop);
    if (end <= 0)
        return;
    Remove(0, end);
    if (undoPosition_ >= 0) {
        undoPosition_ -= end;
        if (undoPosition_ < 0) {
            undoPosition_ = -1;
            undoText_.clear();
        }
    }
}

void CStatusLogCtrl::Append(const std::string& text, bool red, bool lineEnd) {
    Trim();
    wxString chunk = wxString::FromUTF8(text);
    if (lineEnd)
        chunk += '\n';
    if (red) {
        SetDefaultStyle(wxTextAttr(kRed));
        AppendText(chunk);
        SetDefaultStyle(normal_);
    } else {
        AppendText(chunk);
    }
}

void CStatusLogCtrl::Remember(long from, const wxString& removed) {
    undoPosition_ = from;
    undoText_ = removed;
}

void CStatusLogCtrl::ClearLog() {
    const wxString all = GetValue();
    Clear();
    SetDefaultStyle(normal_);
    if (!all.empty())
        Remember(0, all);
}

void CStatusLogCtrl::CopySelection() {
    // Copy works on a read-only control as it is.
    Copy();
}

void CStatusLogCtrl::CutSelection() {
    long from = 0;
    long to = 0;
    GetSelection(&from, &to);
    if (from == to)
        return;
    const wxString removed = GetRange(from, to);
    // The control refuses to cut while read-only: it is made writable for the cut only.
    SetEditable(true);
    Cut();
    SetEditable(false);
    Remember(from, removed);
}

void CStatusLogCtrl::UndoLastEdit() {
    if (undoPosition_ < 0)
        return;
    SetInsertionPoint(undoPosition_ <= GetLastPosition() ? undoPosition_ : GetLastPosition());
    WriteText(undoText_);
    undoPosition_ = -1;
    undoText_.clear();
    SetInsertionPointEnd();
}
