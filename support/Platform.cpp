#include "support/Platform.h"

#include "base/UniqueFd.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace support {

std::string languageOfLocaleName(const std::string& locale) {
    // language[_territory][.codeset][@modifier]
    size_t end = locale.find_first_of("_.@");
    std::string lang = locale.substr(0, end);
    if (lang.empty() || lang == "C" || lang == "POSIX")
        return "en";
    for (char& c : lang) {
        if (c < 'A' || (c > 'Z' && c < 'a') || c > 'z')
            return "en";
        c = char(c | 0x20);
    }
    return lang;
}

std::string localeLanguage() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return languageOfLocaleName(value);
    }
    return "en";
}

std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home == '/')
        return home;
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? size_t(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir)
        return found->pw_dir;
    return "/";
}

std::optional<std::string> absoluteEnvPath(const char* name) {
    const char* value = std::getenv(name);
    if (value && *value == '/')
        return std::string(value);
    return std::nullopt;
}

std::string executablePath() {
    std::error_code error;
    auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : path.string();
}

std::optional<std::string> readFile(const std::string& path, size_t maxBytes) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd)
        return std::nullopt;
    std::string contents;
    char chunk[65536];
    bool ok = true;
    for (;;) {
        ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 || contents.size() + size_t(n) > maxBytes) {
            ok = false;
            break;
        }
        if (n == 0)
            break;
        contents.append(chunk, size_t(n));
    }
    if (!ok)
        return std::nullopt;
    return contents;
}

bool writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

bool writeFileAtomically(const std::string& path, const std::string& contents, unsigned mode) {
    std::string pattern = path + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    UniqueFd fd(::mkostemp(name.data(), O_CLOEXEC));
    if (!fd)
        return false;
    bool ok = ::fchmod(fd.get(), mode) == 0 && writeAll(fd.get(), contents.data(), contents.size()) &&
              ::fsync(fd.get()) == 0;
    ok = fd.close() && ok;
    if (ok && ::rename(name.data(), path.c_str()) != 0)
        ok = false;
    if (!ok) {
        ::unlink(name.data());
        return false;
    }
    // Make the rename itself durable.
    std::string folder = std::filesystem::path(path).parent_path().string();
    UniqueFd dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir)
        ::fsync(dir.get());
    return true;
}

} // namespace support
