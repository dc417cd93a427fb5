#pragma once
// The process command line, kept for the whole process so that every settings load can lay the
// command-line options over the INI values and every settings write can tell that the program
// runs with arguments. main() hands its arguments over once with SetProcessArguments; until then
// (and in tests) the process counts as started without arguments. The stop command blanks the
// command line, after which the process behaves as an interactive start.

#include <string>
#include <vector>

/// Records argv (argv[0] is the program path). Call once from main() before anything loads settings.
void SetProcessArguments(int argc, const char* const* argv);
void SetProcessArguments(const std::vector<std::string>& arguments);

/// The command line as one text, as the platform hands it to a program: the tokens separated by
/// one blank, a token holding blanks or quotes (or an empty one) enclosed in double quotes, with
/// each quote inside written as three quotes. Splitting it with blank as the separator, '"' as the
/// quote, no escape character and collapsed separators gives back exactly the recorded tokens.
/// Empty once blanked.
std::string GetProcessCommandLine();

/// The recorded tokens (program path first); empty once blanked.
std::vector<std::string> GetProcessArguments();

/// Blanks the command line: every later query sees no program path and no arguments.
void BlankProcessCommandLine();
