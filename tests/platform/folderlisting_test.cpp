#include "platform/FolderListing.h"

#include "support/TempDir.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<std::string> Names(FolderListing& listing) {
    std::vector<std::string> names;
    for (const char* name = listing.FirstName(); name != nullptr; name = listing.NextName())
        names.emplace_back(name);
    return names;
}

std::vector<std::string> Sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
}

// Sets a file's access and modification times to whole seconds since 1970.
void SetTimes(const std::string& path, time_t seconds) {
    struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

using Names_ = std::vector<std::string>;

}  // namespace

TEST(FolderListing, SuffixMatchesIgnoringCaseAndOnlyFilesAreListed) {
    TempDir dir;
    for (const char* name : {"IMG_0001.JPG", "a.jpg", "b.Jpg", "empty.jpg", "c.jpeg", "d.png", "jpg", "x.jpg.bak",
                             "with space.jpg", "quo\"te's.jpg", "caf\xc3\xa9.jpg"})
        WriteFileBytes(dir.file(name), std::string(std::string(name) == "empty.jpg" ? 0 : 3, 'x'));
    std::filesystem::create_directory(dir.path() / "folder.jpg");
    std::filesystem::create_symlink(dir.file("a.jpg"), dir.path() / "link.jpg");
    std::filesystem::create_directory_symlink(dir.path() / "folder.jpg", dir.path() / "dirlink.jpg");
    std::filesystem::create_symlink(dir.file("missing"), dir.path() / "dangling.jpg");
    ASSERT_EQ(::mkfifo(dir.file("pipe.jpg").c_str(), 0600), 0);

    FolderListing listing;
    EXPECT_EQ(listing.List(dir.file("*.jpg"), -1), 8);
    EXPECT_EQ(Sorted(Names(listing)), Sorted({"IMG_0001.JPG", "a.jpg", "b.Jpg", "empty.jpg", "with space.jpg",
                                              "quo\"te's.jpg", "caf\xc3\xa9.jpg", "link.jpg"}));
    EXPECT_EQ(listing.Folder(), dir.path().string() + "/");

    // Only the part from the first dot counts, so any name stands for all.
    EXPECT_EQ(listing.List(dir.file("whatever.png"), -1), 1);
    EXPECT_EQ(Names(listing), Names_({"d.png"}));

    // A suffix given with its dot makes a pattern that ordinary names do not match.
    EXPECT_EQ(listing.List(dir.file("*..jpg"), -1), 0);
    WriteFileBytes(dir.file("odd..jpg"), "x");
    EXPECT_EQ(listing.List(dir.file("*..jpg"), -1), 1);

    // "*.*" is every file, names without a dot included.
    EXPECT_EQ(listing.List(dir.file("*.*"), -1), 13);
}

TEST(FolderListing, WildCardRules) {
    EXPECT_TRUE(FolderListing::NameMatches("*.jpg", "a.JPG"));
    EXPECT_TRUE(FolderListing::NameMatches("*.jpg", ".jpg"));
    EXPECT_FALSE(FolderListing::NameMatches("*.jpg", "a.jpgx"));
    EXPECT_TRUE(FolderListing::NameMatches("*.jp?", "a.jpe"));
    EXPECT_FALSE(FolderListing::NameMatches("*.jp?", "a.jp"));
    EXPECT_TRUE(FolderListing::NameMatches("*.tar.gz", "x.y.TAR.gz"));
    EXPECT_TRUE(FolderListing::NameMatches("*.*", "README"));
    EXPECT_FALSE(FolderListing::NameMatches("*.jpg", "caf\xc3\xa9"));
    // Case folding is ASCII only: bytes of other letters must be equal.
    EXPECT_FALSE(FolderListing::NameMatches("*.\xc3\xa9", "x.\xc3\x89"));
}

TEST(FolderListing, MissingOrEmptyFolderListsNothing) {
    TempDir dir;
    FolderListing listing;
    EXPECT_EQ(listing.List(dir.file("*.jpg"), 2), 0);
    EXPECT_EQ(listing.FirstName(), nullptr);
    EXPECT_EQ(listing.List(dir.file("absent/*.jpg"), 2), 0);
}

TEST(FolderListing, NoFolderMeansTheCurrentOne) {
    TempDir dir;
    WriteFileBytes(dir.file("here.jpg"), "x");
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    FolderListing listing;
    const int count = listing.List("*.jpg", 2);
    std::filesystem::current_path(previous);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(listing.Folder(), "");
    EXPECT_EQ(Names(listing), Names_({"here.jpg"}));
}

TEST(FolderListing, SortOrders) {
    TempDir dir;
    // Created (and their times last changed) in the order c, a, B, so both the birth time and
    // the status-change time put them in that order; modified in the order B, c, a.
    const std::vector<std::pair<std::string, time_t>> files = {
        {"c.jpg", 1'600'000'200}, {"a.jpg", 1'600'000'300}, {"B.jpg", 1'600'000'100}};
    for (const auto& [name, modified] : files) {
        WriteFileBytes(dir.file(name), "x");
        SetTimes(dir.file(name), modified);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }

    FolderListing listing;
    listing.List(dir.file("*.jpg"), kSortLastWrite);
    EXPECT_EQ(Names(listing), Names_({"B.jpg", "c.jpg", "a.jpg"}));
    EXPECT_EQ(listing.Record(0).times.lastWrite, 1'600'000'100LL * 1'000'000'000);

    listing.List(dir.file("*.jpg"), kSortCreation);
    EXPECT_EQ(Names(listing), Names_({"c.jpg", "a.jpg", "B.jpg"}));

    listing.List(dir.file("*.jpg"), kSortNameAscending);
    EXPECT_EQ(Names(listing), Names_({"a.jpg", "B.jpg", "c.jpg"}));

    listing.List(dir.file("*.jpg"), kSortNameDescending);
    EXPECT_EQ(Names(listing), Names_({"c.jpg", "B.jpg", "a.jpg"}));

    listing.List(dir.file("*.jpg"), 7);
    EXPECT_EQ(Sorted(Names(listing)), Names_({"B.jpg", "a.jpg", "c.jpg"}));

    FileTimes times;
    ASSERT_TRUE(ReadFileTimes(dir.file("a.jpg"), times));
    EXPECT_EQ(times.lastWrite, 1'600'000'300LL * 1'000'000'000);
    EXPECT_FALSE(ReadFileTimes(dir.file("none.jpg"), times));
}

TEST(FolderListing, TenThousandFilesAndAShortageOfMemory) {
    TempDir dir;
    for (int i = 0; i < 10000; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "f%05d.jpg", 9999 - i);
        int fd = ::open(dir.file(name).c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }
    FolderListing listing;
    ASSERT_EQ(listing.List(dir.file("*.jpg"), kSortNameAscending), 10000);
    EXPECT_STREQ(listing.FirstName(), "f00000.jpg");
    EXPECT_EQ(listing.Record(9999).name, "f09999.jpg");

    // With room for fewer records the listing shrinks by 1024 records at a time until it fits.
    listing.SetRecordLimit(9000);
    EXPECT_EQ(listing.List(dir.file("*.jpg"), kSortNameAscending), 10000 - 1024);
    listing.SetRecordLimit(500);
    EXPECT_EQ(listing.List(dir.file("*.jpg"), kSortNameAscending), 0) << "10000 - 9 * 1024 is still above 500, and 10 steps leave nothing";
}
