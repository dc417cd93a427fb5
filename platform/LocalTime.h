#pragma once
// The local time as the program's texts show it: file-name stamps, the start-up line, the date
// and year of an AVI's INFO chunk. Names of months and days follow the LC_TIME locale.

#include <ctime>
#include <string>

/// `when` in local time formatted by strftime; empty when the time cannot be converted. The
/// compiler checks the format as it checks strftime's.
std::string FormatLocalTime(std::time_t when, const char* format) __attribute__((format(strftime, 2, 0)));

/// The local calendar year of `when`; 1970 when the time cannot be converted.
int LocalYear(std::time_t when);
