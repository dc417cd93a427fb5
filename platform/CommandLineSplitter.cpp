#include "platform/CommandLineSplitter.h"

#include "platform/ProcessCommandLine.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace {

// Receives the tokens as the scanner finds them. With no table it only measures, so that the
// same scan sizes the block first and fills it afterwards.
struct TokenSink {
    char** table = nullptr;
    char* chars = nullptr;
    size_t charCount = 0;
    size_t tokenCount = 0;

    void begin() {
        if (table)
            table[tokenCount] = chars + charCount;
    }
    void put(char c) {
        if (table)
            chars[charCount] = c;
        ++charCount;
    }
    void end() {
        put('\0');
        ++tokenCount;
    }
};

void Scan(const char* text, const SplitOptions& options, TokenSink& sink) {
    const char quote = options.quote;
    const char escape = options.escape;
    const char* p = text;
    bool inQuotes = false;

    // A leading quote with something after it opens a quoted program path.
    if (quote != '\0' && p[0] == quote && p[1] != '\0') {
        inQuotes = true;
        ++p;
    }

    bool endedAfterSeparator = false;
    while (*p != '\0') {
        sink.begin();
        endedAfterSeparator = false;
        while (*p != '\0') {
            const char c = *p;
            if (escape != '\0' && c == escape) {
                size_t run = 0;
                while (p[run] == escape)
                    ++run;
                if (quote != '\0' && p[run] == quote) {
                    // Before a quote each pair of escapes stands for one escape, and an odd one
                    // out makes the quote literal; an even run leaves the quote to the rules below.
                    for (size_t k = 0; k < run / 2; ++k)
                        sink.put(escape);
                    p += run;
                    if (run % 2 != 0) {
                        sink.put(quote);
                        ++p;
                    }
                } else {
                    for (size_t k = 0; k < run; ++k)
                        sink.put(escape);
                    p += run;
                }
                continue;
            }
            if (quote != '\0' && c == quote) {
                if (options.keepQuotes)
                    sink.put(c);
                if (inQuotes && p[1] == quote) {
                    // A doubled quote inside quotes is one literal quote, and it closes the span.
                    sink.put(quote);
                    ++p;
                }
                inQuotes = !inQuotes;
                ++p;
                continue;
            }
            if (!inQuotes && c == options.separator) {
                ++p;
                if (options.collapseSeparators) {
                    while (*p == options.separator && *p != '\0')
                        ++p;
                }
                endedAfterSeparator = true;
                break;
            }
            sink.put(c);
            ++p;
        }
        sink.end();
    }
    if (endedAfterSeparator && !options.noTrailingEmpty) {
        sink.begin();
        sink.end();
    }
}

}  // namespace

CommandLineSplitter::~CommandLineSplitter() {
    Clear();
}

void CommandLineSplitter::Clear() {
    std::free(tokens_);
    tokens_ = nullptr;
    count_ = 0;
}

int CommandLineSplitter::Split(const char* text, const SplitOptions& options) {
    Clear();
    if (text == nullptr || text[0] == '\0')
        return 0;

    TokenSink measure;
    Scan(text, options, measure);
    if (measure.tokenCount == 0)
        return 0;
    if (measure.tokenCount >= static_cast<size_t>(INT_MAX)) {
        errno = ENOMEM;
        return 0;
    }

    const size_t tableBytes = (measure.tokenCount + 1) * sizeof(char*);
    void* block = std::malloc(tableBytes + measure.charCount);
    if (block == nullptr) {
        errno = ENOMEM;
        return 0;
    }

    TokenSink fill;
    fill.table = static_cast<char**>(block);
    fill.chars = static_cast<char*>(block) + tableBytes;
    Scan(text, options, fill);
    fill.table[fill.tokenCount] = nullptr;

    tokens_ = fill.table;
    count_ = static_cast<int>(fill.tokenCount);
    return count_;
}

bool CommandLineHasArguments() {
    CommandLineSplitter splitter;
    return splitter.Split(GetCommandLineA(), kCommandLineSplitOptions) > 1;
}
