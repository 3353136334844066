#pragma once
// The main window: its panes laid out, the device, configuration and server in a row above the
// filter list and the monitor. The window owns the panes (Qt parents); the controller reaches
// their controls on the main thread only.

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
