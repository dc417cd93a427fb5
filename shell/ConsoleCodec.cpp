#include "shell/ConsoleCodec.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/CompressOptions.h"
#include "engine/ImageFile.h"
#include "engine/StatusLog.h"
#include "platform/Codecs.h"
#include "platform/MessageBox.h"
#include "platform/StringTable.h"

namespace {

// One entry of the codec list as the dialog fills it for a sample: the compressors that accept
// the sample's format, in enumeration order.
struct ListedCodec {
    DWORD code = 0;
    std::string name;
    DWORD defaultQuality = 0;
    DWORD defaultKeyFrames = 0;
};

std::vector<ListedCodec> ListCodecs(const BITMAPINFOHEADER& sample) {
    std::vector<ListedCodec> list;
    for (DWORD index = 0;; ++index) {
        ICINFO info{};
        if (!ICInfo(ICTYPE_VIDEO, index, &info))
            break;
        HIC hic = ICOpen(info.fccType, info.fccHandler, ICMODE_QUERY);
        if (!hic)
            continue;
        if (ICCompressQuery(hic, &sample, nullptr) == ICERR_OK) {
            ICINFO details{};
            ICGetInfo(hic, &details, sizeof details);
            ListedCodec codec;
            codec.code = details.fccHandler;
            char name[256] = "";
            ICTextFromWide(details.szDescription, 128, name, sizeof name);
            codec.name = name;
            codec.defaultQuality = ICGetDefaultQuality(hic);
            codec.defaultKeyFrames = ICGetDefaultKeyFrameRate(hic);
            list.push_back(codec);
        }
        ICClose(hic);
    }
    return list;
}

DWORD UpperCode(DWORD code) {
    DWORD upper = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        auto c = static_cast<unsigned char>((code >> shift) & 0xFF);
        upper |= static_cast<DWORD>(std::toupper(c)) << shift;
    }
    return upper;
}

std::string CodeText(DWORD code) {
    std::string text;
    for (int shift = 0; shift < 32; shift += 8)
        text.push_back(static_cast<char>((code >> shift) & 0xFF));
    return text;
}

}  // namespace

unsigned long CodecCodeFromText(const std::string& text) {
    if (text.empty() || text.size() > 4)
        return 0;
    std::string padded = text;
    padded.resize(4, ' ');
    return MakeFourCC(padded[0], padded[1], padded[2], padded[3]);
}

int AnswerCodecRequest(CodecRequest& request, const std::string& wanted) {
    AVICOMPRESSOPTIONS& options = *request.Options;
    CImageFile sample;
    if (!request.SampleFile || !sample.Load(request.SampleFile)) {
        ShowMessageBox(FormatMessage(IDS_ERROR_FAILED_TO_OPEN, {request.SampleFile ? request.SampleFile : ""}), "",
                       MB_ICONHAND);
        return 0;
    }
    const std::vector<ListedCodec> list = ListCodecs(sample.Header());

    // What the dialog starts with: the remembered code, interval and quality percent.
    const DWORD remembered = options.fccHandler;
    const DWORD percent = options.dwQuality / 100;
    const DWORD rememberedKeyFrames = options.dwKeyFrameEvery;

    // The entry the dialog selects: the uncompressed one (-1) unless the remembered compressor
    // is listed, the last listed entry with its code winning.
    int selected = -1;
    if (wanted.empty()) {
        for (size_t i = 0; i < list.size(); ++i) {
            if (list[i].code == remembered)
                selected = static_cast<int>(i);
        }
    } else {
        const DWORD code = static_cast<DWORD>(CodecCodeFromText(wanted));
        bool found = code != 0 && UpperCode(code) == UpperCode(comptypeDIB);
        for (size_t i = 0; i < list.size() && !found; ++i) {
            if (UpperCode(list[i].code) == UpperCode(code)) {
                selected = static_cast<int>(i);
                found = true;
            }
        }
        if (!found) {
            std::string known = "DIB";
            for (const ListedCodec& codec : list)
                known += ", " + CodeText(codec.code);
            ShowMessageBox("No compressor \"" + wanted + "\" can compress " + sample.Name() +
                               " on this machine. Available: " + known + ".",
                           "", MB_ICONHAND);
            return 0;
        }
    }

    // The selection's values: its defaults, or the remembered ones when it is the remembered
    // compressor (the uncompressed entry counts as code 0 there).
    const DWORD selectedCode = selected < 0 ? 0 : list[static_cast<size_t>(selected)].code;
    DWORD quality = selected < 0 ? 10000 : list[static_cast<size_t>(selected)].defaultQuality;
    DWORD keyFrames = selected < 0 ? 0 : list[static_cast<size_t>(selected)].defaultKeyFrames;
    if (selectedCode == remembered) {
        quality = percent * 100;
        keyFrames = rememberedKeyFrames;
    }
    DWORD slider = quality / 100;
    if (wanted.empty()) {
        // Pressed at once: the slider still shows the incoming percent (1 to 100).
        slider = percent;
    }
    if (slider < 1)
        slider = 1;
    if (slider > 100)
        slider = 100;
    if (keyFrames == static_cast<DWORD>(-1) || keyFrames > 32700)
        keyFrames = keyFrames == static_cast<DWORD>(-1) ? 0 : 32700;

    options.fccHandler = selected < 0 ? comptypeDIB : selectedCode;
    options.dwQuality = slider * 100;
    options.dwKeyFrameEvery = keyFrames;
    request.AlwaysUse = 0;
    const std::string name = selected < 0 ? kUncompressedCodecName : list[static_cast<size_t>(selected)].name;
    std::snprintf(request.CodecName, sizeof request.CodecName, "%s", name.c_str());
    return 1;
}
