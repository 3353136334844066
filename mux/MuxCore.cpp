#include "mux/MuxCore.h"

#include "mux/protocol/Codec.h"
#include "mux/protocol/RequestSequence.h"
#include "support/Alert.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <cstring>

namespace {

constexpr int kRates = 4;      // host-port speeds: 4800, 9600, 19200, 38400
constexpr int kPlainModes = 3; // server, hub, auto

// The sentence as text: up to its first NUL, one character per byte.
std::string sentenceText(const Bytes& sentence) {
    auto end = std::find(sentence.begin(), sentence.end(), uint8_t(0));
    return std::string(sentence.begin(), end);
}

ReaderTimes readerTimes(const CoreOptions& o) {
    return {o.startDelay, o.idleSleep, o.silence, o.retryFirst, o.retryLongest};
}

// A reply's number within [0, count), or an option that is 0 or 1, replaces what was known.
void take(int& known, const std::optional<int>& reported, int count) {
    if (reported && *reported >= 0 && *reported < count)
        known = *reported;
}

} // namespace

MuxCore::MuxCore(CoreOptions options, MuxCoreObserver* observer)
    : options_(std::move(options)), observer_(observer != nullptr ? *observer : nobody_),
      recorder_(options_.recordFlush) {
    buildHandlerTable();
    ReaderClient& client = *this; // a private base: only the core hands itself out
    reader_ =
        std::make_unique<Reader>(client, gpsTransfer_, nmeaDictionary_, program(), readerTimes(options_));
    if (options_.openPort)
        reader_->setOpener(options_.openPort);
    TCPConnectionModel& net = TCPConnectionModel::tcpConnection();
    server_ = std::make_unique<ServerControl>(
        net, [this] { observer_.serverChanged(); }, [this] { observer_.serverStopped(); }, this,
        &clientSentences_);
    server_->setRefusedHandler(
        [this] { observer_.shown("#### " + Alert::localizedStringWithKey("NSServerFull")); });
    reader_->addLineObserver(ServerControl::forwarder(net)); // every line, before its checksum
    reader_->addLineObserver([this](const Bytes& line) { udp_.send(line); });
    reader_->addLineObserver([this](const Bytes& line) { recorder_.line(line); });
    reader_->addTurnObserver([this](bool lineRead) { playback_.turn(lineRead); });
}

MuxCore::~MuxCore() {
    server_.reset();  // no client's line reaches the sender any more
    playback_.stop(); // a long line going out ends here
    reader_.reset();  // the thread ends before anything it reaches goes
    recorder_.stop(); // the recording's lines reach its file while the core is whole
    recorder_.finish();
}

// Replies by their two-letter type, as the program's descriptor lists them.
void MuxCore::buildHandlerTable() {
    const std::pair<const char*, void (MuxCore::*)(const std::string&)> handlers[] = {
        {"VE", &MuxCore::updateVersion},    {"CF", &MuxCore::updateConfiguration}, {"ID", &MuxCore::updateID},
        {"FL", &MuxCore::updateFilterList}, {"OV", &MuxCore::updateOverflow},      {"CN", nullptr},
        {"SP", &MuxCore::updateSpeed},
    };
    const auto& types = program().replyTypes;
    for (const auto& [type, handler] : handlers)
        if (std::find(types.begin(), types.end(), type) != types.end())
            nmeaDictionary_[type] = NMEA::nmeaWithSelector([this, handler](const Bytes& s) {
                const std::string text = sentenceText(s);
                observer_.shown(text);
                if (handler != nullptr)
                    (this->*handler)(text);
            });
}

void MuxCore::openPort(const std::optional<std::string>& port, const std::optional<std::string>& rate,
                       bool await) {
    port_ = port;
    rate_ = rate;
    awaitPort_ = await;
    // Before the reader runs, it takes the port chosen last when it starts: asked here too, a
    // port chosen in that moment would be opened twice.
    if (readerRunning_ && port && !port->empty())
        gather().openPort(port, rate, await);
}

void MuxCore::start() {
    if (started_)
        return;
    started_ = true;
    sanity_ = new QTimer(this);
    sanity_->setInterval(int(options_.sanityInterval.count()));
    connect(sanity_, &QTimer::timeout, this, &MuxCore::sanityTimer);
    sanity_->start();
    reader_->start();
}

// ---- requests and queries --------------------------------------------------------------------

// The requests of one turn of the main loop go to the reader together once the turn is over.
Requests& MuxCore::gather() {
    if (!publishQueued_) {
        publishQueued_ = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                publishQueued_ = false;
                reader_->requests().publish();
            },
            Qt::QueuedConnection);
    }
    return reader_->requests();
}

void MuxCore::postConfiguration(const Configuration& configuration) {
    gather().configuration(configuration, family());
}

void MuxCore::postSpeeds(const Speeds& speeds) {
    if (program().speeds)
        gather().speeds(speeds);
}

void MuxCore::postTalkerIDs(const TalkerIDs& ids) {
    gather().talkerIDs(ids);
}

void MuxCore::postFilter(const std::optional<Filter>& entry) {
    if (!entry) {
        filterList_.clear(); // the device's list is empty once the request is out
        gather().clearFilters();
    } else {
        filterList_.refresh({*entry});
        gather().filter(*entry);
    }
}

// An address already in the list keeps the routing the user gave it.
void MuxCore::postCapture(std::vector<Filter> entries) {
    std::erase_if(entries, [this](const Filter& captured) {
        return std::any_of(filterList_.rows().begin(), filterList_.rows().end(), [&](const Filter& row) {
            return row.sentence() && captured.sentence() &&
                   QString::fromStdString(*row.sentence())
                           .compare(QString::fromStdString(*captured.sentence()), Qt::CaseInsensitive) == 0;
        });
    });
    filterList_.refresh(entries);
    gather().capture(std::move(entries));
}

// The replies rebuild what a query forgets; they reach the main thread after it.
void MuxCore::sendQuery(Query query) {
    for (const Outgoing& out : querySentences(program(), query)) {
        if (query == Query::Filters) {
            filterList_.clear();
            observer_.filterListChanged(); // an empty list gets no reply at all
        } else if (query == Query::Version) {
            flags_.velmar42 = flags_.thirdGeneration = false;
        }
        gpsTransfer_.sendNMEACommand(out.sentence);
    }
}

void MuxCore::sanityTimer() {
    tellClientSentences();
    if (quitting_ || !hasConnection())
        return;
    // A line too long to hold has the sender for a while: the next tick asks instead.
    if (!identified() && !playback_.sendingLongLine())
        for (Query q : program().queryBurst)
            sendQuery(q);
    observer_.sanityTick();
}

std::optional<std::string> MuxCore::record(const std::string& path) {
    return recorder_.start(path, [this](const Recorder::End& end) {
        QMetaObject::invokeMethod(
            this, [this, end] { observer_.recordingEnded(end); }, Qt::QueuedConnection);
    });
}

std::optional<std::string> MuxCore::startUDP(const std::vector<std::string>& destinations) {
    std::string why;
    // Said on the reader thread, shown on the main one.
    auto fault = [this](const std::string& destination, int error) {
        QMetaObject::invokeMethod(
            this, [this, destination, error] { observer_.udpFailed(destination, std::strerror(error)); },
            Qt::QueuedConnection);
    };
    if (!udp_.start(destinations, &why, fault))
        return why;
    return std::nullopt;
}

// What became of the clients' sentences, now and then: when the first was written, and whenever
// more were not. A client feeding the device steadily is not told every tick.
void MuxCore::tellClientSentences() {
    const ClientSentences::Counts counts = clientSentences_.counts();
    const bool firstWritten = toldCounts_.written == 0 && counts.written > 0;
    ClientSentences::Counts unwritten = counts;
    unwritten.written = toldCounts_.written;
    if (!firstWritten && unwritten == toldCounts_)
        return;
    toldCounts_ = counts;
    observer_.clientSentencesCounted(counts);
}

void MuxCore::terminate() {
    quitting_ = true;
    if (options_.terminate)
        options_.terminate();
    else
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

// ---- the reader's client ---------------------------------------------------------------------

void MuxCore::readerStarted() {
    readerRunning_ = true;
    if (port_ && !port_->empty())
        gather().openPort(port_, rate_, awaitPort_);
}

void MuxCore::portOpening() {
    forgetIdentity();
    stateChanged();
}

void MuxCore::portOpened(const std::string& port, const std::string& rate) {
    observer_.shown("#### Open " + port + " at " + rate);
    observer_.portOpened(port, rate);
}

void MuxCore::portFailed(const std::string& port) {
    observer_.portFailed(port);
}

void MuxCore::portAwaited(const std::string& port) {
    observer_.portAwaited(port);
}

// The device went away: what it told no longer holds.
void MuxCore::lineLost(const std::string& port) {
    observer_.shown("#### " + Alert::localizedStringWithKey("NSLineLost") + " " + port);
    forgetIdentity();
    flags_.velmar42 = flags_.thirdGeneration = false;
    filterList_.clear();
    observer_.lineLost(port);
    observer_.filterListChanged();
    stateChanged();
}

void MuxCore::unhandledLine(Bytes line) {
    observer_.traffic(line);
}

// ---- replies (main thread) -------------------------------------------------------------------

void MuxCore::updateVersion(const std::string& text) {
    const auto version = codec::readVersion(text);
    if (!version)
        return;
    identity_ = *version;
    observer_.identityChanged();
    if (!codec::firmwareSupported(version->firmware, program().minimumFirmware)) {
        if (quitting_)
            return;       // said once; a later reply to an earlier query changes nothing
        quitting_ = true; // no more queries to a device the program is about to leave
        observer_.firmwareNotSupported();
        terminate();
        return;
    }
    flags_ = codec::applyVersion(options_.variant, flags_, *version);
    stateChanged();
}

void MuxCore::updateConfiguration(const std::string& text) {
    const ConfigurationReply reply = codec::readConfiguration(familyNow(), text);
    Configuration& c = configuration_;
    take(c.speed, reply.speed, kRates);
    take(c.mode, reply.mode, kPlainModes + (aisModeOffered_ ? 1 : 0));
    for (auto [known, reported] : {std::pair{&c.seatalk, reply.seatalk},
                                   {&c.priority, reply.priority},
                                   {&c.channelNumbers, reply.channelNumbers},
                                   {&c.channelIDs, reply.channelIDs},
                                   {&c.heading, reply.heading},
                                   {&c.ais, reply.ais}})
        take(*known, reported, 2);
    if (reply.realtime)
        for (size_t k = 0; k < 4; ++k)
            c.realtime[k] = (*reply.realtime)[k] ? 1 : 0;
    observer_.configurationRead(reply);
}

void MuxCore::updateID(const std::string& text) {
    talkerIDs_ = codec::readTalkerIDs(text);
    observer_.talkerIDsRead(talkerIDs_);
}

void MuxCore::updateFilterList(const std::string& text) {
    if (auto entry = codec::readFilter(text, program().filterFrequency))
        filterList_.report(*entry);
    observer_.filterListChanged();
}

void MuxCore::updateOverflow(const std::string& text) {
    if (auto mask = codec::readOverflow(text))
        observer_.overflowRead(*mask);
}

void MuxCore::updateSpeed(const std::string& text) {
    observer_.speedsRead(codec::readSpeeds(text));
}

void MuxCore::forgetIdentity() {
    const bool had = identity_.has_value();
    identity_.reset();
    if (had)
        observer_.identityChanged();
}

void MuxCore::stateChanged() {
    if (program().aisModeWithBluetooth && hasConnection() && flags_.bluetooth)
        aisModeOffered_ = true;
    observer_.stateChanged();
}
