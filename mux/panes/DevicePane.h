#pragma once
// The device: the port and its speed, and who answered on it.

#include "mux/protocol/Values.h"

#include <QGroupBox>

class QComboBox;
class QLineEdit;

class DevicePane : public QGroupBox {
    Q_OBJECT
public:
    explicit DevicePane(QWidget* parent = nullptr);

    QComboBox* portComboBox = nullptr;
    QComboBox* rateComboBox = nullptr;
    QLineEdit* deviceField = nullptr;
    QLineEdit* serialField = nullptr;
    QLineEdit* versionField = nullptr;

    void showVersion(const Version& version);
    void clearVersion();
    bool hasVersion() const;
};
