#pragma once
// Splits a command-line text into tokens, the way the program reads its own command line.

#include <cstdint>
#include <cstdlib>
#include <memory>

/// How a text is split. Six one-byte fields; the order is part of the record.
struct SplitOptions {
    char separator;              ///< character between tokens
    char quote;                  ///< character that starts and ends a quoted span
    char escape;                 ///< character that escapes a quote; 0 for none
    uint8_t collapseSeparators;  ///< 1: a run of separators ends a token only once
    uint8_t noTrailingEmpty;     ///< 1: a separator at the very end adds no empty token
    uint8_t keepQuotes;          ///< 1: quote characters stay in the tokens
};
static_assert(sizeof(SplitOptions) == 6);

/// The options for process command lines: space-separated, double quotes, no escape character.
inline constexpr SplitOptions kCommandLineSplitOptions{' ', '"', 0, 1, 1, 0};

/// Owns the tokens of the last split in one heap block: the pointer table, which ends with a null
/// entry, followed by the token texts.
class CommandLineSplitter {
public:
    CommandLineSplitter() = default;
    CommandLineSplitter(const CommandLineSplitter&) = delete;
    CommandLineSplitter& operator=(const CommandLineSplitter&) = delete;

    /// Splits the text and returns the token count, the program path (token 0) included. A null
    /// or empty text gives 0; so does a failed allocation, which leaves errno at ENOMEM.
    int Split(const char* text, const SplitOptions& options);
    /// Frees the tokens; the count becomes 0.
    void Clear();

    int Count() const { return count_; }
    /// Token i (0 <= i < Count()); null outside that range.
    const char* Token(int i) const { return i >= 0 && i < count_ ? tokens_.get()[i] : nullptr; }
    /// The pointer table: Count() tokens and a null entry; null when there are no tokens.
    char* const* Tokens() const { return tokens_.get(); }

private:
    struct FreeBlock {
        void operator()(char** block) const { std::free(block); }
    };

    std::unique_ptr<char*, FreeBlock> tokens_;  // the table, followed by the token texts
    int count_ = 0;
};
