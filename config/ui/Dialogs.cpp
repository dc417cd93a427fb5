// Placeholders until the dialogs exist: the codec request is answered as the console answers it.

#include "config/ui/Dialogs.h"

#include "shell/ConsoleCodec.h"

bool RunConfigurationSheet(wxWindow*) {
    return false;
}

int RunSelectCodecDialog(wxWindow*, CodecRequest& request) {
    return AnswerCodecRequest(request, "");
}

void InitialiseHelp(wxWindow*) {}
void ShutdownHelp() {}
void ShowHelpTopic(const std::string&) {}
void ShowAboutBox(wxWindow*) {}
void ShowAcknowledgementsBox(wxWindow*) {}
void ShowBitmapInformation(wxWindow*, const CImageFile*) {}
