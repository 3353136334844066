#include "mux/MuxController.h"

#include "mux/MonitorView.h"
#include "mux/MuxWindow.h"
#include "mux/NSDataReadyView.h"
#include "support/AlertPanels.h"
#include "support/InstallController.h"
#include "support/Settings.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <poll.h>

using namespace std::chrono_literals;

namespace {

// The device gives up on a line after this much silence; so does the reader.
constexpr auto kSilence = 5000ms;
constexpr auto kCaptureTime = 10s;
constexpr size_t kMaxFilters = 50;

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

// The sentence as text: up to its first NUL, one character per byte.
std::string sentenceText(const Bytes& sentence) {
    auto end = std::find(sentence.begin(), sentence.end(), uint8_t(0));
    return std::string(sentence.begin(), end);
}

// A decimal integer as the device writes it: leading blanks skipped, stops at the first
// non-digit; no digits read as 0.
int readInt(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
        value = std::min<long long>(value * 10 + (text[i] - '0'), 1LL << 31);
    value = negative ? -value : value;
    return int(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
}

// A firmware version, independent of the user's locale; not a number reads as 0.
float readVersion(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    if (i < text.size() && text[i] == '+')
        ++i;
    float value = 0;
    std::from_chars(text.data() + i, text.data() + text.size(), value);
    return value;
}

// Hexadecimal feature flags with an optional "0x"; nothing when no digit reads.
std::optional<uint64_t> readFlags(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::toupper(c)); });
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    if (text.compare(i, 2, "0X") == 0)
        i += 2;
    uint64_t value = 0;
    auto [end, error] = std::from_chars(text.data() + i, text.data() + text.size(), value, 16);
    if (error != std::errc() || end == text.data() + i)
        return std::nullopt;
    return value;
}

std::optional<std::string> field(const Bytes& sentence, unsigned index) {
    return NMEA::parse(sentence, index);
}

// A reply index selects only an item the box has; anything else leaves it as it was.
bool selectIndex(QComboBox* box, int index) {
    if (box == nullptr || index < 0 || index >= box->count())
        return false;
    box->setCurrentIndex(index);
    return true;
}

void setCheck(QCheckBox* box, const std::optional<std::string>& value) {
    if (box == nullptr || !value)
        return;
    int state = readInt(*value);
    if (state == 0 || state == 1)
        box->setChecked(state == 1);
}

int checked(const QCheckBox* box) {
    return box != nullptr && box->isChecked() ? 1 : 0;
}

void enable(QWidget* widget, bool on) {
    if (widget != nullptr)
        widget->setEnabled(on);
}

std::string format(const char* pattern, auto... values) {
    char buffer[256];
    int n = std::snprintf(buffer, sizeof buffer, pattern, values...);
    return std::string(buffer, size_t(std::clamp(n, 0, int(sizeof buffer) - 1)));
}

// Text typed by the user goes into a field of a sentence: no separators, no checksum marks.
std::string fieldText(const QString& text) {
    return NMEA::name(text.toUpper().toStdString()).value_or("");
}

} // namespace

// The filter table: rows are the device's list as last reported.
class FilterTableModel : public QAbstractTableModel {
public:
    FilterTableModel(MuxController& controller, std::vector<Filter>& filters,
                     std::function<void(int, int)> toggle)
        : controller_(controller), filters_(filters), toggle_(std::move(toggle)) {}

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : int(filters_.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : (legacy() ? 7 : 6);
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return {};
        static const char* const legacyTitles[] = {"Mac",   "Ch. 1",    "Ch. 2",    "Ch. 3",
                                                   "Ch. 4", "Sentence", "Frequency"};
        static const char* const titles[] = {"Mac",       "Channel 1", "Channel 2",
                                             "Channel 3", "Channel 4", "Sentence"};
        if (section < 0 || section >= columnCount())
            return {};
        return QString(legacy() ? legacyTitles[section] : titles[section]);
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override {
        Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        if (index.column() < 5)
            f |= Qt::ItemIsUserCheckable;
        return f;
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || size_t(index.row()) >= filters_.size())
            return {};
        const Filter& f = filters_[size_t(index.row())];
        const int c = index.column();
        if (c < 5) {
            if (role != Qt::CheckStateRole)
                return {};
            const bool flags[] = {f.usb, f.channel1, f.channel2, f.channel3, f.channel4};
            return flags[c] ? Qt::Checked : Qt::Unchecked;
        }
        if (role == Qt::TextAlignmentRole)
            return int(Qt::AlignCenter);
        if (role != Qt::DisplayRole)
            return {};
        if (c == 5)
            return QString::fromStdString(f.sentence().value_or(""));
        return QString::number(f.frequency);
    }
    bool setData(const QModelIndex& index, const QVariant&, int role) override {
        if (role != Qt::CheckStateRole || !index.isValid() || size_t(index.row()) >= filters_.size() ||
            index.column() >= 5)
            return false;
        toggle_(index.row(), index.column()); // a click always inverts
        emit dataChanged(index, index);
        return true;
    }
    void reload() {
        beginResetModel();
        endResetModel();
    }

private:
    bool legacy() const { return controller_.variant() == MuxVariant::Legacy; }

    MuxController& controller_;
    std::vector<Filter>& filters_;
    std::function<void(int, int)> toggle_;
};

MuxController::MuxController(MuxOptions options)
    : options_(std::move(options)), muxWindow_(std::make_unique<MuxWindow>(options_.variant)) {
    buildHandlerTable();
    newFilter_ = Filter::filter();
}

MuxController::~MuxController() {
    stopping_ = true;
    if (reader_.joinable())
        reader_.join();
    closePort();
}

// Replies by their two-letter type; the earlier generation also reports channel speeds.
void MuxController::buildHandlerTable() {
    auto add = [this](const char* key, void (MuxController::*handler)(const Bytes&)) {
        nmeaDictionary_[key] =
            NMEA::nmeaWithSelector([this, handler](const Bytes& s) { (this->*handler)(s); });
    };
    add("VE", &MuxController::updateVersion);
    add("CF", &MuxController::updateConfiguration);
    add("ID", &MuxController::updateID);
    add("FL", &MuxController::updateFilterList);
    add("OV", &MuxController::updateOverflow);
    add("CN", &MuxController::updateChannelNumber);
    if (options_.variant == MuxVariant::Legacy)
        add("SP", &MuxController::updateSpeed);
}

void MuxController::awakeFromNib() {
    if (awake_)
        return;
    awake_ = true;
    MuxWindow& w = *muxWindow_;
    const bool legacy = options_.variant == MuxVariant::Legacy;
    connect(qApp, &QCoreApplication::aboutToQuit, this, &MuxController::applicationWillTerminate);
    connectActions();
    InstallController().displayInstaller(); // offers itself only when run from an image

    startMonitor_ = true;
    clearVersion();
    listPorts();

    for (QWidget* widget : {static_cast<QWidget*>(w.rateComboBox), static_cast<QWidget*>(w.addButton),
                            static_cast<QWidget*>(w.removeButton), static_cast<QWidget*>(w.clearAllButton),
                            static_cast<QWidget*>(w.sendFileButton)})
        widget->setEnabled(false);
    std::vector<QComboBox*> rateBoxes{w.rateComboBox};
    if (legacy) {
        rateBoxes.insert(rateBoxes.end(), w.rateInComboBoxes.begin(), w.rateInComboBoxes.end());
        rateBoxes.push_back(w.rateOut2ComboBox);
    }
    for (QComboBox* box : rateBoxes) {
        box->setEnabled(false);
        box->clear();
        for (const char* r : kRates)
            box->addItem(r);
        box->setCurrentIndex(0);
    }
    w.rateComboBox->setEnabled(false);

    w.modeComboBox->clear();
    for (const char* key : {"NSServer", "NSHub", "NSAuto"})
        w.modeComboBox->addItem(localized(key));
    w.modeComboBox->setMaxVisibleItems(3);
    w.modeComboBox->setCurrentIndex(-1); // no mode until the device reports one

    for (QLabel* overflow : w.overflowFields)
        overflow->setText("");

    w.filterComboBox->clear();
    for (const char* code : kSentenceCodes)
        w.filterComboBox->addItem(code);
    w.filterComboBox->setCurrentIndex(-1);
    if (legacy) {
        w.frequencyComboBox->clear();
        for (unsigned i = 0; i <= 10; ++i)
            w.frequencyComboBox->addItem(QString::number(i));
        w.frequencyComboBox->setCurrentIndex(-1);
    }

    // The network server arrives later; until then its controls show it off.
    w.enableButton->setEnabled(false);
    w.portField->setEnabled(false);
    onEnable();
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

    reader_ = std::thread([this] { getRawSentencesThread(); });

    QDBusConnection bus = QDBusConnection::systemBus();
    if (bus.isConnected())
        bus.connect("org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                    "PrepareForSleep", this, SLOT(prepareForSleep(bool)));
}

void MuxController::connectActions() {
    MuxWindow& w = *muxWindow_;
    connect(w.portComboBox, &QComboBox::activated, this, [this] { onPortChange(); });
    connect(w.rateComboBox, &QComboBox::activated, this, [this] { onRateChange(); });
    connect(w.modeComboBox, &QComboBox::activated, this, [this] { onMuxChange(); });
    std::vector<QCheckBox*> options{w.seatalkButton, w.priorityButton,   w.channelNumbersButton,
                                    w.headingButton, w.channelIDsButton, w.aisButton};
    options.insert(options.end(), w.realtimeButtons.begin(), w.realtimeButtons.end());
    for (QCheckBox* box : options)
        if (box != nullptr)
            connect(box, &QCheckBox::clicked, this, [this] { onMuxChange(); });
    for (QLineEdit* f : w.talkerIDFields)
        connect(f, &QLineEdit::textEdited, this, [this, f] { controlTextDidChange(f); });
    if (options_.variant == MuxVariant::Legacy) {
        std::vector<QComboBox*> speeds(w.rateInComboBoxes.begin(), w.rateInComboBoxes.end());
        speeds.push_back(w.rateOut2ComboBox);
        for (QComboBox* box : speeds)
            connect(box, &QComboBox::activated, this, [this] { onSpeedChange(); });
    }
    connect(w.filterComboBox->lineEdit(), &QLineEdit::textEdited, this,
            [this] { controlTextDidChange(muxWindow_->filterComboBox); });
    connect(w.filterComboBox, &QComboBox::activated, this, [this] { onFilterChange(); });
    connect(w.addButton, &QPushButton::clicked, this, [this] { onAdd(); });
    connect(w.removeButton, &QPushButton::clicked, this, [this] { onRemove(); });
    connect(w.clearAllButton, &QPushButton::clicked, this, [this] { onClearAll(); });
    connect(w.startButton, &QPushButton::clicked, this, [this] { onStart(); });
    connect(w.clearButton, &QPushButton::clicked, this, [this] { onClear(); });
    connect(w.captureButton, &QPushButton::clicked, this, [this] { onCapture(); });
    connect(&w, &MuxWindow::closing, this, &MuxController::windowWillClose);
    connect(&w, &MuxWindow::becameKey, this, &MuxController::windowDidBecomeKey);
}

void MuxController::listPorts() {
    QComboBox* box = muxWindow_->portComboBox;
    box->clear();
    for (const std::string& name : options_.listPorts ? options_.listPorts() : Serial::ports())
        box->addItem(QString::fromStdString(name));
    for (const std::string& name : options_.extraPorts)
        if (box->findText(QString::fromStdString(name)) < 0)
            box->addItem(QString::fromStdString(name));
    box->setMaxVisibleItems(std::clamp(box->count(), 1, 12));
    box->setCurrentIndex(-1);
}

// A typed or given port the listing does not know becomes an item, then it is selected.
void MuxController::selectPortText(const std::string& text) {
    QComboBox* box = muxWindow_->portComboBox;
    const QString name = QString::fromStdString(text);
    int index = box->findText(name);
    if (index < 0) {
        box->addItem(name);
        index = box->count() - 1;
    }
    box->setCurrentIndex(index);
}

void MuxController::setupTableView() {
    auto* model = new FilterTableModel(*this, filterArray_, [this](int row, int column) {
        Filter& f = filterArray_[size_t(row)];
        bool* flags[] = {&f.usb, &f.channel1, &f.channel2, &f.channel3, &f.channel4};
        *flags[column] = !*flags[column];
        setFilter(f);
    });
    filterModel_.reset(model);
    QTableView* table = muxWindow_->filterTableView;
    table->setModel(model);
    const bool legacy = options_.variant == MuxVariant::Legacy;
    const int widths[] = {28, legacy ? 42 : 56, legacy ? 42 : 56, legacy ? 42 : 56, legacy ? 42 : 56, 52, 56};
    QHeaderView* header = table->horizontalHeader();
    for (int c = 0; c < model->columnCount(); ++c)
        header->resizeSection(c, std::max(widths[c], header->sectionSizeHint(c)));
}

bool MuxController::canConnect() const {
    return muxWindow_->portComboBox->count() > 0;
}

std::optional<std::string> MuxController::port() const {
    QComboBox* box = muxWindow_->portComboBox;
    if (box->currentIndex() < 0)
        return std::nullopt;
    return box->itemText(box->currentIndex()).toStdString();
}

std::optional<std::string> MuxController::rate() const {
    QComboBox* box = muxWindow_->rateComboBox;
    if (box->currentIndex() < 0)
        return std::nullopt;
    return box->itemText(box->currentIndex()).toStdString();
}

void MuxController::terminate() {
    if (options_.terminate)
        options_.terminate();
    else
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

// ---- actions --------------------------------------------------------------------------------

void MuxController::onPortChange() {
    auto name = port();
    if (name && !name->empty())
        threadCommand_ = OpenPort;
}

void MuxController::onRateChange() {
    threadCommand_ = SendConfiguration;
}

void MuxController::onMuxChange() {
    threadCommand_ = SendConfiguration;
}

void MuxController::onSpeedChange() {
    if (options_.variant == MuxVariant::Legacy)
        threadCommand_ = SendSpeeds;
}

void MuxController::controlTextDidChange(QObject* control) {
    MuxWindow& w = *muxWindow_;
    auto beep = [this] {
        if (options_.beep)
            options_.beep();
        else
            QApplication::beep();
    };
    for (QLineEdit* f : w.talkerIDFields) {
        if (control != f)
            continue;
        if (f->text().size() > 2) {
            f->setText(f->text().left(2));
            beep();
        }
        const QString trimmed = f->text().trimmed();
        if (trimmed.isEmpty() || trimmed.size() == 2)
            threadCommand_ = SendTalkerIDs;
        return;
    }
    if (control == w.filterComboBox) {
        QString text = w.filterComboBox->currentText().trimmed();
        if (text.size() > 5) {
            text = text.left(5);
            w.filterComboBox->setEditText(text);
            beep();
        }
        const auto n = text.size();
        w.addButton->setEnabled(filterArray_.size() <= kMaxFilters && (n == 2 || n == 3 || n == 5));
    }
}

void MuxController::onFilterChange() {
    muxWindow_->addButton->setEnabled(filterArray_.size() <= kMaxFilters);
}

void MuxController::onAdd() {
    MuxWindow& w = *muxWindow_;
    Filter f = Filter::filter();
    f.setSentence(fieldText(w.filterComboBox->currentText().trimmed()));
    if (w.frequencyComboBox != nullptr)
        f.frequency = uint32_t(std::max(0, readInt(w.frequencyComboBox->currentText().toStdString())));
    setFilter(f);
    w.filterComboBox->setEditText("");
    if (w.frequencyComboBox != nullptr)
        w.frequencyComboBox->setEditText("");
    w.addButton->setEnabled(false);
}

void MuxController::onRemove() {
    auto rows = muxWindow_->filterTableView->selectionModel()->selectedRows();
    if (rows.isEmpty() || size_t(rows.first().row()) >= filterArray_.size())
        return;
    Filter& f = filterArray_[size_t(rows.first().row())];
    f.usb = f.channel1 = f.channel2 = f.channel3 = f.channel4 = true; // the device drops such an entry
    setFilter(f);
}

void MuxController::onClearAll() {
    setFilter(std::nullopt);
}

void MuxController::setFilter(const std::optional<Filter>& filter) {
    if (!filter) {
        threadCommand_ = ClearFilters;
        return;
    }
    newFilter_ = *filter;
    newFilter_.setSentence(filter->sentence());
    threadCommand_ = SendFilter;
}

void MuxController::onStart() {
    startMonitor_ = !startMonitor_;
    muxWindow_->startButton->setText(localized(startMonitor_ ? "NSStop" : "NSStart"));
}

void MuxController::onClear() {
    MonitorView* view = muxWindow_->monitorTextView;
    if (!view->isEmpty())
        view->clear();
}

void MuxController::onCapture() {
    if (captureDate_)
        return;
    muxWindow_->captureButton->setEnabled(false);
    captureDate_ = std::chrono::steady_clock::now();
}

// The network server lands with its own model; until then it is never listening.
void MuxController::onEnable() {
    updateConnections();
}

void MuxController::updateConnections() {
    muxWindow_->dataReadyView->drawDataReady(0);
    muxWindow_->countField->setText("");
}

// ---- the device protocol ---------------------------------------------------------------------

void MuxController::sendQuery(unsigned code) {
    const bool legacy = options_.variant == MuxVariant::Legacy;
    switch (code) {
    case QueryConfiguration:
        gpsTransfer_.sendNMEACommand("$PQVXCFQ");
        break;
    case QueryIDs:
        gpsTransfer_.sendNMEACommand("$PQVXIDQ");
        break;
    case QueryFilters: {
        // The replies rebuild the list; they reach the main thread after this emptying does.
        auto empty = [this] {
            filterArray_.clear();
            if (filterModel_)
                static_cast<FilterTableModel*>(filterModel_.get())->reload();
            // An empty list gets no reply at all, so nothing would turn these off again.
            muxWindow_->removeButton->setEnabled(false);
            muxWindow_->clearAllButton->setEnabled(false);
        };
        if (QThread::currentThread() == thread())
            empty();
        else
            postToMain(empty);
        gpsTransfer_.sendNMEACommand("$PQVXFLQ");
        break;
    }
    case QueryVersion:
        if (!legacy) {
            velmar42_ = false;
            thirdGeneration_ = false;
        }
        gpsTransfer_.sendNMEACommand("$PQVXVER");
        break;
    case QuerySpeeds:
        if (legacy)
            gpsTransfer_.sendNMEACommand("$PQVXSPQ");
        break;
    default:
        break;
    }
}

std::vector<std::string> MuxController::commandSentences(uint32_t command) {
    MuxWindow& w = *muxWindow_;
    const bool legacy = options_.variant == MuxVariant::Legacy;
    const int speed = w.rateComboBox->currentIndex(), mode = w.modeComboBox->currentIndex();
    const int seatalk = checked(w.seatalkButton), priority = checked(w.priorityButton),
              numbers = checked(w.channelNumbersButton), heading = checked(w.headingButton);
    int rt[4];
    for (int k = 0; k < 4; ++k)
        rt[k] = checked(w.realtimeButtons[size_t(k)]);
    auto filterSentence = [legacy](const Filter& f, bool withFrequency) {
        const std::string address = f.sentence().value_or("");
        if (legacy && withFrequency)
            return format("$PQVXFL,%s,%s,%u", address.c_str(), f.flagString().c_str(), unsigned(f.frequency));
        return format("$PQVXFL,%s,%s", address.c_str(), f.flagString().c_str());
    };

    switch (command) {
    case SendConfiguration:
        if (legacy)
            return {format("$PQVXCF,%d,%d,%d,%d,%d,%d%d%d%d,%d,%d", speed, mode, seatalk, priority, numbers,
                           rt[0], rt[1], rt[2], rt[3], heading, checked(w.aisButton))};
        if (velmar42_ && thirdGeneration_)
            return {format("$PQVXCF,%d,%d,%d,%d,%d,%d%d%d%d,", speed, mode, seatalk, priority, numbers, rt[0],
                           rt[1], rt[2], rt[3]),
                    format("$PQVXCF,,,,,,,%d", heading)};
        if (velmar42_)
            return {format("$PQVXCF,%d,%d,%d,%d,%d,%d,%d%d%d%d,", speed, mode, seatalk, priority, numbers,
                           checked(w.channelIDsButton), rt[0], rt[1], rt[2], rt[3]),
                    format("$PQVXCF,,,,,,,,%d", heading)};
        return {format("$PQVXCF,%d,%d,%d", speed, mode, seatalk)};
    case SendTalkerIDs: {
        std::string ids = "$PQVXID";
        for (QLineEdit* f : w.talkerIDFields)
            ids += "," + fieldText(f->text());
        return {ids};
    }
    case SendFilter: {
        std::string s = filterSentence(newFilter_, true);
        newFilter_.setSentence(std::nullopt);
        return {s};
    }
    case SendCapture: {
        std::vector<Filter> taken;
        {
            std::lock_guard<std::mutex> lock(captureLock_);
            for (auto& entry : captureDictionary_)
                taken.push_back(entry.second);
            captureDictionary_.clear();
        }
        std::stable_sort(taken.begin(), taken.end(), filterSortBySentence);
        std::vector<std::string> sentences;
        for (const Filter& f : taken)
            sentences.push_back(filterSentence(f, false));
        return sentences;
    }
    case ClearFilters:
        return {"$PQVXFL"};
    case SendSpeeds:
        if (!legacy)
            return {};
        return {format("$PQVXSP,%d,%d,%d,%d,%d", w.rateInComboBoxes[0]->currentIndex(),
                       w.rateInComboBoxes[1]->currentIndex(), w.rateInComboBoxes[2]->currentIndex(),
                       w.rateInComboBoxes[3]->currentIndex(), w.rateOut2ComboBox->currentIndex())};
    default:
        return {};
    }
}

void MuxController::sanityTimer() {
    if (!hasConnection())
        return;
    MuxWindow& w = *muxWindow_;
    if (w.versionField->text().isEmpty() || w.modeComboBox->currentIndex() < 0) {
        const bool legacy = options_.variant == MuxVariant::Legacy;
        for (unsigned q :
             legacy ? std::vector<unsigned>{10, 5, 6, 11, 7} : std::vector<unsigned>{10, 5, 6, 7})
            sendQuery(q);
    } else if (captureDate_ && std::chrono::steady_clock::now() - *captureDate_ >= kCaptureTime) {
        captureDate_.reset();
        threadCommand_ = SendCapture;
        w.captureButton->setEnabled(true);
    }
    // File playback arrives later; its button stays off until then.
    w.sendFileButton->setEnabled(false);
}

// ---- reply handlers --------------------------------------------------------------------------

void MuxController::updateVersion(const Bytes& sentence) {
    updateMonitor(sentenceText(sentence));
    auto firmware = field(sentence, 1), name = field(sentence, 2), serial = field(sentence, 3),
         flags = field(sentence, 4);
    if (!firmware || !name || !serial)
        return;
    MuxWindow& w = *muxWindow_;
    w.deviceField->setText(QString::fromLatin1(name->c_str()));
    w.serialField->setText(QString::fromLatin1(serial->c_str()));
    w.versionField->setText(QString::fromLatin1(firmware->c_str()));

    const float minimum = options_.variant == MuxVariant::Legacy ? 2.0f : 2.2f;
    if (readVersion(*firmware) < minimum) {
        Alert::showMessageWithKey("NSFirmVersionNotSupported");
        terminate();
        return;
    }
    if (flags) {
        if (auto bits = readFlags(*flags)) {
            if (*bits & 0x0002)
                bluetooth_ = true;
            if (options_.variant == MuxVariant::Current) {
                if (*bits & 0x0008)
                    velmar42_ = true;
                if (*bits & 0x8000) {
                    velmar42_ = true;
                    thirdGeneration_ = true;
                }
            }
        }
    }
    updateState();
}

void MuxController::clearVersion() {
    MuxWindow& w = *muxWindow_;
    w.deviceField->setText("");
    w.serialField->setText("");
    w.versionField->setText("");
}

void MuxController::updateConfiguration(const Bytes& sentence) {
    updateMonitor(sentenceText(sentence));
    MuxWindow& w = *muxWindow_;
    const bool shortLayout = options_.variant == MuxVariant::Legacy || thirdGeneration_;
    if (auto mode = field(sentence, 2))
        selectIndex(w.modeComboBox, readInt(*mode));
    if (auto speed = field(sentence, 1))
        if (selectIndex(w.rateComboBox, readInt(*speed)))
            w.rateComboBox->setEnabled(true);
    setCheck(w.seatalkButton, field(sentence, 3));
    setCheck(w.priorityButton, field(sentence, 4));
    setCheck(w.channelNumbersButton, field(sentence, 5));
    if (!shortLayout)
        setCheck(w.channelIDsButton, field(sentence, 6));
    setCheck(w.headingButton, field(sentence, shortLayout ? 7 : 8));
    if (auto realtime = field(sentence, shortLayout ? 6 : 7); realtime && realtime->size() == 4)
        for (size_t k = 0; k < 4; ++k)
            w.realtimeButtons[k]->setChecked((*realtime)[k] == '1');
    if (options_.variant == MuxVariant::Legacy)
        setCheck(w.aisButton, field(sentence, 8));
}

void MuxController::updateID(const Bytes& sentence) {
    updateMonitor(sentenceText(sentence));
    for (unsigned k = 0; k < 4; ++k) {
        auto id = field(sentence, k + 1);
        muxWindow_->talkerIDFields[k]->setText(id ? QString::fromLatin1(id->c_str()) : QString());
    }
}

void MuxController::updateFilterList(const Bytes& sentence) {
    updateMonitor(sentenceText(sentence));
    auto address = field(sentence, 1), flags = field(sentence, 2);
    if (address && flags && flags->size() == 5) {
        Filter f = Filter::filter();
        f.setSentence(*address);
        f.usb = (*flags)[0] == '1';
        f.channel1 = (*flags)[1] == '1';
        f.channel2 = (*flags)[2] == '1';
        f.channel3 = (*flags)[3] == '1';
        f.channel4 = (*flags)[4] == '1';
        if (options_.variant == MuxVariant::Legacy)
            if (auto frequency = field(sentence, 3))
                f.frequency = uint32_t(std::max(0, readInt(*frequency)));
        // The device's list is bounded; a device that keeps sending entries cannot grow ours.
        if (filterArray_.size() < 4 * kMaxFilters)
            filterArray_.push_back(f);
    }
    static_cast<FilterTableModel*>(filterModel_.get())->reload();
    const bool editable = !filterArray_.empty() && (options_.variant == MuxVariant::Legacy || velmar42_);
    muxWindow_->removeButton->setEnabled(editable);
    muxWindow_->clearAllButton->setEnabled(editable);
}

void MuxController::updateOverflow(const Bytes& sentence) {
    updateMonitor(sentenceText(sentence));
    auto mask = field(sentence, 1);
    if (!mask)
        return;
    const int n = readInt(*mask);
    for (int k = 0; k < 4; ++k)
        muxWindow_->overflowFields[size_t(k)]->setText(n & (1 << k) ? QString("Ch.%1").arg(k + 1)
                                                                    : QString());
}

void MuxController::updateChannelNumber(const Bytes& sentence) {
    updateMonitor(sentenceText(sentence));
}

void MuxController::updateSpeed(const Bytes& sentence) {
    updateMonitor(sentenceText(sentence));
    MuxWindow& w = *muxWindow_;
    QComboBox* boxes[] = {w.rateInComboBoxes[0], w.rateInComboBoxes[1], w.rateInComboBoxes[2],
                          w.rateInComboBoxes[3], w.rateOut2ComboBox};
    for (unsigned k = 0; k < 5; ++k)
        if (auto speed = field(sentence, k + 1))
            if (selectIndex(boxes[k], readInt(*speed)))
                boxes[k]->setEnabled(true);
}

void MuxController::updateUnknown(const Bytes& sentence) {
    if (sentence.empty() || (sentence[0] != '$' && sentence[0] != '!'))
        return;
    updateMonitor(sentenceText(sentence));
    if (!captureDate_)
        return;
    MuxWindow& w = *muxWindow_;
    bool byFormatter = w.channelIDsButton != nullptr && w.channelIDsButton->isChecked();
    for (QLineEdit* f : w.talkerIDFields)
        byFormatter = byFormatter || f->text().size() == 2;
    auto key = byFormatter ? NMEA::address(sentence, 3, 3) : NMEA::address(sentence, 1, 5);
    if (!key)
        return;
    Filter f = Filter::filter();
    f.setSentence(*key);
    std::lock_guard<std::mutex> lock(captureLock_);
    // A device can only hold so many entries; a flood of made-up addresses cannot grow this.
    if (captureDictionary_.size() < 4 * kMaxFilters || captureDictionary_.count(*key) != 0)
        captureDictionary_[*key] = f;
}

void MuxController::updateState() {
    MuxWindow& w = *muxWindow_;
    const bool c = hasConnection();
    const bool capturing = captureDate_.has_value();
    if (options_.variant == MuxVariant::Legacy) {
        for (QWidget* widget :
             {static_cast<QWidget*>(w.modeComboBox), static_cast<QWidget*>(w.priorityButton),
              static_cast<QWidget*>(w.channelNumbersButton), static_cast<QWidget*>(w.seatalkButton),
              static_cast<QWidget*>(w.headingButton), static_cast<QWidget*>(w.aisButton),
              static_cast<QWidget*>(w.filterComboBox), static_cast<QWidget*>(w.frequencyComboBox)})
            enable(widget, c);
        for (size_t k = 0; k < 4; ++k) {
            enable(w.realtimeButtons[k], c);
            enable(w.talkerIDFields[k], c);
        }
        enable(w.captureButton, c && !capturing);
        return;
    }
    const bool full = c && velmar42_;
    enable(w.modeComboBox, c);
    enable(w.seatalkButton, c);
    for (QWidget* widget :
         {static_cast<QWidget*>(w.priorityButton), static_cast<QWidget*>(w.channelNumbersButton),
          static_cast<QWidget*>(w.headingButton), static_cast<QWidget*>(w.filterComboBox)})
        enable(widget, full);
    for (size_t k = 0; k < 4; ++k) {
        enable(w.realtimeButtons[k], full);
        enable(w.talkerIDFields[k], full);
    }
    enable(w.captureButton, full && !capturing);
    enable(w.channelIDsButton, full && !thirdGeneration_);
    if (c && bluetooth_ && w.modeComboBox->count() == 3) {
        w.modeComboBox->setMaxVisibleItems(4);
        w.modeComboBox->addItem(localized("NSAIS"));
    }
}

// ---- monitor ---------------------------------------------------------------------------------

void MuxController::updateMonitor(const std::string& text) {
    const QColor colour = captureDate_ ? QColor(255, 85, 85) : QColor(80, 220, 100);
    appendMonitor(text, colour);
    appendMonitor("\n", colour);
}

void MuxController::appendMonitor(std::string_view text, const QColor& colour) {
    if (!startMonitor_ || text.empty())
        return;
    muxWindow_->monitorTextView->append(text, colour);
}

// ---- window and application events -----------------------------------------------------------

void MuxController::openPortFail(const std::string& portName) {
    Alert::openPortFail(muxWindow_.get(), portName);
}

void MuxController::loadSettings() {
    MuxWindow& w = *muxWindow_;
    const bool anyPort = w.portComboBox->count() > 0;
    if (auto stored = Settings::text("serialPort"); stored && anyPort) {
        const std::string name = Serial::shortPortName(*stored);
        const int index = w.portComboBox->findText(QString::fromStdString(name));
        if (index >= 0)
            w.portComboBox->setCurrentIndex(index);
        else if (!name.empty() && name[0] == '/' && QFileInfo::exists(QString::fromStdString(name)))
            selectPortText(name); // a path typed in an earlier run
        else
            w.portComboBox->setCurrentIndex(-1);
    }
    if (auto stored = Settings::text("rate"); stored && anyPort) {
        const int index = w.rateComboBox->findText(QString::fromStdString(*stored));
        if (index >= 0)
            w.rateComboBox->setCurrentIndex(index);
    }
    w.portField->setText(QString::fromStdString(Settings::text("tcpipServerPort").value_or("2114")));
    if (auto enabled = Settings::boolean("tcpipServerEnable"); enabled && *enabled) {
        w.enableButton->setChecked(true);
        onEnable();
    }
}

void MuxController::saveSettings() {
    MuxWindow& w = *muxWindow_;
    if (auto p = port())
        Settings::setItem("serialPort", SettingValue(*p));
    if (auto r = rate())
        Settings::setItem("rate", SettingValue(*r));
    Settings::setItem("tcpipServerEnable", SettingValue(w.enableButton->isChecked()));
    Settings::setItem("tcpipServerPort", SettingValue(w.portField->text().toStdString()));
}

void MuxController::prepareForSleep(bool start) {
    if (start)
        applicationWillSleep();
}

void MuxController::applicationWillSleep() {
    if (bluetooth_)
        terminate();
}

void MuxController::applicationWillTerminate() {
    Settings::setItem("appVersion", SettingValue(Alert::localizedStringWithKey("CFBundleGetInfoString")));
    saveSettings();
    Settings::save();
}

void MuxController::windowDidBecomeKey() {
    // This computer's address comes with the network server; until then it is unknown.
    muxWindow_->hostField->setText(localized("NSUnknown"));
}

void MuxController::windowWillClose() {
    terminate();
}

// ---- reader thread ---------------------------------------------------------------------------

template <class F>
bool MuxController::runOnMain(F&& fn) {
    auto task = std::make_shared<std::packaged_task<void()>>(std::forward<F>(fn));
    auto done = task->get_future();
    QMetaObject::invokeMethod(
        this, [task] { (*task)(); }, Qt::QueuedConnection);
    while (done.wait_for(20ms) != std::future_status::ready)
        if (stopping_)
            return false;
    try {
        done.get();
    } catch (const std::future_error&) {
        return false; // dropped at tear-down
    }
    return true;
}

void MuxController::postToMain(std::function<void()> fn) {
    QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection);
}

bool MuxController::pause(std::chrono::milliseconds duration) {
    const auto until = std::chrono::steady_clock::now() + duration;
    while (!stopping_) {
        if (threadCommand_.load() != 0 || std::chrono::steady_clock::now() >= until)
            return true;
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

void MuxController::getRawSentencesThread() {
    threadCommand_ = 0;
    if (!pause(options_.startDelay))
        return;
    if (!runOnMain([this] { onPortChange(); }))
        return;
    while (!stopping_) {
        if (threadCommand_.load() != 0) {
            // Taken on the main thread, so that edits made there in one go become one command.
            auto taken = std::make_shared<Taken>();
            if (!runOnMain([this, taken] {
                    taken->command = threadCommand_.exchange(0);
                    if (taken->command == OpenPort) {
                        taken->port = port();
                        taken->rate = rate();
                    } else {
                        taken->sentences = commandSentences(taken->command);
                    }
                }))
                return;
            execute(*taken);
        }
        if (!serialPort_) {
            if (lostPort_) {
                openPort(lostPort_, lostRate_, true);
                if (serialPort_)
                    continue;
            }
            if (!pause(options_.idleSleep))
                return;
            continue;
        }

        // Wait for the device in short steps, so commands and tear-down are not held up by silence.
        pollfd p{serialPort_->fd(), POLLIN, 0};
        const auto until = std::chrono::steady_clock::now() + kSilence;
        bool readable = serialPort_->pendingInput() > 0, hungUp = false;
        while (!readable && !stopping_ && threadCommand_.load() == 0 &&
               std::chrono::steady_clock::now() < until) {
            p.revents = 0;
            const int n = ::poll(&p, 1, 20);
            if (n < 0 && errno != EINTR) {
                hungUp = true;
                break;
            }
            if (n > 0) {
                readable = p.revents & POLLIN;
                hungUp = p.revents & (POLLHUP | POLLERR | POLLNVAL);
                break;
            }
        }
        if (stopping_)
            break;
        if (!readable && !hungUp) {
            if (std::chrono::steady_clock::now() >= until)
                playbackStep(false);
            continue;
        }
        auto line = readable ? serialPort_->readPortUntilChar('\n', 256) : std::nullopt;
        if (serialPort_->lineLost() || (hungUp && (!line || line->empty()))) {
            lineLost();
            continue;
        }
        if (line && !line->empty()) {
            forwardToServer(*line);
            processRawSentence(std::move(*line));
            playbackStep(true);
        } else {
            playbackStep(false);
        }
    }
}

void MuxController::execute(const Taken& taken) {
    if (taken.command == OpenPort) {
        lostPort_.reset();
        openPort(taken.port, taken.rate, false);
        return;
    }
    unsigned followUp = 0;
    switch (taken.command) {
    case SendConfiguration:
        followUp = QueryConfiguration;
        break;
    case SendTalkerIDs:
        followUp = QueryIDs;
        break;
    case SendFilter:
    case SendCapture:
    case ClearFilters:
        followUp = QueryFilters;
        break;
    case SendSpeeds:
        if (options_.variant == MuxVariant::Legacy)
            followUp = QuerySpeeds;
        break;
    default:
        return;
    }
    if (followUp == 0)
        return;
    for (const std::string& sentence : taken.sentences)
        gpsTransfer_.sendNMEACommand(sentence);
    sendQuery(followUp);
}

void MuxController::openPort(std::optional<std::string> name, std::optional<std::string> speed, bool quiet) {
    closePort();
    if (!quiet)
        postToMain([this] {
            clearVersion();
            updateState();
        });
    auto serial = std::make_shared<Serial>();
    if (name && !name->empty() && serial->openPort(name, speed, false, false)) {
        serial->setReadAhead(true); // one system call per burst, not per byte
        serialPort_ = serial;
        gpsTransfer_.setPort(serial, name, speed);
        connected_ = true;
        lostPort_.reset();
        openedPort_ = name;
        openedRate_ = speed;
        const std::string line = "#### Open " + *name + " at " + speed.value_or("");
        postToMain([this, line, quiet] {
            if (quiet) {
                clearVersion();
                updateState();
            }
            updateMonitor(line);
        });
        return;
    }
    if (!quiet)
        postToMain([this, portName = name.value_or("")] { openPortFail(portName); });
}

void MuxController::closePort() {
    if (!serialPort_)
        return;
    gpsTransfer_.setPort(nullptr);
    connected_ = false;
    serialPort_->closePort();
    serialPort_.reset();
}

// The device went away: stop reading from it and open the same port again once it is back.
void MuxController::lineLost() {
    lostPort_ = openedPort_;
    lostRate_ = openedRate_;
    closePort();
    const std::string line =
        "#### " + Alert::localizedStringWithKey("NSLineLost") + " " + openedPort_.value_or("");
    postToMain([this, line] {
        updateMonitor(line);
        updateState();
    });
}

void MuxController::processRawSentence(Bytes line) {
    if (line.empty())
        return;
    line.push_back(0);
    if (!NMEA::checkSumValid(&line))
        return;
    auto code = NMEA::address(line, 5, 2);
    if (!code)
        return;
    auto handler = NMEA::nmeaWithKey(code, &nmeaDictionary_);
    NMEA::Selector selector = handler ? handler->selector() : [this](const Bytes& s) { updateUnknown(s); };
    runOnMain([selector = std::move(selector), line = std::move(line)] { selector(line); });
}

// Each raw line, as read, goes to the network server's clients; the server arrives later.
void MuxController::forwardToServer(const Bytes&) {
}

// One file line per line read, twenty after an empty read; file playback arrives later.
void MuxController::playbackStep(bool) {
}
