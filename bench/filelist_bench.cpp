// Times the file list on a large folder against `ls -t` on the same folder in the same run:
//   - filling the list from the folder sorted by last-write time (FileList::Populate, order 0),
//   - sorting the filled list again by last-write time (FileList::SortByLastModified),
//   - `ls -t FOLDER > /dev/null`, which reads and sorts the same times.
// Every figure is the median wall-clock time of several runs after one warm-up run.
//
//   filelist_bench FOLDER [--files N] [--runs N]
//
// FOLDER is filled with N empty files (default 100000) named in an order that differs from their
// last-write order, unless it already holds them.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "config/Settings.h"
#include "engine/FileList.h"

namespace {

double MedianSeconds(int runs, const std::function<void()>& work) {
    work();  // warm-up: the folder's entries and inodes in the cache
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

bool MakeFolder(const std::string& folder, int files) {
    std::filesystem::create_directories(folder);
    if (std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()) == files)
        return true;
    std::fprintf(stderr, "making %d files in %s ...\n", files, folder.c_str());
    const time_t base = std::time(nullptr) - files - 60;
    for (int i = 0; i < files; ++i) {
        char name[64];
        // Names in one order, times in another (every seventh step back in time).
        std::snprintf(name, sizeof name, "/img_%06d.jpg", i);
        const std::string path = folder + name;
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0)
            return false;
        ::close(fd);
        timespec times[2];
        times[0].tv_sec = times[1].tv_sec = base + (static_cast<long>(i) * 7919) % files;
        times[0].tv_nsec = times[1].tv_nsec = 0;
        ::utimensat(AT_FDCWD, path.c_str(), times, 0);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string folder;
    int files = 100000;
    int runs = 5;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--files" && i + 1 < argc)
            files = std::atoi(argv[++i]);
        else if (arg == "--runs" && i + 1 < argc)
            runs = std::atoi(argv[++i]);
        else if (folder.empty() && !arg.empty() && arg[0] != '-')
            folder = arg;
        else {
            std::fprintf(stderr, "usage: filelist_bench FOLDER [--files N] [--runs N]\n");
            return 2;
        }
    }
    if (folder.empty() || files < 1 || runs < 1 || !MakeFolder(folder, files))
        return 1;

    Settings settings;
    std::snprintf(settings.JPGDir, sizeof settings.JPGDir, "%s/", folder.c_str());
    std::snprintf(settings.JPGSuffix, sizeof settings.JPGSuffix, "jpg");
    settings.JPGSortOrder = 0;
    FileList list;
    const double fill = MedianSeconds(runs, [&] { list.Populate(true, false, settings); });
    const double sort = MedianSeconds(runs, [&] { list.SortByLastModified(); });
    const std::string ls = "ls -t '" + folder + "' > /dev/null";
    const double lsTime = MedianSeconds(runs, [&] {
        if (std::system(ls.c_str()) != 0)
            std::fprintf(stderr, "ls failed\n");
    });
    std::printf("%d files, median of %d runs\n", files, runs);
    std::printf("  list fill, by last write  %8.1f ms  %.2f x ls -t\n", fill * 1000, fill / lsTime);
    std::printf("  sort by last write        %8.1f ms  %.2f x ls -t\n", sort * 1000, sort / lsTime);
    std::printf("  ls -t                     %8.1f ms\n", lsTime * 1000);
    return 0;
}
