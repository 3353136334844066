#include "support/OSXUtil.h"

#include "base/UniqueFd.h"
#include "support/Platform.h"

#include <algorithm>
#include <bzlib.h>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>
#include <vector>
#if defined(__powerpc__) || defined(__powerpc64__)
#include <asm/cputable.h>
#include <sys/auxv.h>
#endif

namespace {

std::string dataHome() {
    return support::absoluteEnvPath("XDG_DATA_HOME").value_or(support::homeFolder() + "/.local/share");
}

// A user folder from user-dirs.dirs (XDG_DOCUMENTS_DIR="$HOME/Documents"), else the default.
std::string userFolder(const std::string& variable, const std::string& fallback) {
    std::string home = support::homeFolder();
    std::string config = support::absoluteEnvPath("XDG_CONFIG_HOME").value_or(home + "/.config");
    std::ifstream in(config + "/user-dirs.dirs");
    std::string line;
    while (std::getline(in, line)) {
        size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#')
            continue;
        if (line.compare(start, variable.size() + 1, variable + "=") != 0)
            continue;
        std::string value = line.substr(start + variable.size() + 1);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (value.rfind("$HOME", 0) == 0)
            value = home + value.substr(5);
        if (!value.empty() && value.front() == '/')
            return value;
    }
    return home + "/" + fallback;
}

std::optional<std::string> folderForCode(int code) {
    switch (code) {
    case OSXUtil::ApplicationsFolder:
        return support::homeFolder() + "/.local/bin";
    case OSXUtil::LibraryFolder:
    case OSXUtil::ApplicationSupportFolder:
        return dataHome();
    case OSXUtil::DocumentsFolder:
        return userFolder("XDG_DOCUMENTS_DIR", "Documents");
    case OSXUtil::DownloadsFolder:
        return userFolder("XDG_DOWNLOAD_DIR", "Downloads");
    case OSXUtil::TemporaryFolder:
        return OSXUtil::temporaryFolder();
    default:
        return std::nullopt;
    }
}

std::string appendComponent(const std::string& folder, const std::string& name) {
    if (name.empty())
        return folder;
    if (!folder.empty() && folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

std::optional<std::string> expandTilde(const std::string& path) {
    if (path.empty() || path[0] != '~')
        return path;
    size_t slash = path.find('/');
    std::string user = path.substr(1, slash == std::string::npos ? std::string::npos : slash - 1);
    std::string rest = slash == std::string::npos ? std::string() : path.substr(slash);
    if (user.empty())
        return support::homeFolder() + rest;
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? size_t(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwnam_r(user.c_str(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir)
        return std::string(found->pw_dir) + rest;
    return path; // an unknown user: left as written
}

} // namespace

std::optional<std::string> OSXUtil::systemPath(int code, const std::optional<std::string>& name) {
    if (!name)
        return std::nullopt;
    if (!name->empty() && ((*name)[0] == '/' || (*name)[0] == '~'))
        return expandTilde(*name);
    auto folder = folderForCode(code);
    if (!folder)
        return std::nullopt;
    return appendComponent(*folder, *name);
}

std::optional<std::string> OSXUtil::applicationSupportFolder(const std::optional<std::string>& name) {
    if (!name)
        return std::nullopt;
    return appendComponent(dataHome(), *name);
}

std::optional<std::string> OSXUtil::documentsFolder() {
    return folderForCode(DocumentsFolder);
}

std::string OSXUtil::downloadsFolder() {
    std::string folder = *folderForCode(DownloadsFolder);
    struct stat info {};
    if (::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        return folder;
    return support::homeFolder();
}

std::string OSXUtil::temporaryFolder() {
    std::string folder = support::absoluteEnvPath("TMPDIR").value_or("/tmp");
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

FilePtr OSXUtil::fopenForRead(const std::optional<std::string>& path, const std::string& mode) {
    if (!path || path->empty() || mode.empty() || mode[0] != 'r')
        return nullptr;
    return FilePtr(std::fopen(path->c_str(), mode.c_str()));
}

std::optional<std::string> OSXUtil::changeDirectoryToPath(const std::optional<std::string>& path) {
    if (!path || path->empty())
        return std::nullopt;
    struct stat info {};
    if (::stat(path->c_str(), &info) != 0)
        return std::nullopt;
    std::string p = *path;
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    size_t slash = p.rfind('/');
    if (slash == std::string::npos)
        return std::nullopt;
    std::string last = p.substr(slash + 1);
    std::string parent = slash == 0 ? std::string("/") : p.substr(0, slash);
    if (last.empty() || parent.empty() || ::chdir(parent.c_str()) != 0)
        return std::nullopt;
    return last;
}

std::optional<std::string> OSXUtil::stringByEncodingXMLCharacters(const std::optional<std::string>& text) {
    if (!text)
        return std::nullopt;
    std::string out;
    out.reserve(text->size());
    for (char c : *text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string OSXUtil::preferredLanguage() {
    return support::localeLanguage();
}

uint32_t OSXUtil::systemVersion() {
    utsname name{};
    if (::uname(&name) != 0)
        return 0;
    unsigned parts[3] = {0, 0, 0};
    const char* p = name.release;
    for (int i = 0; i < 3 && std::isdigit(static_cast<unsigned char>(*p)); ++i) {
        unsigned long value = std::strtoul(p, const_cast<char**>(&p), 10);
        parts[i] = value > 255 ? 255 : unsigned(value);
        if (*p != '.')
            break;
        ++p;
    }
    return parts[0] << 16 | parts[1] << 8 | parts[2];
}

bool OSXUtil::isOSXVersion(uint32_t version) {
    uint32_t running = systemVersion();
    return running != 0 && running >= version;
}

bool OSXUtil::isX86() {
    utsname name{};
    if (::uname(&name) != 0)
        return false;
    std::string machine = name.machine;
    return machine == "x86_64" || machine == "i386" || machine == "i486" || machine == "i586" ||
           machine == "i686";
}

bool OSXUtil::hasVelocityEngine() {
#if defined(__x86_64__) || defined(__i386__)
    return __builtin_cpu_supports("sse2");
#elif defined(__aarch64__)
    return true;
#elif defined(__powerpc__) || defined(__powerpc64__)
    return (getauxval(AT_HWCAP) & PPC_FEATURE_HAS_ALTIVEC) != 0;
#else
    return false;
#endif
}

bool OSXUtil::hasRAM() {
    // Counted in 64 bits: a 32-bit count turns large memories negative and so "small".
    long pages = sysconf(_SC_PHYS_PAGES);
    long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return false;
    return int64_t(pages) * int64_t(pageSize) <= 268435455;
}

bool OSXUtil::isProcessRunning(const std::string& name) {
    if (name.empty())
        return false;
    std::string wanted = name.substr(0, 15); // the kernel keeps 15 characters of a command name
    std::unique_ptr<DIR, int (*)(DIR*)> proc(::opendir("/proc"), ::closedir);
    if (!proc)
        return false;
    while (dirent* entry = ::readdir(proc.get())) {
        if (!std::isdigit(static_cast<unsigned char>(entry->d_name[0])))
            continue;
        auto comm = support::readFile(std::string("/proc/") + entry->d_name + "/comm", 64);
        if (!comm)
            continue;
        if (!comm->empty() && comm->back() == '\n')
            comm->pop_back();
        if (*comm == wanted)
            return true;
    }
    return false;
}

namespace {

// Decompresses every stream of the file (as the command-line tool does with concatenated
// streams); bytes after the last stream that do not begin a new stream are ignored.
bool decompress(int in, int out) {
    std::vector<char> input(1 << 16), output(1 << 16);
    char* next = input.data();
    size_t avail = 0;
    bool eof = false;
    auto fill = [&] {
        while (avail == 0 && !eof) {
            ssize_t n = ::read(in, input.data(), input.size());
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return false;
            eof = n == 0;
            next = input.data();
            avail = size_t(n);
        }
        return true;
    };
    bool sawStream = false;
    for (;;) {
        if (!fill())
            return false;
        if (avail == 0)
            return sawStream;
        static const char magic[] = "BZh";
        if (sawStream && std::memcmp(next, magic, std::min<size_t>(avail, 3)) != 0)
            return true;
        bz_stream stream{};
        if (BZ2_bzDecompressInit(&stream, 0, 0) != BZ_OK)
            return false;
        struct End {
            bz_stream* s;
            ~End() { BZ2_bzDecompressEnd(s); }
        } end{&stream};
        for (;;) {
            if (!fill())
                return false;
            stream.next_in = next;
            stream.avail_in = unsigned(avail);
            stream.next_out = output.data();
            stream.avail_out = unsigned(output.size());
            int rc = BZ2_bzDecompress(&stream);
            size_t consumed = avail - stream.avail_in;
            next += consumed;
            avail -= consumed;
            size_t produced = output.size() - stream.avail_out;
            if (produced && !support::writeAll(out, output.data(), produced))
                return false;
            if (rc == BZ_STREAM_END)
                break;
            if (rc != BZ_OK)
                return false;
            if (produced == 0 && consumed == 0)
                return false; // truncated: no input left and nothing more to give
        }
        sawStream = true;
    }
}

} // namespace

bool OSXUtil::bUnZip(const std::string& path) {
    // The output is the path without its last extension; a name without one would overwrite
    // the input itself.
    size_t slash = path.rfind('/');
    size_t dot = path.rfind('.');
    if (path.empty() || dot == std::string::npos || (slash != std::string::npos && dot < slash) ||
        dot == (slash == std::string::npos ? 0 : slash + 1))
        return false;
    std::string target = path.substr(0, dot);
    UniqueFd in(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (!in || ::fstat(in.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    std::string pattern = target + ".XXXXXX";
    std::vector<char> temporary(pattern.begin(), pattern.end());
    temporary.push_back('\0');
    UniqueFd out(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!out)
        return false;
    bool ok = decompress(in.get(), out.get()) && ::fchmod(out.get(), info.st_mode & 0777) == 0 &&
              ::fsync(out.get()) == 0;
    ok = out.close() && ok;
    if (ok && ::rename(temporary.data(), target.c_str()) == 0)
        return true;
    ::unlink(temporary.data());
    return false;
}
