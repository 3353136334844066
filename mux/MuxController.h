#pragma once
// The window's controller: it builds the window and the console's core, wires the panes to the
// parts that do the work, and keeps the operations the console is known by, most of them handing
// on to those parts: the core (MuxCore: reader, requests, replies, server, recording, playback),
// the device panel (DevicePanel), the filter list's editing (FilterEditor), the monitor
// (MonitorControl) and the log files (LogFileControl).

#include "mux/DevicePanel.h"
#include "mux/FilterEditor.h"
#include "mux/LogFileControl.h"
#include "mux/MonitorControl.h"
#include "mux/MuxCore.h"
#include "mux/MuxOptions.h"
#include "mux/MuxWindow.h"
#include "mux/panes/DevicePane.h"
#include "mux/panes/ServerPane.h"

#include <QObject>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

class QColor;

class MuxController : public QObject, private MuxCoreObserver {
    Q_OBJECT
public:
    explicit MuxController(MuxOptions options);
    ~MuxController() override; // the core, and with it the reader thread, goes first
    MuxController(const MuxController&) = delete;
    MuxController& operator=(const MuxController&) = delete;

    // Lists the ports, fills the boxes, loads the preferences, starts the timers and the core.
    void awakeFromNib();

    MuxWindow& window() const { return *muxWindow_; }
    MuxCore& core() { return *core_; }
    MonitorControl& monitor() { return *monitor_; }
    MuxVariant variant() const { return options_.variant; }
    bool hasConnection() const { return core_->hasConnection(); }
    bool canConnect() const;
    std::optional<std::string> port() const;
    std::optional<std::string> rate() const;
    MuxFamily family() const { return core_->family(); }

    // Actions.
    void onPortChange();
    void onRateChange() { onMuxChange(); }
    void onMuxChange() { panel_->onMuxChange(); }
    void onSpeedChange() { panel_->onSpeedChange(); }
    void onStart() { monitor_->onStart(); }
    void onClear() { monitor_->onClear(); }
    void onCapture() { monitor_->onCapture(); }
    void onEnable();
    void onFilterChange() { filters_->onFilterChange(); }
    void onAdd() { filters_->onAdd(); }
    void onRemove() { filters_->onRemove(); }
    void onClearAll() { filters_->onClearAll(); }
    void onSendFile() { files_->onSendFile(); }
    void onStopSending() { files_->onStopSending(); }
    void onRecord() { files_->onRecord(); }
    void updateFiles() { files_->updateFiles(); } // the playback's progress and the recording
    void setFilter(const std::optional<Filter>& filter) { filters_->setFilter(filter); }
    void updateConnections();
    void onListenOnChange(); // a running server moves there
    void onAccept();         // clients' sentences go to the device, or no longer
    void onUDP();
    void udpDidBeginEditing(); // in the UDP destinations: UDP stops
    void showAddresses();      // where clients can reach the server, and the interfaces to choose
    // A keystroke in a talker-ID field (channel 1 first), or in the sentence box (none).
    void controlTextDidChange(std::optional<size_t> talkerIDField);
    void textDidBeginEditing(); // in the server's port field

    void sendQuery(Query query) { core_->sendQuery(query); }
    void sanityTimer() { core_->sanityTimer(); }
    void clearVersion() { muxWindow_->device->clearVersion(); }
    void updateState();

    // Monitor: updateMonitor queues a line; the next frame shows what is queued, in order, and
    // appendMonitor puts one piece on the pane.
    void updateMonitor(const std::string& text) { monitor_->updateMonitor(text); }
    void appendMonitor(std::string_view text, const QColor& colour) { monitor_->appendMonitor(text, colour); }
    void flushMonitor() { monitor_->flushMonitor(); } // the frame's work, now

    void openPortFail(const std::string& portName);
    void loadSettings();
    void saveSettings();
    void applicationWillSleep();
    void applicationWillTerminate();
    void windowDidBecomeKey();
    void windowWillClose() { terminate(); }

private slots:
    void prepareForSleep(bool start);

private:
    // MuxCoreObserver.
    void shown(const std::string& text) override { updateMonitor(text); }
    void traffic(const Bytes& sentence) override { monitor_->traffic(sentence); }
    void portFailed(const std::string& port) override { openPortFail(port); }
    void identityChanged() override { panel_->showIdentity(); }
    void firmwareNotSupported() override;
    void configurationRead(const ConfigurationReply& reply) override { panel_->configurationRead(reply); }
    void talkerIDsRead(const TalkerIDs& ids) override { panel_->talkerIDsRead(ids); }
    void speedsRead(const SpeedsReply& speeds) override { panel_->speedsRead(speeds); }
    void overflowRead(unsigned mask) override { panel_->overflowRead(mask); }
    void lineLost(const std::string& port) override;
    void portOpened(const std::string& port, const std::string& rate) override;
    void portAwaited(const std::string& port) override { panel_->showLink(DevicePanel::Link::Awaited, port); }
    void filterListChanged() override { filters_->reload(); }
    void stateChanged() override { updateState(); }
    void sanityTick() override;
    void serverChanged() override { updateConnections(); }
    void serverStopped() override { muxWindow_->server->setTicked(false); }
    void recordingEnded(const Recorder::End& end) override { files_->recordEnded(end); }
    void udpFailed(const std::string& destination, const std::string& reason) override;
    void clientSentencesCounted(const ClientSentences::Counts& counts) override;
    ListenOn listenOn() const;

    void connectActions();
    void fillControls();
    void beep();
    void terminate() { core_->terminate(); }

    MuxOptions options_;
    std::unique_ptr<MuxWindow> muxWindow_;
    std::unique_ptr<MuxCore> core_;
    std::unique_ptr<DevicePanel> panel_;
    std::unique_ptr<FilterEditor> filters_;
    std::unique_ptr<MonitorControl> monitor_;
    std::unique_ptr<LogFileControl> files_;
    bool awake_ = false;
    bool settingsLoaded_ = false;
};
