#include "mux/panes/DevicePane.h"

#include "mux/NSDataReadyView.h"
#include "mux/panes/FormRows.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>

#include <algorithm>

namespace {

// A path typed relative to where the program runs is kept whole, so it opens (and is stored)
// as the user meant it; names under /dev/ stay short.
QString portText(const QString& text) {
    if (text.startsWith("./") || text.startsWith("../"))
        return QDir::cleanPath(QFileInfo(text).absoluteFilePath());
    return text;
}

std::optional<std::string> selected(const QComboBox* box) {
    if (box->currentIndex() < 0)
        return std::nullopt;
    return box->itemText(box->currentIndex()).toStdString();
}

} // namespace

DevicePane::DevicePane(QWidget* parent) : QGroupBox(localizedText("NSDeviceBox"), parent) {
    auto* grid = new QGridLayout(this);
    portComboBox_ = new QComboBox(this);
    portComboBox_->setObjectName("portComboBox");
    portComboBox_->setEditable(true);
    portComboBox_->setInsertPolicy(QComboBox::InsertAtBottom);
    portComboBox_->setMinimumWidth(160);
    rateComboBox_ = new QComboBox(this);
    rateComboBox_->setObjectName("rateComboBox");
    deviceField_ = displayField(this, 140);
    deviceField_->setObjectName("deviceField");
    serialField_ = displayField(this, 140);
    serialField_->setObjectName("serialField");
    versionField_ = displayField(this, 60);
    versionField_->setObjectName("versionField");
    connectionLamp_ = new NSDataReadyView(this);
    connectionLamp_->setObjectName("connectionLamp");
    connectionField_ = new QLabel(localizedText("NSNoDevice"), this);
    connectionField_->setObjectName("connectionField");
    connectionField_->setWordWrap(true);
    auto* status = new QHBoxLayout;
    status->addWidget(connectionLamp_);
    status->addWidget(connectionField_, 1);
    addFormRow(grid, 0, "NSPortLabel", portComboBox_);
    addFormRow(grid, 1, "NSSpeedLabel", rateComboBox_);
    grid->addLayout(status, 2, 0, 1, 2);
    addFormRow(grid, 3, "NSNameLabel", deviceField_);
    addFormRow(grid, 4, "NSSerialLabel", serialField_);
    addFormRow(grid, 5, "NSFirmwareLabel", versionField_);
    grid->setRowStretch(6, 1);
    connect(portComboBox_, &QComboBox::activated, this, &DevicePane::portChosen);
    connect(rateComboBox_, &QComboBox::activated, this, &DevicePane::rateChosen);
}

void DevicePane::listPorts(const std::vector<std::string>& listed, const std::vector<std::string>& extra) {
    QComboBox* box = portComboBox_;
    box->clear();
    for (const std::string& name : listed)
        box->addItem(QString::fromStdString(name));
    for (const std::string& name : extra)
        if (box->findText(portText(QString::fromStdString(name))) < 0)
            box->addItem(portText(QString::fromStdString(name)));
    box->setMaxVisibleItems(std::clamp(box->count(), 1, 12));
    box->setCurrentIndex(-1);
}

int DevicePane::portCount() const {
    return portComboBox_->count();
}

void DevicePane::selectPortText(const std::string& text) {
    const QString name = portText(QString::fromStdString(text));
    int index = portComboBox_->findText(name);
    if (index < 0) {
        portComboBox_->addItem(name);
        index = portComboBox_->count() - 1;
    }
    portComboBox_->setCurrentIndex(index);
}

bool DevicePane::selectListedPort(const std::string& name) {
    const int index = portComboBox_->findText(QString::fromStdString(name));
    if (index >= 0)
        portComboBox_->setCurrentIndex(index);
    return index >= 0;
}

void DevicePane::selectNoPort() {
    portComboBox_->setCurrentIndex(-1);
}

std::optional<std::string> DevicePane::port() {
    QComboBox* box = portComboBox_;
    const QString text = box->currentText();
    if (box->currentIndex() >= 0 && (text.startsWith("./") || text.startsWith("../")))
        box->setItemText(box->currentIndex(), portText(text));
    return selected(box);
}

std::optional<std::string> DevicePane::port() const {
    return selected(portComboBox_);
}

std::optional<std::string> DevicePane::rate() const {
    return selected(rateComboBox_);
}

int DevicePane::rateIndex() const {
    return rateComboBox_->currentIndex();
}

bool DevicePane::selectRate(const std::string& text) {
    const int index = rateComboBox_->findText(QString::fromStdString(text));
    if (index >= 0)
        rateComboBox_->setCurrentIndex(index);
    return index >= 0;
}

bool DevicePane::showRateIndex(int index) {
    if (index < 0 || index >= rateComboBox_->count())
        return false;
    rateComboBox_->setCurrentIndex(index);
    rateComboBox_->setEnabled(true);
    return true;
}

void DevicePane::fillRates(const std::vector<const char*>& rates) {
    rateComboBox_->setEnabled(false);
    rateComboBox_->clear();
    for (const char* r : rates)
        rateComboBox_->addItem(r);
    rateComboBox_->setCurrentIndex(0);
}

// The device's texts are 8-bit.
void DevicePane::showVersion(const Version& version) {
    deviceField_->setText(QString::fromLatin1(version.name.c_str()));
    serialField_->setText(QString::fromLatin1(version.serial.c_str()));
    versionField_->setText(QString::fromLatin1(version.firmware.c_str()));
}

void DevicePane::clearVersion() {
    deviceField_->setText("");
    serialField_->setText("");
    versionField_->setText("");
}

bool DevicePane::hasVersion() const {
    return !versionField_->text().isEmpty();
}

void DevicePane::showConnection(uint32_t lamp, const QString& text) {
    connectionLamp_->drawDataReady(lamp);
    connectionField_->setText(text);
}

QString DevicePane::connectionText() const {
    return connectionField_->text();
}
