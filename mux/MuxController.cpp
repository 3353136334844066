#include "mux/MuxController.h"

#include "mux/FilterTableModel.h"
#include "mux/MuxWindow.h"
#include "mux/ServerControl.h"
#include "mux/panes/ConfigurationPane.h"
#include "mux/panes/DevicePane.h"
#include "mux/panes/FilterPane.h"
#include "mux/panes/LogFilePane.h"
#include "mux/panes/MonitorPane.h"
#include "mux/panes/ServerPane.h"
#include "mux/protocol/Codec.h"
#include "support/Alert.h"
#include "support/AlertPanels.h"
#include "support/InstallController.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDBusConnection>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QThread>
#include <QTimer>

#include <algorithm>

namespace {

const char* const kSentenceCodes[] = {
    "AAM", "ABK", "ABM", "ACA", "ACK", "ACS", "AIR", "ALM", "ALR", "APB", "BBM", "BEC", "BOD", "BWC",
    "BWR", "BWW", "CUR", "DBT", "DCN", "DPT", "DSC", "DSE", "DSI", "DSR", "DTM", "FSI", "GBS", "GGA",
    "GLC", "GLL", "GMP", "GNS", "GRS", "GSA", "GST", "GSV", "HDG", "HDT", "HMR", "HMS", "HSC", "HTC",
    "HTD", "LCD", "LRF", "LRI", "LR1", "LR2", "LR3", "MLA", "MSK", "MSS", "MTW", "MWD", "MWV", "OSD",
    "RMA", "RMB", "RMC", "ROT", "RPM", "RSA", "RSD", "RTE", "SFI", "SSD", "STN", "TLB", "TLL", "TTM",
    "TUT", "TXT", "VBW", "VDM", "VDO", "VDR", "VHW", "VLW", "VPW", "VSD", "VTG", "VWR", "VWT", "WCV",
    "WNC", "WPL", "XDR", "XTE", "XTR", "ZDA", "ZDL", "ZFO", "ZTG"};

const char* const kRates[] = {"4800", "9600", "19200", "38400"};

QString localized(const char* key) {
    return QString::fromStdString(Alert::localizedStringWithKey(key));
}

// A path typed relative to where the program runs is kept whole, so it opens (and is stored)
// as the user meant it; names under /dev/ stay short.
QString portText(const QString& text) {
    if (text.startsWith("./") || text.startsWith("../"))
        return QDir::cleanPath(QFileInfo(text).absoluteFilePath());
    return text;
}

ReaderTimes readerTimes(const MuxOptions& o) {
    return {o.startDelay, o.idleSleep, o.silence, o.retryFirst, o.retryLongest};
}

} // namespace

MuxController::MuxController(MuxOptions options)
    : options_(std::move(options)), muxWindow_(std::make_unique<MuxWindow>(options_.variant)),
      filterList_(program().filterFrequency),
      capture_(
          options_.clock ? options_.clock : [] { return std::chrono::steady_clock::now(); },
          options_.captureTime),
      recorder_(options_.recordFlush) {
    buildHandlerTable();
    ReaderClient& client = *this; // a private base: only the controller hands itself out
    reader_ = std::make_unique<Reader>(client, gpsTransfer_, nmeaDictionary_, readerTimes(options_));
    if (options_.openPort)
        reader_->setOpener(options_.openPort);
    TCPConnectionModel& net = TCPConnectionModel::tcpConnection();
    server_ = std::make_unique<ServerControl>(*muxWindow_->server, *muxWindow_, net);
    reader_->addLineObserver(ServerControl::forwarder(net)); // every line, before its checksum
    reader_->addLineObserver([this](const Bytes& line) { recorder_.line(line); });
    reader_->addTurnObserver([this](bool lineRead) { playback_.turn(lineRead); });
}

MuxController::~MuxController() {
    playback_.stop(); // a long line going out ends here
    reader_.reset();  // the thread ends before anything it reaches goes
    recorder_.stop(); // the recording's lines reach its file while the controller is whole
    recorder_.finish();
}

// Replies by their two-letter type, as the program's descriptor lists them.
void MuxController::buildHandlerTable() {
    const std::pair<const char*, void (MuxController::*)(const Bytes&)> handlers[] = {
        {"VE", &MuxController::updateVersion},  {"CF", &MuxController::updateConfiguration},
        {"ID", &MuxController::updateID},       {"FL", &MuxController::updateFilterList},
        {"OV", &MuxController::updateOverflow}, {"CN", &MuxController::updateChannelNumber},
        {"SP", &MuxController::updateSpeed},
    };
    const auto& types = program().replyTypes;
    for (const auto& [type, handler] : handlers)
        if (std::find(types.begin(), types.end(), type) != types.end())
            nmeaDictionary_[type] =
                NMEA::nmeaWithSelector([this, handler](const Bytes& s) { (this->*handler)(s); });
}

void MuxController::awakeFromNib() {
    if (awake_)
        return;
    awake_ = true;
    connect(qApp, &QCoreApplication::aboutToQuit, this, &MuxController::applicationWillTerminate);
    connectActions();
    InstallController().displayInstaller(); // offers itself only when run from an image

    startMonitor_ = true;
    clearVersion();
    listPorts();
    fillControls();
    updateConnections();
    setupTableView();

    if (!canConnect()) {
        Alert::showMessageWithKey("NSNoPorts");
        terminate();
        return;
    }
    updateState();
    loadSettings();
    if (options_.selectPort)
        selectPortText(*options_.selectPort);

    sanity_ = new QTimer(this);
    sanity_->setInterval(int(options_.sanityInterval.count()));
    connect(sanity_, &QTimer::timeout, this, &MuxController::sanityTimer);
    sanity_->start();
    frame_ = new QTimer(this);
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double hz = screen != nullptr && screen->refreshRate() > 1 ? screen->refreshRate() : 60.0;
    frame_->setTimerType(Qt::PreciseTimer);
    frame_->setInterval(options_.frameInterval.count() > 0 ? int(options_.frameInterval.count())
                                                           : std::max(1, int(1000.0 / hz)));
    connect(frame_, &QTimer::timeout, this, &MuxController::flushMonitor);
    frame_->start();
    fileStatus_ = new QTimer(this);
    fileStatus_->setInterval(int(options_.fileStatus.count()));
    connect(fileStatus_, &QTimer::timeout, this, &MuxController::updateFiles);
    fileStatus_->start();

    reader_->start();

    QDBusConnection bus = QDBusConnection::systemBus();
    if (bus.isConnected())
        bus.connect("org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                    "PrepareForSleep", this, SLOT(prepareForSleep(bool)));
}

void MuxController::fillControls() {
    DevicePane& d = *muxWindow_->device;
    ConfigurationPane& c = *muxWindow_->configuration;
    FilterPane& f = *muxWindow_->filters;
    for (QWidget* widget :
         {static_cast<QWidget*>(f.addButton), static_cast<QWidget*>(f.removeButton),
          static_cast<QWidget*>(f.clearAllButton), static_cast<QWidget*>(muxWindow_->files->sendFileButton)})
        widget->setEnabled(false);
    std::vector<QComboBox*> rateBoxes{d.rateComboBox};
    if (program().speeds) {
        rateBoxes.insert(rateBoxes.end(), c.rateInComboBoxes.begin(), c.rateInComboBoxes.end());
        rateBoxes.push_back(c.rateOut2ComboBox);
    }
    for (QComboBox* box : rateBoxes) {
        box->setEnabled(false);
        box->clear();
        for (const char* r : kRates)
            box->addItem(r);
        box->setCurrentIndex(0);
    }
    c.modeComboBox->clear();
    for (const char* key : {"NSServer", "NSHub", "NSAuto"})
        c.modeComboBox->addItem(localized(key));
    c.modeComboBox->setMaxVisibleItems(3);
    c.modeComboBox->setCurrentIndex(-1); // no mode until the device reports one
    c.clearOverflow();

    f.filterComboBox->clear();
    for (const char* code : kSentenceCodes)
        f.filterComboBox->addItem(code);
    f.filterComboBox->setCurrentIndex(-1);
    if (f.frequencyComboBox != nullptr) {
        f.frequencyComboBox->clear();
        for (unsigned i = 0; i <= 10; ++i)
            f.frequencyComboBox->addItem(QString::number(i));
        f.frequencyComboBox->setCurrentIndex(-1);
    }
}

void MuxController::setupTableView() {
    filterModel_ = new FilterTableModel(
        filterList_, program(),
        [this](int row, int column) { setFilter(filterList_.toggle(size_t(row), column)); }, this);
    muxWindow_->filters->filterTableView->setModel(filterModel_);
    muxWindow_->filters->sizeColumns(program());
}

void MuxController::connectActions() {
    MuxWindow& w = *muxWindow_;
    FilterPane& f = *w.filters;
    MonitorPane& m = *w.monitor;
    connect(w.device->portComboBox, &QComboBox::activated, this, [this] { onPortChange(); });
    connect(w.device->rateComboBox, &QComboBox::activated, this, [this] { onRateChange(); });
    connect(w.configuration, &ConfigurationPane::edited, this, [this] { onMuxChange(); });
    connect(w.configuration, &ConfigurationPane::talkerIDEdited, this,
            [this](QLineEdit* field) { controlTextDidChange(field); });
    connect(w.configuration, &ConfigurationPane::speedsEdited, this, [this] { onSpeedChange(); });
    connect(f.filterComboBox->lineEdit(), &QLineEdit::textEdited, this,
            [this] { controlTextDidChange(muxWindow_->filters->filterComboBox); });
    connect(f.filterComboBox, &QComboBox::activated, this, [this] { onFilterChange(); });
    connect(f.addButton, &QPushButton::clicked, this, [this] { onAdd(); });
    connect(f.removeButton, &QPushButton::clicked, this, [this] { onRemove(); });
    connect(f.clearAllButton, &QPushButton::clicked, this, [this] { onClearAll(); });
    connect(m.startButton, &QPushButton::clicked, this, [this] { onStart(); });
    connect(m.clearButton, &QPushButton::clicked, this, [this] { onClear(); });
    connect(m.captureButton, &QPushButton::clicked, this, [this] { onCapture(); });
    connect(&w, &MuxWindow::closing, this, &MuxController::windowWillClose);
    connect(&w, &MuxWindow::becameKey, this, &MuxController::windowDidBecomeKey);
    connectFiles();
}

void MuxController::listPorts() {
    QComboBox* box = muxWindow_->device->portComboBox;
    box->clear();
    for (const std::string& name : options_.listPorts ? options_.listPorts() : Serial::ports())
        box->addItem(QString::fromStdString(name));
    for (const std::string& name : options_.extraPorts)
        if (box->findText(portText(QString::fromStdString(name))) < 0)
            box->addItem(portText(QString::fromStdString(name)));
    box->setMaxVisibleItems(std::clamp(box->count(), 1, 12));
    box->setCurrentIndex(-1);
}

// A typed or given port the listing does not know becomes an item, then it is selected.
void MuxController::selectPortText(const std::string& text) {
    QComboBox* box = muxWindow_->device->portComboBox;
    const QString name = portText(QString::fromStdString(text));
    int index = box->findText(name);
    if (index < 0) {
        box->addItem(name);
        index = box->count() - 1;
    }
    box->setCurrentIndex(index);
}

bool MuxController::canConnect() const {
    return muxWindow_->device->portComboBox->count() > 0;
}

std::optional<std::string> MuxController::port() const {
    QComboBox* box = muxWindow_->device->portComboBox;
    if (box->currentIndex() < 0)
        return std::nullopt;
    return box->itemText(box->currentIndex()).toStdString();
}

std::optional<std::string> MuxController::rate() const {
    QComboBox* box = muxWindow_->device->rateComboBox;
    if (box->currentIndex() < 0)
        return std::nullopt;
    return box->itemText(box->currentIndex()).toStdString();
}

void MuxController::onMain(std::function<void()> fn) {
    if (QThread::currentThread() == thread())
        fn();
    else
        QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection);
}

void MuxController::beep() {
    if (options_.beep)
        options_.beep();
    else
        QApplication::beep();
}

void MuxController::terminate() {
    quitting_ = true;
    if (options_.terminate)
        options_.terminate();
    else
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

// ---- the reader's client ---------------------------------------------------------------------

void MuxController::readerStarted() {
    onPortChange();
}

// Everything pending, built from the window as it stands now and sent in a fixed order; a
// command is followed by the query of its type, once for the filter commands together.
ReaderWork MuxController::takeRequests() {
    const uint32_t bits = reader_->requests().take();
    auto has = [bits](Request r) { return (bits & uint32_t(r)) != 0; };
    ReaderWork work;
    if (has(Request::OpenPort)) {
        work.open = true;
        work.port = port();
        work.rate = rate();
    }
    struct Step {
        std::vector<std::string> sentences;
        Query followUp;
    };
    std::vector<Step> steps;
    const ConfigurationPane& c = *muxWindow_->configuration;
    if (has(Request::Configuration))
        steps.push_back({codec::configurationCommand(
                             familyNow(), c.configuration(muxWindow_->device->rateComboBox->currentIndex())),
                         Query::Configuration});
    if (has(Request::Speeds) && program().speeds)
        steps.push_back({{codec::speedsCommand(c.speeds())}, Query::Speeds});
    if (has(Request::TalkerIDs))
        steps.push_back({{codec::talkerIDCommand(c.talkerIDs())}, Query::TalkerIDs});
    if (has(Request::ClearFilters))
        steps.push_back({{codec::clearFiltersCommand()}, Query::Filters});
    if (has(Request::Filter))
        steps.push_back({filterList_.takeSentences(), Query::Filters});
    if (has(Request::Capture)) {
        Step commit{{}, Query::Filters};
        for (const Filter& f : capture_.take())
            commit.sentences.push_back(codec::filterCommand(f, false)); // no frequency in either program
        steps.push_back(std::move(commit));
    }
    if (!steps.empty())
        work.send = [this, steps = std::move(steps)] {
            for (size_t i = 0; i < steps.size(); ++i) {
                for (const std::string& sentence : steps[i].sentences)
                    gpsTransfer_.sendNMEACommand(sentence);
                if (i + 1 == steps.size() || steps[i + 1].followUp != steps[i].followUp)
                    sendQuery(steps[i].followUp);
            }
        };
    return work;
}

void MuxController::portOpening() {
    clearVersion();
    updateState();
}

void MuxController::portOpened(const std::string& port, const std::string& rate) {
    updateMonitor("#### Open " + port + " at " + rate);
}

void MuxController::portFailed(const std::string& port) {
    openPortFail(port);
}

// The device went away: what the panel showed of it no longer holds.
void MuxController::lineLost(const std::string& port) {
    updateMonitor("#### " + Alert::localizedStringWithKey("NSLineLost") + " " + port);
    clearVersion();
    flags_.velmar42 = flags_.thirdGeneration = false;
    emptyFilterList();
    muxWindow_->configuration->clearOverflow();
    updateState();
}

void MuxController::unhandledLine(Bytes line) {
    updateUnknown(line);
}

// ---- queries and the timer -------------------------------------------------------------------

void MuxController::sendQuery(unsigned code) {
    const Query q = Query(code);
    switch (q) {
    case Query::Configuration:
    case Query::TalkerIDs:
        break;
    case Query::Filters:
        // The replies rebuild the list; they reach the main thread after this emptying does.
        onMain([this] { emptyFilterList(); });
        break;
    case Query::Version:
        onMain([this] { flags_.velmar42 = flags_.thirdGeneration = false; });
        break;
    case Query::Speeds:
        if (!program().speeds)
            return;
        break;
    default:
        return;
    }
    gpsTransfer_.sendNMEACommand(codec::query(q));
}

void MuxController::sanityTimer() {
    if (quitting_ || !hasConnection())
        return;
    MuxWindow& w = *muxWindow_;
    if (!w.device->hasVersion() || w.configuration->modeComboBox->currentIndex() < 0) {
        // A line too long to hold has the sender for a while: the next tick asks instead.
        if (!playback_.sendingLongLine())
            for (Query q : program().queryBurst)
                sendQuery(q);
    } else if (capture_.due()) {
        capture_.end();
        post(Request::Capture);
        w.monitor->captureButton->setEnabled(true);
    }
    // Also after a capture's end: Send File comes back once no playback is in progress.
    w.files->sendFileButton->setEnabled(!playback_.playing());
}
