#pragma once
// The console without its window: the reader and its requests, the command sender, the reply
// handlers, what the device told (family, identity, configuration, talker IDs, filter list), the
// timer that keeps it queried, the network server and the UDP output, the sentences clients send
// to the device, the recording, the file playback and the forwarding of every line. It needs Qt Core only, so
// the window and a headless bridge run the same one; whatever the user must be told goes out through a
// MuxCoreObserver.
//
// Threads: made, used and destroyed on the main thread (a QCoreApplication's is enough). The
// reader runs its own thread from start() until the core is destroyed.

#include "link/GPSTransfer.h"
#include "link/NMEA.h"
#include "mux/ClientSentences.h"
#include "mux/FilterList.h"
#include "mux/MuxCoreObserver.h"
#include "mux/Playback.h"
#include "mux/Reader.h"
#include "mux/Recorder.h"
#include "mux/ServerControl.h"
#include "mux/protocol/Descriptor.h"
#include "net/UDPSender.h"

#include <QObject>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QTimer;

struct CoreOptions {
    MuxVariant variant = MuxVariant::Current;
    std::chrono::milliseconds startDelay{2000};     // before the reader's first port open
    std::chrono::milliseconds sanityInterval{5000}; // the timer that keeps the device queried
    std::chrono::milliseconds idleSleep{1000};      // the reader's longest sleep while no port is open
    std::chrono::milliseconds silence{5000};        // a read that waited this long came back empty
    std::chrono::milliseconds retryFirst{1000};     // a lost port is tried again after this, doubling ...
    std::chrono::milliseconds retryLongest{4000};   // ... up to this
    std::chrono::milliseconds recordFlush{100};     // a recording reaches its file at least this often
    // Opens a port for the reader; the real serial port when not set.
    Reader::Opener openPort;
    // How the program ends (firmware too old, system sleep); quits the application when not set.
    std::function<void()> terminate;
};

class MuxCore : public QObject, private ReaderClient {
    Q_OBJECT
public:
    // The observer (none: nothing is told) must outlive the core.
    explicit MuxCore(CoreOptions options, MuxCoreObserver* observer = nullptr);
    ~MuxCore() override; // stops the reader thread, the playback and the recording
    MuxCore(const MuxCore&) = delete;
    MuxCore& operator=(const MuxCore&) = delete;

    // The port to open at this rate: at once while the reader runs, else once it starts; a later
    // choice replaces it. A port without a name opens nothing. Awaited, a port that is not there
    // is opened once it appears (as a lost one is) instead of being refused.
    void openPort(const std::optional<std::string>& port, const std::optional<std::string>& rate,
                  bool await = false);
    // Starts the reader and the timer that keeps the device queried.
    void start();

    const ProgramDescriptor& program() const { return programDescriptor(options_.variant); }
    MuxVariant variant() const { return options_.variant; }
    bool hasConnection() const { return reader_->hasConnection(); }
    const FamilyFlags& flags() const { return flags_; }
    MuxFamily family() const { return familyOf(options_.variant, flags_); }
    const FamilyDescriptor& familyNow() const { return familyDescriptor(options_.variant, family()); }
    // Name, serial number and firmware; nil until the device told them, and once it is gone.
    const std::optional<Version>& identity() const { return identity_; }
    // The configuration as the device last reported it (a mode the panel cannot show is left out).
    const Configuration& configuration() const { return configuration_; }
    const TalkerIDs& talkerIDs() const { return talkerIDs_; }
    const FilterList& filterList() const { return filterList_; }
    FilterList& filterList() { return filterList_; }
    // The device named itself and its mode: the timer stops asking.
    bool identified() const { return identity_ && configuration_.mode >= 0; }
    // A Bluetooth device of the program that has it offers the AIS mode (once offered, it stays).
    bool aisModeOffered() const { return aisModeOffered_; }
    bool quitting() const { return quitting_; }

    // Requests, taken as values now; those of one turn of the main loop go to the reader together
    // once the turn ends.
    void postConfiguration(const Configuration& configuration);
    void postSpeeds(const Speeds& speeds);
    void postTalkerIDs(const TalkerIDs& ids);
    // One entry (none: clear the list). The list keeps its rows until the device's report, but
    // for those the edit drops; the caller shows it anew.
    void postFilter(const std::optional<Filter>& entry);
    void postCapture(std::vector<Filter> entries);
    uint32_t pendingRequests() const { return reader_->requests().pending(); }

    // One query (the codes of Query), main thread.
    void sendQuery(Query query);
    // The timer's work: an unidentified device is asked again. Then the observer's sanityTick().
    void sanityTimer();

    // Records every line as read into the file; the reason when it cannot be created.
    std::optional<std::string> record(const std::string& path);
    // Sends every line as read to these UDP destinations from now on; the reason, and nothing
    // changed, when one is not a destination.
    std::optional<std::string> startUDP(const std::vector<std::string>& destinations);
    void stopUDP() { udp_.stop(); }
    void terminate();

    Reader& reader() { return *reader_; }
    GPSTransfer& sender() { return gpsTransfer_; }
    Playback& playback() { return playback_; }
    Recorder& recorder() { return recorder_; }
    ServerControl& server() { return *server_; }
    UDPSender& udp() { return udp_; }
    ClientSentences& clientSentences() { return clientSentences_; }

private:
    // ReaderClient.
    void readerStarted() override;
    void portOpening() override;
    void portOpened(const std::string& port, const std::string& rate) override;
    void portFailed(const std::string& port) override;
    void portAwaited(const std::string& port) override;
    void lineLost(const std::string& port) override;
    void unhandledLine(Bytes line) override;

    Requests& gather();
    void buildHandlerTable();
    void updateVersion(const std::string& text);
    void updateConfiguration(const std::string& text);
    void updateID(const std::string& text);
    void updateFilterList(const std::string& text);
    void updateOverflow(const std::string& text);
    void updateSpeed(const std::string& text);
    void forgetIdentity();
    void stateChanged();
    void tellClientSentences();

    CoreOptions options_;
    MuxCoreObserver nobody_;
    MuxCoreObserver& observer_;
    QTimer* sanity_ = nullptr; // child of this
    std::optional<std::string> port_, rate_;
    bool awaitPort_ = false;

    GPSTransfer gpsTransfer_;
    NMEA::HandlerTable nmeaDictionary_;
    FamilyFlags flags_;
    std::optional<Version> identity_;
    Configuration configuration_;
    TalkerIDs talkerIDs_;
    FilterList filterList_;
    bool aisModeOffered_ = false;
    bool started_ = false;
    bool readerRunning_ = false; // it has asked for the port: a port chosen since goes to it at once
    bool publishQueued_ = false;
    bool quitting_ = false; // the program decided to end: the device is left alone

    Playback playback_{gpsTransfer_};
    Recorder recorder_;
    UDPSender udp_;
    ClientSentences clientSentences_{gpsTransfer_};
    ClientSentences::Counts toldCounts_;
    std::unique_ptr<ServerControl> server_;
    std::unique_ptr<Reader> reader_; // last: its thread goes first
};
