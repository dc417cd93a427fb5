#pragma once
// Small helpers the configuration dialogs share: sizes in dialog units of a window's font, the
// program icon every page shows, UTF-8 texts in and out of wx controls, and the framework's
// refusal boxes.

#include <wx/gdicmn.h>
#include <wx/string.h>

#include <string>

class wxDialog;
class wxSizer;
class wxWindow;

/// A size given in dialog units, in pixels of the window's font.
wxSize DialogUnits(wxWindow* window, int width, int height);
/// A distance in horizontal (or vertical) dialog units, in pixels.
int DialogUnitsX(wxWindow* window, int units);
int DialogUnitsY(wxWindow* window, int units);
/// The spacing every dialog uses, in pixels: the gap between neighbouring controls (4 dialog
/// units) and the margin along a dialog's or a page's edges (7).
int DialogGap(wxWindow* window);
int DialogMargin(wxWindow* window);

/// The program icon (icons/pixreel.svg of the data files) as a static picture on the parent;
/// nullptr when the picture cannot be found or read, so a page then shows no icon at all.
wxWindow* ProgramIcon(wxWindow* parent);

/// Finishes a box that has one "OK" button: the content with a margin around it, the button at
/// the bottom right holding the focus (so no field shows a caret), at least the template's size
/// in dialog units, centred on its parent.
void LayOutOkBox(wxDialog* box, wxSizer* content, int widthUnits, int heightUnits);

wxString FromUtf8(const std::string& text);
std::string ToUtf8(const wxString& text);

/// Shows a refusal of the framework's data exchange (exclamation icon) and puts the focus on
/// the control that holds the refused value, with its text selected.
void RefuseValue(wxWindow* control, const std::string& message);
