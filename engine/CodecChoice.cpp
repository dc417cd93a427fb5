#include "engine/CodecChoice.h"

#include <cstdio>
#include <memory>

#include "base/AsciiCase.h"
#include "base/PrintableText.h"
#include "engine/StatusLog.h"
#include "platform/Codecs.h"
#include "platform/MessageBox.h"
#include "platform/StringTable.h"

namespace {

// The framework's validation messages for a number box.
constexpr const char* kRangeMessage = "Please enter an integer between %1 and %2.";
constexpr const char* kNotANumberMessage = "Please enter a positive integer.";

// The controls of a disabled key-frame box show 0; a compressor answers this interval for it.
constexpr DWORD kNoKeyFrameBox = static_cast<DWORD>(-1);

constexpr DWORD kUncompressedQuality = 10000;
constexpr int kSliderMin = 1;
constexpr int kSliderMax = 100;

struct CloseCompressor {
    void operator()(HIC hic) const { ICClose(hic); }
};
using CompressorHandle = std::unique_ptr<CodecInstance, CloseCompressor>;

// The compressor enumerated under index, opened in query mode, with its description; no handle
// when there is no such compressor or it cannot be opened.
CompressorHandle OpenEnumerated(DWORD index, ICINFO& info) {
    info = ICINFO{};
    if (!ICInfo(ICTYPE_VIDEO, index, &info))
        return nullptr;
    CompressorHandle hic(ICOpen(info.fccType, info.fccHandler, ICMODE_QUERY));
    if (hic)
        ICGetInfo(hic.get(), &info, sizeof info);
    return hic;
}

std::string Description(const ICINFO& info) {
    char name[256] = "";
    ICTextFromWide(info.szDescription, sizeof info.szDescription / sizeof info.szDescription[0], name, sizeof name);
    return name;
}

std::string PercentText(long percent) {
    std::string text = std::to_string(percent);
    text += '%';
    return text;
}

int SliderPosition(DWORD percent) {
    return percent < static_cast<DWORD>(kSliderMin) ? kSliderMin
           : percent > static_cast<DWORD>(kSliderMax) ? kSliderMax
                                                      : static_cast<int>(percent);
}

// The framework's range message with %1 and %2 filled in.
std::string RangeMessage(unsigned low, unsigned high) {
    std::string text;
    for (const char* p = kRangeMessage; *p; ++p) {
        if (p[0] == '%' && (p[1] == '1' || p[1] == '2')) {
            text += std::to_string(*++p == '1' ? low : high);
        } else {
            text += *p;
        }
    }
    return text;
}

}  // namespace

CodecChoice::CodecChoice(const AVICOMPRESSOPTIONS& remembered)
    : rememberedCode_(remembered.fccHandler),
      rememberedKeyFrames_(remembered.dwKeyFrameEvery),
      percent_(remembered.dwQuality / 100),
      keyFrames_(remembered.dwKeyFrameEvery) {}

bool CodecChoice::Start(const char* samplePath) {
    if (!samplePath || !sample_.Load(samplePath)) {
        const std::string path = PrintableText(samplePath ? samplePath : "");
        ShowMessageBox(FormatMessage(IDS_ERROR_FAILED_TO_OPEN, {path}), "", MB_ICONHAND);
        return false;
    }
    List(sample_.Header());

    // The last listed compressor with the remembered code is preselected.
    size_t preselected = 0;
    for (size_t i = 1; i < entries_.size(); ++i) {
        if (entries_[i].code == rememberedCode_)
            preselected = i;
    }
    Select(preselected);
    view_.alwaysUse = false;
    // The slider shows the incoming percent, while the percent text keeps what the selection
    // wrote; the key-frame box shows the dialog's own key-frame value.
    view_.sliderPosition = SliderPosition(percent_);
    view_.keyFramesText = std::to_string(keyFrames_);
    return true;
}

void CodecChoice::List(const BITMAPINFOHEADER& sample) {
    entries_.assign(1, CodecListEntry{-1, 0, kUncompressedCodecName});
    for (DWORD index = 0;; ++index) {
        ICINFO info{};
        if (!ICInfo(ICTYPE_VIDEO, index, &info))
            break;
        CompressorHandle hic(ICOpen(info.fccType, info.fccHandler, ICMODE_QUERY));
        if (!hic || ICCompressQuery(hic.get(), &sample, nullptr) != ICERR_OK)
            continue;
        ICGetInfo(hic.get(), &info, sizeof info);
        entries_.push_back(CodecListEntry{static_cast<int>(index), info.fccHandler, Description(info)});
    }
}

void CodecChoice::Select(size_t entry) {
    if (entry >= entries_.size())
        return;
    view_.selected = entry;
    DWORD code = 0;
    DWORD quality = kUncompressedQuality;
    DWORD keyFrames = 0;
    bool configurable = false;
    bool hasQuality = false;
    if (entry != 0) {
        ICINFO info{};
        CompressorHandle hic = OpenEnumerated(static_cast<DWORD>(entries_[entry].value), info);
        code = info.fccHandler;
        configurable = hic && ICQueryConfigure(hic.get()) == ICERR_OK;
        quality = hic ? ICGetDefaultQuality(hic.get()) : 0;
        keyFrames = hic ? ICGetDefaultKeyFrameRate(hic.get()) : 0;
        hasQuality = (info.dwFlags & VIDCF_QUALITY) != 0;
    }
    if (code == rememberedCode_) {
        quality = percent_ * 100;
        keyFrames = rememberedKeyFrames_;
    }
    view_.configureEnabled = configurable;
    view_.sliderPosition = SliderPosition(quality / 100);
    view_.percentText = PercentText(static_cast<long>(quality / 100));
    view_.keyFramesEnabled = keyFrames != kNoKeyFrameBox;
    view_.keyFramesText = std::to_string(view_.keyFramesEnabled ? keyFrames : 0);
    if (view_.keyFramesEnabled)
        keyFrames_ = keyFrames;
    view_.qualityEnabled = hasQuality;
}

void CodecChoice::MoveSlider(int position) {
    view_.sliderPosition = position;
    view_.percentText = PercentText(position);
}

void CodecChoice::Configure(void* owner) const {
    if (view_.selected == 0 || view_.selected >= entries_.size())
        return;
    ICINFO info{};
    CompressorHandle hic = OpenEnumerated(static_cast<DWORD>(entries_[view_.selected].value), info);
    if (hic && ICQueryConfigure(hic.get()) == ICERR_OK)
        ICConfigure(hic.get(), owner);
}

CodecDialogInput CodecChoice::InputFromView() const {
    CodecDialogInput input;
    input.listText = view_.selected < entries_.size() ? entries_[view_.selected].name : std::string();
    input.sliderPosition = view_.sliderPosition;
    input.alwaysUse = view_.alwaysUse;
    input.keyFramesText = view_.keyFramesText;
    return input;
}

std::string CodecChoice::Accept(const CodecDialogInput& input, CodecRequest& request) const {
    unsigned keyFrames = 0;
    std::string refusal;
    if (!ReadKeyFrameText(input.keyFramesText, keyFrames, refusal))
        return refusal;

    // A text no entry has (an empty list box) counts as the uncompressed entry.
    const size_t found = FindCodecEntry(entries_, input.listText);
    DWORD code = comptypeDIB;
    std::string name = kUncompressedCodecName;
    if (found != 0 && found < entries_.size()) {
        ICINFO info{};
        // The entry's own record stands in should the compressor have gone since the list was made.
        code = entries_[found].code;
        name = entries_[found].name;
        if (OpenEnumerated(static_cast<DWORD>(entries_[found].value), info)) {
            code = info.fccHandler;
            name = Description(info);
        }
    }
    request.Options->fccHandler = code;
    request.Options->dwQuality = static_cast<DWORD>(input.sliderPosition) * 100;
    request.Options->dwKeyFrameEvery = keyFrames;
    request.AlwaysUse = input.alwaysUse ? 1 : 0;
    std::snprintf(request.CodecName, sizeof request.CodecName, "%s", name.c_str());
    return {};
}

size_t FindCodecEntry(const std::vector<CodecListEntry>& entries, std::string_view text) {
    for (size_t step = 1; step <= entries.size(); ++step) {
        const size_t i = step % entries.size();
        if (EqualIgnoringAsciiCase(entries[i].name, text))
            return i;
    }
    return entries.size();
}

bool ReadKeyFrameText(std::string_view text, unsigned& interval, std::string& refusal) {
    // Blanks around the number are allowed; a minus sign makes a number below the range.
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    const bool negative = !text.empty() && text.front() == '-';
    if (negative || (!text.empty() && text.front() == '+'))
        text.remove_prefix(1);
    bool digits = !text.empty();
    unsigned long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            digits = false;
            break;
        }
        // Saturates: any number this long is out of range anyway.
        value = value > kMaxKeyFrameEvery ? value : value * 10 + static_cast<unsigned>(c - '0');
    }
    if (!digits) {
        refusal = kNotANumberMessage;
        return false;
    }
    if ((negative && value != 0) || value > kMaxKeyFrameEvery) {
        refusal = RangeMessage(0, kMaxKeyFrameEvery);
        return false;
    }
    interval = static_cast<unsigned>(value);
    return true;
}
