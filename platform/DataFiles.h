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

/// Whether a program in folder (ending in '/' or not) is an installed one: the folder is named
/// "bin" and holds none of the program's data files. A build tree and a portable copy carry
/// their data beside the program; an installed program finds it in ../share/pixreel, or not at
/// all when the installation is broken, and is still an installed program then.
bool IsInstalledProgramFolder(const std::string& folder);

/// IsInstalledProgramFolder for the running program. An installed program keeps its settings
/// in the user's configuration folder, never beside itself.
bool RunsInstalled();
