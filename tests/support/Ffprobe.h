#pragma once
// ffprobe and ffmpeg as outside readers of the files the program writes: run a command, read
// stream facts and tags, list packets, decode frames to raw pixels.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

/// Runs a command through the shell and returns its standard output (binary safe). exitStatus
/// receives the exit code, or -1 when the command could not run or ended by a signal.
std::string RunCommand(const std::string& command, int* exitStatus = nullptr);
/// The text in single quotes for a POSIX shell.
std::string ShellQuote(const std::string& text);

struct ProbeStream {
    int index = -1;
    std::string codecType;  // "video", "subtitle", "data", ...
    std::string codecName;  // "ffv1", "rawvideo", ...
    std::string codecTag;   // "FFV1", "0x0000", ...
    int width = 0;
    int height = 0;
    std::string pixFmt;
    std::string rFrameRate;  // "5/1"
    std::string timeBase;
    int64_t nbFrames = -1;       // from the header
    int64_t nbReadFrames = -1;   // counted by decoding (countFrames)
    int64_t nbReadPackets = -1;  // counted by reading (countFrames)
    double duration = -1;
};

struct ProbeResult {
    bool ok = false;
    std::string formatName;
    double duration = -1;
    std::vector<ProbeStream> streams;
    std::map<std::string, std::string> tags;  // format tags by lower-case name
    std::string raw;                          // ffprobe's whole answer, for messages
};

/// Stream and format facts; with countFrames every packet is read and every frame decoded.
ProbeResult ProbeFile(const std::string& path, bool countFrames = false);

struct ProbePacket {
    int64_t pts = -1;
    int64_t size = 0;
    bool key = false;
};
/// The packets of one stream in file order.
std::vector<ProbePacket> ProbePackets(const std::string& path, int streamIndex);
/// The payloads of one stream's packets, concatenated, as ffmpeg reads them.
std::string StreamPayload(const std::string& path, int streamIndex);

enum class RowOrder { BottomUpBgr, TopDownRgb };
/// Every frame of the first video stream as packed 24-bit pixels (no row padding), in the
/// given order; empty when ffmpeg fails.
std::vector<std::vector<uint8_t>> DecodeFrames(const std::string& path, int width, int height, RowOrder order);
/// Frame n (0-based, in decode order) of the first video stream; empty when there is none.
std::vector<uint8_t> DecodeFrame(const std::string& path, int n, int width, int height, RowOrder order);

/// Peak signal-to-noise ratio of two equally long 8-bit buffers in dB; 999 when they are equal.
double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b);
