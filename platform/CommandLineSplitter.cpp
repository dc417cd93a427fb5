#include "platform/CommandLineSplitter.h"

#include <cerrno>
#include <climits>

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

// Puts a run of escape characters, and the quote it may escape, into the token; returns the
// position after what it took.
const char* PutEscapeRun(const char* p, const SplitOptions& options, TokenSink& sink) {
    size_t run = 0;
    while (p[run] == options.escape)
        ++run;
    if (options.quote == '\0' || p[run] != options.quote) {
        for (size_t k = 0; k < run; ++k)
            sink.put(options.escape);
        return p + run;
    }
    // Before a quote each pair of escapes stands for one escape, and an odd one out makes the
    // quote literal; an even run leaves the quote to the quoting rules.
    for (size_t k = 0; k < run / 2; ++k)
        sink.put(options.escape);
    p += run;
    if (run % 2 != 0) {
        sink.put(options.quote);
        ++p;
    }
    return p;
}

struct ScanPosition {
    const char* p;
    bool inQuotes;
};

// Scans one token; true when it ended at a separator, false at the end of the text.
bool ScanToken(ScanPosition& at, const SplitOptions& options, TokenSink& sink) {
    const char quote = options.quote;
    sink.begin();
    while (*at.p != '\0') {
        const char c = *at.p;
        if (options.escape != '\0' && c == options.escape) {
            at.p = PutEscapeRun(at.p, options, sink);
            continue;
        }
        if (quote != '\0' && c == quote) {
            if (options.keepQuotes)
                sink.put(c);
            if (at.inQuotes && at.p[1] == quote) {
                // A doubled quote inside quotes is one literal quote, and it closes the span.
                sink.put(quote);
                ++at.p;
            }
            at.inQuotes = !at.inQuotes;
            ++at.p;
            continue;
        }
        if (!at.inQuotes && c == options.separator) {
            ++at.p;
            if (options.collapseSeparators) {
                while (*at.p == options.separator && *at.p != '\0')
                    ++at.p;
            }
            sink.end();
            return true;
        }
        sink.put(c);
        ++at.p;
    }
    sink.end();
    return false;
}

void Scan(const char* text, const SplitOptions& options, TokenSink& sink) {
    ScanPosition at{text, false};
    // A leading quote with something after it opens a quoted program path.
    if (options.quote != '\0' && text[0] == options.quote && text[1] != '\0') {
        at.inQuotes = true;
        ++at.p;
    }
    bool endedAfterSeparator = false;
    while (*at.p != '\0')
        endedAfterSeparator = ScanToken(at, options, sink);
    if (endedAfterSeparator && !options.noTrailingEmpty) {
        sink.begin();
        sink.end();
    }
}

}  // namespace

void CommandLineSplitter::Clear() {
    tokens_.reset();
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

    tokens_.reset(fill.table);
    count_ = static_cast<int>(fill.tokenCount);
    return count_;
}
