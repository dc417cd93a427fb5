#pragma once
// CConversionView: everything of the main form view that is not a window. It owns the file list,
// the form values, the three events, the stop flag, the worker and preview threads and its own
// settings; it runs the conversion job on the worker thread and carries out the commands that
// start, stop and end conversions. The GUI's form view and the console front end both drive it
// and serve it through WindowServices.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "config/Settings.h"
#include "engine/FileList.h"
#include "engine/FormValues.h"
#include "engine/FrameTransform.h"
#include "engine/StatusLog.h"
#include "platform/Event.h"
#include "platform/Thread.h"

class CImageFile;
class CPixreelDoc;
class WindowServices;
struct PreparedImage;

/// Command identifiers of the menus, as the view posts and handles them.
enum ViewCommand : int {
    ID_FILE_CLOSE_AVI = 32776,
    ID_PROCESS_FILES = 32773,
    ID_STOP_PROCESSING = 32774,
    ID_PROPERTIES = 32780,
    ID_PROCESS_ALL_FILES = 32792,
};

/// How the last conversion went, for a front end that reports it (the console's exit status).
struct JobSummary {
    bool ran = false;             ///< a conversion has run
    bool nothingSelected = false;
    int inputFolderProblem = 0;   ///< with nothing selected: why the input folder could not be read
    int files = 0;                ///< entries collected
    int written = 0;              ///< images with at least one frame written
    int dropped = 0;              ///< images dropped as identical to the one before
    int unreadable = 0;           ///< files that did not load
    int wrongSize = 0;            ///< images refused for their size
    int writeFailures = 0;        ///< images whose frame could not be written
    bool outputFailed = false;    ///< an output could not be opened (or the codec choice was cancelled)
    bool stopped = false;         ///< a stop request ended it
};

class CConversionView {
public:
    struct Options {
        /// Priority of the conversion's worker thread.
        int workerPriority = THREAD_PRIORITY_LOWEST;
        /// Whether the close stores the form values (a front end without a form has none to keep).
        bool storeFormOnExit = true;
        /// Helper threads that prepare the next images while a frame is written (0: none).
        int helpers = -1;  // -1: CFramePipeline::DefaultHelpers()
    };

    CConversionView(WindowServices& services, CPixreelDoc& doc);
    CConversionView(WindowServices& services, CPixreelDoc& doc, const Options& options);
    /// Waits for a worker still running (see Shutdown) before anything it uses goes away.
    ~CConversionView();
    CConversionView(const CConversionView&) = delete;
    CConversionView& operator=(const CConversionView&) = delete;

    /// The view's start-up: settings, form values, events and preview thread, the log file, the
    /// three start-up lines, the output style, the first fill of the file list, and the posted
    /// commands (Properties without an input directory, Process File(s) under AutoProcess).
    void InitialUpdate();

    // Commands, on the window thread.
    /// "Process File(s)": starts the worker on the selected entries, unless one is running.
    void OnProcessFiles();
    /// "Process All Files": selects every entry, then as OnProcessFiles.
    void OnProcessAllFiles();
    /// "Stop Processing": ends the command-line run, asks the job to stop and waits for it.
    void OnStopProcessing();
    /// "Close AVI File": closes the output, unless a conversion is running.
    void OnCloseAviFile();
    /// The main window's close request: the program-exit sequence. False when the user chose to
    /// keep the conversion (and the program) running.
    bool OnCloseRequest();
    /// Waits for a worker that a close or stop gave up waiting for, so that no frame is cut off
    /// and nothing it uses is freed under it, then closes the output. Without a limit by default;
    /// false when the threads are still running after `patience` (nothing is closed then, and
    /// Shutdown can be called again).
    bool Shutdown(std::chrono::milliseconds patience = std::chrono::milliseconds::max());

    /// The conversion job of the selected entries; runs on the worker thread.
    void ProcessFiles();

    /// Fills the file list from the input directory (see FileList::Populate), reports a folder
    /// that cannot be read in red, and asks for a preview. False when nothing was filled.
    bool PopulateFileList(bool fill, bool selectAll);
    /// 0, or why the input directory of the last fill could not be read (errno).
    int InputFolderProblem() const { return inputFolderProblem_; }

    /// True while a worker thread runs, also one whose handle a wait has given up on.
    bool IsWorkerAlive() const;
    FileList& Files() { return fileList_; }
    StatusLogFile& LogFile() { return logFile_; }
    FormValues Form() const;
    void SetForm(const FormValues& form);
    /// A copy of the view's settings as last reloaded.
    Settings CurrentSettings() const;
    /// Reloads the view's settings (INI file and command line).
    void ReloadSettings();
    JobSummary LastJob() const;
    /// The frame transforms of a conversion started now.
    FrameTransform TransformFromForm() const;

    // The events and the stop flag that connect the window thread, the worker and the preview.
    Event m_CheckEvent{Event::Mode::AutoReset};
    Event m_hStopVideoEvent{Event::Mode::AutoReset};
    Event m_hStopEvent{Event::Mode::ManualReset};
    std::atomic<int> StopRequested{0};

private:
    struct Job;

    // The steps of ProcessFiles.
    bool CollectFiles(Job& job);
    void EndWithoutFiles(Job& job);
    bool TakeReferenceSize(Job& job, CImageFile& image, const FrameTransform& transform);
    /// false when no output could be made and the job ends.
    bool ConvertFile(Job& job, size_t i, std::unique_ptr<PreparedImage> prepared, CImageFile& image);
    /// Logs the refusal (with the reason when one is known), shows it and counts it.
    void RefuseFile(Job& job, unsigned messageId, const std::string& name, int& count, const std::string& reason = {});
    void CountFailure(Job& job);
    int64_t FramesPerImage() const;
    void WriteFrames(Job& job, CImageFile& image, int listIndex, PreparedImage& prepared);
    /// Looks for a stop request between two frames; logs "Stopping Processing" when there is one.
    bool StopSeen();
    void FinishJob(Job& job);
    void PublishSummary(const JobSummary& summary);

    void StartWorker();
    void StartPreviewThread();
    void ReadForm();
    void WriteStartupLines();
    void ThrottledShowVideo(const std::string& path);
    void PostCloseFromWorker();
    MessagePump Pump();

    WindowServices& services_;
    CPixreelDoc& doc_;
    Options options_;
    FileList fileList_;
    StatusLogFile logFile_;

    mutable std::mutex mutex_;  // guards settings_, form_ and summary_
    Settings settings_;
    FormValues form_;
    JobSummary summary_;

    ThreadHandle worker_;
    std::shared_ptr<ThreadState> workerState_;  // outlives a handle that a wait closed
    ThreadHandle preview_;
    std::shared_ptr<ThreadState> previewState_;
    std::atomic<bool> workerPostedClose_{false};
    std::atomic<int> inputFolderProblem_{0};
    std::chrono::steady_clock::time_point lastVideo_{};
    bool shutDown_ = false;
};
