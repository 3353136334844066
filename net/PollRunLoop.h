#pragma once
// A RunLoop over poll(2) for programs without Qt: the thread that constructs it runs it.

#include "net/OneShotTimers.h"
#include "net/RunLoop.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

class PollRunLoop : public RunLoop, public std::enable_shared_from_this<PollRunLoop> {
public:
    // A loop for the calling thread, made current for it.
    static std::shared_ptr<PollRunLoop> install();

    PollRunLoop();
    ~PollRunLoop() override;
    PollRunLoop(const PollRunLoop&) = delete;
    PollRunLoop& operator=(const PollRunLoop&) = delete;

    std::unique_ptr<Source> addSource(int fd, SourceHandler handler) override;
    std::unique_ptr<Timer> addTimer(double seconds, std::function<void()> fired) override;
    bool runUntil(const std::function<bool()>& done, double seconds) override;
    void post(std::function<void()> task) override;
    bool isLoopThread() const override;

    // One turn: waits at most the timeout (or until the next timer) for events, then delivers
    // them, the due timers and the posted tasks. A signal ends the wait early.
    void runOnce(std::chrono::milliseconds timeout);

private:
    using Clock = std::chrono::steady_clock;
    struct Watch {
        int fd;
        bool read = true, write = false;
        SourceHandler handler;
    };
    class PollSource;
    class PollTimer;

    void runPosted();

    std::map<uint64_t, Watch> watches_;
    OneShotTimers timers_;
    uint64_t nextId_ = 1;
    int wakeRead_ = -1, wakeWrite_ = -1;
    std::thread::id owner_;
    std::mutex postedMutex_;
    std::vector<std::function<void()>> posted_;
    bool wakePending_ = false;
};
