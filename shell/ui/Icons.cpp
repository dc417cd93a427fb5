#include "shell/ui/Icons.h"

#include <wx/filefn.h>

#include <string>

#include "platform/DataFiles.h"

wxBitmapBundle ProgramIcon(const char* file, int size) {
    const wxString path = wxString::FromUTF8(DataFilePath(std::string("icons/") + file));
    if (!wxFileExists(path))
        return wxBitmapBundle();
    return wxBitmapBundle::FromSVGFile(path, wxSize(size, size));
}
