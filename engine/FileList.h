#pragma once
// The file list: the names of the images to convert, all from one list directory, in the order
// they will become frames, with their selection and converted marks. Both front ends show it;
// the conversion worker collects the selection from it and marks entries as converted.
//
// Every operation takes the model's lock, so the worker thread may collect and mark while the
// window thread reads or changes the list. No operation calls out (message boxes included) while
// it holds the lock.

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

struct Settings;

/// One selected entry handed to the conversion: the file name (no folder) and its list index at
/// the time it was collected.
struct FileEntry {
    std::string name;
    int index = 0;
};

class FileList {
public:
    /// One row of the list.
    struct Entry {
        std::string name;        ///< file name with extension, without folder
        bool converted = false;  ///< a frame of it has been written
        bool selected = false;
        bool focused = false;    ///< at most one entry has the focus; it moves with its entry
    };

    /// Fills the list from the input directory: every file matching JPGDir + "*." + JPGSuffix,
    /// in the listing order of JPGSortOrder; with selectAll every entry is selected; entry 0 gets
    /// the focus and the selection. Does nothing when neither fill nor the AutoPopulate setting
    /// is set. The list directory becomes the directory part of the pattern. Returns true when
    /// the list was refilled (the caller then asks for a preview).
    bool Populate(bool fill, bool selectAll, const Settings& settings);
    /// 0, or why the input directory of the last Populate could not be read (errno: ENOENT,
    /// ENOTDIR, EACCES, ...); the list is then empty.
    int PopulateProblem() const;

    /// Replaces the list with the chosen files (full paths), in the order given, without a sort;
    /// the list directory becomes the directory of the last path. Entry 0 gets the focus and the
    /// selection. An empty choice (a cancelled dialog) changes nothing and returns false.
    bool FillFromChosenFiles(const std::vector<std::string>& paths);
    /// The folder a file dialog starts in: the list directory, set to JPGDir first when empty.
    std::string DialogStartDirectory(const Settings& settings);
    /// Replaces the list with dropped files: paths naming directories are skipped, each other
    /// path's directory becomes the list directory (the last one wins); then the list is sorted
    /// by sortOrder with the list sorts. Nothing is selected. No paths change nothing.
    bool FillFromDropped(const std::vector<std::string>& paths, int sortOrder);

    /// Empties the list; the list directory stays.
    void Clear();
    /// Deletes every selected entry.
    void DeleteSelected();
    /// Selects every entry; returns the entry count.
    int SelectAll();
    void SetSelected(int index, bool selected);

    /// The first selected entry from the top; false when none is.
    bool FirstSelected(std::string& name, int& index) const;
    /// Replaces the contents of entries with the selected entries, top to bottom. False when
    /// nothing is selected. When memory for the records runs out after some were collected, the
    /// box "There are too many files, processing the first %d only. ..." is shown and the
    /// entries collected so far are kept (true).
    bool CollectSelected(std::vector<FileEntry>& entries);
    /// Marks the entry as converted: the one at index when its name matches ignoring case, else
    /// the first entry from the top with exactly that name. Returns the index marked, or -1.
    int MarkConverted(const std::string& name, int index);

    /// The list sorts: names byte by byte (upper case before lower case), or file times read
    /// from list directory + name, older first. An entry whose times cannot be read keeps its
    /// place; the others are sorted around it.
    void SortByName(bool ascending);
    void SortByCreationTime();
    void SortByLastModified();
    /// 0 last modified, 1 creation time, 2 A to Z, 3 Z to A; other values leave the order.
    void SortBy(int sortOrder);

    int Count() const;
    std::vector<Entry> Entries() const;
    /// The entry at index; an empty entry outside the list.
    Entry EntryAt(int index) const;
    /// The index of the focused entry; -1 when none has the focus.
    int FocusedIndex() const;
    /// The directory of every entry, ending in "/"; empty for the current directory.
    std::string ListDirectory() const;
    /// List directory + the entry's name; empty outside the list.
    std::string PathOf(int index) const;
    /// Counts every change to the list, so that a view can tell when to redraw.
    unsigned Revision() const;

    /// Caps the FileEntry records CollectSelected can make, as if memory ran out (0: no cap).
    void SetCollectLimit(size_t limit);

private:
    void SortByTime(bool creation);
    void FocusFirstLocked();
    /// The entry at index, none outside the list; the caller holds the lock.
    Entry* EntryLocked(int index);
    const Entry* EntryLocked(int index) const;
    void Changed() { ++revision_; }

    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
    std::string listDirectory_;
    unsigned revision_ = 0;
    size_t collectLimit_ = 0;
    int populateProblem_ = 0;
};
