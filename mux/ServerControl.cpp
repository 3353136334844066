#include "mux/ServerControl.h"

#include "mux/ClientSentences.h"
#include "net/QtRunLoop.h"

#include <QThread>

ServerControl::ServerControl(TCPConnectionModel& model, std::function<void()> changed,
                             std::function<void()> stopped, QObject* parent, ClientSentences* sentences)
    : QObject(parent), model_(model), sentences_(sentences), changed_(std::move(changed)),
      stopped_(std::move(stopped)), loop_(QtRunLoop::install()) {
}

ServerControl::~ServerControl() {
    if (started_) {
        started_ = false; // no news reaches the views any more
        closeServer();
    }
}

bool ServerControl::start(const std::string& port, const ListenOn& where) {
    const auto addresses = listen_addresses::bindAddresses(where, listen_addresses::system());
    if (addresses.empty() || !model_.createServerConnection(this, port, addresses))
        return false;
    where_ = where;
    started_ = true;
    if (sentences_) {
        ClientSentences* sentences = sentences_;
        model_.setClientLineHandler(
            [sentences](uint64_t client, const Bytes& line) { sentences->line(client, line); });
    }
    updateConnections();
    return true;
}

void ServerControl::stop() {
    started_ = false;
    closeServer();
    updateConnections();
}

// The server's threads end before the handler goes: no client line arrives after.
void ServerControl::closeServer() {
    model_.closeServerConnection();
    model_.setClientLineHandler(nullptr);
}

std::vector<std::string> ServerControl::clientAddresses(const ListenOn& where) {
    return listen_addresses::clientAddresses(where, listen_addresses::system());
}

ServerControl::Status ServerControl::status() const {
    Status s;
    s.listening = model_.serverConnected();
    s.clients = s.listening ? model_.clientsConnected() : 0;
    s.transmits =
        model_.serverTransmitGPS() || model_.serverTransmitInstruments() || model_.serverTransmitAIS();
    return s;
}

void ServerControl::updateConnections() {
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(
            this, [this] { updateConnections(); }, Qt::QueuedConnection);
        return;
    }
    if (changed_)
        changed_();
}

std::function<void(const Bytes&)> ServerControl::forwarder(TCPConnectionModel& model) {
    return [&model](const Bytes& line) {
        if (model.serverConnected())
            model.writeNMEASentence(line);
    };
}

void ServerControl::serverRefusedClients() {
    if (refused_)
        refused_();
}

void ServerControl::serverSocketConnected() {
    updateConnections();
}

void ServerControl::serverSocketDisconnected() {
    wentDown();
}

void ServerControl::serverSocketTimedOut() {
    wentDown();
}

void ServerControl::wentDown() {
    if (!started_)
        return; // going away, or not this control's server
    started_ = false;
    model_.setClientLineHandler(nullptr);
    if (stopped_)
        stopped_();
    updateConnections();
}
