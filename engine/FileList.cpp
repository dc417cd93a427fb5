#include "engine/FileList.h"

#include "config/Settings.h"
#include "engine/StatusLog.h"
#include "base/AsciiCase.h"
#include "platform/FolderListing.h"
#include "platform/MessageBox.h"
#include "platform/StringTable.h"
#include "platform/WinTypes.h"

#include <sys/stat.h>

#include <algorithm>
#include <new>

namespace {

std::string DirectoryPart(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string NamePart(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

bool FileList::Populate(bool fill, bool selectAll, const Settings& settings) {
    if (!fill && !settings.AutoPopulate)
        return false;

    const std::string pattern = std::string(settings.JPGDir) + "*." + settings.JPGSuffix;
    FolderListing listing;
    // The folder is read without the lock: a large one takes a while, and the worker may be
    // marking entries meanwhile.
    listing.List(pattern, settings.JPGSortOrder);

    std::vector<Entry> filled;
    filled.reserve(static_cast<size_t>(listing.Count()));
    for (const char* name = listing.FirstName(); name != nullptr; name = listing.NextName())
        filled.push_back(Entry{name, false, selectAll, false});

    std::lock_guard<std::mutex> lock(mutex_);
    entries_ = std::move(filled);
    populateProblem_ = listing.Problem();
    listDirectory_ = DirectoryPart(pattern);
    FocusFirstLocked();
    Changed();
    return true;
}

int FileList::PopulateProblem() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return populateProblem_;
}

bool FileList::FillFromChosenFiles(const std::vector<std::string>& paths) {
    if (paths.empty())
        return false;
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.clear();
    for (const std::string& path : paths)
        entries_.push_back(Entry{NamePart(path), false, false, false});
    listDirectory_ = DirectoryPart(paths.back());
    FocusFirstLocked();
    Changed();
    return true;
}

std::string FileList::DialogStartDirectory(const Settings& settings) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (listDirectory_.empty())
        listDirectory_ = settings.JPGDir;
    return listDirectory_;
}

bool FileList::FillFromDropped(const std::vector<std::string>& paths, int sortOrder) {
    if (paths.empty())
        return false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        entries_.clear();
        for (const std::string& path : paths) {
            if (IsDirectory(path))
                continue;
            entries_.push_back(Entry{NamePart(path), false, false, false});
            listDirectory_ = DirectoryPart(path);
        }
        Changed();
    }
    SortBy(sortOrder);
    return true;
}

void FileList::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.clear();
    Changed();
}

void FileList::DeleteSelected() {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.erase(std::remove_if(entries_.begin(), entries_.end(), [](const Entry& entry) { return entry.selected; }),
                   entries_.end());
    Changed();
}

int FileList::SelectAll() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (Entry& entry : entries_)
        entry.selected = true;
    Changed();
    return static_cast<int>(entries_.size());
}

FileList::Entry* FileList::EntryLocked(int index) {
    return index >= 0 && index < static_cast<int>(entries_.size()) ? &entries_[static_cast<size_t>(index)] : nullptr;
}

const FileList::Entry* FileList::EntryLocked(int index) const {
    return const_cast<FileList*>(this)->EntryLocked(index);
}

void FileList::SetSelected(int index, bool selected) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (Entry* entry = EntryLocked(index)) {
        entry->selected = selected;
        Changed();
    }
}

void FileList::FocusFirstLocked() {
    for (Entry& entry : entries_)
        entry.focused = false;
    if (entries_.empty())
        return;
    entries_[0].focused = true;
    entries_[0].selected = true;
}

bool FileList::FirstSelected(std::string& name, int& index) const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i].selected) {
            name = entries_[i].name;
            index = static_cast<int>(i);
            return true;
        }
    }
    return false;
}

bool FileList::CollectSelected(std::vector<FileEntry>& entries) {
    entries.clear();
    bool ranOut = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (size_t i = 0; i < entries_.size(); ++i) {
            if (!entries_[i].selected)
                continue;
            if (collectLimit_ != 0 && entries.size() >= collectLimit_) {
                ranOut = true;
                break;
            }
            try {
                entries.push_back(FileEntry{entries_[i].name, static_cast<int>(i)});
            } catch (const std::bad_alloc&) {
                ranOut = true;
                break;
            }
        }
    }
    if (entries.empty())
        return false;
    if (ranOut) {
        const std::string text = FormatMessage(IDS_TOO_MANY_FILES, {static_cast<long long>(entries.size())});
        ShowMessageBox(text, "", MB_OK | MB_ICONWARNING);
    }
    return true;
}

int FileList::MarkConverted(const std::string& name, int index) {
    std::lock_guard<std::mutex> lock(mutex_);
    int marked = -1;
    if (const Entry* entry = EntryLocked(index); entry && EqualIgnoringAsciiCase(entry->name, name)) {
        marked = index;
    } else {
        // The list changed since the selection was collected: find the file by its name.
        for (size_t i = 0; i < entries_.size(); ++i) {
            if (entries_[i].name == name) {
                marked = static_cast<int>(i);
                break;
            }
        }
    }
    if (marked >= 0) {
        entries_[static_cast<size_t>(marked)].converted = true;
        Changed();
    }
    return marked;
}

void FileList::SortByName(bool ascending) {
    std::lock_guard<std::mutex> lock(mutex_);
    // std::string compares bytes as unsigned characters: upper case sorts before lower case.
    std::stable_sort(entries_.begin(), entries_.end(), [ascending](const Entry& a, const Entry& b) {
        return ascending ? a.name < b.name : b.name < a.name;
    });
    Changed();
}

void FileList::SortByCreationTime() {
    SortByTime(true);
}

void FileList::SortByLastModified() {
    SortByTime(false);
}

void FileList::SortByTime(bool creation) {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string sortDirectory = listDirectory_;

    // Entries whose times cannot be read count as equal to every other entry. Such a relation is
    // no ordering a sort can use, so they keep their places and the rest is sorted around them.
    struct Keyed {
        size_t slot;
        int64_t key;
    };
    std::vector<Keyed> keyed;
    for (size_t i = 0; i < entries_.size(); ++i) {
        FileTimes times;
        if (ReadFileTimes(sortDirectory + entries_[i].name, times))
            keyed.push_back({i, creation ? times.creation : times.lastWrite});
    }
    std::vector<Keyed> order = keyed;
    std::stable_sort(order.begin(), order.end(), [](const Keyed& a, const Keyed& b) { return a.key < b.key; });

    std::vector<Entry> sorted = entries_;
    for (size_t k = 0; k < keyed.size(); ++k)
        sorted[keyed[k].slot] = entries_[order[k].slot];
    entries_ = std::move(sorted);
    Changed();
}

void FileList::SortBy(int sortOrder) {
    switch (sortOrder) {
    case kSortLastWrite:
        SortByLastModified();
        break;
    case kSortCreation:
        SortByCreationTime();
        break;
    case kSortNameAscending:
        SortByName(true);
        break;
    case kSortNameDescending:
        SortByName(false);
        break;
    default:
        break;
    }
}

int FileList::Count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(entries_.size());
}

std::vector<FileList::Entry> FileList::Entries() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_;
}

FileList::Entry FileList::EntryAt(int index) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const Entry* entry = EntryLocked(index);
    return entry ? *entry : Entry{};
}

int FileList::FocusedIndex() const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i].focused)
            return static_cast<int>(i);
    }
    return -1;
}

std::string FileList::ListDirectory() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return listDirectory_;
}

std::string FileList::PathOf(int index) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const Entry* entry = EntryLocked(index);
    return entry ? listDirectory_ + entry->name : std::string();
}

unsigned FileList::Revision() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return revision_;
}

void FileList::SetCollectLimit(size_t limit) {
    std::lock_guard<std::mutex> lock(mutex_);
    collectLimit_ = limit;
}
