#pragma once
// The console's side of the network server, without widgets: starting and stopping the shared
// NMEA server (TCPConnectionModel) on a port, its state as a value, and the forwarding of every
// line read from the device to its clients. The window's server pane and the headless bridge
// drive it alike.
//
// Threads: made, used and destroyed on the main thread, where the server's notifications arrive
// too. updateConnections() may be called from any thread; forwarder() runs on the reader thread.

#include "base/Bytes.h"
#include "net/ListenAddresses.h"
#include "net/TCPConnectionModel.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class ClientSentences;
class RunLoop;

class ServerControl : public QObject, public TCPServerDelegate {
    Q_OBJECT
public:
    struct Status {
        bool listening = false;
        unsigned clients = 0;
        bool transmits = false; // lines go out to the clients
        // The lamp: 0 not listening, 1 listening, 2 serving.
        uint32_t lamp() const { return !listening ? 0 : clients > 0 && transmits ? 2 : 1; }
    };

    // changed: the state moved (a client came or went). stopped: the server this control started
    // went down by itself. Both on the main thread.
    // What clients send goes to `sentences` (none: nowhere) while a server this control started
    // runs.
    ServerControl(TCPConnectionModel& model, std::function<void()> changed, std::function<void()> stopped,
                  QObject* parent = nullptr, ClientSentences* sentences = nullptr);
    ~ServerControl() override; // a server it started stops with it

    // Listens on the port ("abc" lets the system choose) where chosen; false when the port is
    // taken, is not a port, the interface has no address, or a server already runs.
    bool start(const std::string& port, const ListenOn& where = {});
    void stop();
    Status status() const;
    uint16_t port() const { return model_.serverPort(); } // the port listened on
    const ListenOn& where() const { return where_; }
    // This computer's address for the clients; empty when it has none.
    static std::string host() { return TCPConnectionModel::serverHost(); }
    // The addresses clients can use to reach a server listening there, IPv4 ones first.
    static std::vector<std::string> clientAddresses(const ListenOn& where);

    // From the server's state; any thread (the news reaches the main thread).
    void updateConnections() override;
    // `refused` runs, on the main thread, when the server first turns a client away for want of
    // room.
    void setRefusedHandler(std::function<void()> refused) { refused_ = std::move(refused); }
    void serverRefusedClients() override;

    // For the reader: each line as read, handed to the clients while the server listens. It
    // copies the line and never waits on a client.
    static std::function<void(const Bytes&)> forwarder(TCPConnectionModel& model);

    void serverSocketConnected() override;
    void serverSocketDisconnected() override;
    void serverSocketTimedOut() override;

private:
    void wentDown();
    void closeServer();

    TCPConnectionModel& model_;
    ClientSentences* sentences_;
    ListenOn where_;
    std::function<void()> changed_, stopped_, refused_;
    std::shared_ptr<RunLoop> loop_; // the main thread's, where the server tells its news
    bool started_ = false;          // this control started the server that listens now
};
