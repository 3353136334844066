#pragma once
// A poll loop whose timers run on a clock the test moves: sockets, descriptors and posted tasks
// are served as usual, but a timer fires only when advance() takes the clock past it. A test so
// sees a 30 or 90 s timer fire (or not) without waiting for it.

#include "net/PollRunLoop.h"

#include <chrono>
#include <map>
#include <memory>

class ManualTimeLoop : public RunLoop, public std::enable_shared_from_this<ManualTimeLoop> {
public:
    // A loop for the calling thread, made current for it.
    static std::shared_ptr<ManualTimeLoop> install() {
        auto loop = std::make_shared<ManualTimeLoop>();
        RunLoop::setCurrent(loop);
        return loop;
    }

    std::unique_ptr<Source> addSource(int fd, SourceHandler handler) override {
        return inner_->addSource(fd, std::move(handler));
    }
    std::unique_ptr<Timer> addTimer(double seconds, std::function<void()> fired) override {
        const uint64_t id = next_++;
        timers_[id] = {now_ + seconds, std::move(fired)};
        return std::make_unique<Pending>(timers_, id);
    }
    bool runUntil(const std::function<bool()>& done, double seconds) override {
        return inner_->runUntil(done, seconds);
    }
    void post(std::function<void()> task) override { inner_->post(std::move(task)); }
    bool isLoopThread() const override { return inner_->isLoopThread(); }

    // Moves the clock on, firing the timers that fall due, in order.
    void advance(double seconds) {
        const double until = now_ + seconds;
        for (;;) {
            auto next = timers_.end();
            for (auto it = timers_.begin(); it != timers_.end(); ++it)
                if (it->second.due <= until && (next == timers_.end() || it->second.due < next->second.due))
                    next = it;
            if (next == timers_.end())
                break;
            now_ = next->second.due;
            auto fired = std::move(next->second.fired);
            timers_.erase(next);
            fired();
        }
        now_ = until;
    }
    double now() const { return now_; }
    // The clock as a steady clock's time, for what takes one.
    std::chrono::steady_clock::time_point clock() const {
        return std::chrono::steady_clock::time_point(
            std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                std::chrono::duration<double>(now_)));
    }
    size_t pendingTimers() const { return timers_.size(); }

private:
    struct Due {
        double due;
        std::function<void()> fired;
    };
    class Pending : public Timer {
    public:
        Pending(std::map<uint64_t, Due>& timers, uint64_t id) : timers_(timers), id_(id) {}
        ~Pending() override { timers_.erase(id_); }

    private:
        std::map<uint64_t, Due>& timers_;
        uint64_t id_;
    };

    std::shared_ptr<PollRunLoop> inner_ = std::make_shared<PollRunLoop>();
    std::map<uint64_t, Due> timers_;
    uint64_t next_ = 1;
    double now_ = 0.0;
};
