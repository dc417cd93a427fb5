#include "config/ui/NumberEdit.h"

#include <wx/textctrl.h>

#include <charconv>
#include <cstdio>

namespace {

// The framework's validation messages.
constexpr const char* kNotAnInteger = "Please enter an integer.";
constexpr const char* kRangeFormat = "Please enter an integer between %d and %d.";

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

}  // namespace

void AcceptDigitsOnly(wxTextCtrl* box) {
    box->Bind(wxEVT_CHAR, [](wxKeyEvent& event) {
        const int key = event.GetKeyCode();
        const bool typed = key >= WXK_SPACE && key < WXK_DELETE && !event.HasAnyModifiers();
        if (!typed || (key >= '0' && key <= '9'))
            event.Skip();
    });
}

bool ReadIntegerBox(std::string_view text, int low, int high, int& value, std::string& refusal) {
    text = Trimmed(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    int number = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, number);
    if (text.empty() || stop != end || (error != std::errc() && error != std::errc::result_out_of_range)) {
        refusal = kNotAnInteger;
        return false;
    }
    // A number too long for an int is still a number, only out of range.
    if (error == std::errc::result_out_of_range || number < low || number > high) {
        char message[96];
        std::snprintf(message, sizeof message, kRangeFormat, low, high);
        refusal = message;
        return false;
    }
    value = number;
    return true;
}
