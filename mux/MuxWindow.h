#pragma once
// The main window: its panes laid out for a screen as small as 1024 x 600, the device and the
// configuration in a row above the filter list, the monitor with the log files, and the server. The window
// owns the panes (Qt parents); the controller reaches their controls on the main thread only.

#include "mux/protocol/Descriptor.h"

#include <QWidget>

class ConfigurationPane;
class DevicePane;
class FilterPane;
class LogFilePane;
class MonitorPane;
class ServerPane;

class MuxWindow : public QWidget {
    Q_OBJECT
public:
    explicit MuxWindow(MuxVariant variant, QWidget* parent = nullptr);

    DevicePane* device = nullptr;
    ConfigurationPane* configuration = nullptr;
    ServerPane* server = nullptr;
    FilterPane* filters = nullptr;
    MonitorPane* monitor = nullptr;
    LogFilePane* files = nullptr;

signals:
    void closing();
    void becameKey();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
};
