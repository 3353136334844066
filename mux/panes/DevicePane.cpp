#include "mux/panes/DevicePane.h"

#include "mux/panes/PaneKit.h"

#include <QComboBox>

DevicePane::DevicePane(QWidget* parent) : QGroupBox(localizedText("NSDeviceBox"), parent) {
    auto* grid = new QGridLayout(this);
    portComboBox = new QComboBox(this);
    portComboBox->setEditable(true);
    portComboBox->setInsertPolicy(QComboBox::InsertAtBottom);
    portComboBox->setMinimumWidth(160);
    rateComboBox = new QComboBox(this);
    deviceField = displayField(this, 140);
    serialField = displayField(this, 140);
    versionField = displayField(this, 60);
    addFormRow(grid, 0, "NSPortLabel", portComboBox);
    addFormRow(grid, 1, "NSSpeedLabel", rateComboBox);
    addFormRow(grid, 2, "NSNameLabel", deviceField);
    addFormRow(grid, 3, "NSSerialLabel", serialField);
    addFormRow(grid, 4, "NSFirmwareLabel", versionField);
    grid->setRowStretch(5, 1);
}

// The device's texts are 8-bit.
void DevicePane::showVersion(const Version& version) {
    deviceField->setText(QString::fromLatin1(version.name.c_str()));
    serialField->setText(QString::fromLatin1(version.serial.c_str()));
    versionField->setText(QString::fromLatin1(version.firmware.c_str()));
}

void DevicePane::clearVersion() {
    deviceField->setText("");
    serialField->setText("");
    versionField->setText("");
}

bool DevicePane::hasVersion() const {
    return !versionField->text().isEmpty();
}
