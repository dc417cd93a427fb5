#pragma once
// The outside libraries the program runs on, each with the version it reports at run time (or,
// where a library has no way to say, the version it was built against, marked so).

#include <string>
#include <vector>

struct LibraryVersion {
    std::string name;
    std::string version;
};

std::vector<LibraryVersion> LibraryVersions();
