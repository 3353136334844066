#pragma once
// One socket (a TCP listener, a TCP connection or a UDP socket) with an incoming and an
// outgoing byte buffer, an optional connection timer and a delegate. Events arrive on the thread
// of the run loop the socket is scheduled on. Neither reading nor writing ever waits on the
// network. Sockets are always held by std::shared_ptr (the factories make them so).
//
// Threads: everything but write() belongs to the owning (scheduling) thread. write() may be
// called from any thread: what the socket does not take at once waits in the outgoing buffer
// and goes out on the owning thread's write events; a write that fails there closes the socket
// on the owning thread, which then tells the delegate.

#include "base/Bytes.h"
#include "net/IncomingBuffer.h"
#include "net/RunLoop.h"
#include "net/SocketSender.h"

#include <cstdint>
#include <memory>
#include <netinet/in.h>
#include <optional>
#include <string>
#include <string_view>
#include <sys/socket.h>

class NetSocket;

// Every method defaults to doing nothing; all are called on the owning thread.
class NetSocketDelegate {
public:
    virtual ~NetSocketDelegate() = default;
    virtual void netsocketConnected(NetSocket&) {}
    // The peer closed, a read or write failed, or a connection attempt failed; already closed.
    virtual void netsocketDisconnected(NetSocket&) {}
    // Bytes were added to the incoming buffer; total is its whole length.
    virtual void netsocketDataAvailable(NetSocket&, size_t /*total*/) {}
    virtual void netsocketDataSent(NetSocket&) {}
    // The socket stays open; the owner decides.
    virtual void netsocketConnectionTimedOut(NetSocket&, double /*interval*/) {}
    // The new socket is connected, has no delegate and is not scheduled.
    virtual void netsocketConnectionAccepted(NetSocket& /*listener*/, std::shared_ptr<NetSocket>) {}
    // A connection was taken and closed at once: the process is out of descriptors.
    virtual void netsocketConnectionRefused(NetSocket& /*listener*/) {}
};

class NetSocket : public std::enable_shared_from_this<NetSocket> {
public:
    using Encoding = IncomingBuffer::Encoding;
    static constexpr int kDefaultBacklog = 5;
    static constexpr size_t kNoLimit = SocketSender::kNoLimit;

    // Factories: scheduled on the calling thread's current run loop; empty on failure.
    static std::shared_ptr<NetSocket> netsocket();
    static std::shared_ptr<NetSocket> netsocketConnectedToHost(const std::string& host, uint16_t port);
    static std::shared_ptr<NetSocket> netsocketListeningOnPort(uint16_t port);
    static std::shared_ptr<NetSocket> netsocketListeningOnRandomPort();
    static std::shared_ptr<NetSocket> netsocketWithUDPPort(uint16_t port, double timeout);
    // Wraps a descriptor (connected); the descriptor is closed and nothing returned on failure.
    static std::shared_ptr<NetSocket> withNativeSocket(int fd);

    static void ignoreBrokenPipes();
    static std::string stringWithSocketAddress(const in_addr& address);
    static bool addressFromString(const std::string& text, sockaddr_in* address);

    NetSocket();
    ~NetSocket();
    NetSocket(const NetSocket&) = delete;
    NetSocket& operator=(const NetSocket&) = delete;

    // A TCP socket of the family (AF_INET, or AF_INET6 for an IPv6 listener) when none exists.
    bool open(int family = AF_INET);
    void close();
    bool scheduleOnRunLoop(const std::shared_ptr<RunLoop>& loop);
    bool scheduleOnCurrentRunLoop();
    void unscheduleFromRunLoop();
    bool isScheduled() const { return source_ != nullptr; }

    // Starts a background connection; the outcome arrives as an event. A timeout <= 0: no timer.
    bool connectToHost(const std::string& host, uint16_t port, double timeout = -1.0);
    // Binds to the address (empty: every local IPv4 address; an IPv6 one on an AF_INET6 socket,
    // "::" taking IPv4 clients too) with address reuse, then listens.
    bool listenOnPort(uint16_t port, int backlog = kDefaultBacklog, const std::string& address = {});
    bool listenOnRandomPort() { return listenOnPort(0); }
    // TCP_NODELAY with 1024-byte system buffers, for a chatty peer of small messages.
    void setNoDelay();
    // TCP_NODELAY alone: each write leaves at once instead of waiting for the previous one's ack.
    void setLowDelay();
    // Unsent bytes beyond the limit count as a failed write: the peer is dropped as if gone.
    void setOutgoingLimit(size_t bytes);

    // Any thread. Dropped when empty or not connected.
    void write(const void* bytes, size_t length);
    void writeData(const Bytes& data) { write(data.data(), data.size()); }
    void writeString(std::string_view text) { write(text.data(), text.size()); }
    // The UTF-8 text in the encoding; false, and nothing written, when it is not valid UTF-8 or
    // holds a character the encoding lacks (or when not connected).
    bool writeString(std::string_view text, Encoding encoding);

    // Reads take from the front of the incoming buffer.
    size_t read(void* out, size_t amount) { return incoming_.read(out, amount); }
    size_t readOntoData(Bytes& data, size_t amount) { return incoming_.readOntoData(data, amount); }
    size_t readOntoData(Bytes& data) { return readOntoData(data, incoming_.size()); }
    std::optional<Bytes> readData(size_t amount) { return incoming_.readData(amount); }
    std::optional<Bytes> readData() { return readData(incoming_.size()); }
    // Nothing, and the buffer unchanged, when the bytes do not decode.
    std::optional<std::string> readString(Encoding encoding, size_t amount) {
        return incoming_.readString(encoding, amount);
    }
    std::optional<std::string> readString(Encoding encoding) {
        return readString(encoding, incoming_.size());
    }
    size_t readOntoString(std::string& text, Encoding encoding, size_t amount) {
        return incoming_.readOntoString(text, encoding, amount);
    }
    const Bytes& peekData() const { return incoming_.bytes(); }

    bool isConnected() const { return sender_.connected(); }
    bool isListening() const { return listening_; }
    bool isUDP() const;
    std::optional<std::string> localHost() const;
    std::optional<std::string> remoteHost() const;
    uint16_t localPort() const;
    uint16_t remotePort() const;
    int nativeSocketHandle() const { return fd_; }
    // Hands the descriptor to the caller, who closes it; the socket is left closed. The owning
    // thread, on an unscheduled socket.
    int takeNativeSocket();
    size_t incomingBufferLength() const { return incoming_.size(); }
    size_t outgoingBufferLength() const { return sender_.waiting(); }

    NetSocketDelegate* delegate() const { return delegate_; }
    void setDelegate(NetSocketDelegate* delegate) { delegate_ = delegate; }

private:
    bool createForNative(int fd);
    bool createForUDP(uint16_t port);
    void onEvent(bool readable, bool writable);
    void finishConnect();
    void scheduleConnectionTimeoutTimer(double seconds);
    void socketConnectionTimedOut(double seconds);
    void socketAcceptConnections();
    void socketReadData();
    void socketWriteData();
    void watchForRoom();
    void postFailure();
    void connectedEvent();
    void disconnectedEvent();
    void pauseAccepting();
    bool refuseOverCeiling();

    // Declared first so that the source and timers, which refer to it, go before it.
    std::shared_ptr<RunLoop> loop_;
    std::unique_ptr<RunLoop::Source> source_;
    std::unique_ptr<RunLoop::Timer> connectionTimer_;
    std::unique_ptr<RunLoop::Timer> acceptPause_;
    int reserve_ = -1; // a listener's spare descriptor, given up to turn a client away
    NetSocketDelegate* delegate_ = nullptr;

    int fd_ = -1;
    SocketSender sender_; // shared with writers on other threads

    bool listening_ = false;
    bool connecting_ = false;
    bool udp_ = false;
    IncomingBuffer incoming_;
};
