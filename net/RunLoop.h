#pragma once
// The event loop a socket is scheduled on: readiness of descriptors, one-shot timers and tasks
// posted from any thread, all delivered on the loop's own thread. One implementation drives the
// console's Qt event loop (QtRunLoop), another a plain poll loop for programs without Qt
// (PollRunLoop), and an epoll loop the server's sending threads (EpollRunLoop).

#include <chrono>
#include <functional>
#include <memory>

class RunLoop {
public:
    // A descriptor watched by the loop. Read readiness is on from the start; write readiness is
    // armed only on request. Destroying the source stops the events at once.
    class Source {
    public:
        virtual ~Source() = default;
        virtual void setReadEnabled(bool on) = 0;
        virtual void setWriteEnabled(bool on) = 0;
    };
    // A pending one-shot timer; destroying it cancels it.
    class Timer {
    public:
        virtual ~Timer() = default;
    };

    using SourceHandler = std::function<void(bool readable, bool writable)>;

    virtual ~RunLoop() = default;

    // Called on the loop's thread only.
    virtual std::unique_ptr<Source> addSource(int fd, SourceHandler handler) = 0;
    virtual std::unique_ptr<Timer> addTimer(double seconds, std::function<void()> fired) = 0;
    // Runs the loop on the calling (the loop's) thread until done() holds or the time is up;
    // answers done().
    virtual bool runUntil(const std::function<bool()>& done, double seconds) = 0;

    // Safe from any thread: the task runs later on the loop's thread, in posting order.
    virtual void post(std::function<void()> task) = 0;
    // True on the loop's own thread.
    virtual bool isLoopThread() const = 0;

    // The loop the calling thread has made current, if any.
    static std::shared_ptr<RunLoop> current();
    // Makes the loop current for the calling thread (empty: none). The thread keeps a weak
    // reference; the caller keeps the loop alive.
    static void setCurrent(const std::shared_ptr<RunLoop>& loop);

protected:
    // runUntil for a loop that turns by itself: turns of at most 10 ms, so that a condition
    // changed by another thread is seen soon, until done() holds or the time is up.
    static bool turnUntil(const std::function<bool()>& done, double seconds,
                          const std::function<void(std::chrono::milliseconds)>& turn);
};
