#include "net/EpollRunLoop.h"

#include <algorithm>
#include <sys/epoll.h>
#include <sys/eventfd.h>

class EpollRunLoop::EpollSource : public RunLoop::Source {
public:
    EpollSource(EpollRunLoop* loop, uint64_t id) : loop_(loop), id_(id) {}
    ~EpollSource() override {
        auto it = loop_->watches_.find(id_);
        ::epoll_ctl(loop_->epoll_.get(), EPOLL_CTL_DEL, it->second.fd, nullptr);
        loop_->watches_.erase(it);
    }
    void setReadEnabled(bool on) override { set(&Watch::read, on); }
    void setWriteEnabled(bool on) override { set(&Watch::write, on); }

private:
    void set(bool Watch::*direction, bool on) {
        Watch& watch = loop_->watches_.at(id_);
        if (watch.*direction == on)
            return; // no system call for a change that is none
        watch.*direction = on;
        loop_->update(id_, watch, EPOLL_CTL_MOD);
    }
    EpollRunLoop* loop_;
    uint64_t id_;
};

class EpollRunLoop::EpollTimer : public RunLoop::Timer {
public:
    EpollTimer(EpollRunLoop* loop, uint64_t id) : loop_(loop), id_(id) {}
    ~EpollTimer() override { loop_->timers_.remove(id_); }

private:
    EpollRunLoop* loop_;
    uint64_t id_;
};

EpollRunLoop::EpollRunLoop()
    : epoll_(::epoll_create1(EPOLL_CLOEXEC)), wake_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)),
      owner_(std::this_thread::get_id()) {
    if (!valid())
        return;
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = 0;
    ::epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, wake_.get(), &event);
}

std::unique_ptr<RunLoop::Source> EpollRunLoop::addSource(int fd, SourceHandler handler) {
    const uint64_t id = nextId_++;
    Watch& watch = watches_.emplace(id, Watch{fd, true, false, std::move(handler)}).first->second;
    update(id, watch, EPOLL_CTL_ADD);
    return std::make_unique<EpollSource>(this, id);
}

void EpollRunLoop::update(uint64_t id, Watch& watch, int op) {
    epoll_event event{};
    event.events = (watch.read ? EPOLLIN : 0u) | (watch.write ? EPOLLOUT : 0u);
    event.data.u64 = id;
    ::epoll_ctl(epoll_.get(), op, watch.fd, &event);
}

std::unique_ptr<RunLoop::Timer> EpollRunLoop::addTimer(double seconds, std::function<void()> fired) {
    const uint64_t id = nextId_++;
    timers_.add(id, seconds, std::move(fired));
    return std::make_unique<EpollTimer>(this, id);
}

void EpollRunLoop::post(std::function<void()> task) {
    std::lock_guard lock(postedMutex_);
    posted_.push_back(std::move(task));
    if (wakePending_)
        return; // one wake-up carries every task posted before the loop takes them
    wakePending_ = true;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wake_.get(), &one, sizeof one);
}

bool EpollRunLoop::isLoopThread() const {
    return std::this_thread::get_id() == owner_;
}

bool EpollRunLoop::runUntil(const std::function<bool()>& done, double seconds) {
    return turnUntil(done, seconds, [this](std::chrono::milliseconds most) { runOnce(most); });
}

void EpollRunLoop::runOnce(std::chrono::milliseconds timeout) {
    timeout = timers_.clip(timeout);
    epoll_event ready[256];
    const int n = ::epoll_wait(epoll_.get(), ready, 256, static_cast<int>(timeout.count()));
    for (int i = 0; i < n; ++i) {
        const uint64_t id = ready[i].data.u64;
        if (id == 0) {
            uint64_t count = 0;
            [[maybe_unused]] const ssize_t got = ::read(wake_.get(), &count, sizeof count);
            continue;
        }
        // A handler may have removed this source, or any other, meanwhile.
        auto it = watches_.find(id);
        if (it == watches_.end())
            continue;
        const uint32_t got = ready[i].events;
        const bool failed = (got & (EPOLLERR | EPOLLHUP)) != 0;
        const bool deaf = !it->second.read && !it->second.write;
        const bool readable = (it->second.read || deaf) && ((got & EPOLLIN) || failed);
        const bool writable = it->second.write && ((got & EPOLLOUT) || failed);
        if (readable || writable) {
            const SourceHandler handler = it->second.handler; // survives the source's removal
            handler(readable, writable);
        }
    }
    timers_.runDue();
    runPosted();
}

void EpollRunLoop::runPosted() {
    {
        std::lock_guard lock(postedMutex_);
        running_.swap(posted_); // both keep their storage: no allocation per turn
        wakePending_ = false;
    }
    for (auto& task : running_)
        task();
    running_.clear();
}
