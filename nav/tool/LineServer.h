#pragma once
// Serves a stream of lines to any number of TCP clients over plain BSD sockets. A client that
// goes away, or falls too far behind, is dropped; the stream goes on for the others.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

class LineServer {
public:
    static constexpr size_t kMaxClients = 64;
    static constexpr size_t kMaxBacklog = 64 * 1024; // bytes queued for one slow client

    LineServer() = default;
    ~LineServer();
    LineServer(const LineServer&) = delete;
    LineServer& operator=(const LineServer&) = delete;

    // Listens on address:port (port 0 picks a free one). On failure, error() says why.
    bool listen(const std::string& address, uint16_t port);
    uint16_t port() const { return port_; }
    const std::string& error() const { return error_; }

    // Accepts, reads and drops clients until the timeout passes or a signal interrupts.
    void wait(std::chrono::milliseconds timeout);
    // Queues the bytes for every client and sends what the sockets take now.
    void broadcast(const std::string& bytes);
    size_t clientCount() const { return clients_.size(); }

private:
    struct Client {
        int fd = -1;
        std::string pending;
    };

    void accept();
    void flush(Client& client);
    void drop(size_t index);

    int listener_ = -1;
    uint16_t port_ = 0;
    std::string error_;
    std::vector<Client> clients_;
};
