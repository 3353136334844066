#pragma once
// Re-serves NMEA lines over the network. One shared instance holds a TCP server (a listening
// socket and the clients it accepted) and, apart from it, one client connection (TCP or UDP)
// that receives lines from elsewhere.
//
// Threads: the server is started and stopped on one thread (the console's main thread); every
// server delegate notification arrives there, through that thread's current run loop
// (QtRunLoop::install() in the console). Its sockets are served by a sending thread of its own
// (TCPServer). writeNMEASentence(line), serverConnected() and clientsConnected() may be called
// from any thread; they only copy the line and never wait on a client. The client connection
// belongs to the thread that creates it, which must have a current run loop.

#include "base/Bytes.h"
#include "net/NetSocket.h"
#include "net/TCPServer.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// Every method defaults to doing nothing; all are called on the server's thread.
class TCPServerDelegate {
public:
    virtual ~TCPServerDelegate() = default;
    // A client was accepted or has gone.
    virtual void updateConnections() {}
    // The first client turned away because the server holds all it can; said once a server.
    virtual void serverRefusedClients() {}
    virtual void serverSocketConnected() {}
    virtual void serverSocketDisconnected() {}
    virtual void serverSocketTimedOut() {}
    // After a line was handed to the clients; only for a delegate that says it implements it,
    // so the console's reader does not post a task to the main thread for every line.
    virtual bool implementsWriteNMEASentence() const { return false; }
    virtual void writeNMEASentence(const Bytes& /*line*/) {}
};

// Every method defaults to doing nothing; all are called on the client connection's thread.
class TCPClientDelegate {
public:
    virtual ~TCPClientDelegate() = default;
    virtual void clientSocketConnected() {}
    virtual void clientSocketDisconnected() {}
    virtual void clientSocketTimedOut() {}
    // One whole received line, line feed included.
    virtual void readNMEASentence(const Bytes& /*line*/) {}
    // Received data was discarded.
    virtual void readNMEASentenceOverflow() {}
    // After a line was sent on the client connection.
    virtual void writeNMEASentence(const Bytes& /*line*/) {}
};

class TCPConnectionModel : private NetSocketDelegate {
public:
    static TCPConnectionModel& tcpConnection(); // the shared instance, never released

    TCPConnectionModel();
    ~TCPConnectionModel() override;
    TCPConnectionModel(const TCPConnectionModel&) = delete;
    TCPConnectionModel& operator=(const TCPConnectionModel&) = delete;

    // Server. Listens on every local IPv4 address, or on bindAddress when given.
    bool createServerConnection(TCPServerDelegate* delegate, const std::optional<std::string>& portText,
                                const std::string& bindAddress = {});
    // On each of the addresses, one port ("::": every IPv4 and IPv6 address).
    bool createServerConnection(TCPServerDelegate* delegate, const std::optional<std::string>& portText,
                                const std::vector<std::string>& bindAddresses);
    // Receives every line the server's clients send (TCPServer::Events::clientLine: on a sending
    // thread, an empty line for discarded bytes); none: what they send is dropped. Any thread.
    using ClientLineHandler = std::function<void(uint64_t client, const Bytes& line)>;
    void setClientLineHandler(ClientLineHandler handler);
    void closeServerConnection();
    bool serverConnected() const { return serverListening_.load(); }
    unsigned clientsConnected() const;
    uint16_t serverPort() const; // the port listened on, 0 when stopped
    // Hands the line, byte for byte, to every connected client; answers whether one was there.
    bool writeNMEASentence(const uint8_t* line, size_t length);
    bool writeNMEASentence(const Bytes& line) { return writeNMEASentence(line.data(), line.size()); }

    // Client connection.
    bool createClientConnection(TCPClientDelegate* delegate, const std::optional<std::string>& host,
                                const std::optional<std::string>& portText);
    bool createClientUDPConnection(TCPClientDelegate* delegate, const std::optional<std::string>& portText);
    void closeClientConnection(bool notify);
    bool clientCreated() const { return clientNetSocket_ != nullptr; }
    bool clientConnected() const { return clientNetSocket_ && clientNetSocket_->isConnected(); }
    bool clientUDP() const { return clientNetSocket_ && clientNetSocket_->isUDP(); }
    bool writeData(const Bytes& bytes);
    bool writeString(const std::string& text);
    // The sentence with "*hh" added unless the text holds a "*", then CR LF; to the server's
    // clients or on the client connection.
    bool writeNMEASentence(const std::string& sentence, bool addChecksum, bool toServer);
    bool hasOutgoingData() const;
    void readNMEASentence(const Bytes& line);
    void readNMEASentenceOverflow();
    std::string clientLocalHost() const;
    uint16_t clientLocalPort() const; // the client connection's own port, 0 without one
    // The clock of the 2-second rule for handing on received lines (tests); the steady clock by default.
    void setClientClock(std::function<std::chrono::steady_clock::time_point()> now) {
        clientClock_ = std::move(now);
    }
    // Connection timers, 30 s for TCP and 90 s for the first UDP datagram.
    void setClientTimeouts(double tcpSeconds, double udpSeconds);

    // Flags kept for the owner; every line passes whatever they say.
    void setServerTransmit(bool gps, bool instruments, bool ais);
    void setServerLimitToProcessed(bool limit) { serverLimitToProcessed_ = limit; }
    bool serverTransmitGPS() const { return serverTransmitGPS_; }
    bool serverTransmitInstruments() const { return serverTransmitInstruments_; }
    bool serverTransmitAIS() const { return serverTransmitAIS_; }
    bool serverLimitToProcessed() const { return serverLimitToProcessed_; }

    static std::string defaultServerPort() { return "2114"; }
    static std::string defaultClientPort() { return "2114"; }
    static std::string defaultClientHost() { return serverHost(); }
    // This machine's first IPv4 address outside the loopback network, as dotted text; "" if none.
    static std::string serverHost();
    static std::string serverHost(const std::vector<std::string>& addresses); // the choice alone
    static std::string hostName();
    // Index of the first byte of that value, -1 when absent or without bytes.
    static long indexOf(const Bytes* bytes, uint8_t value);
    // The port of a port text: its leading integer modulo 65536 ("abc": 0, the system chooses).
    static uint16_t portFromText(const std::string& text);

private:
    void netsocketConnected(NetSocket& socket) override;
    void netsocketDisconnected(NetSocket& socket) override;
    void netsocketDataAvailable(NetSocket& socket, size_t total) override;
    void netsocketConnectionTimedOut(NetSocket& socket, double interval) override;
    void receiveLines(NetSocket& socket);
    std::shared_ptr<TCPServer> currentServer(std::shared_ptr<RunLoop>* owner = nullptr) const;

    std::shared_ptr<NetSocket> clientNetSocket_;
    TCPClientDelegate* clientDelegate_ = nullptr;

    // The server; read by broadcasting threads, changed by the owner's.
    mutable std::mutex serverMutex_;
    std::shared_ptr<TCPServer> server_;
    std::shared_ptr<RunLoop> serverOwner_;
    std::atomic<TCPServerDelegate*> serverDelegate_{nullptr};
    std::atomic<bool> serverListening_{false};

    bool serverTransmitGPS_ = true;
    bool serverTransmitInstruments_ = true;
    bool serverTransmitAIS_ = true;
    bool serverLimitToProcessed_ = false;

    std::shared_ptr<const ClientLineHandler> clientLines_; // under serverMutex_

    Bytes clientPending_; // an unfinished received line
    std::function<std::chrono::steady_clock::time_point()> clientClock_ = std::chrono::steady_clock::now;
    double tcpTimeout_ = 30.0;
    double udpTimeout_ = 90.0;
    std::shared_ptr<char> alive_ = std::make_shared<char>(); // posted notifications check it
};
