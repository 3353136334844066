#include "mux/panes/ServerPane.h"

#include "mux/NSDataReadyView.h"
#include "mux/panes/FormRows.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>

ServerPane::ServerPane(QWidget* parent) : QGroupBox(localizedText("NSServerBox"), parent) {
    auto* grid = new QGridLayout(this);
    enableButton_ = new QCheckBox(localizedText("NSEnableServer"), this);
    enableButton_->setObjectName("enableButton");
    dataReadyView_ = new NSDataReadyView(this);
    dataReadyView_->setObjectName("dataReadyView");
    portField_ = new QLineEdit(this);
    portField_->setObjectName("portField");
    portField_->setMaximumWidth(80);
    listenBox_ = new QComboBox(this);
    listenBox_->setObjectName("listenBox");
    listenBox_->addItem(localizedText("NSAllInterfaces"), "all");
    listenBox_->addItem(localizedText("NSThisComputerOnly"), "local");
    // The addresses clients can use: shown to be read or copied, never typed into.
    hostField_ = new QLineEdit(this);
    hostField_->setObjectName("hostField");
    hostField_->setReadOnly(true);
    hostField_->setMinimumWidth(110);
    countField_ = displayField(this, 40);
    countField_->setObjectName("countField");
    countField_->setMaximumWidth(60);
    acceptButton_ = new QCheckBox(localizedText("NSAcceptFromClients"), this);
    acceptButton_->setObjectName("acceptButton");
    udpButton_ = new QCheckBox(localizedText("NSUDPTo"), this);
    udpButton_->setObjectName("udpButton");
    udpField_ = new QLineEdit(this);
    udpField_->setObjectName("udpField");
    udpField_->setPlaceholderText("192.168.1.255:10110");

    auto* switchRow = new QHBoxLayout;
    switchRow->addWidget(enableButton_);
    switchRow->addStretch(1);
    switchRow->addWidget(dataReadyView_);
    grid->addLayout(switchRow, 0, 0, 1, 2);
    addFormRow(grid, 1, "NSTCPPort", portField_);
    addFormRow(grid, 2, "NSListenOn", listenBox_);
    addFormRow(grid, 3, "NSAddress", hostField_);
    addFormRow(grid, 4, "NSClients", countField_);
    grid->addWidget(acceptButton_, 5, 0, 1, 2);
    grid->addWidget(udpButton_, 6, 0);
    grid->addWidget(udpField_, 6, 1);
    grid->setRowStretch(7, 1);
    connect(enableButton_, &QCheckBox::clicked, this, &ServerPane::enableClicked);
    connect(portField_, &QLineEdit::textEdited, this, &ServerPane::fieldEdited);
    connect(listenBox_, &QComboBox::activated, this, &ServerPane::listenOnChosen);
    connect(acceptButton_, &QCheckBox::clicked, this, &ServerPane::acceptClicked);
    connect(udpButton_, &QCheckBox::clicked, this, &ServerPane::udpClicked);
    connect(udpField_, &QLineEdit::textEdited, this, &ServerPane::udpEdited);
}

bool ServerPane::ticked() const {
    return enableButton_->isChecked();
}

void ServerPane::setTicked(bool on) {
    enableButton_->setChecked(on);
}

std::string ServerPane::portText() const {
    return portField_->text().toStdString();
}

void ServerPane::setPortText(const std::string& text) {
    portField_->setText(QString::fromStdString(text));
}

std::string ServerPane::listenOn() const {
    return listenBox_->currentData().toString().toStdString();
}

void ServerPane::setInterfaces(const std::vector<std::string>& names) {
    const std::string chosen = listenOn();
    while (listenBox_->count() > 2)
        listenBox_->removeItem(2);
    for (const std::string& name : names)
        listenBox_->addItem(QString::fromStdString(name), QString::fromStdString(name));
    setListenOn(chosen);
}

void ServerPane::setListenOn(const std::string& text) {
    const QString data = QString::fromStdString(text);
    int index = listenBox_->findData(data);
    if (index < 0) { // an interface that is not there now: kept as the choice
        listenBox_->addItem(data, data);
        index = listenBox_->count() - 1;
    }
    listenBox_->setCurrentIndex(index);
}

void ServerPane::showHost(const std::string& host) {
    hostField_->setText(QString::fromStdString(host));
    hostField_->setCursorPosition(0);
}

void ServerPane::showStatus(uint32_t lamp, unsigned clients) {
    dataReadyView_->drawDataReady(lamp);
    countField_->setText(clients > 0 ? QString::number(clients) : QString());
}

bool ServerPane::accepting() const {
    return acceptButton_->isChecked();
}

void ServerPane::setAccepting(bool on) {
    acceptButton_->setChecked(on);
}

bool ServerPane::udpTicked() const {
    return udpButton_->isChecked();
}

void ServerPane::setUdpTicked(bool on) {
    udpButton_->setChecked(on);
}

std::string ServerPane::udpText() const {
    return udpField_->text().toStdString();
}

void ServerPane::setUdpText(const std::string& text) {
    udpField_->setText(QString::fromStdString(text));
}
