#pragma once
// The program's version values, compiled in where Windows kept them in a version resource. The
// names are the resource's value names.

#include <string>

/// The value of "FileVersion", "ProductVersion", "SpecialBuild", "LegalCopyright",
/// "ProductName", "CompanyName" or "FileDescription"; empty for any other name.
std::string VersionValue(const std::string& name);
