#pragma once
// What the main window opens of the configuration side: the "Configure" property sheet, the
// Select Codec dialog for the worker's codec request, the help book, and the About,
// Acknowledgements and Bitmap Information boxes. All run on the window thread.

#include <string>

class wxWindow;
class CImageFile;
struct CodecRequest;

/// Runs the "Configure" sheet modally. True when it was closed with OK (each page that was shown
/// has stored its keys); false for Cancel, when nothing was stored.
bool RunConfigurationSheet(wxWindow* parent);

/// Runs the Select Codec dialog for the request: 1 when the user confirmed (the request's out
/// fields and options are filled), 0 when cancelled or the sample could not be opened.
int RunSelectCodecDialog(wxWindow* parent, CodecRequest& request);

/// The help system's life: started when the main view starts, shut down when it is destroyed.
void InitialiseHelp(wxWindow* mainWindow);
void ShutdownHelp();
/// Opens a topic of the help book ("index.html", "configure/video.html", ...).
void ShowHelpTopic(const std::string& topic);

void ShowAboutBox(wxWindow* parent);
void ShowAcknowledgementsBox(wxWindow* parent);
/// The "Bitmap Information" box about an image already loaded (empty fields for none).
void ShowBitmapInformation(wxWindow* parent, const CImageFile* image);
