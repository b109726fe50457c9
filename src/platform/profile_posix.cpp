#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/ini_document.h"
#include "platform/profile.h"

namespace zamri {

namespace {

// Reads the whole file; false when it cannot be opened (missing, unreadable, a directory).
bool ReadWholeFile(const char* path, std::string* text) {
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return false;
    }
    text->clear();
    char buffer[8192];
    for (;;) {
        ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        text->append(buffer, static_cast<size_t>(got));
    }
    close(fd);
    return true;
}

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t put = write(fd, text.data() + done, text.size() - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        done += static_cast<size_t>(put);
    }
    return true;
}

// The new contents go to a temporary file beside the old one, which then takes its place, so
// a crash in the middle of a save never leaves a half-written settings file.
bool ReplaceFile(const char* path, const std::string& text, mode_t mode) {
    std::string temporary = std::string(path) + ".tmpXXXXXX";
    int fd = mkstemp(&temporary[0]);
    if (fd < 0)
        return false;
    bool written = WriteAll(fd, text) && fchmod(fd, mode) == 0 && fsync(fd) == 0;
    written = close(fd) == 0 && written;
    if (!written || rename(temporary.c_str(), path) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

// A value with a NUL byte in it ends there, as any C text does.
void EndAtNul(std::string* value) {
    size_t nul = value->find('\0');
    if (nul != std::string::npos)
        value->resize(nul);
}

}  // namespace

void DropOverlongEntries(const char* section, std::vector<std::pair<std::string, std::string>>* entries,
                         std::vector<std::string>* keys);

int ProfileReadValue(const char* path, const char* section, const char* key, std::string* value) {
    std::string ignored;
    std::string& out = value != nullptr ? *value : ignored;
    out.clear();
    std::string text;
    if (path == nullptr || section == nullptr || key == nullptr || !ReadWholeFile(path, &text) ||
        !IniDocument(text).Find(section, key, &out)) {
        return 0;
    }
    EndAtNul(&out);
    if (out.size() > static_cast<size_t>(kMaxSettingsValueLength)) {
        out.clear();
        return -1;
    }
    return 1;
}

int ProfileReadInt(const char* path, const char* section, const char* key, int def) {
    int value = def;
    if (ProfileReadInteger(path, section, key, def, &value) < 0)
        ReportSettingsProblem(OverlongSettingMessage(section, key, kMaxSettingsValueLength, nullptr));
    return value;
}

int ProfileReadInteger(const char* path, const char* section, const char* key, int def, int* value) {
    std::string text;
    int got = ProfileReadValue(path, section, key, &text);
    *value = got > 0 && !text.empty() ? static_cast<int>(std::strtol(text.c_str(), nullptr, 10)) : def;
    return got > 0 && text.empty() ? 0 : got;
}

std::vector<std::pair<std::string, std::string>> ProfileReadSection(const char* path, const char* section,
                                                                    std::vector<std::string>* overlong) {
    std::string text;
    if (path == nullptr || section == nullptr || !ReadWholeFile(path, &text))
        return {};
    std::vector<std::pair<std::string, std::string>> entries = IniDocument(text).Entries(section);
    for (auto& entry : entries)
        EndAtNul(&entry.second);
    DropOverlongEntries(section, &entries, overlong);
    return entries;
}

namespace {

// Reads the file (none is an empty one), lets change edit it and writes it back in its place
// with its mode. 1 on success; 0 when it could not be read or written.
template <typename Change>
int EditFile(const char* path, bool createMissing, Change change) {
    std::string text;
    mode_t mode = 0644;
    struct stat info;
    if (stat(path, &info) == 0) {
        if (!S_ISREG(info.st_mode) || access(path, W_OK) != 0)
            return 0;
        mode = info.st_mode & 07777;
        if (!ReadWholeFile(path, &text))
            return 0;
    } else if (errno != ENOENT) {
        return 0;
    } else if (!createMissing) {
        return 1;
    }
    IniDocument document(text);
    change(document);
    return ReplaceFile(path, document.Text(), mode) ? 1 : 0;
}

}  // namespace

int ProfileWriteText(const char* path, const char* section, const char* key, const char* value) {
    if (path == nullptr || section == nullptr || key == nullptr)
        return 0;
    return EditFile(path, true, [&](IniDocument& document) {
        document.Set(section, key, value != nullptr ? value : "");
    });
}

int ProfileRemove(const char* path, const char* section, const char* key) {
    if (path == nullptr || section == nullptr)
        return 0;
    return EditFile(path, false, [&](IniDocument& document) {
        if (key != nullptr)
            document.RemoveKey(section, key);
        else
            document.RemoveSection(section);
    });
}

}  // namespace zamri
