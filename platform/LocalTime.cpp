#include "platform/LocalTime.h"

#include <vector>

std::string FormatLocalTime(std::time_t when, const char* format) {
    std::tm local{};
    if (!format || !*format || !::localtime_r(&when, &local))
        return {};
    // strftime answers 0 both for a result that does not fit and for an empty one: grow the
    // buffer a few times before taking the result as empty.
    for (size_t size = 128; size <= 4096; size *= 4) {
        std::vector<char> text(size);
        // The declaration has the compiler check every caller's format instead.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
        const size_t length = std::strftime(text.data(), text.size(), format, &local);
#pragma GCC diagnostic pop
        if (length > 0)
            return std::string(text.data(), length);
    }
    return {};
}

int LocalYear(std::time_t when) {
    std::tm local{};
    return ::localtime_r(&when, &local) ? local.tm_year + 1900 : 1970;
}
