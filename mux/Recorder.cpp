#include "mux/Recorder.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

Recorder::Recorder(std::chrono::milliseconds flushEvery, std::chrono::milliseconds syncEvery)
    : flushEvery_(flushEvery), syncEvery_(syncEvery) {
}

Recorder::~Recorder() {
    stop();
    finish();
}

std::optional<std::string> Recorder::start(const std::string& path, Ended ended) {
    finish(); // the last recording's writer, if it is still at work
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (!fd)
        return std::string(std::strerror(errno));
    fd_ = std::move(fd);
    written_ = writtenLines_ = 0;
    {
        std::lock_guard lock(lock_);
        recording_ = writing_ = true;
        queue_.clear();
        path_ = path;
        lines_ = bytes_ = dropped_ = 0;
        ended_ = std::move(ended);
    }
    writer_ = std::thread([this] { run(); });
    return std::nullopt;
}

void Recorder::stop() {
    {
        std::lock_guard lock(lock_);
        recording_ = false;
    }
    wake_.notify_all();
}

void Recorder::finish() {
    if (writer_.joinable())
        writer_.join();
}

Recorder::Status Recorder::status() const {
    std::lock_guard lock(lock_);
    return {recording_, writing_, path_, lines_, bytes_, dropped_};
}

void Recorder::line(const Bytes& line) {
    std::unique_lock lock(lock_);
    if (!recording_)
        return;
    if (queue_.size() + line.size() > kQueueBytes) {
        ++dropped_;
        return;
    }
    queue_.append(reinterpret_cast<const char*>(line.data()), line.size());
    ++lines_;
    bytes_ += line.size();
    const bool wake = queue_.size() >= kWakeBytes && queue_.size() - line.size() < kWakeBytes;
    lock.unlock();
    if (wake)
        wake_.notify_one();
}

void Recorder::run() {
    using Clock = std::chrono::steady_clock;
    std::string batch;
    Clock::time_point synced = Clock::now();
    bool unsynced = false;
    for (;;) {
        bool last;
        {
            std::unique_lock lock(lock_);
            wake_.wait_for(lock, flushEvery_, [this] { return !recording_ || queue_.size() >= kWakeBytes; });
            batch.swap(queue_);
            last = !recording_;
        }
        int error = 0;
        if (!batch.empty() && !writeAll(batch, &error))
            return fail(error);
        unsynced = unsynced || !batch.empty();
        batch.clear();
        if (last)
            break;
        if (unsynced && Clock::now() - synced >= syncEvery_) {
            if (!sync())
                return fail(errno);
            synced = Clock::now();
            unsynced = false;
        }
    }
    // On the medium before it counts as saved: a stick pulled right after Stop keeps its lines.
    const bool saved = sync();
    const int error = errno;
    if (!fd_.close() || !saved)
        return fail(saved ? errno : error);
    End end;
    {
        std::lock_guard lock(lock_);
        writing_ = false;
        end = {path_, writtenLines_, written_, {}};
    }
    if (ended_)
        ended_(end);
}

bool Recorder::sync() {
    return ::fdatasync(fd_.get()) == 0 || errno == EINVAL; // EINVAL: a device or pipe
}

bool Recorder::writeAll(const std::string& batch, int* error) {
    size_t done = 0;
    while (done < batch.size()) {
        const ssize_t n = ::write(fd_.get(), batch.data() + done, batch.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *error = n < 0 ? errno : ENOSPC;
            // Keep the whole lines of what went in; the cut one would play as a broken sentence.
            const size_t kept = batch.rfind('\n', done == 0 ? std::string::npos : done - 1);
            const size_t whole = done == 0 || kept == std::string::npos ? 0 : kept + 1;
            written_ += whole;
            writtenLines_ += uint64_t(std::count(batch.begin(), batch.begin() + long(whole), '\n'));
            [[maybe_unused]] const int cut = ::ftruncate(fd_.get(), off_t(written_));
            return false;
        }
        done += size_t(n);
    }
    written_ += batch.size();
    writtenLines_ += uint64_t(std::count(batch.begin(), batch.end(), '\n'));
    return true;
}

// The recording ends here: no more lines are taken, what is in the file stays.
void Recorder::fail(int error) {
    fd_.reset();
    End end;
    {
        std::lock_guard lock(lock_);
        recording_ = writing_ = false;
        queue_.clear();
        lines_ = writtenLines_;
        bytes_ = written_;
        end = {path_, writtenLines_, written_, std::strerror(error)};
    }
    if (ended_)
        ended_(end);
}
