// Times loading the settings from a large INI file: one that other programs have grown to about
// 850 KB with sections of their own. The engine reloads the settings for every image, so a load
// must parse the file once, not once per key.
//
//   build/bench/settings_bench [loads]     # prints the milliseconds per load

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "config/Settings.h"
#include "platform/ProcessCommandLine.h"

int main(int argc, char** argv) {
    const int loads = argc > 1 ? std::atoi(argv[1]) : 60;
    if (loads < 1) {
        std::fprintf(stderr, "usage: settings_bench [loads]\n");
        return 2;
    }
    char path[] = "/tmp/pixreel-settings-bench-XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0) {
        std::perror("mkstemp");
        return 1;
    }
    ::close(fd);
    std::string text = "[Config]\nFramesPerSec=12\nVideoFile=big\n[Other]\n";
    for (int i = 0; text.size() < 850000; ++i)
        text += "Key" + std::to_string(i) + "=some value of an unrelated program\n";
    std::ofstream(path, std::ios::binary) << text;
    ::setenv("PIXREEL_INI", path, 1);
    SetProcessCommandLineText("");

    const auto start = std::chrono::steady_clock::now();
    int framesPerSec = 0;
    for (int i = 0; i < loads; ++i) {
        Settings settings;
        settings.Load();
        framesPerSec += settings.FramesPerSec;
    }
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    ::unlink(path);
    if (framesPerSec != 12 * loads) {
        std::fprintf(stderr, "settings_bench: the file was not read as written\n");
        return 1;
    }
    std::printf("%zu-byte INI: %.2f ms per load (%d loads)\n", text.size(), took.count() / loads, loads);
    return 0;
}
