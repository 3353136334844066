#include "mux/ServerControl.h"

#include "mux/NSDataReadyView.h"
#include "mux/panes/ServerPane.h"
#include "net/QtRunLoop.h"
#include "support/Alert.h"
#include "support/AlertPanels.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QThread>

ServerControl::ServerControl(ServerPane& pane, QWidget& window, TCPConnectionModel& model, QObject* parent)
    : QObject(parent), pane_(pane), window_(window), model_(model), loop_(QtRunLoop::install()) {
    connect(pane_.enableButton, &QCheckBox::clicked, this, [this] { onEnable(); });
    for (QLineEdit* field : {pane_.portField, pane_.hostField})
        connect(field, &QLineEdit::textEdited, this, [this, field] { textDidBeginEditing(field); });
}

ServerControl::~ServerControl() {
    if (started_) {
        started_ = false; // no callback reaches the panes any more
        model_.closeServerConnection();
    }
}

bool ServerControl::serverEnabled() const {
    return pane_.enableButton->isChecked();
}

std::string ServerControl::serverPort() const {
    return pane_.portField->text().toStdString();
}

void ServerControl::onEnable() {
    if (!serverEnabled()) {
        model_.closeServerConnection();
        updateConnections();
        return;
    }
    if (!model_.createServerConnection(this, serverPort())) {
        // Port taken, not a port, or a server already running: said, and the box unticked.
        Alert::showMessageWithKey(&window_, "NSFailConnect");
        pane_.enableButton->setChecked(false);
        return;
    }
    started_ = true;
    // A text that did not name the port ("abc" lets the system choose, "70000" wraps) shows the
    // port listened on instead: the number a navigation app must be given.
    const QString port = QString::number(model_.serverPort());
    if (pane_.portField->text().trimmed() != port)
        pane_.portField->setText(port);
    updateConnections();
}

void ServerControl::updateConnections() {
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(
            this, [this] { updateConnections(); }, Qt::QueuedConnection);
        return;
    }
    const bool listening = model_.serverConnected();
    const unsigned clients = listening ? model_.clientsConnected() : 0;
    const bool transmits =
        model_.serverTransmitGPS() || model_.serverTransmitInstruments() || model_.serverTransmitAIS();
    pane_.dataReadyView->drawDataReady(!listening ? 0 : clients > 0 && transmits ? 2 : 1);
    pane_.countField->setText(clients > 0 ? QString::number(clients) : QString());
}

void ServerControl::showHost() {
    const std::string host = TCPConnectionModel::serverHost();
    pane_.hostField->setText(
        QString::fromStdString(host.empty() ? Alert::localizedStringWithKey("NSUnknown") : host));
}

void ServerControl::textDidBeginEditing(QObject* field) {
    if ((field != pane_.portField && field != pane_.hostField) || !serverEnabled())
        return;
    pane_.enableButton->setChecked(false);
    onEnable();
}

std::function<void(const Bytes&)> ServerControl::forwarder(TCPConnectionModel& model) {
    return [&model](const Bytes& line) {
        if (model.serverConnected())
            model.writeNMEASentence(line);
    };
}

void ServerControl::serverSocketConnected() {
    updateConnections();
}

void ServerControl::serverSocketDisconnected() {
    stopped();
}

void ServerControl::serverSocketTimedOut() {
    stopped();
}

void ServerControl::stopped() {
    if (!started_)
        return; // going away, or not this control's server
    started_ = false;
    pane_.enableButton->setChecked(false);
    updateConnections();
}
