#pragma once
// The main window's controls. The window owns them (Qt parents); the controller reaches them
// through these outlets, on the main thread only.

#include "mux/protocol/Descriptor.h"

#include <QWidget>

#include <array>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QLabel;
class MonitorView;
class QPushButton;
class QTableView;
class NSDataReadyView;

class MuxWindow : public QWidget {
    Q_OBJECT
public:
    explicit MuxWindow(MuxVariant variant, QWidget* parent = nullptr);

    // Device and host link.
    QComboBox* portComboBox = nullptr;
    QComboBox* rateComboBox = nullptr;
    QLineEdit* deviceField = nullptr;
    QLineEdit* serialField = nullptr;
    QLineEdit* versionField = nullptr;

    // Configuration.
    QComboBox* modeComboBox = nullptr;
    QCheckBox* seatalkButton = nullptr;
    QCheckBox* priorityButton = nullptr;
    QCheckBox* channelNumbersButton = nullptr;
    QCheckBox* channelIDsButton = nullptr; // muxconsole only
    QCheckBox* headingButton = nullptr;
    QCheckBox* aisButton = nullptr; // muxconsole-legacy only
    std::array<QCheckBox*, 4> realtimeButtons{};
    std::array<QLineEdit*, 4> talkerIDFields{};
    std::array<QLabel*, 4> overflowFields{};
    std::array<QComboBox*, 4> rateInComboBoxes{}; // muxconsole-legacy only
    QComboBox* rateOut2ComboBox = nullptr;        // muxconsole-legacy only

    // Filter list.
    QTableView* filterTableView = nullptr;
    QComboBox* filterComboBox = nullptr;
    QComboBox* frequencyComboBox = nullptr; // muxconsole-legacy only
    QPushButton* addButton = nullptr;
    QPushButton* removeButton = nullptr;
    QPushButton* clearAllButton = nullptr;

    // Monitor.
    MonitorView* monitorTextView = nullptr;
    QPushButton* startButton = nullptr;
    QPushButton* clearButton = nullptr;
    QPushButton* captureButton = nullptr;
    QPushButton* sendFileButton = nullptr;

    // Network server.
    QCheckBox* enableButton = nullptr;
    QLineEdit* portField = nullptr;
    QLineEdit* hostField = nullptr;
    QLineEdit* countField = nullptr;
    NSDataReadyView* dataReadyView = nullptr;

signals:
    void closing();
    void becameKey();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
};
