#pragma once
// The command-line options, laid over the INI values at every load of a settings record.
//
//   -d DIR      input directory (JPGDir; a "/" is added when it has 2 characters or more)
//   -f SUFFIX   suffix of the input files (JPGSuffix), taken as given, a leading dot included
//   -o NAME     base name of the single output AVI (VideoFile)
//   -l FILE     log file that every status-log line is appended to (LogFile)
//   -u          one AVI per image (AVIStyle 0)
//   -c FOURCC   compressor for this run (see CommandLineCodec)
//
// Options are whole tokens compared ignoring case; an option that takes an argument consumes the
// next token, whatever it looks like. Any other token is ignored, but any argument at all makes
// the run a command-line run: FromCommandLine, AutoProcess, AutoStop, AutoPopulate and
// AutoSelect are set to 1.
//
// Mistakes on the command line (an option without its argument, an argument too long for its
// field) are reported in an error box once per command line, not at every reload of settings;
// every load still applies the same values.

#include <string>

struct Settings;

/// Splits the current process command line and lays its options over the record. An argument
/// longer than its field is never cut: it shows "Serious  error No. 1 ...", the arguments from it
/// on are ignored and only AutoStop is set to 1.
void ApplyCommandLine(Settings& settings);

/// Makes every Settings::Load in the process apply the command line. main calls it once, before
/// anything loads settings.
void InstallCommandLineOverlay();

/// The argument of the last "-c" option of the current command line, as given (a FOURCC such as
/// "MJPG" or "DIB "); empty when there is none, or once the command line has been blanked.
/// Asked afresh at each call, from any thread.
std::string CommandLineCodec();

/// Whether token is one of the options above that takes the next token as its argument.
bool CommandLineOptionTakesArgument(const char* token);

/// The texts of the error boxes of options without an argument that the string table lacks.
inline constexpr const char* kNoLogFileArgText = "No log file name has been specified after the -l parameter";
inline constexpr const char* kNoCodecArgText = "No compressor has been specified after the -c parameter";
