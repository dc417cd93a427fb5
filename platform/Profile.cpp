#include "platform/Profile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "base/AsciiCase.h"
#include "platform/RegularFile.h"

namespace {

// A settings file is a few kilobytes. Anything far larger is not one of ours: it is read as
// empty and never rewritten, so a stray huge file costs neither memory nor time.
constexpr off_t kMaxProfileBytes = 16 * 1024 * 1024;

enum class LineKind { Other, Section, Key };

// One line of the file as it stands, with its own line end, plus what it means.
struct Line {
    std::string text;      // without the line end
    std::string_view end;  // "\n", "\r\n" or "" for a last line without one (always a literal)
    LineKind kind = LineKind::Other;
    std::string name;   // section or key name, trimmed
    std::string value;  // key value, trimmed and unquoted
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && (IsBlank(text.back()) || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

void Classify(Line& line, bool first) {
    std::string_view text = line.text;
    // A UTF-8 byte-order mark written by some editors stays in the file but is not part of a name.
    if (first && text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    // A NUL in a hand-edited file ends the line's meaning there.
    text = text.substr(0, text.find('\0'));
    text = Trim(text);
    if (text.empty() || text.front() == ';' || text.front() == '#')
        return;
    if (text.front() == '[') {
        text.remove_prefix(1);
        const size_t close = text.find(']');
        line.kind = LineKind::Section;
        line.name = std::string(Trim(text.substr(0, close)));
        return;
    }
    const size_t equals = text.find('=');
    if (equals == std::string_view::npos)
        return;
    std::string_view name = Trim(text.substr(0, equals));
    if (name.empty())
        return;
    std::string_view value = Trim(text.substr(equals + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    line.kind = LineKind::Key;
    line.name = std::string(name);
    line.value = std::string(value);
}

std::vector<Line> Parse(const std::string& content) {
    std::vector<Line> lines;
    size_t start = 0;
    while (start < content.size()) {
        Line line;
        const size_t newline = content.find('\n', start);
        if (newline == std::string::npos) {
            line.text = content.substr(start);
            start = content.size();
        } else {
            size_t stop = newline;
            line.end = "\n";
            if (stop > start && content[stop - 1] == '\r') {
                --stop;
                line.end = "\r\n";
            }
            line.text = content.substr(start, stop - start);
            start = newline + 1;
        }
        Classify(line, lines.empty());
        lines.push_back(std::move(line));
    }
    return lines;
}

std::string Serialize(const std::vector<Line>& lines) {
    std::string content;
    for (const Line& line : lines) {
        content += line.text;
        content += line.end;
    }
    return content;
}

// Reads at most kMaxProfileBytes from an open file; nullopt when it is larger or unreadable.
std::optional<std::string> ReadAll(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return std::nullopt;
    if (info.st_size > kMaxProfileBytes) {
        errno = EFBIG;
        return std::nullopt;
    }
    std::string content;
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return std::nullopt;
        }
        if (got == 0)
            break;
        content.append(chunk, static_cast<size_t>(got));
        if (static_cast<off_t>(content.size()) > kMaxProfileBytes) {
            errno = EFBIG;
            return std::nullopt;
        }
    }
    return content;
}

// The file's lines; nullopt (errno set) when it is missing or cannot be read. A FIFO or device
// under the settings file's name is refused instead of read: its open or read could wait for ever.
std::optional<std::vector<Line>> LoadLines(const char* fileName) {
    if (!fileName || !*fileName) {
        errno = ENOENT;
        return std::nullopt;
    }
    const int fd = OpenRegularFile(fileName, O_RDONLY);
    if (fd < 0)
        return std::nullopt;
    std::optional<std::string> content = ReadAll(fd);
    const int saved = errno;
    ::close(fd);
    errno = saved;
    if (!content)
        return std::nullopt;
    return Parse(*content);
}

// Index of the first section header of that name, or lines.size().
size_t FindSection(const std::vector<Line>& lines, std::string_view section) {
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].kind == LineKind::Section && EqualIgnoringAsciiCase(lines[i].name, section))
            return i;
    }
    return lines.size();
}

// One past the last line belonging to the section whose header is at index header.
size_t SectionEnd(const std::vector<Line>& lines, size_t header) {
    size_t i = header + 1;
    while (i < lines.size() && lines[i].kind != LineKind::Section)
        ++i;
    return i;
}

size_t FindKey(const std::vector<Line>& lines, size_t header, std::string_view key) {
    const size_t end = SectionEnd(lines, header);
    for (size_t i = header + 1; i < end; ++i) {
        if (lines[i].kind == LineKind::Key && EqualIgnoringAsciiCase(lines[i].name, key))
            return i;
    }
    return lines.size();
}

// Copies a list of names, each terminated, with a final extra NUL; a list that does not fit is
// cut and ends in two NULs.
uint32_t CopyList(const std::vector<std::string>& names, char* buffer, uint32_t size) {
    std::string list;
    for (const std::string& name : names) {
        list += name;
        list += '\0';
    }
    if (size < 2) {
        buffer[0] = '\0';
        return 0;
    }
    if (list.size() + 1 <= size) {
        std::memcpy(buffer, list.data(), list.size());
        buffer[list.size()] = '\0';
        return static_cast<uint32_t>(list.size());
    }
    std::memcpy(buffer, list.data(), size - 2);
    buffer[size - 2] = '\0';
    buffer[size - 1] = '\0';
    return size - 2;
}

uint32_t CopyText(std::string_view text, char* buffer, uint32_t size) {
    text = text.substr(0, text.find('\0'));
    const size_t length = text.size() < size - 1 ? text.size() : size - 1;
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return static_cast<uint32_t>(length);
}

// The value of section/key in the lines, as ReadProfileValue answers it.
bool FindValue(const std::vector<Line>& lines, const char* section, const char* key, std::string& value) {
    const size_t header = FindSection(lines, Trim(section));
    if (header == lines.size())
        return false;
    const size_t found = FindKey(lines, header, Trim(key));
    if (found == lines.size())
        return false;
    value = lines[found].value;
    return true;
}

// What GetPrivateProfileStringA answers for a key found (or not) with that value.
uint32_t TextAnswer(bool found, const std::string& value, const char* defaultValue, char* buffer, uint32_t size) {
    if (found)
        return CopyText(value, buffer, size);
    // The platform drops trailing blanks of the default.
    std::string_view fallback = defaultValue ? defaultValue : "";
    while (!fallback.empty() && IsBlank(fallback.back()))
        fallback.remove_suffix(1);
    return CopyText(fallback, buffer, size);
}

// What GetPrivateProfileIntA answers for a key found (or not) with that value.
uint32_t IntAnswer(bool found, const std::string& value, int32_t defaultValue) {
    if (!found)
        return static_cast<uint32_t>(defaultValue);
    const int64_t number = ProfileIntegerValue(value.c_str());
    if (number < INT32_MIN)
        return static_cast<uint32_t>(INT32_MIN);
    if (number > static_cast<int64_t>(UINT32_MAX))
        return UINT32_MAX;
    return static_cast<uint32_t>(number);
}

bool HasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

// The line end new lines get: the file's own when it has one, else "\n".
std::string_view LineEndOf(const std::vector<Line>& lines) {
    for (const Line& line : lines) {
        if (!line.end.empty())
            return line.end;
    }
    return "\n";
}

Line MakeLine(std::string text, std::string_view end) {
    Line line;
    line.text = std::move(text);
    line.end = end;
    Classify(line, false);
    return line;
}

// The texts of new lines. Built by appending: GCC 12 at -O3 warns falsely (-Wrestrict) about
// `"literal" + std::string`.
std::string SectionLine(std::string_view section) {
    std::string text = "[";
    text += section;
    text += ']';
    return text;
}

std::string KeyLine(std::string_view key, const char* value) {
    std::string text(key);
    text += '=';
    text += value;
    return text;
}

// Applies one write to the lines; false when nothing changes.
bool Apply(std::vector<Line>& lines, const char* section, const char* key, const char* value) {
    const std::string_view end = LineEndOf(lines);
    const size_t header = FindSection(lines, section);
    if (!key) {
        if (header == lines.size())
            return false;
        lines.erase(lines.begin() + static_cast<long>(header), lines.begin() + static_cast<long>(SectionEnd(lines, header)));
        return true;
    }
    if (header == lines.size()) {
        if (!value)
            return false;
        if (!lines.empty()) {
            if (lines.back().end.empty())
                lines.back().end = end;
            if (!Trim(lines.back().text).empty())
                lines.push_back(MakeLine("", end));
        }
        lines.push_back(MakeLine(SectionLine(section), end));
        lines.push_back(MakeLine(KeyLine(key, value), end));
        return true;
    }
    const size_t found = FindKey(lines, header, key);
    if (found != lines.size()) {
        if (!value) {
            lines.erase(lines.begin() + static_cast<long>(found));
            return true;
        }
        // The key keeps the spelling it has in the file.
        std::string text = KeyLine(lines[found].name, value);
        if (text == lines[found].text)
            return false;
        const std::string_view lineEnd = lines[found].end;
        lines[found] = MakeLine(std::move(text), lineEnd);
        return true;
    }
    if (!value)
        return false;
    // A new key goes after the section's last key (or right after its header), so that comments
    // and blank lines that lead into the next section stay where they are.
    size_t after = header;
    const size_t sectionEnd = SectionEnd(lines, header);
    for (size_t i = header + 1; i < sectionEnd; ++i) {
        if (lines[i].kind == LineKind::Key)
            after = i;
    }
    if (lines[after].end.empty())
        lines[after].end = end;
    lines.insert(lines.begin() + static_cast<long>(after + 1), MakeLine(KeyLine(key, value), end));
    return true;
}

bool WriteAllTo(int fd, const std::string& content) {
    size_t done = 0;
    while (done < content.size()) {
        const ssize_t wrote = ::write(fd, content.data() + done, content.size() - done);
        if (wrote < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<size_t>(wrote);
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

// The file the write goes to: a symbolic link is followed, so that the link stays a link.
std::string WriteTarget(const char* fileName) {
    struct stat info {};
    if (::lstat(fileName, &info) == 0 && S_ISLNK(info.st_mode)) {
        if (char* resolved = ::realpath(fileName, nullptr)) {
            std::string target = resolved;
            std::free(resolved);
            return target;
        }
    }
    return fileName;
}

// Opens the file and takes the exclusive lock on it. The file that is locked must still be the
// one at the path: a writer that held the lock before may have renamed a new file over it.
int OpenLocked(const std::string& path, bool create) {
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const int fd = OpenRegularFile(path.c_str(), O_RDONLY | (create ? O_CREAT : 0), 0666);
        if (fd < 0)
            return -1;
        int locked;
        do
            locked = ::flock(fd, LOCK_EX);
        while (locked != 0 && errno == EINTR);
        if (locked != 0) {
            const int saved = errno;
            ::close(fd);
            errno = saved;
            return -1;
        }
        struct stat held {}, current {};
        if (::fstat(fd, &held) == 0 && ::stat(path.c_str(), &current) == 0 && held.st_dev == current.st_dev &&
            held.st_ino == current.st_ino)
            return fd;
        ::close(fd);
    }
    errno = EAGAIN;
    return -1;
}

// Replaces the file's content: a new file beside it, flushed, renamed over it, the folder
// flushed. Where the folder allows no new file, the content is rewritten in place instead.
bool Replace(const std::string& path, int lockedFd, const std::string& content) {
    struct stat info {};
    if (::fstat(lockedFd, &info) != 0)
        return false;
    const std::string folder = FolderOf(path);
    const size_t slash = path.rfind('/');
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp = folder + "/." + base + ".XXXXXX";
    const int out = ::mkstemp(temp.data());
    if (out < 0) {
        if (errno != EACCES && errno != EROFS && errno != EPERM)
            return false;
        const int inPlace = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
        if (inPlace < 0)
            return false;
        const bool ok = ::pwrite(inPlace, content.data(), content.size(), 0) == static_cast<ssize_t>(content.size()) &&
                        ::ftruncate(inPlace, static_cast<off_t>(content.size())) == 0 && ::fsync(inPlace) == 0;
        const int saved = errno;
        ::close(inPlace);
        errno = saved;
        return ok;
    }
    bool ok = ::fchmod(out, info.st_mode & 07777) == 0;
    if (::fchown(out, info.st_uid, info.st_gid) != 0) {
        // Only a privileged writer can give the file away; others keep their own ownership.
    }
    ok = ok && WriteAllTo(out, content) && ::fsync(out) == 0;
    int saved = errno;
    if (::close(out) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        saved = errno;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        errno = saved;
        return false;
    }
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

}  // namespace

int64_t ProfileIntegerValue(const char* text) {
    if (!text)
        return 0;
    while (IsBlank(*text))
        ++text;
    bool negative = false;
    if (*text == '-' || *text == '+') {
        negative = *text == '-';
        ++text;
    }
    // The magnitude saturates one past INT64_MAX so that the most negative value is reachable.
    constexpr uint64_t kLimit = static_cast<uint64_t>(INT64_MAX) + 1;
    uint64_t magnitude = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        const unsigned digit = static_cast<unsigned>(*text - '0');
        magnitude = magnitude > (kLimit - digit) / 10 ? kLimit : magnitude * 10 + digit;
    }
    if (negative)
        return magnitude >= kLimit ? INT64_MIN : -static_cast<int64_t>(magnitude);
    return magnitude >= kLimit ? INT64_MAX : static_cast<int64_t>(magnitude);
}

bool ReadProfileValue(const char* section, const char* key, const char* fileName, std::string& value) {
    if (!section || !key)
        return false;
    const std::optional<std::vector<Line>> lines = LoadLines(fileName);
    return lines && FindValue(*lines, section, key, value);
}

struct ProfileSnapshot::Lines {
    std::vector<Line> lines;
};

ProfileSnapshot::ProfileSnapshot(const char* fileName) : lines_(std::make_unique<Lines>()) {
    if (std::optional<std::vector<Line>> lines = LoadLines(fileName))
        lines_->lines = std::move(*lines);
    else if (errno != ENOENT)
        problem_ = errno;
}

ProfileSnapshot::~ProfileSnapshot() = default;

bool ProfileSnapshot::Value(const char* section, const char* key, std::string& value) const {
    return section && key && FindValue(lines_->lines, section, key, value);
}

uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue, char* buffer,
                                  uint32_t size, const char* fileName) {
    if (!buffer || size == 0)
        return 0;
    if (!section || !key) {
        std::vector<std::string> names;
        if (const std::optional<std::vector<Line>> lines = LoadLines(fileName)) {
            if (!section) {
                for (const Line& line : *lines) {
                    if (line.kind == LineKind::Section)
                        names.push_back(line.name);
                }
            } else if (const size_t header = FindSection(*lines, Trim(section)); header != lines->size()) {
                const size_t end = SectionEnd(*lines, header);
                for (size_t i = header + 1; i < end; ++i) {
                    if ((*lines)[i].kind == LineKind::Key)
                        names.push_back((*lines)[i].name);
                }
            }
        }
        return CopyList(names, buffer, size);
    }
    std::string value;
    const bool found = ReadProfileValue(section, key, fileName, value);
    return TextAnswer(found, value, defaultValue, buffer, size);
}

uint32_t GetPrivateProfileIntA(const char* section, const char* key, int32_t defaultValue, const char* fileName) {
    std::string value;
    const bool found = ReadProfileValue(section, key, fileName, value);
    return IntAnswer(found, value, defaultValue);
}

uint32_t ProfileSnapshot::Text(const char* section, const char* key, const char* defaultValue, char* buffer,
                               uint32_t size) const {
    if (!buffer || size == 0)
        return 0;
    std::string value;
    const bool found = Value(section, key, value);
    return TextAnswer(found, value, defaultValue, buffer, size);
}

uint32_t ProfileSnapshot::Int(const char* section, const char* key, int32_t defaultValue) const {
    std::string value;
    const bool found = Value(section, key, value);
    return IntAnswer(found, value, defaultValue);
}

int WritePrivateProfileStringA(const char* section, const char* key, const char* value, const char* fileName) {
    if (!section || !fileName || !*fileName) {
        errno = EINVAL;
        return 0;
    }
    const std::string_view sectionName = Trim(section);
    const std::string_view keyName = key ? Trim(key) : std::string_view();
    const bool badSection = HasLineBreak(section) || sectionName.find(']') != std::string_view::npos;
    const bool badKey = key && (HasLineBreak(key) || keyName.empty() || keyName.find('=') != std::string_view::npos ||
                                keyName.front() == '[' || keyName.front() == ';' || keyName.front() == '#');
    const bool badValue = value && HasLineBreak(value);
    if (badSection || badKey || badValue) {
        errno = EINVAL;
        return 0;
    }
    const std::string path = WriteTarget(fileName);
    // A deletion never creates the file.
    const bool deleting = !key || !value;
    const int fd = OpenLocked(path, !deleting);
    if (fd < 0)
        return deleting && errno == ENOENT ? 1 : 0;
    bool ok = false;
    if (std::optional<std::string> content = ReadAll(fd)) {
        std::vector<Line> lines = Parse(*content);
        const std::string sectionText(sectionName);
        const std::string keyText(keyName);
        ok = !Apply(lines, sectionText.c_str(), key ? keyText.c_str() : nullptr, value) ||
             Replace(path, fd, Serialize(lines));
    }
    const int saved = errno;
    ::close(fd);  // releases the lock
    errno = saved;
    return ok ? 1 : 0;
}
