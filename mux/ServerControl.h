#pragma once
// The console's side of the network server: the switch, the port and address fields, the client
// count and the lamp, over the shared NMEA server (TCPConnectionModel), and the forwarding of
// every line read from the device to its clients.
//
// Threads: made, used and destroyed on the main thread, where the server's notifications arrive
// too. updateConnections() may be called from any thread; forwarder() runs on the reader thread.

#include "base/Bytes.h"
#include "net/TCPConnectionModel.h"

#include <QObject>

#include <functional>
#include <memory>
#include <string>

class RunLoop;
class ServerPane;
class QWidget;

class ServerControl : public QObject, public TCPServerDelegate {
    Q_OBJECT
public:
    // The pane's controls are wired here; sheets go on `window`.
    ServerControl(ServerPane& pane, QWidget& window, TCPConnectionModel& model, QObject* parent = nullptr);
    ~ServerControl() override; // a server it started stops with it

    bool serverEnabled() const;
    std::string serverPort() const;

    // The box's action: listens on the port field's port while it is ticked, else stops.
    void onEnable();
    // Lamp and count, from the server's state; any thread (the work is done on the main thread).
    void updateConnections() override;
    // This computer's address into the address field ("NSUnknown" when it has none).
    void showHost();
    // Editing began in a field: the port and address fields stop a running server.
    void textDidBeginEditing(QObject* field);

    // For the reader: each line as read, handed to the clients while the server listens. It
    // copies the line and never waits on a client.
    static std::function<void(const Bytes&)> forwarder(TCPConnectionModel& model);

    void serverSocketConnected() override;
    void serverSocketDisconnected() override;
    void serverSocketTimedOut() override;

private:
    void stopped();

    ServerPane& pane_;
    QWidget& window_;
    TCPConnectionModel& model_;
    std::shared_ptr<RunLoop> loop_; // the main thread's, where the server tells its news
    bool started_ = false;          // this control started the server that listens now
};
