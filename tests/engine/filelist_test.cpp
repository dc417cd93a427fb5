#include "engine/FileList.h"

#include "config/Settings.h"
#include "platform/MessageBox.h"
#include "support/TempDir.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

using Names = std::vector<std::string>;

Names NamesOf(const FileList& list) {
    Names names;
    for (const FileList::Entry& entry : list.Entries())
        names.push_back(entry.name);
    return names;
}

std::vector<bool> SelectionOf(const FileList& list) {
    std::vector<bool> selected;
    for (const FileList::Entry& entry : list.Entries())
        selected.push_back(entry.selected);
    return selected;
}

Settings InputSettings(const std::string& dir, const char* suffix, int sortOrder) {
    Settings settings;
    std::snprintf(settings.JPGDir, sizeof settings.JPGDir, "%s", dir.c_str());
    std::snprintf(settings.JPGSuffix, sizeof settings.JPGSuffix, "%s", suffix);
    settings.JPGSortOrder = sortOrder;
    return settings;
}

void SetModified(const std::string& path, time_t seconds) {
    struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

}  // namespace

TEST(FileList, PopulateListsTheInputDirectory) {
    TempDir dir;
    for (const char* name : {"c.jpg", "a.jpg", "B.JPG", "skip.png"})
        WriteFileBytes(dir.file(name), "x");
    std::filesystem::create_directory(dir.path() / "x.jpg");
    const std::string folder = dir.path().string() + "/";
    Settings settings = InputSettings(folder, "jpg", 2);

    FileList list;
    settings.AutoPopulate = 0;
    EXPECT_FALSE(list.Populate(false, true, settings)) << "neither the flag nor AutoPopulate";
    EXPECT_EQ(list.Count(), 0);

    // "Refresh": filled regardless, not all selected, the first entry focused and selected.
    EXPECT_TRUE(list.Populate(true, false, settings));
    EXPECT_EQ(NamesOf(list), Names({"a.jpg", "B.JPG", "c.jpg"})) << "the listing sorts ignoring case";
    EXPECT_EQ(SelectionOf(list), std::vector<bool>({true, false, false}));
    EXPECT_EQ(list.FocusedIndex(), 0);
    EXPECT_EQ(list.ListDirectory(), folder);
    EXPECT_EQ(list.PathOf(1), folder + "B.JPG");

    settings.AutoPopulate = 1;
    EXPECT_TRUE(list.Populate(settings.AutoPopulate, true, settings));
    EXPECT_EQ(SelectionOf(list), std::vector<bool>({true, true, true}));

    // The list sorts compare bytes: upper case before lower case.
    list.SortByName(true);
    EXPECT_EQ(NamesOf(list), Names({"B.JPG", "a.jpg", "c.jpg"}));
    list.SortByName(false);
    EXPECT_EQ(NamesOf(list), Names({"c.jpg", "a.jpg", "B.JPG"}));
    EXPECT_EQ(list.FocusedIndex(), 1) << "the focus moves with its entry";

    // A suffix with its dot matches nothing ordinary.
    EXPECT_TRUE(list.Populate(true, true, InputSettings(folder, ".jpg", 2)));
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.FocusedIndex(), -1);
}

TEST(FileList, EmptyInputDirectoryListsTheCurrentOne) {
    TempDir dir;
    WriteFileBytes(dir.file("here.jpg"), "x");
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    FileList list;
    list.Populate(true, true, InputSettings("", "jpg", 2));
    std::filesystem::current_path(previous);
    EXPECT_EQ(NamesOf(list), Names({"here.jpg"}));
    EXPECT_EQ(list.ListDirectory(), "");
    EXPECT_EQ(list.PathOf(0), "here.jpg");
}

TEST(FileList, SelectionDeleteAndClear) {
    FileList list;
    ASSERT_TRUE(list.FillFromChosenFiles({"/p/one.jpg", "/p/two.jpg", "/p/three.jpg", "/p/four.jpg"}));
    for (int i = 0; i < 4; ++i)
        list.SetSelected(i, false);

    std::string name;
    int index = -1;
    EXPECT_FALSE(list.FirstSelected(name, index));
    std::vector<FileEntry> entries = {{"stale", 9}};
    EXPECT_FALSE(list.CollectSelected(entries));
    EXPECT_TRUE(entries.empty());

    list.DeleteSelected();
    EXPECT_EQ(list.Count(), 4) << "delete with no selection changes nothing";

    list.SetSelected(1, true);
    list.SetSelected(3, true);
    ASSERT_TRUE(list.FirstSelected(name, index));
    EXPECT_EQ(name, "two.jpg");
    EXPECT_EQ(index, 1);
    ASSERT_TRUE(list.CollectSelected(entries));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "two.jpg");
    EXPECT_EQ(entries[0].index, 1);
    EXPECT_EQ(entries[1].name, "four.jpg");
    EXPECT_EQ(entries[1].index, 3);

    list.DeleteSelected();
    EXPECT_EQ(NamesOf(list), Names({"one.jpg", "three.jpg"}));
    EXPECT_EQ(list.SelectAll(), 2);
    list.DeleteSelected();
    EXPECT_EQ(list.Count(), 0);

    list.FillFromChosenFiles({"/p/a.jpg"});
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.ListDirectory(), "/p/") << "emptying keeps the list directory";
}

TEST(FileList, TooManyFilesKeepsTheFirstOnes) {
    std::vector<std::string> shown;
    unsigned flags = 0;
    MessageBoxHandler previous = SetMessageBoxHandler([&](const std::string& text, const std::string&, unsigned f) {
        shown.push_back(text);
        flags = f;
        return IDOK;
    });
    FileList list;
    list.FillFromChosenFiles({"/p/1.jpg", "/p/2.jpg", "/p/3.jpg", "/p/4.jpg", "/p/5.jpg"});
    list.SelectAll();
    list.SetCollectLimit(3);
    std::vector<FileEntry> entries;
    EXPECT_TRUE(list.CollectSelected(entries));
    SetMessageBoxHandler(previous);

    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[2].name, "3.jpg");
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "There are too many files, processing the first 3 only.\nTry closing some programs down.");
    EXPECT_EQ(flags & MB_ICONWARNING, MB_ICONWARNING);
}

TEST(FileList, MarkConvertedFindsTheEntryAfterTheListChanged) {
    FileList list;
    list.FillFromChosenFiles({"/p/b.jpg", "/p/A.jpg", "/p/c.jpg"});
    std::vector<FileEntry> entries;
    list.SelectAll();
    ASSERT_TRUE(list.CollectSelected(entries));

    list.SortByName(false);  // c, b, A: the collected indexes are stale now
    EXPECT_EQ(list.MarkConverted(entries[0].name, entries[0].index), 1);  // b.jpg, was 0
    EXPECT_EQ(list.MarkConverted(entries[1].name, entries[1].index), 2);  // A.jpg, was 1
    EXPECT_TRUE(list.EntryAt(1).converted);
    EXPECT_TRUE(list.EntryAt(2).converted);
    EXPECT_FALSE(list.EntryAt(0).converted);

    // At its own index the name matches ignoring case; the search elsewhere is exact.
    EXPECT_EQ(list.MarkConverted("C.JPG", 0), 0);
    FileList other;
    other.FillFromChosenFiles({"/p/x.jpg", "/p/y.jpg"});
    EXPECT_EQ(other.MarkConverted("Y.JPG", 0), -1);
    EXPECT_EQ(other.MarkConverted("gone.jpg", 7), -1);
    EXPECT_FALSE(other.EntryAt(1).converted);
}

TEST(FileList, ChosenAndDroppedFiles) {
    TempDir one;
    TempDir two;
    WriteFileBytes(one.file("b.jpg"), "x");
    WriteFileBytes(one.file("a.jpg"), "x");
    WriteFileBytes(two.file("C.jpg"), "x");
    std::filesystem::create_directory(two.path() / "sub.jpg");

    FileList list;
    Settings settings = InputSettings("/start/", "jpg", 2);
    EXPECT_EQ(list.DialogStartDirectory(settings), "/start/");

    EXPECT_FALSE(list.FillFromChosenFiles({})) << "a cancelled dialog changes nothing";
    ASSERT_TRUE(list.FillFromChosenFiles({one.file("b.jpg"), one.file("a.jpg")}));
    EXPECT_EQ(NamesOf(list), Names({"b.jpg", "a.jpg"})) << "the dialog's order, unsorted";
    EXPECT_EQ(list.ListDirectory(), one.path().string() + "/");
    EXPECT_EQ(list.DialogStartDirectory(settings), one.path().string() + "/");

    // Dropped from two folders: the last file's folder is the list directory; folders are skipped.
    ASSERT_TRUE(list.FillFromDropped({one.file("b.jpg"), (two.path() / "sub.jpg").string(), two.file("C.jpg"),
                                      one.file("a.jpg")},
                                     2));
    EXPECT_EQ(NamesOf(list), Names({"C.jpg", "a.jpg", "b.jpg"}));
    EXPECT_EQ(list.ListDirectory(), one.path().string() + "/");
    for (const FileList::Entry& entry : list.Entries())
        EXPECT_FALSE(entry.selected);

    ASSERT_TRUE(list.FillFromDropped({(two.path() / "sub.jpg").string()}, 2));
    EXPECT_EQ(list.Count(), 0) << "dropping only folders empties the list";
    EXPECT_FALSE(list.FillFromDropped({}, 2));
}

TEST(FileList, TimeSortsKeepUnreadableEntriesInPlace) {
    TempDir dir;
    for (const auto& [name, modified] : std::vector<std::pair<std::string, time_t>>{
             {"c.jpg", 1'500'000'200}, {"a.jpg", 1'500'000'100}, {"b.jpg", 1'500'000'300}}) {
        WriteFileBytes(dir.file(name), "x");
        SetModified(dir.file(name), modified);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    FileList list;
    list.FillFromChosenFiles({dir.file("b.jpg"), dir.file("gone.jpg"), dir.file("a.jpg"), dir.file("c.jpg")});

    list.SortByLastModified();
    EXPECT_EQ(NamesOf(list), Names({"a.jpg", "gone.jpg", "c.jpg", "b.jpg"}));
    list.SortByCreationTime();  // created c, a, b
    EXPECT_EQ(NamesOf(list), Names({"c.jpg", "gone.jpg", "a.jpg", "b.jpg"}));
    list.SortBy(0);
    EXPECT_EQ(NamesOf(list), Names({"a.jpg", "gone.jpg", "c.jpg", "b.jpg"}));
}

TEST(FileList, WorkerMarksWhileTheWindowSorts) {
    FileList list;
    std::vector<std::string> paths;
    for (int i = 0; i < 200; ++i)
        paths.push_back("/p/f" + std::to_string(i) + ".jpg");
    list.FillFromChosenFiles(paths);
    list.SelectAll();

    std::vector<FileEntry> entries;
    ASSERT_TRUE(list.CollectSelected(entries));
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (const FileEntry& entry : entries)
            list.MarkConverted(entry.name, entry.index);
        done = true;
    });
    bool ascending = false;
    while (!done) {
        list.SortByName(ascending);
        ascending = !ascending;
        (void)list.Entries();
    }
    worker.join();
    for (const FileList::Entry& entry : list.Entries())
        EXPECT_TRUE(entry.converted) << entry.name;
}
