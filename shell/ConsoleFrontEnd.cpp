#include "shell/ConsoleFrontEnd.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "config/CommandLineOverlay.h"
#include "config/Settings.h"
#include "engine/ConversionView.h"
#include "engine/PixreelDoc.h"
#include "engine/StatusLog.h"
#include "platform/Codecs.h"
#include "platform/MessageBox.h"
#include "platform/ProcessCommandLine.h"
#include "platform/StringTable.h"
#include "shell/ConsoleCodec.h"

namespace {

// Signals that arrive this soon after the first one join the stop it started.
constexpr auto kSignalGrace = std::chrono::seconds(3);
// How long a stuck conversion's writer may take to finish the frame it is writing.
constexpr auto kWriterWait = std::chrono::seconds(30);

// The console that a signal is delivered to, while one runs.
std::mutex g_consoleMutex;
ConsoleFrontEnd* g_console = nullptr;

// The commands a console carries out, with the view's handler of each.
struct ConsoleCommand {
    int id;
    void (CConversionView::*handler)();
};

constexpr ConsoleCommand kConsoleCommands[] = {
    {ID_PROCESS_FILES, &CConversionView::OnProcessFiles},
    {ID_PROCESS_ALL_FILES, &CConversionView::OnProcessAllFiles},
    {ID_STOP_PROCESSING, &CConversionView::OnStopProcessing},
    {ID_FILE_CLOSE_AVI, &CConversionView::OnCloseAviFile},
};

bool SameFile(int a, int b) {
    struct stat sa {};
    struct stat sb {};
    return ::fstat(a, &sa) == 0 && ::fstat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace

ConsoleFrontEnd::ConsoleFrontEnd(std::FILE* out, std::FILE* err) : out_(out), err_(err) {
    const int outFd = ::fileno(out_);
    const int errFd = ::fileno(err_);
    progress_ = ::isatty(errFd) != 0;
    colour_ = ::isatty(outFd) != 0;
    sameTerminal_ = colour_ && ::isatty(errFd) && SameFile(outFd, errFd);
}

ConsoleFrontEnd::~ConsoleFrontEnd() {
    std::lock_guard<std::mutex> lock(g_consoleMutex);
    if (g_console == this)
        g_console = nullptr;
}

// Output.

void ConsoleFrontEnd::ClearProgressLocked() {
    if (progressShown_) {
        std::fputs("\r\033[K", err_);
        std::fflush(err_);
        progressShown_ = false;
    }
}

void ConsoleFrontEnd::DrawProgressLocked() {
    if (!progress_ || fileCount_.empty() || midLine_)
        return;
    std::fprintf(err_, "\r\033[Kfile %s of %s, %s failed, %s", fileNumber_.empty() ? "0" : fileNumber_.c_str(),
                 fileCount_.c_str(), failures_.empty() ? "0" : failures_.c_str(), FormatElapsedTime(elapsed_).c_str());
    std::fflush(err_);
    progressShown_ = true;
}

void ConsoleFrontEnd::Display(const std::string& text, bool red, bool lineEnd) {
    // Runs under the log file's lock, so lines of different threads never mix.
    std::lock_guard<std::mutex> lock(outputMutex_);
    ClearProgressLocked();
    if (red && colour_)
        std::fputs("\033[31m", out_);
    std::fputs(text.c_str(), out_);
    if (red && colour_)
        std::fputs("\033[0m", out_);
    if (lineEnd)
        std::fputc('\n', out_);
    std::fflush(out_);
    if (red && !sameTerminal_) {
        std::fputs(text.c_str(), err_);
        if (lineEnd)
            std::fputc('\n', err_);
        std::fflush(err_);
    }
    midLine_ = !lineEnd;
    DrawProgressLocked();
}

void ConsoleFrontEnd::AppendLog(const std::string& text, bool red, bool lineEnd) {
    auto display = [this](const std::string& t, bool r, bool e) { Display(t, r, e); };
    if (view_)
        view_->LogFile().Append(text, red, lineEnd, display);
    else
        display(text, red, lineEnd);
}

void ConsoleFrontEnd::SetPaneText(int paneId, const std::string& text) {
    std::lock_guard<std::mutex> lock(outputMutex_);
    if (paneId == ID_INDICATOR_FILE_NUMBER)
        fileNumber_ = text;
    else if (paneId == ID_INDICATOR_FILE_COUNT)
        fileCount_ = text;
    else if (paneId == ID_INDICATOR_FAILURES)
        failures_ = text;
    else
        return;
    DrawProgressLocked();
}

void ConsoleFrontEnd::SetElapsedSeconds(long seconds) {
    std::lock_guard<std::mutex> lock(outputMutex_);
    elapsed_ = seconds;
    DrawProgressLocked();
}

int ConsoleFrontEnd::ShowBox(const std::string& text, const std::string& caption, unsigned flags) {
    const int answer = DefaultMessageBoxAnswer(flags);
    std::lock_guard<std::mutex> lock(outputMutex_);
    ClearProgressLocked();
    const char* title = LoadStringText(IDS_APP_TITLE);
    std::fprintf(err_, "%s: %s\n", caption.empty() ? (title ? title : "Pixreel") : caption.c_str(), text.c_str());
    if ((flags & 0x0F) == MB_YESNO)
        std::fprintf(err_, "  (answered %s)\n", answer == IDYES ? "Yes" : "No");
    else if ((flags & 0x0F) == MB_OKCANCEL)
        std::fprintf(err_, "  (answered %s)\n", answer == IDOK ? "OK" : "Cancel");
    std::fflush(err_);
    DrawProgressLocked();
    return answer;
}

int ConsoleFrontEnd::RequestCodec(CodecRequest& request) {
    // Nobody chose anything: the answer holds for this run and is not the user's stored choice.
    return AnswerCodecRequest(request, CommandLineCodec()) ? kCodecForThisRun : 0;
}

// The window thread's queue.

void ConsoleFrontEnd::Post(Task task) {
    {
        std::lock_guard<std::mutex> lock(queueMutex_);
        queue_.push_back(std::move(task));
    }
    queued_.Set();
}

void ConsoleFrontEnd::PostClose() {
    Post([this] {
        closing_ = true;
        if (view_->OnCloseRequest())
            quit_ = true;
        else
            closing_ = false;
    });
}

void ConsoleFrontEnd::PostCommand(int commandId) {
    // Properties and the other window commands have no console form.
    for (const ConsoleCommand& command : kConsoleCommands) {
        if (command.id == commandId) {
            void (CConversionView::*handler)() = command.handler;
            Post([this, handler] { (view_->*handler)(); });
            return;
        }
    }
}

void ConsoleFrontEnd::Interrupt() {
    Post([this] {
        if (interrupted_)
            return;
        interrupted_ = true;
        view_->OnStopProcessing();
        PostClose();
    });
}

void ConsoleFrontEnd::StartSignalThread() {
    // The signals are blocked in every thread (RunPixreelConsole blocks them before any thread
    // starts); this thread takes them one at a time. The first stops the conversion between two
    // frames and closes the output. Signals that follow within the grace time join that stop:
    // `timeout` and a terminal both deliver one signal twice (to the process and to its group),
    // and neither means "give up on the file". Only a signal after the grace time ends the
    // process at once.
    std::thread([] {
        sigset_t signals;
        sigemptyset(&signals);
        sigaddset(&signals, SIGINT);
        sigaddset(&signals, SIGTERM);
        sigaddset(&signals, SIGHUP);
        bool stopping = false;
        std::chrono::steady_clock::time_point firstSignal;
        for (;;) {
            int signal = 0;
            if (sigwait(&signals, &signal) != 0)
                continue;
            const auto now = std::chrono::steady_clock::now();
            if (stopping) {
                if (now - firstSignal >= kSignalGrace)
                    std::_Exit(kExitInterrupted);
                continue;
            }
            stopping = true;
            firstSignal = now;
            std::lock_guard<std::mutex> lock(g_consoleMutex);
            if (g_console)
                g_console->Interrupt();
        }
    }).detach();
}

int ConsoleFrontEnd::Run(CConversionView& view, CPixreelDoc& doc) {
    view_ = &view;
    {
        std::lock_guard<std::mutex> lock(g_consoleMutex);
        g_console = this;
    }
    StartSignalThread();

    view.InitialUpdate();
    for (;;) {
        Task task;
        {
            std::lock_guard<std::mutex> lock(queueMutex_);
            if (quit_)
                break;
            if (!queue_.empty()) {
                task = std::move(queue_.front());
                queue_.pop_front();
            }
        }
        if (task) {
            task();
            continue;
        }
        // Nothing queued and no conversion running: nobody is left to ask for anything, so the
        // console closes as a window would when its user closes it.
        if (!closing_ && !view.IsWorkerAlive()) {
            PostClose();
            continue;
        }
        queued_.Wait(50);
    }
    if (interrupted_ && view.IsWorkerAlive())
        EndStuckConversion(doc);
    view.Shutdown();

    {
        std::lock_guard<std::mutex> lock(g_consoleMutex);
        g_console = nullptr;
    }
    {
        std::lock_guard<std::mutex> lock(outputMutex_);
        ClearProgressLocked();
        progress_ = false;
    }
    return ExitStatus(view, doc);
}

void ConsoleFrontEnd::EndStuckConversion(CPixreelDoc& doc) {
    // The stop has been waited for in vain: the worker is stuck (a read of a file that never
    // answers) or in a very long frame. The output is completed as it stands, between two frames,
    // and the program ends without the worker. When the writer itself does not come free, the
    // wait goes on; a further signal ends the program at once.
    if (!doc.CloseForExit(kWriterWait))
        return;
    AppendLog(LoadStringText(IDS_STOP_ABANDONED), true, true);
    {
        std::lock_guard<std::mutex> lock(outputMutex_);
        ClearProgressLocked();
    }
    std::fflush(out_);
    std::fflush(err_);
    std::_Exit(kExitInterrupted);
}

int ConsoleFrontEnd::ExitStatus(CConversionView& view, CPixreelDoc& doc) const {
    if (interrupted_)
        return kExitInterrupted;
    return ConversionExitStatus(view.LastJob(), doc.FailedCloses());
}

int ConversionExitStatus(const JobSummary& job, int failedCloses) {
    if (!job.ran)
        return kExitNoOutput;
    if (job.nothingSelected)
        return job.inputFolderProblem != 0 ? kExitNoInput : kExitNothingToDo;
    // Whatever else happened, a run that wrote no frame made no video.
    if (job.written == 0)
        return kExitNoOutput;
    if (job.outputFailed || job.unreadable > 0 || job.wrongSize > 0 || job.writeFailures > 0 || failedCloses > 0)
        return kExitFilesFailed;
    return kExitConverted;
}

// The program.

std::string ConsoleUsageText(bool haveDisplay) {
    char ini[kIniPathBytes] = "";
    SettingsFilePath(ini, sizeof ini, false);
    std::string text =
        "Pixreel turns a folder of still images into an AVI video.\n"
        "\n"
        "usage: pixreel -d DIR [-f SUFFIX] [-o NAME] [-u] [-l LOGFILE] [-c FOURCC]\n"
        "       pixreel --help | --version\n"
        "\n"
        "  -d DIR      convert every file of DIR whose name ends in .SUFFIX (case ignored)\n"
        "  -f SUFFIX   suffix of the images, without the dot (default from the settings: jpg)\n"
        "  -o NAME     name of the AVI file, in the settings' output folder unless it is absolute\n"
        "  -u          one AVI file per image instead of one for all\n"
        "  -l LOGFILE  append every status line to LOGFILE\n"
        "  -c FOURCC   compressor for this run: DIB (uncompressed), MJPG, ...\n"
        "\n"
        "For example:  pixreel -d ~/Pictures/timelapse -f jpg -o timelapse\n"
        "\n"
        "Everything else (frame rate, scaling, output folder, ...) comes from the settings file\n";
    text += std::string("  ") + (ini[0] ? ini : "(none found)") + "\n";
    text +=
        "(PIXREEL_INI names another one); a command-line run does not store its options there.\n"
        "Exit status: 0 all converted, 1 some files failed, 2 no frame written (no video),\n"
        "3 no matching files, 64 no arguments, 66 input folder missing or unreadable,\n"
        "130 interrupted.\n";
    if (haveDisplay)
        text += "\nThe window of Pixreel is not part of this build; use the command line above.\n";
    else
        text += "\nWithout arguments Pixreel opens its window, which needs a display, and there is none.\n";
    return text;
}

int RunPixreelConsole() {
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const bool haveDisplay = (display && *display) || (wayland && *wayland);
    if (!HasArguments()) {
        std::fputs(ConsoleUsageText(haveDisplay).c_str(), stderr);
        return kExitUsage;
    }

    // Interrupts are taken by the console's own signal thread, so that a stop lands between two
    // frames and the output is completed; every thread started from here on inherits the mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    char ini[kIniPathBytes] = "";
    if (SettingsFilePath(ini, sizeof ini, false))
        ICSetConfigFile(ini);

    ConsoleFrontEnd console(stdout, stderr);
    MessageBoxHandler previous = SetMessageBoxHandler(
        [&console](const std::string& text, const std::string& caption, unsigned flags) {
            return console.ShowBox(text, caption, flags);
        });
    int status;
    {
        CPixreelDoc doc(console);
        CConversionView::Options options;
        // Nothing on a console needs the window thread to stay responsive: the conversion runs at
        // the priority the user started the program with.
        options.workerPriority = THREAD_PRIORITY_NORMAL;
        options.storeFormOnExit = false;
        CConversionView view(console, doc, options);
        status = console.Run(view, doc);
    }
    SetMessageBoxHandler(previous);
    return status;
}
