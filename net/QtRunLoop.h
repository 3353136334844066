#pragma once
// A RunLoop over the Qt event loop of the thread that makes it: descriptors through
// QSocketNotifier, timers through QTimer, posted tasks as queued calls.

#include "net/RunLoop.h"

#include <QObject>
#include <memory>

class QtRunLoop : public RunLoop {
public:
    // The calling thread's current loop when it is a QtRunLoop, else a new one made current.
    // The caller keeps it for as long as sockets should be served on this thread.
    static std::shared_ptr<RunLoop> install();

    QtRunLoop();
    ~QtRunLoop() override;

    std::unique_ptr<Source> addSource(int fd, SourceHandler handler) override;
    std::unique_ptr<Timer> addTimer(double seconds, std::function<void()> fired) override;
    bool runUntil(const std::function<bool()>& done, double seconds) override;
    void post(std::function<void()> task) override;
    bool isLoopThread() const override;

private:
    class NotifierSource;
    class OneShot;
    std::unique_ptr<QObject> context_; // lives on the loop's thread; queued calls target it
};
