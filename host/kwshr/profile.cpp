/*
 * profile.cpp - the host profile, an INI file read and written by section and key
 * (kwshr_readProfileString, kwshr_writeProfileString, kwhost_setProfilePath, kwhost_profilePath).
 * One small line-based INI module serves reading and writing (inih only reads), so both agree on
 * what a section, a key and a value are. A write keeps every other line of the file byte for byte
 * and replaces the file atomically: the new text goes into "<profile>.tmp" in the same folder,
 * locked against other writers, is synced and then renamed over the profile, so a reader or a
 * crash never sees half a profile. Section names and keys compare without regard to ASCII case.
 */
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <fmt/format.h>

#include "internal.h"

namespace shr {
namespace {

/* ---- Where the profile lives ---- */

std::mutex pathMutex;
std::optional<std::string> chosenPath;  // kwhost_setProfilePath; otherwise the environment decides

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string homeFolder() {
    std::string home = environment("HOME");
    if (home.empty()) {
        if (const passwd* user = ::getpwuid(::getuid()); user != nullptr && user->pw_dir != nullptr) {
            home = user->pw_dir;
        }
    }
    return home;
}

/* KW_PROFILE, else $XDG_CONFIG_HOME/kalwen/kw.ini (an absolute XDG_CONFIG_HOME only, as the XDG
 * rules say), else ~/.config/kalwen/kw.ini; empty when not even a home folder is known. */
std::string profilePath() {
    {
        std::lock_guard lock(pathMutex);
        if (chosenPath) {
            return *chosenPath;
        }
    }
    if (std::string path = environment("KW_PROFILE"); !path.empty()) {
        return path;
    }
    if (std::string config = environment("XDG_CONFIG_HOME"); !config.empty() && config[0] == '/') {
        return config + "/kalwen/kw.ini";
    }
    std::string home = homeFolder();
    return home.empty() ? "" : home + "/.config/kalwen/kw.ini";
}

/* ---- The INI text ---- */

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (isBlank(text.back()) || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

/* What one line of the file is. Comments (';' or '#'), blank lines and anything else are kept as
 * they are and never read. */
struct IniLine {
    enum Kind { kOther, kSection, kEntry } kind = kOther;
    std::string_view name;   // section name or key
    std::string_view value;  // of an entry, without the blanks around it
    size_t valueAt = 0;      // where the value begins in the raw line (after '=' and blanks)
};

IniLine classify(std::string_view raw) {
    IniLine line;
    std::string_view text = trimmed(raw);
    if (text.empty() || text[0] == ';' || text[0] == '#') {
        return line;
    }
    if (text[0] == '[') {
        size_t close = text.find(']');
        if (close != std::string_view::npos) {
            line.kind = IniLine::kSection;
            line.name = trimmed(text.substr(1, close - 1));
        }
        return line;
    }
    size_t equals = raw.find('=');
    if (equals == std::string_view::npos) {
        return line;
    }
    line.kind = IniLine::kEntry;
    line.name = trimmed(raw.substr(0, equals));
    line.valueAt = equals + 1;
    while (line.valueAt < raw.size() && isBlank(raw[line.valueAt])) {
        ++line.valueAt;
    }
    line.value = trimmed(raw.substr(line.valueAt));
    return line;
}

/* The file as lines (without their '\n'); a final line break does not make an extra line. */
std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t from = 0;
    while (from < text.size()) {
        size_t end = text.find('\n', from);
        if (end == std::string::npos) {
            end = text.size();
        }
        lines.emplace_back(text, from, end - from);
        from = end + 1;
    }
    return lines;
}

std::string joinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line;
        text += '\n';
    }
    return text;
}

/* Where a key stands in the file: the line of its entry, or where a new entry would go. */
struct KeyPlace {
    std::optional<size_t> entryLine;    // the first entry of the key in a section of that name
    std::optional<size_t> insertAfter;  // the last entry (or the header) of the first such section
};

KeyPlace locate(const std::vector<std::string>& lines, std::string_view section, std::string_view key) {
    KeyPlace place;
    bool inSection = false;
    bool firstSection = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        IniLine line = classify(lines[i]);
        if (line.kind == IniLine::kSection) {
            inSection = equalIgnoringCase(line.name, section);
            firstSection = inSection && !place.insertAfter;
            if (firstSection) {
                place.insertAfter = i;
            }
        } else if (line.kind == IniLine::kEntry && inSection) {
            if (equalIgnoringCase(line.name, key)) {
                place.entryLine = i;
                return place;
            }
            if (firstSection) {
                place.insertAfter = i;
            }
        }
    }
    return place;
}

void setValue(std::vector<std::string>& lines, std::string_view section, std::string_view key,
              std::string_view value) {
    KeyPlace place = locate(lines, section, key);
    if (place.entryLine) {
        // Keep the key as written and the blanks after '='; keep a Windows line end.
        std::string& raw = lines[*place.entryLine];
        bool carriageReturn = !raw.empty() && raw.back() == '\r';
        raw.resize(classify(raw).valueAt);
        raw.append(value);
        if (carriageReturn) {
            raw += '\r';
        }
        return;
    }
    std::string entry = std::string(key) + "=" + std::string(value);
    if (place.insertAfter) {
        lines.insert(lines.begin() + static_cast<ptrdiff_t>(*place.insertAfter) + 1, entry);
        return;
    }
    if (!lines.empty() && !trimmed(lines.back()).empty()) {
        lines.emplace_back();
    }
    lines.push_back("[" + std::string(section) + "]");
    lines.push_back(entry);
}

std::optional<std::string> findValue(const std::vector<std::string>& lines, std::string_view section,
                                     std::string_view key) {
    KeyPlace place = locate(lines, section, key);
    if (!place.entryLine) {
        return std::nullopt;
    }
    return std::string(classify(lines[*place.entryLine]).value);
}

/* Texts that would not read back as written are refused rather than stored differently. */
bool hasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}
bool hasOuterBlank(std::string_view text) {
    return !text.empty() && (isBlank(text.front()) || isBlank(text.back()));
}
bool isWritable(std::string_view section, std::string_view key, std::string_view value) {
    return !section.empty() && section.find_first_of("[]") == std::string_view::npos &&
           !hasLineBreak(section) && !hasOuterBlank(section) && !key.empty() &&
           key.find('=') == std::string_view::npos && key[0] != ';' && key[0] != '#' && key[0] != '[' &&
           !hasLineBreak(key) && !hasOuterBlank(key) && !hasLineBreak(value) && !hasOuterBlank(value);
}

/* ---- The file ---- */

/* Reads the whole file; a missing file reads as empty. False when it exists but cannot be read. */
bool readFile(const std::string& path, std::string& text) {
    text.clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return errno == ENOENT;
    }
    char chunk[4096];
    ssize_t got;
    while ((got = ::read(fd, chunk, sizeof chunk)) != 0) {
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            ::close(fd);
            return false;
        }
        text.append(chunk, static_cast<size_t>(got));
    }
    ::close(fd);
    return true;
}

bool writeAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t put = ::write(fd, text.data() + done, text.size() - done);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        done += static_cast<size_t>(put);
    }
    return true;
}

void syncFolder(const std::string& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

/* Opens and locks the temporary file. A writer that waited for the lock may find that the file it
 * locked has meanwhile been renamed into the profile; it then starts again on a fresh one. */
int lockTemporary(const std::string& temporary) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        int fd = ::open(temporary.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            return -1;
        }
        struct stat locked {
        }, named{};
        if (::flock(fd, LOCK_EX) == 0 && ::fstat(fd, &locked) == 0 &&
            ::stat(temporary.c_str(), &named) == 0 && locked.st_dev == named.st_dev &&
            locked.st_ino == named.st_ino) {
            return fd;
        }
        ::close(fd);
    }
    return -1;
}

/* Re-reads the profile under the writers' lock, applies the change and renames the result in. */
bool rewriteLocked(int fd, const std::string& path, const std::string& temporary, std::string_view section,
                   std::string_view key, std::string_view value) {
    std::string text;
    if (!readFile(path, text)) {
        return false;
    }
    std::vector<std::string> lines = splitLines(text);
    setValue(lines, section, key, value);
    struct stat old {};
    mode_t mode = ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0600;
    return ::ftruncate(fd, 0) == 0 && writeAll(fd, joinLines(lines)) && ::fchmod(fd, mode) == 0 &&
           ::fsync(fd) == 0 && ::rename(temporary.c_str(), path.c_str()) == 0;
}

bool writeValue(std::string_view section, std::string_view key, std::string_view value) {
    std::string path = profilePath();
    if (path.empty()) {
        traceLine("kwshr_writeProfileString: no profile path (no KW_PROFILE and no home folder)");
        return false;
    }
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    std::error_code ignored;
    if (!folder.empty()) {
        std::filesystem::create_directories(folder, ignored);
    }
    std::string temporary = path + ".tmp";
    int fd = lockTemporary(temporary);
    if (fd < 0) {
        traceLine(
            fmt::format("kwshr_writeProfileString: cannot open '{}': {}", temporary, std::strerror(errno)));
        return false;
    }
    bool written = rewriteLocked(fd, path, temporary, section, key, value);
    int error = errno;
    if (!written) {
        ::unlink(temporary.c_str());  // still ours: we hold its lock and it was not renamed
    }
    ::close(fd);
    if (!written) {
        traceLine(fmt::format("kwshr_writeProfileString: cannot write '{}': {}; profile unchanged", path,
                              std::strerror(error)));
        return false;
    }
    syncFolder(folder.empty() ? "." : folder.string());
    return true;
}

}  // namespace
}  // namespace shr

extern "C" {

int32_t kwshr_readProfileString(const char* section, const char* key, const char* defaultValue, char* buffer,
                                int32_t size) {
    return shr::guarded<int32_t>(0, [&] {
        std::string value = defaultValue != nullptr ? defaultValue : "";
        std::string text;
        if (section != nullptr && key != nullptr && shr::readFile(shr::profilePath(), text)) {
            if (auto found = shr::findValue(shr::splitLines(text), section, key)) {
                value = *found;
            }
        }
        return shr::copyCut(value, buffer, size);
    });
}

int32_t kwshr_writeProfileString(const char* section, const char* key, const char* value) {
    if (section == nullptr || key == nullptr || value == nullptr || !shr::isWritable(section, key, value)) {
        shr::traceLine(
            "kwshr_writeProfileString: section, key or value cannot be stored as written; not written");
        return 0;
    }
    return shr::guarded<int32_t>(0, [&] { return shr::writeValue(section, key, value) ? 1 : 0; });
}

void kwhost_setProfilePath(const char* path) {
    shr::guardedVoid([&] {
        std::lock_guard lock(shr::pathMutex);
        if (path != nullptr) {
            shr::chosenPath = path;
        } else {
            shr::chosenPath.reset();
        }
    });
}

int32_t kwhost_profilePath(char* buffer, int32_t size) {
    return shr::guarded<int32_t>(0, [&] { return shr::copyCut(shr::profilePath(), buffer, size); });
}

}  // extern "C"
