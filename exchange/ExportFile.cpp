#include "exchange/ExportFile.h"

#include "support/Platform.h"

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace exchange {

namespace {
constexpr size_t flushAt = 1 << 16;
}

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

} // namespace exchange
