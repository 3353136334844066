#include "net/PollRunLoop.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

class PollRunLoop::PollSource : public RunLoop::Source {
public:
    PollSource(PollRunLoop* loop, uint64_t id) : loop_(loop), id_(id) {}
    ~PollSource() override { loop_->watches_.erase(id_); }
    void setReadEnabled(bool on) override { loop_->watches_.at(id_).read = on; }
    void setWriteEnabled(bool on) override { loop_->watches_.at(id_).write = on; }

private:
    PollRunLoop* loop_;
    uint64_t id_;
};

class PollRunLoop::PollTimer : public RunLoop::Timer {
public:
    PollTimer(PollRunLoop* loop, uint64_t id) : loop_(loop), id_(id) {}
    ~PollTimer() override { loop_->timers_.remove(id_); }

private:
    PollRunLoop* loop_;
    uint64_t id_;
};

std::shared_ptr<PollRunLoop> PollRunLoop::install() {
    auto loop = std::make_shared<PollRunLoop>();
    RunLoop::setCurrent(loop);
    return loop;
}

PollRunLoop::PollRunLoop() : owner_(std::this_thread::get_id()) {
    int ends[2];
    if (::pipe2(ends, O_NONBLOCK | O_CLOEXEC) == 0) {
        wakeRead_ = ends[0];
        wakeWrite_ = ends[1];
    }
}

PollRunLoop::~PollRunLoop() {
    if (wakeRead_ >= 0)
        ::close(wakeRead_);
    if (wakeWrite_ >= 0)
        ::close(wakeWrite_);
}

std::unique_ptr<RunLoop::Source> PollRunLoop::addSource(int fd, SourceHandler handler) {
    const uint64_t id = nextId_++;
    watches_.emplace(id, Watch{fd, true, false, std::move(handler)});
    return std::make_unique<PollSource>(this, id);
}

std::unique_ptr<RunLoop::Timer> PollRunLoop::addTimer(double seconds, std::function<void()> fired) {
    const uint64_t id = nextId_++;
    timers_.add(id, seconds, std::move(fired));
    return std::make_unique<PollTimer>(this, id);
}

void PollRunLoop::post(std::function<void()> task) {
    std::lock_guard lock(postedMutex_);
    posted_.push_back(std::move(task));
    if (!wakePending_ && wakeWrite_ >= 0) {
        wakePending_ = true;
        const char one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wakeWrite_, &one, 1);
    }
}

bool PollRunLoop::isLoopThread() const {
    return std::this_thread::get_id() == owner_;
}

bool PollRunLoop::runUntil(const std::function<bool()>& done, double seconds) {
    return turnUntil(done, seconds, [this](std::chrono::milliseconds most) { runOnce(most); });
}

void PollRunLoop::runOnce(std::chrono::milliseconds timeout) {
    timeout = timers_.clip(timeout);
    std::vector<pollfd> fds;
    std::vector<uint64_t> ids;
    fds.push_back({wakeRead_, POLLIN, 0});
    for (const auto& [id, watch] : watches_) {
        const short events = static_cast<short>((watch.read ? POLLIN : 0) | (watch.write ? POLLOUT : 0));
        if (events == 0)
            continue;
        fds.push_back({watch.fd, events, 0});
        ids.push_back(id);
    }
    const int ready = ::poll(fds.data(), fds.size(), static_cast<int>(timeout.count()));
    if (ready > 0) {
        for (size_t i = 1; i < fds.size(); ++i) {
            const short got = fds[i].revents;
            // A handler may have removed this source, or any other, meanwhile.
            auto it = watches_.find(ids[i - 1]);
            if (got == 0 || it == watches_.end())
                continue;
            const bool failed = (got & (POLLERR | POLLHUP | POLLNVAL)) != 0;
            const bool readable = it->second.read && ((got & POLLIN) || failed);
            const bool writable = it->second.write && ((got & POLLOUT) || failed);
            if (readable || writable) {
                const SourceHandler handler = it->second.handler; // survives the source's removal
                handler(readable, writable);
            }
        }
        if (fds[0].revents & POLLIN) {
            char drain[64];
            while (::read(wakeRead_, drain, sizeof drain) > 0) {
            }
        }
    }
    timers_.runDue();
    runPosted();
}

void PollRunLoop::runPosted() {
    std::vector<std::function<void()>> tasks;
    {
        std::lock_guard lock(postedMutex_);
        tasks.swap(posted_);
        wakePending_ = false;
    }
    for (auto& task : tasks)
        task();
}
