#pragma once
// The Select Codec dialog without its widgets: the compressors it lists for a sample image, the
// entry it preselects, what its controls show for the selected entry, and what OK hands back in
// the codec request. The window dialog copies the state into its controls and passes theirs
// back on OK; the console front end answers a request with the same rules.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "engine/CompressOptions.h"
#include "engine/ImageFile.h"

/// Name of the uncompressed entry of the codec list.
inline constexpr const char* kUncompressedCodecName = "Full Frames (Uncompressed)";
/// The key-frame box takes whole numbers from 0 to this.
inline constexpr unsigned kMaxKeyFrameEvery = 32700;

/// One entry of the codec list.
struct CodecListEntry {
    int value = -1;    ///< -1 for the uncompressed entry, else the compressor's enumeration index
    DWORD code = 0;    ///< the compressor's four-character code; 0 for the uncompressed entry
    std::string name;  ///< the text the list shows (UTF-8, at most 255 bytes)
};

/// What the dialog's controls show.
struct CodecDialogView {
    size_t selected = 0;            ///< list entry
    bool configureEnabled = false;  ///< "Confi&gure"
    bool qualityEnabled = false;    ///< the slider, the percent text and "&Quality" together
    int sliderPosition = 1;         ///< 1 to 100
    std::string percentText;        ///< "70%"
    bool keyFramesEnabled = false;  ///< the key-frame box
    std::string keyFramesText;      ///< what the key-frame box shows
    bool alwaysUse = false;         ///< "Always use this Codec"
};

/// What the dialog's controls hold when OK is pressed.
struct CodecDialogInput {
    std::string listText;       ///< the list's current text
    int sliderPosition = 1;     ///< quality percent
    bool alwaysUse = false;
    std::string keyFramesText;  ///< the key-frame box's text
};

class CodecChoice {
public:
    /// The remembered compressor code, key-frame interval and quality percent are taken from
    /// the incoming options.
    explicit CodecChoice(const AVICOMPRESSOPTIONS& remembered);

    /// Initialises the dialog: loads the sample, fills the list, selects the entry of the
    /// remembered compressor (else the uncompressed one) and sets up the controls. False when
    /// the sample does not load: the box "Error. Failed to open <path>" has been shown and the
    /// dialog ends cancelled.
    bool Start(const char* samplePath);

    const std::vector<CodecListEntry>& Entries() const { return entries_; }
    const CodecDialogView& View() const { return view_; }
    /// The sample image as loaded by Start.
    const CImageFile& Sample() const { return sample_; }

    /// Selection change: the controls follow the entry, with the compressor's defaults or,
    /// for the remembered compressor, the remembered values.
    void Select(size_t entry);
    /// The slider moved: the percent text follows it.
    void MoveSlider(int position);
    /// Runs the selected compressor's own configuration dialog, when it has one.
    void Configure(void* owner) const;

    /// OK: fills the request's fccHandler, dwQuality, dwKeyFrameEvery, AlwaysUse and CodecName
    /// from the controls and answers "". When the key-frame box holds no number from 0 to 32700
    /// nothing is filled and the answer is the message to show; the dialog stays open.
    std::string Accept(const CodecDialogInput& input, CodecRequest& request) const;
    /// The input of pressing OK with the controls as View shows them.
    CodecDialogInput InputFromView() const;

private:
    void List(const BITMAPINFOHEADER& sample);

    DWORD rememberedCode_;
    DWORD rememberedKeyFrames_;
    DWORD percent_;    // the incoming quality in percent
    DWORD keyFrames_;  // the dialog's key-frame value, which the box shows after initialisation
    CImageFile sample_;
    std::vector<CodecListEntry> entries_;
    CodecDialogView view_;
};

/// The list's exact-text search that OK uses: case ignored, starting after entry 0 and wrapping
/// round, so entry 0 is found last and, among entries of the same text, the first after entry 0
/// wins. Answers entries.size() when no entry has the text.
size_t FindCodecEntry(const std::vector<CodecListEntry>& entries, std::string_view text);

/// Reads the key-frame box: true with the interval, or false with the framework's message for
/// a text that is no number ("Please enter a positive integer.") or out of range ("Please enter
/// an integer between 0 and 32700.").
bool ReadKeyFrameText(std::string_view text, unsigned& interval, std::string& refusal);
