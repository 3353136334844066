#include "mux/NMEAFile.h"

NMEAFile::NMEAFile(NMEALogReader::ReadAt readAt)
    : reader_(NMEALogReader::kBlock, NMEALogReader::kHeldLine, std::move(readAt)) {
}

std::shared_ptr<NMEAFile> NMEAFile::open(const std::string& path, NMEALogReader::ReadAt readAt) {
    std::shared_ptr<NMEAFile> file(new NMEAFile(std::move(readAt)));
    if (!file->reader_.open(path))
        return nullptr;
    return file;
}

NMEAFile::~NMEAFile() {
    cancel();
    if (thread_.joinable())
        thread_.join();
}

void NMEAFile::begin(std::function<void(NMEAFile*)> ready) {
    if (thread_.joinable())
        return;
    ready_ = std::move(ready);
    thread_ = std::thread([this] { run(); });
}

void NMEAFile::cancel() {
    {
        std::lock_guard lock(lock_);
        stop_ = true;
    }
    room_.notify_all();
}

void NMEAFile::run() {
    const bool prepared = reader_.prepare(&stop_);
    {
        std::unique_lock lock(lock_);
        if (stop_)
            return;
        prepared_ = true;
        end_ = failed_ = !prepared;
        total_ = reader_.total();
        counting_ = prepared && !total_;
        bool announced = false;
        while (!end_ || counting_) {
            room_.wait(lock, [this] { return stop_ || (lowWater() && !end_) || counting_; });
            if (stop_)
                return;
            if (lowWater() && !end_) {
                while (!stop_ && hasRoom() && fillOne(lock)) {
                }
            } else {
                lock.unlock();
                const bool more = reader_.countMore();
                lock.lock();
                counting_ = more;
                if (!more && !total_)
                    total_ = reader_.total();
            }
            if (!announced && (end_ || !hasRoom())) {
                announced = true;
                lock.unlock();
                if (ready_)
                    ready_(this);
                lock.lock();
            }
        }
        if (announced)
            return;
    }
    if (ready_ && !stop_)
        ready_(this); // nothing to read at all
}

// Reads one more line into the queue; at the end, the count is what was read.
bool NMEAFile::fillOne(std::unique_lock<std::mutex>& lock) {
    lock.unlock();
    auto line = reader_.next();
    lock.lock();
    if (line) {
        ++read_;
        aheadBytes_ += line->text.size();
        ahead_.push_back(std::move(*line));
        return true;
    }
    end_ = true;
    failed_ = reader_.failed();
    counting_ = false;
    shortened_ = !failed_ && total_ && read_ < *total_;
    if (!failed_ && !shortened_)
        total_ = read_;
    return false;
}

NMEAFile::Next NMEAFile::take(Line* line) {
    std::lock_guard lock(lock_);
    if (stop_)
        return Next::End; // stopped: what was taken before is all that goes
    if (ahead_.empty())   // what was read before a failure still goes out
        return end_ ? Next::End : Next::NotYet;
    const bool wasLow = lowWater();
    *line = std::move(ahead_.front());
    ahead_.pop_front();
    aheadBytes_ -= line->text.size();
    ++taken_;
    takenBytes_ = line->end();
    if (!wasLow && lowWater())
        room_.notify_one();
    return Next::Line;
}

void NMEAFile::markFailed() {
    std::lock_guard lock(lock_);
    failed_ = end_ = true;
    counting_ = false;
    ahead_.clear();
    aheadBytes_ = 0;
    room_.notify_all();
}

NMEAFile::Progress NMEAFile::progress() const {
    std::lock_guard lock(lock_);
    Progress p;
    p.preparing = !prepared_;
    p.taken = taken_;
    p.total = total_;
    p.bytes = prepared_ ? takenBytes_ : reader_.scanned();
    p.size = reader_.size();
    p.failed = failed_;
    p.shortened = shortened_;
    return p;
}
