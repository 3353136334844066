#pragma once
// The sending half of a NetSocket, shared with writers on any thread: the descriptor the bytes go
// to, whether the connection stands, and the bytes the system has not taken yet, in order, up to
// a limit. It never waits on the network. What only the owning thread may do (watch for room,
// close after a failure) it leaves to the socket, saying when: once each, until done.

#include "net/ByteQueue.h"
#include "net/RunLoop.h"

#include <atomic>
#include <cstddef>
#include <limits>
#include <memory>
#include <mutex>

class SocketSender {
public:
    static constexpr size_t kNoLimit = std::numeric_limits<size_t>::max();

    enum class Outcome {
        Dropped,      // not connected, failing, or nothing to send
        Sent,         // everything went out
        Waiting,      // bytes wait and the socket already watches for room
        WatchForRoom, // bytes wait: the socket must start watching for room
        Fail,         // the connection failed (or fell too far behind): the socket must close
    };

    // The owning thread.
    void attach(int fd);
    // Stops every writer: no byte goes to the descriptor after this returns.
    void detach();
    void setLoop(std::shared_ptr<RunLoop> loop);
    void setConnected(bool connected) { connected_ = connected; }

    // Any thread.
    bool connected() const { return connected_.load(); }
    std::shared_ptr<RunLoop> loop() const;
    size_t waiting() const;
    bool watching() const;
    bool failing() const;
    void setLimit(size_t bytes);
    Outcome write(const void* bytes, size_t length);

    // The owning thread, when the descriptor has room.
    Outcome drain();

private:
    Outcome sendWaiting();
    Outcome fail();

    mutable std::mutex mutex_;
    int fd_ = -1;
    std::atomic<bool> connected_{false};
    std::shared_ptr<RunLoop> loop_;
    ByteQueue waiting_;
    size_t limit_ = kNoLimit;
    bool watching_ = false; // the socket watches for room, or has been asked to
    bool failing_ = false;  // the socket has been asked to close
};
