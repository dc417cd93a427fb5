#pragma once
// The program's own pictures (application icon, AVI open and closed, activity, converted and not
// converted): SVG files among the data files, drawn crisp at any size.

#include <wx/bmpbndl.h>

/// The picture icons/<file> at the size; an empty bundle when the data file is missing, so that a
/// copy of the program without its data files runs without its pictures.
wxBitmapBundle ProgramIcon(const char* file, int size);
