#pragma once
// The process command line as one text, as the program's start-up and settings code read it.
//
// main hands its arguments over once with SetProcessCommandLine; from then on every part of the
// program reads the same text through GetCommandLineA and splits it when it needs the arguments.
// The Stop command blanks the text (BlankCommandLine), which ends the command-line run for every
// later reader: each later split yields no tokens.
//
// Threads: set the text before other threads start. After that, GetCommandLineA and
// BlankCommandLine may be called from any thread: blanking only raises an atomic flag, and a
// blanked command line reads as an empty text, so a reader sees either the whole text or an
// empty one, never a half-changed one. A pointer taken before the blank keeps pointing at the
// old, unchanged text until the next SetProcessCommandLine.

#include <string>
#include <vector>

/// Builds the command line from main's arguments: argv[0] first, each argument separated by one
/// space; an argument that is empty or holds a space or a double quote is put in double quotes,
/// so that splitting the text with the command-line options gives back exactly argv.
void SetProcessCommandLine(int argc, const char* const* argv);
/// Replaces the command line by an already formed text (start-up code that has one, and tests).
void SetProcessCommandLineText(const char* text);
/// The current command line; an empty text before it was set and after it was blanked.
const char* GetCommandLineA();
/// Makes the command line's first character a terminating zero for every later reader.
void BlankCommandLine();
/// Counts the times the command line was set; lets readers tell one command line from the next.
unsigned CommandLineGeneration();

/// SetProcessCommandLine for a list of tokens (program path first).
void SetProcessArguments(const std::vector<std::string>& arguments);
/// Splits the current command line and answers whether it holds at least one argument besides
/// the program path; false once blanked.
bool CommandLineHasArguments();
