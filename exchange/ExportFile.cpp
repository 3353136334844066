#include "exchange/ExportFile.h"

#include "support/Platform.h"

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace exchange {

namespace {

constexpr size_t flushAt = 1 << 16;

// True when the file holds exactly these bytes already.
bool holdsAlready(const std::filesystem::path& path, const std::string& contents) {
    std::error_code error;
    if (std::filesystem::file_size(path, error) != contents.size() || error)
        return false;
    std::ifstream in(path, std::ios::binary);
    std::string held(contents.size(), '\0');
    return in.read(held.data(), static_cast<std::streamsize>(held.size())) && held == contents;
}

} // namespace

ExportFile::~ExportFile() {
    discard();
}

bool ExportFile::open(const std::string& path) {
    discard();
    if (path.empty())
        return false;
    path_ = path;
    temporary_ = path + ".XXXXXX";
    fd_ = ::mkstemp(temporary_.data());
    if (fd_ < 0) {
        temporary_.clear();
        return false;
    }
    ::fchmod(fd_, 0644);
    failed_ = false;
    buffer_.clear();
    return true;
}

void ExportFile::write(std::string_view text) {
    buffer_ += text;
    if (fd_ >= 0 && buffer_.size() >= flushAt)
        flush();
}

void ExportFile::flush() {
    if (fd_ < 0)
        return;
    if (!failed_ && !support::writeAll(fd_, buffer_.data(), buffer_.size()))
        failed_ = true;
    buffer_.clear();
}

bool ExportFile::commit() {
    if (fd_ < 0)
        return false;
    flush();
    bool ok = !failed_ && ::fsync(fd_) == 0;
    ok = ::close(fd_) == 0 && ok;
    fd_ = -1;
    ok = ok && std::rename(temporary_.c_str(), path_.c_str()) == 0;
    if (!ok)
        ::unlink(temporary_.c_str());
    temporary_.clear();
    return ok;
}

void ExportFile::discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
}

bool writeFilesBeside(const std::string& document, const std::string& location,
                      const std::vector<std::pair<std::string, std::string>>& files) {
    namespace fs = std::filesystem;
    if (location.find("://") != std::string::npos || (!location.empty() && location[0] == '/') ||
        location.find("..") != std::string::npos)
        return false;
    const fs::path folder = fs::path(document).parent_path() / location;
    std::error_code error;
    fs::create_directories(folder, error);
    for (const auto& [name, contents] : files) {
        // The icons of an earlier export into the same folder stay as they are: no rewrite and
        // flush to disk on every conversion.
        if (holdsAlready(folder / name, contents))
            continue;
        ExportFile file;
        if (!file.open((folder / name).string()))
            return false;
        file << contents;
        if (!file.commit())
            return false;
    }
    return true;
}

} // namespace exchange
