#pragma once
// Number boxes as the framework's data exchange treats them: the box takes digits only, and
// reading it refuses a text that is no whole number or lies outside the box's range, with the
// framework's own messages.

#include <string>
#include <string_view>

class wxTextCtrl;

/// Lets the box take typed digits only (editing keys and shortcuts still work).
void AcceptDigitsOnly(wxTextCtrl* box);

/// Reads a box of the range low..high: blanks around the text allowed, an optional sign, then
/// digits only. True with the value, else false with the message to show: "Please enter an
/// integer." for a text that is no number, "Please enter an integer between low and high." for
/// one outside the range.
bool ReadIntegerBox(std::string_view text, int low, int high, int& value, std::string& refusal);
