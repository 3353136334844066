#include "nav/NMEALogReader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr size_t kCountBlocks = 16; // counting reads this many blocks at a time

ssize_t readFile(int fd, void* buffer, size_t length, uint64_t offset) {
    ssize_t n;
    do
        n = ::pread(fd, buffer, length, static_cast<off_t>(offset));
    while (n < 0 && errno == EINTR);
    return n;
}

} // namespace

NMEALogReader::NMEALogReader(size_t block, size_t heldLine, ReadAt readAt)
    : block_(std::max<size_t>(block, 1)), heldLine_(heldLine), read_(readAt ? std::move(readAt) : readFile) {
}

bool NMEALogReader::open(const std::string& path) {
    // Not blocking: a named pipe without a writer would hold the caller at the open.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat st {};
    if (!fd || ::fstat(fd.get(), &st) != 0)
        return false;
    char first;
    if (read_(fd.get(), &first, 1, 0) < 0) // a folder, a pipe, a device that refuses
        return false;
    size_ = S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
    fd_ = std::move(fd);
    buffer_.resize(block_);
    return true;
}

bool NMEALogReader::prepare(const std::atomic<bool>* stop) {
    if (split_)
        return true;
    if (!fd_)
        return false;
    std::vector<char> block(block_);
    uint64_t at = 0, returns = 0;
    for (;;) {
        if (stop != nullptr && stop->load())
            return false;
        const ssize_t n = read_(fd_.get(), block.data(), block.size(), at);
        if (n < 0) {
            failed_ = true;
            return false;
        }
        if (n == 0)
            break;
        const auto got = static_cast<size_t>(n);
        if (std::memchr(block.data(), '\n', got) != nullptr) {
            split_ = Split::LineFeed;
            separator_ = '\n';
            scanned_ = at + got;
            return true;
        }
        returns += static_cast<uint64_t>(std::count(block.data(), block.data() + got, '\r'));
        at += got;
        scanned_ = at;
    }
    // No line feed anywhere: the carriage returns split it, and the whole file has been counted.
    split_ = Split::CarriageReturn;
    separator_ = '\r';
    total_ = returns + 1;
    counted_ = true;
    return true;
}

bool NMEALogReader::fill() {
    if (atEnd_)
        return false;
    const uint64_t at = bufferAt_ + filled_;
    const ssize_t n = read_(fd_.get(), buffer_.data(), buffer_.size(), at);
    if (n <= 0) {
        failed_ = n < 0;
        atEnd_ = true;
        return false;
    }
    bufferAt_ = at;
    used_ = 0;
    filled_ = static_cast<size_t>(n);
    return true;
}

std::optional<NMEALogReader::Piece> NMEALogReader::next() {
    if (done_ || failed_ || !split_)
        return std::nullopt;
    Piece piece;
    piece.offset = pieceStart_;
    piece.held = true;
    uint64_t dollar = npos, bang = npos;
    auto scan = [&](const char* bytes, size_t length, uint64_t offset) {
        if (dollar != npos)
            return;
        if (auto* d = static_cast<const char*>(std::memchr(bytes, '$', length)))
            dollar = offset + static_cast<uint64_t>(d - bytes);
        else if (bang == npos)
            if (auto* b = static_cast<const char*>(std::memchr(bytes, '!', length)))
                bang = offset + static_cast<uint64_t>(b - bytes);
    };
    bool separated = false;
    while (!separated) {
        if (used_ == filled_ && !fill()) {
            if (failed_)
                return std::nullopt;
            break; // the file's last piece
        }
        const char* from = buffer_.data() + used_;
        const size_t available = filled_ - used_;
        const auto* hit = static_cast<const char*>(std::memchr(from, separator_, available));
        const size_t take = hit != nullptr ? static_cast<size_t>(hit - from) : available;
        if (piece.held && piece.text.size() + take > heldLine_) {
            piece.held = false; // too long to hold: from here on only where its sentence starts
            scan(piece.text.data(), piece.text.size(), piece.offset);
            std::string().swap(piece.text);
        }
        if (piece.held)
            piece.text.append(from, take);
        else
            scan(from, take, bufferAt_ + used_);
        piece.length += take;
        used_ += take;
        separated = hit != nullptr;
        if (separated)
            ++used_;
    }
    if (!separated)
        done_ = true;
    if (piece.held)
        scan(piece.text.data(), piece.text.size(), piece.offset);
    piece.sentence = dollar != npos ? dollar : bang;
    pieceStart_ = piece.end() + (separated ? 1 : 0);
    return piece;
}

bool NMEALogReader::countMore() {
    if (counted_ || !split_)
        return false;
    countBuffer_.resize(block_ * kCountBlocks);
    const ssize_t n = read_(fd_.get(), countBuffer_.data(), countBuffer_.size(), countAt_);
    if (n <= 0) {
        counted_ = true;
        if (n == 0)
            total_ = separators_ + 1;
        std::vector<char>().swap(countBuffer_);
        return false;
    }
    separators_ +=
        static_cast<uint64_t>(std::count(countBuffer_.data(), countBuffer_.data() + n, separator_));
    countAt_ += static_cast<uint64_t>(n);
    return true;
}

size_t NMEALogReader::readAt(uint64_t offset, char* into, size_t length) const {
    size_t done = 0;
    while (done < length) {
        const ssize_t n = read_(fd_.get(), into + done, length - done, offset + done);
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    return done;
}
