#include "support/Ffprobe.h"

#include <sys/wait.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

std::string RunCommand(const std::string& command, int* exitStatus) {
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        if (exitStatus)
            *exitStatus = -1;
        return output;
    }
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, n);
    int status = ::pclose(pipe);
    if (exitStatus)
        *exitStatus = (status != -1 && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
    return output;
}

std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

namespace {

// ffprobe's "flat" writer: one section.path.key="value" per line.
std::map<std::string, std::string> ParseFlat(const std::string& text) {
    std::map<std::string, std::string> values;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        std::string value = line.substr(eq + 1);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        values[line.substr(0, eq)] = value;
    }
    return values;
}

int64_t ToInt(const std::map<std::string, std::string>& values, const std::string& key, int64_t fallback) {
    auto it = values.find(key);
    if (it == values.end() || it->second.empty() || it->second == "N/A")
        return fallback;
    return std::strtoll(it->second.c_str(), nullptr, 10);
}

double ToDouble(const std::map<std::string, std::string>& values, const std::string& key, double fallback) {
    auto it = values.find(key);
    if (it == values.end() || it->second.empty() || it->second == "N/A")
        return fallback;
    return std::strtod(it->second.c_str(), nullptr);
}

std::string ToText(const std::map<std::string, std::string>& values, const std::string& key) {
    auto it = values.find(key);
    return it == values.end() ? std::string() : it->second;
}

}  // namespace

ProbeResult ProbeFile(const std::string& path, bool countFrames) {
    ProbeResult result;
    std::string command = "ffprobe -v error -of flat -show_format -show_streams ";
    if (countFrames)
        command += "-count_frames -count_packets ";
    command += ShellQuote(path) + " 2>/dev/null";
    int status = 0;
    result.raw = RunCommand(command, &status);
    if (status != 0)
        return result;
    std::map<std::string, std::string> values = ParseFlat(result.raw);
    result.ok = true;
    result.formatName = ToText(values, "format.format_name");
    result.duration = ToDouble(values, "format.duration", -1);
    int64_t count = ToInt(values, "format.nb_streams", 0);
    for (int64_t i = 0; i < count; ++i) {
        std::string prefix = "streams.stream." + std::to_string(i) + ".";
        ProbeStream s;
        s.index = static_cast<int>(ToInt(values, prefix + "index", i));
        s.codecType = ToText(values, prefix + "codec_type");
        s.codecName = ToText(values, prefix + "codec_name");
        s.codecTag = ToText(values, prefix + "codec_tag_string");
        s.width = static_cast<int>(ToInt(values, prefix + "width", 0));
        s.height = static_cast<int>(ToInt(values, prefix + "height", 0));
        s.pixFmt = ToText(values, prefix + "pix_fmt");
        s.rFrameRate = ToText(values, prefix + "r_frame_rate");
        s.timeBase = ToText(values, prefix + "time_base");
        s.nbFrames = ToInt(values, prefix + "nb_frames", -1);
        s.nbReadFrames = ToInt(values, prefix + "nb_read_frames", -1);
        s.nbReadPackets = ToInt(values, prefix + "nb_read_packets", -1);
        s.duration = ToDouble(values, prefix + "duration", -1);
        result.streams.push_back(s);
    }
    const std::string tagPrefix = "format.tags.";
    for (const auto& [key, value] : values) {
        if (key.compare(0, tagPrefix.size(), tagPrefix) != 0)
            continue;
        std::string name = key.substr(tagPrefix.size());
        for (char& c : name)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        result.tags[name] = value;
    }
    return result;
}

std::vector<ProbePacket> ProbePackets(const std::string& path, int streamIndex) {
    std::string command = "ffprobe -v error -of flat -select_streams " + std::to_string(streamIndex) +
                          " -show_entries packet=pts,size,flags " + ShellQuote(path) + " 2>/dev/null";
    std::map<std::string, std::string> values = ParseFlat(RunCommand(command));
    std::vector<ProbePacket> packets;
    for (size_t i = 0;; ++i) {
        std::string prefix = "packets.packet." + std::to_string(i) + ".";
        if (values.find(prefix + "size") == values.end())
            break;
        ProbePacket p;
        p.pts = ToInt(values, prefix + "pts", -1);
        p.size = ToInt(values, prefix + "size", 0);
        p.key = ToText(values, prefix + "flags").find('K') != std::string::npos;
        packets.push_back(p);
    }
    return packets;
}

std::string StreamPayload(const std::string& path, int streamIndex) {
    std::string command = "ffmpeg -v error -i " + ShellQuote(path) + " -map 0:" + std::to_string(streamIndex) +
                          " -c copy -f data - 2>/dev/null";
    return RunCommand(command);
}

std::vector<std::vector<uint8_t>> DecodeFrames(const std::string& path, int width, int height, RowOrder order) {
    std::vector<std::vector<uint8_t>> frames;
    if (width <= 0 || height <= 0)
        return frames;
    bool bottomUp = order == RowOrder::BottomUpBgr;
    std::string command = "ffmpeg -v error -i " + ShellQuote(path) + " -map 0:v:0 -vsync passthrough " +
                          (bottomUp ? "-vf vflip -pix_fmt bgr24 " : "-pix_fmt rgb24 ") + "-f rawvideo - 2>/dev/null";
    int status = 0;
    std::string bytes = RunCommand(command, &status);
    if (status != 0)
        return frames;
    size_t frameBytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
    for (size_t at = 0; at + frameBytes <= bytes.size(); at += frameBytes)
        frames.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                            bytes.begin() + static_cast<std::ptrdiff_t>(at + frameBytes));
    return frames;
}

std::vector<uint8_t> DecodeFrame(const std::string& path, int n, int width, int height, RowOrder order) {
    if (width <= 0 || height <= 0 || n < 0)
        return {};
    bool bottomUp = order == RowOrder::BottomUpBgr;
    std::string filter = "select=eq(n\\," + std::to_string(n) + ")" + (bottomUp ? ",vflip" : "");
    std::string command = "ffmpeg -v error -i " + ShellQuote(path) + " -map 0:v:0 -vsync passthrough -vf " +
                          ShellQuote(filter) + " -frames:v 1 -pix_fmt " + (bottomUp ? "bgr24" : "rgb24") +
                          " -f rawvideo - 2>/dev/null";
    int status = 0;
    std::string bytes = RunCommand(command, &status);
    size_t frameBytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
    if (status != 0 || bytes.size() < frameBytes)
        return {};
    return std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(frameBytes));
}

double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size() || a.empty())
        return 0;
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        double d = static_cast<double>(a[i]) - static_cast<double>(b[i]);
        sum += d * d;
    }
    if (sum == 0)
        return 999;
    double mse = sum / static_cast<double>(a.size());
    return 10.0 * std::log10(255.0 * 255.0 / mse);
}
