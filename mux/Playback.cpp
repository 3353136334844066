#include "mux/Playback.h"

#include <algorithm>
#include <vector>

Playback::Playback(GPSTransfer& sender, NMEALogReader::ReadAt readAt)
    : sender_(sender), readAt_(std::move(readAt)) {
}

Playback::~Playback() {
    stop();
}

bool Playback::start(const std::string& path) {
    {
        std::lock_guard lock(lock_);
        if (preparing_ || nmeaFile_)
            return false;
    }
    auto file = NMEAFile::open(path, readAt_);
    if (!file)
        return false;
    {
        std::lock_guard lock(lock_);
        preparing_ = file;
        sent_ = skipped_ = 0;
    }
    file->begin([this](NMEAFile* f) { ready(f); });
    return true;
}

// On the file's thread: its first lines are waiting, so it goes into play. A file that failed
// at once goes too; the next step finds it at its end.
void Playback::ready(NMEAFile* file) {
    std::lock_guard lock(lock_);
    if (preparing_.get() == file)
        nmeaFile_ = std::move(preparing_);
}

void Playback::stop() {
    std::shared_ptr<NMEAFile> released[2];
    {
        std::lock_guard lock(lock_);
        for (auto* slot : {&preparing_, &nmeaFile_})
            if (*slot) {
                (*slot)->cancel();
                lastEnd_ = End{(*slot)->progress().taken, sent_, skipped_, false, true, false};
            }
        released[0] = std::move(preparing_);
        released[1] = std::move(nmeaFile_);
    }
    // Released outside the lock: a file waits for its thread, which may be asking for the lock.
}

bool Playback::playing() const {
    std::lock_guard lock(lock_);
    return preparing_ || nmeaFile_;
}

bool Playback::inPlay() const {
    std::lock_guard lock(lock_);
    return nmeaFile_ != nullptr;
}

std::optional<NMEAFile::Progress> Playback::progress() const {
    std::lock_guard lock(lock_);
    if (nmeaFile_)
        return nmeaFile_->progress();
    if (preparing_)
        return preparing_->progress();
    return std::nullopt;
}

std::optional<Playback::End> Playback::lastEnd() const {
    std::lock_guard lock(lock_);
    return lastEnd_;
}

void Playback::turn(bool lineRead) {
    std::shared_ptr<NMEAFile> file;
    {
        std::lock_guard lock(lock_);
        file = nmeaFile_;
    }
    if (!file)
        return;
    const int sends = lineRead ? kAfterLine : kAfterSilence;
    for (int i = 0; i < sends && !file->cancelled(); ++i) {
        NMEAFile::Line line;
        switch (file->take(&line)) {
        case NMEAFile::Next::NotYet:
            return; // the disk is behind: the next turn goes on
        case NMEAFile::Next::End:
            finish(file);
            return;
        case NMEAFile::Next::Line:
            send(*file, line);
            break;
        }
    }
}

void Playback::finish(const std::shared_ptr<NMEAFile>& file) {
    std::shared_ptr<NMEAFile> released;
    std::lock_guard lock(lock_);
    if (nmeaFile_ != file)
        return; // stopped meanwhile
    const NMEAFile::Progress p = file->progress();
    lastEnd_ = End{p.taken, sent_, skipped_, p.failed, false, p.shortened};
    released = std::move(nmeaFile_); // the caller still holds it: released when its step ends
}

// From the line's first "$" (else "!") to its end, then CR LF; a line with neither is skipped.
void Playback::send(NMEAFile& file, const NMEAFile::Line& line) {
    if (line.sentence == NMEALogReader::npos) {
        if (line.text.find_first_not_of(" \t\r") != std::string::npos ||
            (!line.held && line.end() > line.offset))
            ++skipped_;
        return;
    }
    ++sent_;
    if (line.held) {
        sender_.sendNMEACommandWithOutCheckSum(
            std::string_view(line.text).substr(line.sentence - line.offset));
        return;
    }
    longLine_ = true;
    std::vector<char> block(NMEALogReader::kBlock); // read in blocks, written in the sender's pieces
    size_t used = 0, filled = 0;
    uint64_t at = line.sentence;
    bool unreadable = false;
    sender_.sendLineInPieces([&](uint8_t* buffer, size_t capacity) -> size_t {
        if (file.cancelled()) // seen between two pieces, even at 4800 bit/s
            return 0;
        if (used == filled) {
            if (at >= line.end())
                return 0;
            filled = file.readAt(at, block.data(), size_t(std::min<uint64_t>(block.size(), line.end() - at)));
            used = 0;
            at += filled;
            unreadable = filled == 0;
        }
        const size_t n = std::min(capacity, filled - used);
        std::copy_n(block.data() + used, n, buffer);
        used += n;
        return n;
    });
    longLine_ = false;
    if (unreadable)
        file.markFailed();
}
