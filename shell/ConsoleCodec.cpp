#include "shell/ConsoleCodec.h"

#include "base/AsciiCase.h"
#include "base/PrintableText.h"
#include "platform/MessageBox.h"

namespace {

bool SameCode(DWORD a, DWORD b) {
    return EqualIgnoringAsciiCase(FourCCText(a), FourCCText(b));
}

// The list entry of a "-c" code: 0 for "DIB", else the first compressor with the code; the
// list's size when none has it.
size_t EntryOfCode(const std::vector<CodecListEntry>& entries, DWORD code) {
    if (code != 0 && SameCode(code, comptypeDIB))
        return 0;
    for (size_t i = 1; i < entries.size(); ++i) {
        if (SameCode(entries[i].code, code))
            return i;
    }
    return entries.size();
}

void ShowUnknownCodec(const std::string& wanted, const CodecChoice& choice) {
    std::string known = "DIB";
    for (size_t i = 1; i < choice.Entries().size(); ++i)
        known += ", " + FourCCText(choice.Entries()[i].code);
    ShowMessageBox("No compressor \"" + PrintableText(wanted) + "\" can compress " +
                       PrintableText(choice.Sample().Name()) +
                       " on this machine. Available: " + known + ".",
                   "", MB_ICONHAND);
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
    CodecChoice choice(*request.Options);
    if (!choice.Start(request.SampleFile))
        return 0;
    if (!wanted.empty()) {
        const size_t entry = EntryOfCode(choice.Entries(), static_cast<DWORD>(CodecCodeFromText(wanted)));
        if (entry == choice.Entries().size()) {
            ShowUnknownCodec(wanted, choice);
            return 0;
        }
        choice.Select(entry);
    }
    CodecDialogInput input = choice.InputFromView();
    // Nobody can correct the key-frame box on a console: an interval beyond its range (from a
    // hand-edited settings file) is taken at the limit.
    unsigned keyFrames = 0;
    std::string refusal;
    if (!ReadKeyFrameText(input.keyFramesText, keyFrames, refusal))
        input.keyFramesText = std::to_string(kMaxKeyFrameEvery);
    return choice.Accept(input, request).empty() ? 1 : 0;
}
