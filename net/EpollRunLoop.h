#pragma once
// A RunLoop over epoll(7) for a thread that watches many descriptors: the cost of a turn follows
// the descriptors that are ready, not the number watched. The thread that constructs it runs it.
// A source with neither direction enabled still hears of a hang-up or an error on its descriptor,
// as a read event: a peer that has stopped sending is not watched for more, but its reset is.

#include "base/UniqueFd.h"
#include "net/OneShotTimers.h"
#include "net/RunLoop.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

class EpollRunLoop : public RunLoop {
public:
    EpollRunLoop();
    EpollRunLoop(const EpollRunLoop&) = delete;
    EpollRunLoop& operator=(const EpollRunLoop&) = delete;

    bool valid() const { return epoll_ && wake_; }

    std::unique_ptr<Source> addSource(int fd, SourceHandler handler) override;
    std::unique_ptr<Timer> addTimer(double seconds, std::function<void()> fired) override;
    bool runUntil(const std::function<bool()>& done, double seconds) override;
    void post(std::function<void()> task) override;
    bool isLoopThread() const override;

    // One turn: waits at most the timeout (or until the next timer), then delivers the ready
    // descriptors, the due timers and the posted tasks.
    void runOnce(std::chrono::milliseconds timeout);

private:
    using Clock = std::chrono::steady_clock;
    struct Watch {
        int fd;
        bool read = true, write = false;
        SourceHandler handler;
    };
    class EpollSource;
    class EpollTimer;

    void update(uint64_t id, Watch& watch, int op);
    void runPosted();

    UniqueFd epoll_, wake_;
    std::unordered_map<uint64_t, Watch> watches_;
    OneShotTimers timers_;
    uint64_t nextId_ = 1; // 0 is the wake descriptor's
    std::thread::id owner_;
    std::mutex postedMutex_;
    std::vector<std::function<void()>> posted_, running_;
    bool wakePending_ = false;
};
