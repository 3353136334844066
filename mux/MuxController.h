#pragma once
// The console's one controller, and the facade the window and the tests talk to. It keeps the
// operations the console is known by; the work is done by the reader (Reader), the protocol
// (mux/protocol), the filter list (FilterList), the capture (Capture), the monitor's feed
// (MonitorFeed), the file playback (Playback), the recording (Recorder) and the window's panes.

#include "link/GPSTransfer.h"
#include "link/NMEA.h"
#include "mux/Capture.h"
#include "mux/FileDialog.h"
#include "mux/FilterList.h"
#include "mux/MonitorFeed.h"
#include "mux/Playback.h"
#include "mux/Reader.h"
#include "mux/Recorder.h"
#include "mux/protocol/Descriptor.h"

#include <QObject>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class FilterTableModel;
class MuxWindow;
class QColor;
class QTimer;
class ServerControl;

struct MuxOptions {
    MuxVariant variant = MuxVariant::Current;
    std::chrono::milliseconds startDelay{2000};     // before the reader's first port open
    std::chrono::milliseconds sanityInterval{5000}; // the timer that keeps the device queried
    std::chrono::milliseconds idleSleep{1000};      // the reader's longest sleep while no port is open
    std::chrono::milliseconds silence{5000};        // a read that waited this long came back empty
    std::chrono::milliseconds retryFirst{1000};     // a lost port is tried again after this, doubling ...
    std::chrono::milliseconds retryLongest{4000};   // ... up to this
    std::chrono::milliseconds captureTime{10000};   // how long a capture gathers, at least
    std::chrono::milliseconds frameInterval{0};     // the monitor's frame; 0: the screen's refresh
    std::chrono::milliseconds fileStatus{250};      // how often the log files' progress is shown
    std::chrono::milliseconds recordFlush{100};     // a recording reaches its file at least this often
    // The capture's clock; the steady clock when not set.
    std::function<std::chrono::steady_clock::time_point()> clock;
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
    // Opens a port for the reader; the real serial port when not set.
    Reader::Opener openPort;
    // The open and save dialogs of Send File and Record; the real ones when not set.
    FileChooser chooseFile;
};

class MuxController : public QObject, private ReaderClient {
    Q_OBJECT
public:
    explicit MuxController(MuxOptions options);
    ~MuxController() override; // stops the reader thread
    MuxController(const MuxController&) = delete;
    MuxController& operator=(const MuxController&) = delete;

    // Lists the ports, fills the boxes, loads the preferences, starts the timers and the reader.
    void awakeFromNib();

    MuxWindow& window() const { return *muxWindow_; }
    MuxVariant variant() const { return options_.variant; }
    // Where the network server's forwarding and the file playback attach (Reader.h).
    Reader& reader() { return *reader_; }
    GPSTransfer& sender() { return gpsTransfer_; }
    // nmeaFileArray and nmeaFileEnumerator live in the playback as one object.
    Playback& playback() { return playback_; }
    Recorder& recorder() { return recorder_; }

    bool hasConnection() const { return reader_->hasConnection(); }
    bool canConnect() const;
    std::optional<std::string> port() const;
    std::optional<std::string> rate() const;
    bool bluetooth() const { return flags_.bluetooth; }
    bool velmar42() const { return flags_.velmar42; }
    bool thirdGeneration() const { return flags_.thirdGeneration; }
    MuxFamily family() const { return familyOf(options_.variant, flags_); }
    bool startMonitor() const { return startMonitor_; }
    bool capturing() const { return capture_.running(); }
    uint32_t pendingRequests() const { return reader_->requests().pending(); }
    const std::vector<Filter>& filterArray() const { return filterList_.rows(); }

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
    void onSendFile();
    void onStopSending();
    void onRecord();
    // Shows the playback's progress and the recording (main thread).
    void updateFiles();
    // Hands one entry (or, with none, clearing the list) to the reader thread.
    void setFilter(const std::optional<Filter>& filter);
    void updateConnections();
    void controlTextDidChange(QObject* control);

    // Sends one query (the codes of Query), from either thread.
    void sendQuery(unsigned code);
    void sendQuery(Query query) { sendQuery(unsigned(query)); }
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
    // Any other line: shown, and gathered by a running capture. Any thread.
    void updateUnknown(const Bytes& sentence);
    void updateState();

    // Monitor. updateMonitor queues a line (any thread); the next frame shows what is queued, in
    // order, and appendMonitor puts one piece on the pane (main thread).
    void updateMonitor(const std::string& text);
    void appendMonitor(std::string_view text, const QColor& colour);
    void flushMonitor(); // the frame's work, now
    const MonitorFeed& monitorFeed() const { return feed_; }

    void openPortFail(const std::string& portName);
    void loadSettings();
    void saveSettings();
    void applicationWillSleep();
    void applicationWillTerminate();
    void windowDidBecomeKey();
    void windowWillClose();

private slots:
    void prepareForSleep(bool start);

private:
    // ReaderClient.
    void readerStarted() override;
    ReaderWork takeRequests() override;
    void portOpening() override;
    void portOpened(const std::string& port, const std::string& rate) override;
    void portFailed(const std::string& port) override;
    void lineLost(const std::string& port) override;
    void unhandledLine(Bytes line) override;

    const ProgramDescriptor& program() const { return programDescriptor(options_.variant); }
    const FamilyDescriptor& familyNow() const { return familyDescriptor(options_.variant, family()); }
    void buildHandlerTable();
    void fillControls();
    void setupTableView();
    void connectActions();
    void listPorts();
    void selectPortText(const std::string& text);
    void post(Request request) { reader_->requests().post(request); }
    void onMain(std::function<void()> fn);
    void beep();
    void terminate();
    void emptyFilterList();
    void updateFilterButtons();
    bool captureByFormatter() const;
    void recordEnded(const Recorder::End& end);
    void connectFiles();

    MuxOptions options_;
    std::unique_ptr<MuxWindow> muxWindow_;
    FilterTableModel* filterModel_ = nullptr; // child of this
    QTimer* sanity_ = nullptr;                // child of this
    QTimer* frame_ = nullptr;                 // child of this
    QTimer* fileStatus_ = nullptr;            // child of this

    GPSTransfer gpsTransfer_;
    NMEA::HandlerTable nmeaDictionary_;
    FamilyFlags flags_; // main thread
    bool startMonitor_ = false;
    bool awake_ = false;
    bool settingsLoaded_ = false;
    bool quitting_ = false; // the program decided to end: the device is left alone

    FilterList filterList_;
    Capture capture_;
    MonitorFeed feed_;
    Playback playback_{gpsTransfer_};
    Recorder recorder_;
    std::unique_ptr<ServerControl> server_; // the network server's controls
    std::unique_ptr<Reader> reader_;        // last: its thread goes first
};
