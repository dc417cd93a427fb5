#include "platform/FolderListing.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <new>
#include <stdexcept>

#include "base/AsciiCase.h"

namespace {

// Wild-card match ignoring ASCII case; other bytes (UTF-8 sequences) must be equal.
bool WildMatch(const char* pattern, const char* name) {
    const char* starPattern = nullptr;
    const char* starName = nullptr;
    while (*name != '\0') {
        if (*pattern == '*') {
            starPattern = ++pattern;
            starName = name;
        } else if (*pattern != '\0' &&
                   (*pattern == '?' || FoldAsciiCase(static_cast<unsigned char>(*pattern)) ==
                                           FoldAsciiCase(static_cast<unsigned char>(*name)))) {
            ++pattern;
            ++name;
        } else if (starPattern != nullptr) {
            pattern = starPattern;
            name = ++starName;
        } else {
            return false;
        }
    }
    while (*pattern == '*')
        ++pattern;
    return *pattern == '\0';
}

int CompareNoCase(const std::string& a, const std::string& b) {
    const size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
        unsigned char ca = FoldAsciiCase(static_cast<unsigned char>(a[i]));
        unsigned char cb = FoldAsciiCase(static_cast<unsigned char>(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

int64_t Nanoseconds(const struct statx_timestamp& t) {
    return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

bool ReadTimesAt(int dirFd, const char* path, FileTimes& times) {
    struct statx info {};
    if (::statx(dirFd, path, AT_STATX_SYNC_AS_STAT, STATX_BASIC_STATS | STATX_BTIME, &info) != 0)
        return false;
    times.lastWrite = Nanoseconds(info.stx_mtime);
    times.lastAccess = Nanoseconds(info.stx_atime);
    times.creation = (info.stx_mask & STATX_BTIME) ? Nanoseconds(info.stx_btime) : Nanoseconds(info.stx_ctime);
    return true;
}

// True for regular files, following symbolic links. Other kinds (directories, pipes, devices)
// are never listed: a pipe in particular would block whoever opens it to read an image.
bool IsListableFile(int dirFd, const dirent* entry) {
    if (entry->d_type == DT_REG)
        return true;
    if (entry->d_type == DT_DIR)
        return false;
    struct stat info {};
    if (::fstatat(dirFd, entry->d_name, &info, 0) != 0)
        return false;
    return S_ISREG(info.st_mode);
}

struct CloseDir {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

// Splits a listing pattern into its folder (ending in "/", empty for the current one) and the
// name pattern that counts: "*" and the part of the name from its first dot on.
std::string SplitPattern(const std::string& pattern, std::string& folder) {
    const size_t slash = pattern.rfind('/');
    folder = slash == std::string::npos ? std::string() : pattern.substr(0, slash + 1);
    const std::string namePart = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
    const size_t dot = namePart.find('.');
    // Appended rather than `"*" + ...`, about which GCC 12 at -O3 warns falsely (-Wrestrict).
    std::string namePattern = "*";
    if (dot != std::string::npos)
        namePattern.append(namePart, dot);
    return namePattern;
}

bool IsListed(DIR* dir, const dirent* entry, const std::string& namePattern) {
    return FolderListing::NameMatches(namePattern, entry->d_name) && IsListableFile(::dirfd(dir), entry);
}

size_t CountMatches(DIR* dir, const std::string& namePattern) {
    size_t matches = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (IsListed(dir, entry, namePattern))
            ++matches;
    }
    return matches;
}

// Reads up to room records of listed files with their times.
void ReadRecords(DIR* dir, const std::string& namePattern, size_t room, std::vector<FindRecord>& records) {
    while (records.size() < room) {
        const dirent* entry = ::readdir(dir);
        if (entry == nullptr)
            break;
        if (!IsListed(dir, entry, namePattern))
            continue;
        FindRecord record;
        record.name = entry->d_name;
        if (!ReadTimesAt(::dirfd(dir), entry->d_name, record.times))
            continue;  // gone since the first pass
        records.push_back(std::move(record));
    }
}

void SortRecords(std::vector<FindRecord>& records, int sortType) {
    auto sortBy = [&records](auto less) { std::sort(records.begin(), records.end(), less); };
    switch (sortType) {
    case kSortLastWrite:
        sortBy([](const FindRecord& a, const FindRecord& b) { return a.times.lastWrite < b.times.lastWrite; });
        break;
    case kSortCreation:
        sortBy([](const FindRecord& a, const FindRecord& b) { return a.times.creation < b.times.creation; });
        break;
    case kSortNameAscending:
        sortBy([](const FindRecord& a, const FindRecord& b) { return CompareNoCase(a.name, b.name) < 0; });
        break;
    case kSortNameDescending:
        sortBy([](const FindRecord& a, const FindRecord& b) { return CompareNoCase(b.name, a.name) < 0; });
        break;
    default:
        break;
    }
}

}  // namespace

bool ReadFileTimes(const std::string& path, FileTimes& times) {
    return ReadTimesAt(AT_FDCWD, path.c_str(), times);
}

bool FolderListing::NameMatches(const std::string& pattern, const std::string& name) {
    if (WildMatch(pattern.c_str(), name.c_str()))
        return true;
    // As on the platform whose patterns these are, "*.*" and "x.*" also match names without a dot.
    if (pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0 &&
        name.find('.') == std::string::npos)
        return WildMatch(pattern.substr(0, pattern.size() - 2).c_str(), name.c_str());
    return false;
}

bool FolderListing::Reserve(size_t count) {
    if (recordLimit_ != 0 && count > recordLimit_)
        return false;
    try {
        records_.reserve(count);
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    return true;
}

int FolderListing::List(const std::string& pattern, int sortType) {
    records_.clear();
    records_.shrink_to_fit();
    cursor_ = 0;
    problem_ = 0;

    const std::string namePattern = SplitPattern(pattern, folder_);
    std::unique_ptr<DIR, CloseDir> dir(::opendir(folder_.empty() ? "." : folder_.c_str()));
    if (!dir) {
        problem_ = errno;
        return 0;
    }

    // With too little memory for every record the listing is shortened rather than dropped.
    size_t room = CountMatches(dir.get(), namePattern);
    while (room > 0 && !Reserve(room))
        room = room > 1024 ? room - 1024 : 0;
    if (room > 0) {
        ::rewinddir(dir.get());
        ReadRecords(dir.get(), namePattern, room, records_);
    }
    SortRecords(records_, sortType);
    return Count();
}

const char* FolderListing::FirstName() {
    cursor_ = 0;
    return NextName();
}

const char* FolderListing::NextName() {
    if (cursor_ >= records_.size())
        return nullptr;
    return records_[cursor_++].name.c_str();
}
