#pragma once
// Where the running program and its data files are.

#include <string>

/// The running program's file (from /proc/self/exe); empty when the system does not say.
std::string RunningProgramFile();

/// The folder of the running program, ending in '/'; empty when the program file is unknown.
std::string ProgramFolder();

/// The path of a data file of the program (the start-up image, the help book, icons, the About
/// animation): <program folder>/<name> when it exists there (a build tree or a portable copy),
/// else <program folder>/../share/pixreel/<name> when that exists (an installed program);
/// else the first of the two.
std::string DataFilePath(const std::string& name);
