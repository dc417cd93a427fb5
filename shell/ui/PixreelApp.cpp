#include "shell/ui/PixreelApp.h"

#include <signal.h>

#include <wx/app.h>
#include <wx/bmpbndl.h>
#include <wx/iconbndl.h>
#include <wx/init.h>
#include <wx/log.h>
#include <wx/snglinst.h>
#include <wx/utils.h>

#include <clocale>
#include <cstdlib>
#include <memory>
#include <string>

#include "config/Settings.h"
#include "engine/ConversionView.h"
#include "engine/PixreelDoc.h"
#include "platform/Codecs.h"
#include "platform/StringTable.h"
#include "shell/ConsoleFrontEnd.h"
#include "shell/InstanceChannel.h"
#include "shell/WindowCalls.h"
#include "shell/ui/Commands.h"
#include "shell/ui/GuiMessageBox.h"
#include "shell/ui/GuiServices.h"
#include "shell/ui/Icons.h"
#include "shell/ui/MainFrame.h"
#include "shell/ui/PixreelView.h"
#include "shell/ui/ResponsivenessProbe.h"

namespace {

// The folder of the single-instance lock and the raise channel: the user's runtime folder, else
// the home folder.
std::string InstanceFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime)
        return runtime;
    return wxGetHomeDir().utf8_string();
}

std::string InstanceName() {
    const char* title = LoadStringText(IDS_APP_TITLE);
    return std::string(title ? title : "Pixreel") + "-" + wxGetUserId().utf8_string();
}

class CPixreelApp : public wxApp {
public:
    bool OnInit() override;
    int OnExit() override;
    int ExitStatus() const { return exitStatus_; }

private:
    bool RaiseRunningInstance();
    void ListenForRaise(CMainFrame* frame);
    void InstallSignalHandlers();
    void OnSignal();

    std::shared_ptr<WindowCalls> calls_;
    std::unique_ptr<wxSingleInstanceChecker> checker_;
    InstanceChannel channel_;
    std::unique_ptr<ResponsivenessProbe> probe_;
    CMainFrame* frame_ = nullptr;
    bool fromCommandLine_ = false;
    bool interrupted_ = false;
    int exitStatus_ = 0;
};

CPixreelApp* g_app = nullptr;

bool CPixreelApp::RaiseRunningInstance() {
    const std::string folder = InstanceFolder();
    checker_ = std::make_unique<wxSingleInstanceChecker>();
    if (!checker_->Create(wxString::FromUTF8(InstanceName() + ".lock"), wxString::FromUTF8(folder)) ||
        !checker_->IsAnotherRunning())
        return false;
    InstanceChannel::SendRaise(folder + "/" + InstanceName() + ".sock");
    checker_.reset();
    return true;
}

void CPixreelApp::ListenForRaise(CMainFrame* frame) {
    std::weak_ptr<WindowCalls> weak = calls_;
    channel_.Listen(InstanceFolder() + "/" + InstanceName() + ".sock", [weak, frame] {
        if (std::shared_ptr<WindowCalls> calls = weak.lock())
            calls->Post([frame] { frame->RaiseWindow(); });
    });
}

void CPixreelApp::OnSignal() {
    // A termination request ends the run as the user's Stop and close would, so that the output
    // is completed rather than cut off.
    if (!frame_ || interrupted_)
        return;
    interrupted_ = true;
    frame_->RunCommand(CMD_STOP);
    frame_->Close();
}

void CPixreelApp::InstallSignalHandlers() {
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        SetSignalHandler(signal, [](int) {
            if (g_app)
                g_app->OnSignal();
        });
}

bool CPixreelApp::OnInit() {
    // The command-line options are the program's own: wx's option parser is not run.
    SetAppName("Pixreel");
    SetVendorName("Tavrin");
    fromCommandLine_ = HasArguments();
    if (!fromCommandLine_ && RaiseRunningInstance()) {
        wxBell();
        exitStatus_ = 0;
        return false;
    }

    calls_ = CreateWindowThreadCalls();
    InstallGuiMessageBoxes(calls_);
    char ini[kIniPathBytes] = "";
    if (SettingsFilePath(ini, sizeof ini, false))
        ICSetConfigFile(ini);

    frame_ = new CMainFrame(calls_);
    SetTopWindow(frame_);
    const wxBitmapBundle icon = ProgramIcon("pixreel.svg", 32);
    if (icon.IsOk()) {
        wxIconBundle icons;
        for (int size : {16, 32, 48, 64, 128})
            icons.AddIcon(icon.GetIcon(wxSize(size, size)));
        frame_->SetIcons(icons);
    }
    frame_->OnClosed([this] {
        // A command-line run says how its conversion went, as on the console; one that the
        // user stopped (Stop, or the close answered Yes) counts as interrupted.
        const JobSummary job = frame_->View().Conversion().LastJob();
        if (interrupted_ || (fromCommandLine_ && job.stopped))
            exitStatus_ = kExitInterrupted;
        else if (fromCommandLine_)
            exitStatus_ = ConversionExitStatus(job, frame_->View().Document().FailedCloses());
        probe_.reset();
        frame_ = nullptr;
    });
    frame_->View().InitialUpdate();
    frame_->Show();
    if (!fromCommandLine_)
        ListenForRaise(frame_);
    InstallSignalHandlers();
    // The measure starts with the window thread's loop, as the posted commands do.
    CallAfter([this] {
        if (frame_)
            probe_ = ResponsivenessProbe::FromEnvironment();
    });
    return true;
}

int CPixreelApp::OnExit() {
    channel_.Stop();
    checker_.reset();
    RemoveGuiMessageBoxes();
    return wxApp::OnExit();
}

}  // namespace

bool DisplayNamed() {
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (display && *display) || (wayland && *wayland);
}

int RunPixreelWindow(int argc, char** argv) {
    auto* app = new CPixreelApp;
    wxApp::SetInstance(app);
    int status = kNoWindowSystem;
    {
        // Without a display wx would report its own failure; the caller says what happens instead.
        wxLogNull quiet;
        if (!wxEntryStart(argc, argv))
            return kNoWindowSystem;  // wxEntryStart has deleted the application
    }
    // The toolkit took the user's locale for everything; numbers are written the C way.
    std::setlocale(LC_NUMERIC, "C");
    g_app = app;
    if (app->CallOnInit()) {
        app->OnRun();
        status = app->ExitStatus();
        app->OnExit();
    } else {
        status = app->ExitStatus();
    }
    g_app = nullptr;
    wxEntryCleanup();
    return status;
}
