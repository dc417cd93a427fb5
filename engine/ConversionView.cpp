#include "engine/ConversionView.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <vector>

#include "base/PrintableText.h"
#include "engine/FramePipeline.h"
#include "engine/ImageFile.h"
#include "engine/PixreelDoc.h"
#include "engine/WindowServices.h"
#include "platform/LocalTime.h"
#include "platform/MessageBox.h"
#include "platform/ProcessCommandLine.h"
#include "platform/RegularFile.h"
#include "platform/StringTable.h"
#include "platform/VersionInfo.h"

namespace {

// The video box is drawn at most this often; requests in between are dropped.
constexpr auto kVideoInterval = std::chrono::milliseconds(250);

std::string Message(unsigned id) {
    const char* text = LoadStringText(id);
    return text ? text : "";
}

// A failure line about a file: the message with the file's name, and the reason when one is known
// ("Failed to open a.jpg: Image too large: 70000 x 70000 pixels").
std::string FailureLine(unsigned messageId, const std::string& name, const std::string& reason) {
    std::string line = FormatMessage(messageId, {PrintableText(name)});
    if (!reason.empty()) {
        line += ": ";
        line += PrintableText(reason);
    }
    return line;
}

}  // namespace

CConversionView::CConversionView(WindowServices& services, CPixreelDoc& doc)
    : CConversionView(services, doc, Options{}) {}

CConversionView::CConversionView(WindowServices& services, CPixreelDoc& doc, const Options& options)
    : services_(services), doc_(doc), options_(options) {
    if (options_.helpers < 0)
        options_.helpers = CFramePipeline::DefaultHelpers();
}

CConversionView::~CConversionView() {
    Shutdown();
}

MessagePump CConversionView::Pump() {
    return MessagePump{[this] { return services_.DispatchPending(); }, services_.InputEvent()};
}

FormValues CConversionView::Form() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return form_;
}

void CConversionView::SetForm(const FormValues& form) {
    std::lock_guard<std::mutex> lock(mutex_);
    form_ = form;
}

Settings CConversionView::CurrentSettings() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return settings_;
}

void CConversionView::ReloadSettings() {
    // Loading reads the INI file and may show boxes for command-line mistakes: not under the lock.
    Settings loaded;
    loaded.Load();
    std::lock_guard<std::mutex> lock(mutex_);
    settings_ = loaded;
}

JobSummary CConversionView::LastJob() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return summary_;
}

FrameTransform CConversionView::TransformFromForm() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return form_.Transform(settings_.ScaleType);
}

void CConversionView::ReadForm() {
    FormValues form = Form();
    services_.ReadFormValues(form);
    SetForm(form);
}

bool CConversionView::IsWorkerAlive() const {
    return workerState_ && !workerState_->ended.Wait(0);
}

// Start-up.

void CConversionView::InitialUpdate() {
    ReloadSettings();
    services_.EnableCloseAvi(false);
    const Settings settings = CurrentSettings();
    SetForm(FormValues::FromSettings(settings));
    services_.ShowFormValues(Form());

    m_CheckEvent.Reset();
    m_hStopEvent.Reset();
    StopRequested = 0;
    StartPreviewThread();

    if (settings.LogFile[0] != '\0')
        OpenStatusLogFile(services_, logFile_, settings.LogFile);
    WriteStartupLines();
    if (settings.FileProblem != 0) {
        char ini[kIniPathBytes] = "";
        SettingsFilePath(ini, sizeof ini, false);
        LogRed(services_,
               FormatMessage(IDS_SETTINGS_UNREADABLE, {PrintableText(ini), OpenFailureText(settings.FileProblem)}),
               true);
    }

    doc_.SetOutputStyle(Form().AVIStyle);
    PopulateFileList(settings.AutoPopulate != 0, settings.AutoSelect != 0);

    if (settings.JPGDir[0] == '\0')
        services_.PostCommand(ID_PROPERTIES);
    if (settings.AutoProcess == 1)
        services_.PostCommand(ID_PROCESS_FILES);
}

bool CConversionView::PopulateFileList(bool fill, bool selectAll) {
    const Settings settings = CurrentSettings();
    if (!fileList_.Populate(fill, selectAll, settings))
        return false;
    inputFolderProblem_ = fileList_.PopulateProblem();
    if (inputFolderProblem_ != 0) {
        const std::string folder = PrintableText(settings.JPGDir[0] != '\0' ? settings.JPGDir : ".");
        LogRed(services_, FormatMessage(IDS_INPUT_FOLDER_UNREADABLE, {folder, OpenFailureText(inputFolderProblem_)}),
               true);
    }
    services_.FileListChanged();
    m_CheckEvent.Set();
    return true;
}

void CConversionView::WriteStartupLines() {
    LogText(services_,
            FormatMessageText("%s Version %s %s",
                              {Message(IDS_APP_TITLE), VersionValue("SpecialBuild"), VersionValue("FileVersion")}),
            true);
    LogText(services_, VersionValue("LegalCopyright"), true);
    LogText(services_, FormatLocalTime(std::time(nullptr), "%A, %d %B %Y %H:%M"), true);
}

void CConversionView::StartPreviewThread() {
    preview_ = ThreadHandle::Start(
        [this] {
            for (;;) {
                int woke = WaitForAnyEvent({&m_CheckEvent, &m_hStopEvent}, kInfinite);
                if (woke == 0)
                    services_.PaintPreview();
                else if (woke == 1)
                    return 0;
            }
        },
        THREAD_PRIORITY_LOWEST);
    previewState_ = preview_.State();
}

// Commands.

void CConversionView::OnProcessFiles() {
    if (IsWorkerAlive()) {
        ShowMessageBox(Message(IDS_STILL_PROCESSING), "", MB_OK);
        return;
    }
    StartWorker();
}

void CConversionView::OnProcessAllFiles() {
    if (IsWorkerAlive()) {
        ShowMessageBox(Message(IDS_STILL_PROCESSING), "", MB_OK);
        return;
    }
    fileList_.SelectAll();
    services_.FileListChanged();
    StartWorker();
}

void CConversionView::StartWorker() {
    worker_.Close();
    ReadForm();
    worker_ = ThreadHandle::Start(
        [this] {
            ProcessFiles();
            StopRequested = 0;
            return 0;
        },
        options_.workerPriority);
    workerState_ = worker_.State();
}

void CConversionView::OnStopProcessing() {
    // From here on the command-line options no longer apply: the run stops being unattended.
    BlankCommandLine();
    ReloadSettings();
    // The request is logged before the job can see it, so that its "Stopping Processing" always
    // follows the request in the log.
    LogMessage(services_, IDS_ABORT_REQUEST, true, false);
    StopRequested = 1;
    if (!m_hStopVideoEvent.Set())
        LogSeriousError(services_, false, "SetEvent(m_hStopVideoEvent)", static_cast<unsigned long>(errno));
    WaitForThread(worker_, Pump());
    LogMessage(services_, IDS_STOPPED_BY_USER, true, false);
}

void CConversionView::OnCloseAviFile() {
    if (IsWorkerAlive()) {
        ShowMessageBox(Message(IDS_STILL_PROCESSING), "", MB_OK);
        return;
    }
    doc_.CloseAvi();
    services_.ShowAviOpen(false);
}

bool CConversionView::OnCloseRequest() {
    if (workerPostedClose_.exchange(false)) {
        // The worker's own close at the end of an unattended run: no question, just let it end.
        WaitForThread(worker_, Pump());
    } else if (IsWorkerAlive()) {
        if (ShowMessageBox(Message(IDS_STOP_QUESTION), "", MB_YESNO | MB_ICONQUESTION) != IDYES)
            return false;
    }

    ReadForm();
    if (options_.storeFormOnExit)
        Form().Store();

    m_hStopEvent.Reset();
    StopRequested = 1;
    m_hStopEvent.Set();
    m_hStopVideoEvent.Set();
    WaitForThread(worker_, Pump());
    WaitForThread(preview_, Pump());

    OnCloseAviFile();
    fileList_.Clear();
    services_.FileListChanged();
    return true;
}

bool CConversionView::Shutdown(std::chrono::milliseconds patience) {
    if (shutDown_)
        return true;
    m_hStopEvent.Set();
    if (IsWorkerAlive()) {
        StopRequested = 1;
        m_hStopVideoEvent.Set();
    }
    // A worker that a wait gave up on may still be writing a frame or waiting for the window
    // thread: keep serving it until it has ended, then complete the output it wrote to.
    const bool workerRan = IsWorkerAlive();
    const auto start = std::chrono::steady_clock::now();
    const bool limited = patience != std::chrono::milliseconds::max();
    for (const std::shared_ptr<ThreadState>& state : {workerState_, previewState_}) {
        while (state && !state->ended.Wait(10)) {
            services_.DispatchPending();
            if (limited && std::chrono::steady_clock::now() - start > patience)
                return false;
        }
    }
    shutDown_ = true;
    worker_.Close();
    preview_.Close();
    if (workerRan)
        doc_.CloseAvi();
    return true;
}

// The conversion job.

void CConversionView::ThrottledShowVideo(const std::string& path) {
    auto now = std::chrono::steady_clock::now();
    if (lastVideo_ != std::chrono::steady_clock::time_point{} && now - lastVideo_ < kVideoInterval)
        return;
    lastVideo_ = now;
    services_.ShowVideo(path);
}

void CConversionView::PostCloseFromWorker() {
    workerPostedClose_ = true;
    services_.PostClose();
}

// The working state of one conversion.
struct CConversionView::Job {
    std::time_t start = std::time(nullptr);
    JobSummary summary;
    std::vector<FileEntry> files;
    std::vector<std::string> paths;  // list directory + name of each entry
    uint32_t referenceWidth = 0;
    uint32_t referenceHeight = 0;
    int failures = 0;  // shown in the failures pane
    bool stopped = false;
    bool outputFull = false;  // the disk or the file's size limit allows no further frame
    CFramePipeline* pipeline = nullptr;
};

void CConversionView::ProcessFiles() {
    Job job;
    job.summary.ran = true;
    if (!CollectFiles(job)) {
        EndWithoutFiles(job);
        return;
    }
    const FrameTransform transform = TransformFromForm();
    // The gray decodes for the identical-frame detection are made ahead only when it is on; the
    // comparer decodes by itself whenever it gets none.
    CFramePipeline pipeline(job.paths, transform, CurrentSettings().MotionDeviation > 0, options_.helpers);
    job.pipeline = &pipeline;
    CImageFile image;
    if (!TakeReferenceSize(job, image, transform))
        return;
    for (size_t i = 0; i < job.files.size() && !job.stopped && !job.outputFull; ++i) {
        if (!ConvertFile(job, i, pipeline.Take(i), image))
            break;
    }
    FinishJob(job);
}

bool CConversionView::CollectFiles(Job& job) {
    if (!fileList_.CollectSelected(job.files) || job.files.empty())
        return false;
    job.summary.files = static_cast<int>(job.files.size());
    const std::string folder = fileList_.ListDirectory();
    job.paths.reserve(job.files.size());
    for (const FileEntry& entry : job.files)
        job.paths.push_back(folder + entry.name);
    return true;
}

void CConversionView::EndWithoutFiles(Job& job) {
    job.summary.nothingSelected = true;
    job.summary.inputFolderProblem = inputFolderProblem_;
    PublishSummary(job.summary);
    if (CurrentSettings().AutoStop)
        PostCloseFromWorker();
    else
        ShowMessageBox(Message(IDS_NO_FILES_SELECTED), "", MB_OK);
}

bool CConversionView::TakeReferenceSize(Job& job, CImageFile& image, const FrameTransform& transform) {
    // The first file, decoded once more on its own, fixes the reference size.
    const std::string& name = job.files[0].name;
    SetPaneText(services_, ID_INDICATOR_FILE_NAME, PrintableText(name));
    if (!image.Load(job.paths[0])) {
        const std::string line = FailureLine(IDS_FAILED_TO_OPEN, name, image.Image().LastError());
        LogRed(services_, line, true);
        SetPaneFormatted(services_, ID_INDICATOR_FILE_NAME, IDS_FAILED_TO_OPEN, name);
        job.summary.unreadable = 1;
        job.summary.outputFailed = true;
        PublishSummary(job.summary);
        ShowMessageBox(line, "", MB_OK);
        if (CurrentSettings().AutoStop)
            PostCloseFromWorker();
        return false;
    }
    ApplyFrameTransforms(image, &transform);
    job.referenceWidth = image.Width();
    job.referenceHeight = image.Height();
    SetPaneNumber(services_, ID_INDICATOR_FILE_COUNT, static_cast<long>(job.files.size()));
    SetPaneNumber(services_, ID_INDICATOR_FAILURES, 0);
    return true;
}

bool CConversionView::ConvertFile(Job& job, size_t i, std::unique_ptr<PreparedImage> prepared, CImageFile& image) {
    const std::string& name = job.files[i].name;
    SetPaneText(services_, ID_INDICATOR_FILE_NAME, PrintableText(name));
    SetPaneNumber(services_, ID_INDICATOR_FILE_NUMBER, static_cast<long>(i + 1));

    image.Adopt(job.paths[i], prepared->picture);
    if (!prepared->loaded) {
        RefuseFile(job, IDS_FAILED_TO_OPEN, name, job.summary.unreadable, prepared->picture.LastError());
        services_.ShowAviOpen(false);
        return true;
    }
    // A damaged file that still decoded (a cut-off JPEG shows grey below the cut): said once, in
    // red, with the file's name; the picture is used.
    if (!prepared->warning.empty()) {
        const std::string warning = PrintableText(prepared->warning);
        LogRed(services_, FormatMessage(IDS_IMAGE_WARNING, {PrintableText(name), warning}), true);
    }
    if (!doc_.OpenForImage(image)) {
        LogMessage(services_, IDS_FAILED_TO_OPEN_AVI_OR_CANCELLED, true, true);
        job.summary.outputFailed = true;
        services_.ShowAviOpen(false);
        doc_.CloseAvi();
        return false;
    }
    ReloadSettings();
    services_.ShowAviOpen(true);
    // In the single-file style the stream stays the same for the whole conversion, so the
    // helpers can prepare the next images for it (a stream of one image gains nothing).
    if (options_.helpers > 0 && doc_.OutputMode() == CPixreelDoc::kOneForAll)
        job.pipeline->CompressFor(doc_.CompressPlan());

    // An output left open by an earlier conversion keeps the frame size it was made with; an
    // image of another size is refused like any other size mismatch.
    if (image.Width() != job.referenceWidth || image.Height() != job.referenceHeight || !doc_.FitsOpenStream(image)) {
        RefuseFile(job, IDS_DIFFERENT_SIZE, name, job.summary.wrongSize);
        return true;
    }
    WriteFrames(job, image, job.files[i].index, *prepared);
    return true;
}

void CConversionView::RefuseFile(Job& job, unsigned messageId, const std::string& name, int& count,
                                 const std::string& reason) {
    LogRed(services_, FailureLine(messageId, name, reason), true);
    SetPaneFormatted(services_, ID_INDICATOR_FILE_NAME, messageId, name);
    ++count;
    CountFailure(job);
}

void CConversionView::CountFailure(Job& job) {
    ++job.failures;
    SetPaneNumber(services_, ID_INDICATOR_FAILURES, job.failures);
}

int64_t CConversionView::FramesPerImage() const {
    const FormValues form = Form();
    if (!form.UseFrameTime || form.AVIFrameTime <= 0)
        return 1;
    // A rate below 1 from a hand-edited INI file counts as 1 here as it does for the writer.
    const int64_t rate = std::max(1, CurrentSettings().FramesPerSec);
    return static_cast<int64_t>(form.AVIFrameTime) * rate / 1000;
}

void CConversionView::WriteFrames(Job& job, CImageFile& image, int listIndex, PreparedImage& prepared) {
    const int64_t frames = FramesPerImage();
    int firstFrame = 0;
    for (int64_t frame = 0; frame < frames; ++frame) {
        if (StopSeen()) {
            job.stopped = true;
            return;
        }
        services_.BlinkActivity();
        // Every frame of an image has the same pixels, so a sample made ahead serves them all.
        const CPixreelDoc::AddFrameResult result =
            doc_.AddFrame(image, firstFrame, std::move(prepared.gray), &prepared.compressed);
        if (result == CPixreelDoc::kFrameWritten) {
            if (frame == 0)
                ++job.summary.written;
            const int marked = fileList_.MarkConverted(image.Name(), listIndex);
            if (marked >= 0)
                services_.MarkConverted(image.Name(), marked);
            ThrottledShowVideo(image.Path());
        } else if (result == CPixreelDoc::kFrameFailed) {
            ++job.summary.writeFailures;
            if (doc_.OutputFull() != 0) {
                // The document has named the cause; no further frame or file can succeed.
                job.outputFull = true;
                return;
            }
            LogMessage(services_, IDS_FAILED_TO_WRITE_AVI, true, true);
            SetPaneText(services_, ID_INDICATOR_FILE_NAME, Message(IDS_FAILED_TO_WRITE_AVI));
        } else {
            LogFormatted(services_, IDS_DROPPED, image.Name(), true, true);
            ++job.summary.dropped;
            CountFailure(job);
        }
        SetPaneNumber(services_, ID_INDICATOR_TIME, static_cast<long>(std::time(nullptr) - job.start));
        if (result != CPixreelDoc::kFrameWritten)
            return;
    }
}

bool CConversionView::StopSeen() {
    // The stop flag is taken back together with the event; the event alone is consumed by the look.
    const bool flagged = StopRequested != 0;
    if (!flagged && !m_hStopVideoEvent.Wait(0))
        return false;
    LogMessage(services_, IDS_STOPPING, true, false);
    if (flagged) {
        m_hStopVideoEvent.Reset();
        StopRequested = 0;
    }
    return true;
}

void CConversionView::FinishJob(Job& job) {
    StopRequested = 0;
    if (Form().AVIStyle == 0) {
        doc_.CloseAvi();
        services_.ShowAviOpen(false);
    }
    job.summary.stopped = job.stopped;
    PublishSummary(job.summary);
    if (CurrentSettings().AutoStop && !job.stopped)
        PostCloseFromWorker();
}

void CConversionView::PublishSummary(const JobSummary& summary) {
    std::lock_guard<std::mutex> lock(mutex_);
    summary_ = summary;
}
