#include "mux/ServerControl.h"

#include "net/QtRunLoop.h"

#include <QThread>

ServerControl::ServerControl(TCPConnectionModel& model, std::function<void()> changed,
                             std::function<void()> stopped, QObject* parent)
    : QObject(parent), model_(model), changed_(std::move(changed)), stopped_(std::move(stopped)),
      loop_(QtRunLoop::install()) {
}

ServerControl::~ServerControl() {
    if (started_) {
        started_ = false; // no news reaches the views any more
        model_.closeServerConnection();
    }
}

bool ServerControl::start(const std::string& port) {
    if (!model_.createServerConnection(this, port))
        return false;
    started_ = true;
    updateConnections();
    return true;
}

void ServerControl::stop() {
    started_ = false;
    model_.closeServerConnection();
    updateConnections();
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
    if (stopped_)
        stopped_();
    updateConnections();
}
