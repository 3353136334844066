#include "mux/panes/ServerPane.h"

#include "mux/NSDataReadyView.h"
#include "mux/panes/FormRows.h"

#include <QCheckBox>
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
    hostField_ = new QLineEdit(this); // shown for the user to copy or change; never read back
    hostField_->setObjectName("hostField");
    hostField_->setMinimumWidth(110);
    countField_ = displayField(this, 40);
    countField_->setObjectName("countField");
    countField_->setMaximumWidth(60);
    auto* switchRow = new QHBoxLayout;
    switchRow->addWidget(enableButton_);
    switchRow->addStretch(1);
    switchRow->addWidget(dataReadyView_);
    grid->addLayout(switchRow, 0, 0, 1, 2);
    addFormRow(grid, 1, "NSTCPPort", portField_);
    addFormRow(grid, 2, "NSAddress", hostField_);
    addFormRow(grid, 3, "NSClients", countField_);
    grid->setRowStretch(4, 1);
    connect(enableButton_, &QCheckBox::clicked, this, &ServerPane::enableClicked);
    for (QLineEdit* field : {portField_, hostField_})
        connect(field, &QLineEdit::textEdited, this, &ServerPane::fieldEdited);
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

void ServerPane::showHost(const std::string& host) {
    hostField_->setText(QString::fromStdString(host));
}

void ServerPane::showStatus(uint32_t lamp, unsigned clients) {
    dataReadyView_->drawDataReady(lamp);
    countField_->setText(clients > 0 ? QString::number(clients) : QString());
}
