// MuxController: the device's replies, the panel's enabling rules, and the monitor with the
// capture it feeds.

#include "mux/FilterTableModel.h"
#include "mux/MonitorView.h"
#include "mux/MuxController.h"
#include "mux/MuxWindow.h"
#include "mux/panes/ConfigurationPane.h"
#include "mux/panes/DevicePane.h"
#include "mux/panes/FilterPane.h"
#include "mux/panes/MonitorPane.h"
#include "mux/protocol/Codec.h"
#include "support/Alert.h"
#include "support/AlertPanels.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

namespace {

// The sentence as text: up to its first NUL, one character per byte.
std::string sentenceText(const Bytes& sentence) {
    auto end = std::find(sentence.begin(), sentence.end(), uint8_t(0));
    return std::string(sentence.begin(), end);
}

void switchOn(QWidget* widget, bool on) {
    if (widget != nullptr)
        widget->setEnabled(on);
}

} // namespace

void MuxController::updateVersion(const Bytes& sentence) {
    const std::string text = sentenceText(sentence);
    updateMonitor(text);
    const auto version = codec::readVersion(text);
    if (!version)
        return;
    muxWindow_->device->showVersion(*version);
    if (!codec::firmwareSupported(version->firmware, program().minimumFirmware)) {
        if (quitting_)
            return;       // said once; a later reply to an earlier query changes nothing
        quitting_ = true; // no more queries to a device the program is about to leave
        Alert::showMessageWithKey("NSFirmVersionNotSupported");
        terminate();
        return;
    }
    flags_ = codec::applyVersion(options_.variant, flags_, *version);
    updateState();
}

void MuxController::clearVersion() {
    muxWindow_->device->clearVersion();
}

void MuxController::updateConfiguration(const Bytes& sentence) {
    const std::string text = sentenceText(sentence);
    updateMonitor(text);
    const ConfigurationReply reply = codec::readConfiguration(familyNow(), text);
    QComboBox* rate = muxWindow_->device->rateComboBox;
    if (reply.speed && selectIndex(rate, *reply.speed))
        rate->setEnabled(true);
    muxWindow_->configuration->apply(reply);
}

void MuxController::updateID(const Bytes& sentence) {
    const std::string text = sentenceText(sentence);
    updateMonitor(text);
    muxWindow_->configuration->showTalkerIDs(codec::readTalkerIDs(text));
}

void MuxController::updateFilterList(const Bytes& sentence) {
    const std::string text = sentenceText(sentence);
    updateMonitor(text);
    if (auto entry = codec::readFilter(text, program().filterFrequency))
        filterList_.append(*entry);
    filterModel_->reload();
    updateFilterButtons();
}

void MuxController::updateOverflow(const Bytes& sentence) {
    const std::string text = sentenceText(sentence);
    updateMonitor(text);
    if (auto mask = codec::readOverflow(text))
        muxWindow_->configuration->showOverflow(*mask);
}

void MuxController::updateChannelNumber(const Bytes& sentence) {
    updateMonitor(sentenceText(sentence));
}

void MuxController::updateSpeed(const Bytes& sentence) {
    const std::string text = sentenceText(sentence);
    updateMonitor(text);
    muxWindow_->configuration->apply(codec::readSpeeds(text));
}

void MuxController::updateUnknown(const Bytes& sentence) {
    if (sentence.empty() || (sentence[0] != '$' && sentence[0] != '!'))
        return;
    feed_.push(MonitorLine::Kind::Traffic, sentenceText(sentence));
}

void MuxController::updateState() {
    MuxWindow& w = *muxWindow_;
    const bool c = hasConnection();
    const FamilyDescriptor& family = familyNow();
    const bool full = c && family.fullPanel;
    w.configuration->enable(family, c);
    switchOn(w.filters->filterComboBox, full);
    switchOn(w.filters->frequencyComboBox, full);
    switchOn(w.monitor->captureButton, full && !capture_.running());
    QComboBox* mode = w.configuration->modeComboBox;
    if (program().aisModeWithBluetooth && c && flags_.bluetooth && mode->count() == 3) {
        mode->setMaxVisibleItems(4);
        mode->addItem(QString::fromStdString(Alert::localizedStringWithKey("NSAIS")));
    }
}

// ---- monitor and capture ---------------------------------------------------------------------

void MuxController::onStart() {
    startMonitor_ = !startMonitor_;
    muxWindow_->monitor->startButton->setText(
        QString::fromStdString(Alert::localizedStringWithKey(startMonitor_ ? "NSStop" : "NSStart")));
}

void MuxController::onClear() {
    flushMonitor(); // what came before the click goes too
    MonitorView* view = muxWindow_->monitor->monitorTextView;
    if (!view->isEmpty())
        view->clear();
}

void MuxController::onCapture() {
    if (capture_.running())
        return;
    muxWindow_->monitor->captureButton->setEnabled(false);
    flushMonitor(); // lines that came before the click are not gathered
    capture_.start();
}

void MuxController::updateMonitor(const std::string& text) {
    feed_.push(MonitorLine::Kind::Shown, text);
}

void MuxController::appendMonitor(std::string_view text, const QColor& colour) {
    if (!startMonitor_ || text.empty())
        return;
    muxWindow_->monitor->monitorTextView->append(text, colour);
}

// While talker IDs are imposed (or channel IDs are on), a capture keeps sentence codes.
bool MuxController::captureByFormatter() const {
    const ConfigurationPane& c = *muxWindow_->configuration;
    bool byFormatter = c.channelIDsButton != nullptr && c.channelIDsButton->isChecked();
    for (const QLineEdit* field : c.talkerIDFields)
        byFormatter = byFormatter || field->text().size() == 2;
    return byFormatter;
}

// One frame: everything queued since the last, in order, red while a capture runs.
void MuxController::flushMonitor() {
    std::vector<MonitorLine> lines = feed_.take();
    if (lines.empty())
        return;
    const bool capturing = capture_.running();
    const bool byFormatter = capturing && captureByFormatter();
    const QColor colour = capturing ? QColor(255, 85, 85) : QColor(80, 220, 100);
    for (const MonitorLine& line : lines) {
        if (capturing && line.kind == MonitorLine::Kind::Traffic)
            capture_.gather(line.text, byFormatter);
        appendMonitor(line.text, colour);
        appendMonitor("\n", colour);
    }
    muxWindow_->monitor->monitorTextView->showAppended();
}
