#include "engine/PixreelDoc.h"

#include <cerrno>
#include <ctime>

#include "base/PrintableText.h"
#include "config/CommandLineOverlay.h"
#include "engine/StatusLog.h"
#include "engine/WindowServices.h"
#include "platform/LocalTime.h"
#include "platform/RegularFile.h"
#include "platform/StringTable.h"
#include "platform/VersionInfo.h"

namespace {

// The name part of a path starts after its last '/'; its extension is the part from the last
// '.' of the name part on.
size_t ExtensionStart(const std::string& path) {
    size_t slash = path.find_last_of('/');
    size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = path.find_last_of('.');
    return dot == std::string::npos || dot < nameStart ? path.size() : dot;
}

std::string WithoutExtension(const std::string& path) {
    return path.substr(0, ExtensionStart(path));
}

}  // namespace

std::string OutputTimeStamp(time_t when) {
    return FormatLocalTime(when, "%b %d %H%M%S");
}

CPixreelDoc::CPixreelDoc(WindowServices& services) : services_(services), writer_(services) {}

CPixreelDoc::~CPixreelDoc() {
    CloseAvi();
}

void CPixreelDoc::SetOutputStyle(int aviStyle) {
    outputMode_ = aviStyle == 0 ? kOnePerImage : kOneForAll;
}

void CPixreelDoc::BuildOutputName(const std::string& imageName) {
    if (outputMode_ == kOnePerImage) {
        outputName_ = WithoutExtension(settings_.OutputPath + imageName) + ".avi";
        return;
    }
    // An absolute name is used as it stands; any other is put into the output folder.
    const std::string video = settings_.VideoFile;
    const std::string name = video.starts_with('/') ? video : settings_.OutputPath + video;
    if (settings_.Overwrite == 0) {
        // The stamp goes after the name without its extension, so that neither a dot in the name
        // ("holiday.avi") nor one in the month abbreviation can cut it off again: outputs of
        // different runs must not replace each other.
        outputName_ = WithoutExtension(name) + "  " + OutputTimeStamp(std::time(nullptr)) + ".avi";
        return;
    }
    outputName_ = WithoutExtension(name) + ".avi";
}

int CPixreelDoc::OpenForImage(const CImageFile& image) {
    std::lock_guard<std::recursive_timed_mutex> lock(outputMutex_);
    if (closedForExit_)
        return 0;
    settings_.Load();
    writer_.SetRate(settings_.FramesPerSec);

    if (writer_.IsOpen()) {
        if (outputMode_ != kOnePerImage)
            return 1;
        LogMessage(services_, IDS_AVI_CLOSED, true, false);
        CloseAvi();
    }

    // A stored output folder too long for its field has been cut to another folder's name; an
    // output there (or, cut at a '/', in a parent folder) is never what the user asked for.
    const bool usesOutputPath = outputMode_ == kOnePerImage || settings_.VideoFile[0] != '/';
    if (usesOutputPath && settings_.OutputPathTooLong) {
        std::string shown = PrintableText(settings_.OutputPath);
        shown += "...";
        LogRed(services_, FormatMessage(IDS_OUTPUT_PATH_TOO_LONG, {static_cast<int>(kMaxPathChars - 1), shown}), true);
        return 0;
    }
    BuildOutputName(image.Name());
    if (!writer_.Open(outputName_.c_str())) {
        LogFormatted(services_, IDS_FAILED_TO_OPEN_AVI, outputName_, true, true);
        return 0;
    }
    LogFormatted(services_, IDS_OPENED_AVI, outputName_, true, false);

    // A compressor named on the command line is for this run: the writer must ask for it even
    // when a remembered one is stored.
    int rememberCodec = CommandLineCodec().empty() ? settings_.RememberCodec : 0;
    if (!writer_.CreateStreams(image, rememberCodec, settings_.DisplayFileNames))
        return 0;
    streamFormat_ = StreamFormat::Of(image.Image());
    WriteSettingInt("Config", "RememberCodec", rememberCodec);
    services_.EnableCloseAvi(true);
    return 1;
}

bool CPixreelDoc::FitsOpenStream(const CImageFile& image) const {
    std::lock_guard<std::recursive_timed_mutex> lock(outputMutex_);
    return !writer_.IsOpen() || !streamFormat_.valid || streamFormat_.SameSize(image.Image());
}

CPixreelDoc::AddFrameResult CPixreelDoc::AddFrame(CImageFile& image, int& firstFrame, std::unique_ptr<CImageFile> gray,
                                                  CompressedAhead* ahead) {
    std::lock_guard<std::recursive_timed_mutex> lock(outputMutex_);
    if (closedForExit_)
        return kFrameFailed;
    if (firstFrame == 0 && comparer_.Compare(image, static_cast<double>(settings_.MotionDeviation), std::move(gray)) == 0)
        return kFrameDropped;

    // The compressor was set up for the stream's first frame; a frame of another depth or
    // palette is brought into that format first, and one that cannot be is not written.
    bool ready = streamFormat_.Matches(image.Image()) || ConvertToFormat(image.Image(), streamFormat_);
    if (ready && WriteFrame(image, ahead)) {
        if (firstFrame == 0) {
            LogFormatted(services_, IDS_PROCESSED, image.Name(), true, false);
            firstFrame = 1;
        }
        return kFrameWritten;
    }
    LogFormatted(services_, IDS_FAILED_TO_PROCESS, image.Name(), true, true);
    const int reason = ready ? static_cast<int>(writer_.LastError()) : 0;
    if (!outputFull_ && (reason == ENOSPC || reason == EDQUOT || reason == EFBIG)) {
        // Nothing more fits into this output (nor, on a full disk, into any other): the cause is
        // named once, with the system's own words, and the conversion is to end here.
        outputFull_ = reason;
        LogRed(services_, FormatMessage(IDS_OUTPUT_FULL, {PrintableText(outputName_), OpenFailureText(reason)}), true);
    }
    return kFrameFailed;
}

bool CPixreelDoc::CloseForExit(std::chrono::milliseconds wait) {
    if (!outputMutex_.try_lock_for(wait))
        return false;
    std::lock_guard<std::recursive_timed_mutex> lock(outputMutex_, std::adopt_lock);
    CloseAvi();
    closedForExit_ = true;
    return true;
}

int CPixreelDoc::WriteFrame(CImageFile& image, CompressedAhead* ahead) {
    if (ahead && plan_ && plan_->Compresses()) {
        // A frame that comes without its sample (prepared before the plan was made) is compressed
        // by a twin too: the stream's own compressor then never holds a frame's working memory
        // beside the twins' (FFV1's is some hundreds of megabytes).
        if (ahead->plan != plan_->Id())
            plan_->Prepare(image.Image(), *ahead);
        // A sample made for this stream is the one its compressor would make now.
        if (ahead->plan == plan_->Id())
            return writer_.WriteCompressedFrame(image, ahead->sample, ahead->key);
    }
    return writer_.WriteFrame(image);
}

std::shared_ptr<const CCompressPlan> CPixreelDoc::CompressPlan() {
    std::lock_guard<std::recursive_timed_mutex> lock(outputMutex_);
    if (!plan_ && writer_.IsOpen() && streamFormat_.valid)
        plan_ = std::make_shared<const CCompressPlan>(streamFormat_, writer_.CompressorTwin());
    return plan_;
}

int CPixreelDoc::CloseAvi() {
    std::lock_guard<std::recursive_timed_mutex> lock(outputMutex_);
    services_.SetWaitCursor(true);
    if (writer_.IsOpen()) {
        settings_.Load();
        if (settings_.WriteCopyright) {
            const char* title = LoadStringText(IDS_APP_TITLE);
            std::string software = FormatMessageText("%s Version %s %s", {title ? title : "", VersionValue("SpecialBuild"),
                                                                           VersionValue("FileVersion")});
            writer_.WriteInfo(settings_.Copyright, software.c_str(), nullptr);
        }
        // A file that could not be completed (a full disk while the index was written) must not
        // pass for a finished video; a full disk already reported is not reported again.
        if (!writer_.ReleaseAll()) {
            ++failedCloses_;
            if (!outputFull_)
                LogMessage(services_, IDS_FAILED_TO_WRITE_AVI, true, true);
        }
    }
    outputFull_ = 0;
    streamFormat_.Clear();
    plan_.reset();
    comparer_.Reset();
    services_.EnableCloseAvi(false);
    services_.SetWaitCursor(false);
    return 1;
}
