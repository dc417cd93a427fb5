#pragma once
// CPixreelDoc: the output side of a conversion. It holds the AVI writer, the identical-frame
// comparer, its own settings and the name of the AVI being written; the conversion asks it to
// make an output ready for an image, to add frames, and to close the output. In the single-file
// style the output stays open across conversions until it is closed.
//
// Threads: OpenForImage and AddFrame run on the worker; CloseAvi on the worker or, while no
// worker runs, on the window thread; SetOutputStyle at any time; CloseForExit on any thread.
// Every operation on the output holds the document's lock.

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>

#include "config/Settings.h"
#include "engine/AviWriter.h"
#include "engine/CompressAhead.h"
#include "engine/FrameComparer.h"
#include "engine/ImageFile.h"
#include "engine/StreamFormat.h"

class WindowServices;

class CPixreelDoc {
public:
    /// OutputMode values.
    static constexpr int kOnePerImage = 1;
    static constexpr int kOneForAll = 2;

    /// What AddFrame did with a frame.
    enum AddFrameResult : int { kFrameWritten = 0, kFrameFailed = 1, kFrameDropped = 2 };

    explicit CPixreelDoc(WindowServices& services);
    ~CPixreelDoc();
    CPixreelDoc(const CPixreelDoc&) = delete;
    CPixreelDoc& operator=(const CPixreelDoc&) = delete;

    /// Takes the view's AVIStyle: 0 one AVI per image, anything else one AVI for all. An open
    /// AVI stays open.
    void SetOutputStyle(int aviStyle);
    int OutputMode() const { return outputMode_; }

    /// Makes an output ready for the image: 1 ready to write, 0 not. In the one-for-all style an
    /// open output is kept; otherwise the output is (re)named, created and set up for the image.
    int OpenForImage(const CImageFile& image);
    /// Adds one frame of the image. On the image's first frame (firstFrame 0) the comparer may
    /// drop it as identical; `gray` is its untransformed gray decode when one was made ahead.
    /// A written first frame sets firstFrame to 1. `ahead` is what was made of the image ahead of
    /// the writer (engine/CompressAhead); it is used when it was made for the open stream, and
    /// made here when the stream has a plan and it is missing, for the image's next frames.
    AddFrameResult AddFrame(CImageFile& image, int& firstFrame, std::unique_ptr<CImageFile> gray = nullptr,
                            CompressedAhead* ahead = nullptr);
    /// The plan for preparing frames of the open stream ahead of the writer; null while no
    /// stream is set up. The same plan until the output is closed.
    std::shared_ptr<const CCompressPlan> CompressPlan();
    /// Closes an open output (with its INFO chunk when WriteCopyright is set) and forgets the
    /// comparer's reference. Always 1.
    int CloseAvi();
    /// For a program that ends while a worker that was asked to stop has not (stuck in a read):
    /// waits up to `wait` for the output to be between two frames, closes it as CloseAvi does,
    /// and from then on refuses every open and frame, so that the worker, should it go on, leaves
    /// the file alone. False, with nothing done, when the output stayed busy.
    bool CloseForExit(std::chrono::milliseconds wait);
    /// Sets OutputName for an image of that file name, from the settings as last reloaded.
    void BuildOutputName(const std::string& imageName);
    /// Reloads the document's settings (OpenForImage and CloseAvi do so themselves).
    void ReloadSettings() { settings_.Load(); }

    const std::string& OutputName() const { return outputName_; }
    bool IsAviOpen() const { return writer_.IsOpen(); }
    /// False when an output is open and set up whose frames have another size than the image.
    bool FitsOpenStream(const CImageFile& image) const;
    /// Closes that could not complete their file (a failed final write), since construction.
    int FailedCloses() const { return failedCloses_; }
    /// 0, or why the open output can take no more frames: ENOSPC or EDQUOT (the disk is full)
    /// or EFBIG (a file size limit). AddFrame reports it once, when it first fails so.
    int OutputFull() const { return outputFull_; }
    CAviWriter& Writer() { return writer_; }

private:
    int WriteFrame(CImageFile& image, CompressedAhead* ahead);

    WindowServices& services_;
    std::atomic<int> outputMode_{0};
    CDocAviWriter writer_;
    CFrameComparer comparer_;
    Settings settings_;
    std::string outputName_;
    StreamFormat streamFormat_;  // of the open output, once its streams are set up
    std::shared_ptr<const CCompressPlan> plan_;  // made on demand for the open output
    int failedCloses_ = 0;
    int outputFull_ = 0;
    // Held by every operation on the output. Recursive: opening in the one-per-image style
    // closes the previous output.
    mutable std::recursive_timed_mutex outputMutex_;
    bool closedForExit_ = false;
};

/// The local date and time stamp of single output names: "MMM dd" and "HHmmss" in the user's
/// locale, joined by a blank.
std::string OutputTimeStamp(time_t when);
