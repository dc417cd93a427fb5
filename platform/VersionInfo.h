#pragma once
// The program's version values, compiled in where Windows kept them in a version resource. The
// names are the resource's value names.

#include <string>

/// The value of "FileVersion", "ProductVersion", "SpecialBuild", "LegalCopyright",
/// "ProductName", "CompanyName" or "FileDescription"; "Failure getting <name>" for any other
/// name, so the text stands where the value would.
std::string VersionValue(const std::string& name);

/// "<application title> Version <SpecialBuild> <FileVersion>", as the About box, the start-up
/// lines of the status log and the AVI's software record show it.
std::string VersionLine();
