#pragma once
// Lists the files of one folder that match a name pattern, sorted by one of the list orders.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

/// The times of one file in nanoseconds since 1970. The creation time is the birth time where the
/// file system records one, else the time of the last status change.
struct FileTimes {
    int64_t creation = 0;
    int64_t lastAccess = 0;
    int64_t lastWrite = 0;
};

/// Reads the times of the file at the path (following symbolic links); false when it cannot.
bool ReadFileTimes(const std::string& path, FileTimes& times);

/// One listed file: its name without folder, and its times.
struct FindRecord {
    std::string name;
    FileTimes times;
};

/// Sort orders of a listing (the stored JPGSortOrder values). Any other value keeps the order in
/// which the folder returned the names.
enum ListingSort : int {
    kSortLastWrite = 0,   ///< oldest last-write time first
    kSortCreation = 1,    ///< oldest creation time first
    kSortNameAscending = 2,   ///< name A to Z, ignoring case
    kSortNameDescending = 3,  ///< name Z to A, ignoring case
};

class FolderListing {
public:
    /// Lists the files matching the pattern (a folder, then a name pattern such as "*.jpg"; no
    /// folder means the current one) and sorts them. Only the part of the name pattern from its
    /// first dot on counts: "dir/abc.jpg" lists every ".jpg" file of dir. The match ignores case,
    /// "*" and "?" are wild cards, and a pattern ending in ".*" also matches names without a dot.
    /// Directories are never listed, nor anything else that is not a regular file (symbolic links
    /// to regular files are). Returns the number of files listed.
    int List(const std::string& pattern, int sortType);

    /// 0, or why the folder of the last pattern could not be read (errno of opening it:
    /// ENOENT, ENOTDIR, EACCES, ...); the listing is then empty.
    int Problem() const { return problem_; }

    int Count() const { return static_cast<int>(records_.size()); }
    const FindRecord& Record(int i) const { return records_[static_cast<size_t>(i)]; }
    /// The folder part of the last pattern listed, ending in "/"; empty for the current folder.
    const std::string& Folder() const { return folder_; }

    /// Moves the read cursor to the first name; null when the listing is empty.
    const char* FirstName();
    /// The name after the last one read; null at the end.
    const char* NextName();

    /// Caps the number of records the listing may hold, as if memory for more could not be had
    /// (0: no cap). The listing then shrinks in steps of 1024 records until it fits.
    void SetRecordLimit(size_t limit) { recordLimit_ = limit; }

    /// Whether a file name matches a name pattern, with the rules of List.
    static bool NameMatches(const std::string& pattern, const std::string& name);

private:
    bool Reserve(size_t count);

    std::vector<FindRecord> records_;
    std::string folder_;
    size_t cursor_ = 0;
    size_t recordLimit_ = 0;
    int problem_ = 0;
};
