#include "engine/ErrorReporter.h"

#include <vector>

#include "base/PrintableText.h"
#include "platform/MessageBox.h"
#include "platform/StringTable.h"
#include "platform/SystemError.h"
#include "platform/WinTypes.h"

namespace {

std::string Fill(const char* format, const std::vector<std::string>& arguments) {
    std::string text;
    if (!format)
        return text;
    auto next = arguments.begin();
    for (const char* p = format; *p; ++p) {
        if (p[0] == '%' && p[1] == 's') {
            if (next != arguments.end())
                text += *next++;
            ++p;
        } else if (p[0] == '%' && p[1] == '%') {
            text += '%';
            ++p;
        } else {
            text += *p;
        }
    }
    return text;
}

}  // namespace

std::string FillMessage(const char* format, std::initializer_list<const char*> arguments) {
    std::vector<std::string> texts;
    for (const char* argument : arguments)
        texts.emplace_back(argument ? argument : "");
    return Fill(format, texts);
}

int CErrorReporter::ShowError(int errorCode, unsigned messageId, unsigned flags,
                              std::initializer_list<const char*> arguments) {
    char format[128];
    const bool haveFormat = LoadStringA(messageId, format, sizeof format) > 0;
    std::string text;
    systemText_ = errorCode != 0 ? SystemErrorText(errorCode) : std::string();
    if (haveFormat && !systemText_.empty())
        text = systemText_ + "\n";
    if (haveFormat) {
        // The arguments are paths, which may hold any byte but a NUL.
        std::vector<std::string> printable;
        for (const char* argument : arguments)
            printable.push_back(PrintableText(argument ? argument : ""));
        text += Fill(format, printable);
    }
    if (!text.empty())
        ShowMessageBox(text, "", flags | MB_SYSTEMMODAL);
    return 1;
}
