#pragma once
// The console's one controller: owns the window, the connection to the multiplexer and the reader
// thread, speaks the device's $PQVX protocol and keeps the panel showing what the device holds.

#include "link/GPSTransfer.h"
#include "link/NMEA.h"
#include "link/Serial.h"
#include "mux/protocol/Filter.h"
#include "mux/protocol/Descriptor.h"

#include <QObject>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

class MuxWindow;
class QAbstractTableModel;
class QColor;
class QTimer;

struct MuxOptions {
    MuxVariant variant = MuxVariant::Current;
    std::chrono::milliseconds startDelay{2000};     // before the reader's first port open
    std::chrono::milliseconds sanityInterval{5000}; // the timer that keeps the device queried
    std::chrono::milliseconds idleSleep{1000};      // the reader's pause while no port is open
    // The machine's serial ports (short names); the system's listing when not set.
    std::function<std::vector<std::string>()> listPorts;
    // Ports the listing cannot know (a pseudo-terminal, a symbolic link), offered as items.
    std::vector<std::string> extraPorts;
    // Selected after the preferences were loaded, as if the user had picked it.
    std::optional<std::string> selectPort;
    // How the program ends (firmware too old, no ports, window closed, system sleep).
    std::function<void()> terminate;
    // The system beep.
    std::function<void()> beep;
};

class MuxController : public QObject {
    Q_OBJECT
public:
    // Thread commands: the one-slot mailbox from the window to the reader.
    enum Command : uint32_t {
        OpenPort = 1,
        SendConfiguration = 5,
        SendTalkerIDs = 6,
        SendFilter = 7,
        SendCapture = 8,
        ClearFilters = 9,
        SendSpeeds = 11,
    };
    // Query codes of sendQuery.
    enum Query : unsigned {
        QueryConfiguration = 5,
        QueryIDs = 6,
        QueryFilters = 7,
        QueryVersion = 10,
        QuerySpeeds = 11
    };

    explicit MuxController(MuxOptions options);
    ~MuxController() override; // stops the reader thread
    MuxController(const MuxController&) = delete;
    MuxController& operator=(const MuxController&) = delete;

    // Lists the ports, fills the boxes, loads the preferences, starts the timer and the reader.
    void awakeFromNib();

    MuxWindow& window() const { return *muxWindow_; }
    MuxVariant variant() const { return options_.variant; }

    bool hasConnection() const { return connected_.load(); }
    bool canConnect() const;
    std::optional<std::string> port() const;
    std::optional<std::string> rate() const;
    bool bluetooth() const { return bluetooth_.load(); }
    bool velmar42() const { return velmar42_.load(); }
    bool thirdGeneration() const { return thirdGeneration_.load(); }
    bool startMonitor() const { return startMonitor_; }
    uint32_t pendingCommand() const { return threadCommand_.load(); }
    const std::vector<Filter>& filterArray() const { return filterArray_; }

    // Actions.
    void onPortChange();
    void onRateChange();
    void onMuxChange();
    void onSpeedChange();
    void onStart();
    void onClear();
    void onCapture();
    void onEnable();
    void onFilterChange();
    void onAdd();
    void onRemove();
    void onClearAll();
    // Hands one entry (or, with none, clearing the list) to the reader thread.
    void setFilter(const std::optional<Filter>& filter);
    void updateConnections();
    void controlTextDidChange(QObject* control);

    // Sends one query, from either thread.
    void sendQuery(unsigned code);
    void sanityTimer();

    // Reply handlers (main thread).
    void updateVersion(const Bytes& sentence);
    void clearVersion();
    void updateConfiguration(const Bytes& sentence);
    void updateID(const Bytes& sentence);
    void updateFilterList(const Bytes& sentence);
    void updateOverflow(const Bytes& sentence);
    void updateChannelNumber(const Bytes& sentence);
    void updateSpeed(const Bytes& sentence);
    void updateUnknown(const Bytes& sentence);
    void updateState();

    // Monitor (main thread).
    void updateMonitor(const std::string& text);
    void appendMonitor(std::string_view text, const QColor& colour);

    void openPortFail(const std::string& portName);
    void loadSettings();
    void saveSettings();
    void applicationWillSleep();
    void applicationWillTerminate();
    void windowDidBecomeKey();
    void windowWillClose();

    // The device's sentences for a thread command, built from the panel as it stands now.
    std::vector<std::string> commandSentences(uint32_t command);

private slots:
    void prepareForSleep(bool start);

private:
    struct Taken {
        uint32_t command = 0;
        std::vector<std::string> sentences;
        std::optional<std::string> port, rate;
    };

    void buildHandlerTable();
    void setupTableView();
    void connectActions();
    void listPorts();
    void selectPortText(const std::string& text);
    void terminate();

    // Reader thread.
    void getRawSentencesThread();
    void execute(const Taken& taken);
    void openPort(std::optional<std::string> port, std::optional<std::string> rate, bool quiet);
    void closePort();
    void lineLost();
    void processRawSentence(Bytes line);
    void forwardToServer(const Bytes& line);
    void playbackStep(bool lineRead);
    bool pause(std::chrono::milliseconds duration); // false when the reader is to end

    // Calls fn on the main thread and waits, giving up when the controller is torn down.
    template <class F>
    bool runOnMain(F&& fn);
    void postToMain(std::function<void()> fn);

    MuxOptions options_;
    std::unique_ptr<MuxWindow> muxWindow_;
    std::unique_ptr<QAbstractTableModel> filterModel_;
    QTimer* sanity_ = nullptr; // child of this

    GPSTransfer gpsTransfer_;
    NMEA::HandlerTable nmeaDictionary_;
    std::shared_ptr<Serial> serialPort_; // reader thread only
    std::atomic<bool> connected_{false};
    std::atomic<uint32_t> threadCommand_{0};
    std::atomic<bool> stopping_{false};
    std::optional<std::string> openedPort_, openedRate_; // reader thread
    std::optional<std::string> lostPort_, lostRate_;     // reader thread: reopened when the device returns

    std::atomic<bool> bluetooth_{false}, velmar42_{false}, thirdGeneration_{false};
    bool startMonitor_ = false;
    bool awake_ = false;
    bool terminated_ = false;

    std::vector<Filter> filterArray_; // main thread
    Filter newFilter_;                // main thread
    std::mutex captureLock_;
    std::map<std::string, Filter> captureDictionary_;
    std::optional<std::chrono::steady_clock::time_point> captureDate_;

    std::thread reader_;
};
