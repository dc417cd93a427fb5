#pragma once
// The two options that answer a question instead of starting a run: "--help" prints the usage
// text and "--version" the version line, on stdout, and the program ends with status 0. They
// are whole tokens compared ignoring case, like every other option; a token taken as another
// option's argument ("-o --help" names the output) is not one of them. Every other token keeps
// its meaning, and an unknown one still starts an unattended run.

#include <cstdio>
#include <string>

/// "Pixreel Version <SpecialBuild> <FileVersion>", as the status log's first line has it.
std::string PixreelVersionLine();

/// Handles --help and --version, whichever comes first: prints the usage text or the version
/// line (and the copyright and license lines) to out, sets handled and answers the exit
/// status (0). When neither is given, handled is false, nothing is printed and the answer is 0.
int HandleInformationOptions(int argc, char** argv, std::FILE* out, bool& handled);
