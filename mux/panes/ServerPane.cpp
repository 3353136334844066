#include "mux/panes/ServerPane.h"

#include "mux/NSDataReadyView.h"
#include "mux/panes/PaneKit.h"

#include <QCheckBox>
#include <QHBoxLayout>

ServerPane::ServerPane(QWidget* parent) : QGroupBox(localizedText("NSServerBox"), parent) {
    auto* grid = new QGridLayout(this);
    enableButton = new QCheckBox(localizedText("NSEnableServer"), this);
    dataReadyView = new NSDataReadyView(this);
    portField = new QLineEdit(this);
    portField->setMaximumWidth(80);
    hostField = new QLineEdit(this); // shown for the user to copy or change; never read back
    hostField->setMinimumWidth(110);
    countField = displayField(this, 40);
    countField->setMaximumWidth(60);
    auto* switchRow = new QHBoxLayout;
    switchRow->addWidget(enableButton);
    switchRow->addStretch(1);
    switchRow->addWidget(dataReadyView);
    grid->addLayout(switchRow, 0, 0, 1, 2);
    addFormRow(grid, 1, "NSTCPPort", portField);
    addFormRow(grid, 2, "NSAddress", hostField);
    addFormRow(grid, 3, "NSClients", countField);
    grid->setRowStretch(4, 1);
}
