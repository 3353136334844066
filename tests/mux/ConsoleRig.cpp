#include "tests/mux/ConsoleRig.h"

#include "link/NMEA.h"
#include "mux/MonitorView.h"
#include "mux/NSDataReadyView.h"
#include "mux/panes/SentencesView.h"
#include "support/Settings.h"
#include "tests/mux/MainLoopWait.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <thread>

using namespace std::chrono_literals;

namespace {

// The rig's marks: a sentence of the device's own, which the device ignores when it reads one.
const std::string kMark = "$PQVXCN,";

// The control of that name; the numbered ones ("talkerIDField1") channel 1 first.
template <class W>
W* named(QWidget& window, const QString& name) {
    return window.findChild<W*>(name);
}

template <class W>
std::array<W*, 4> fourNamed(QWidget& window, const QString& name) {
    return {named<W>(window, name + "1"), named<W>(window, name + "2"), named<W>(window, name + "3"),
            named<W>(window, name + "4")};
}

} // namespace

bool DeviceControls::hasVersion() const {
    return !versionField->text().isEmpty();
}

DeviceControls ConsoleRig::device() {
    QWidget& w = win();
    return {named<QComboBox>(w, "portComboBox"), named<QComboBox>(w, "rateComboBox"),
            named<QLineEdit>(w, "deviceField"),  named<QLineEdit>(w, "serialField"),
            named<QLineEdit>(w, "versionField"), named<QLabel>(w, "connectionField")};
}

ConfigurationControls ConsoleRig::config() {
    QWidget& w = win();
    return {named<QComboBox>(w, "modeComboBox"),       named<QCheckBox>(w, "seatalkButton"),
            named<QCheckBox>(w, "priorityButton"),     named<QCheckBox>(w, "channelNumbersButton"),
            named<QCheckBox>(w, "channelIDsButton"),   named<QCheckBox>(w, "headingButton"),
            named<QCheckBox>(w, "aisButton"),          fourNamed<QCheckBox>(w, "realtimeButton"),
            fourNamed<QLineEdit>(w, "talkerIDField"),  fourNamed<QLabel>(w, "overflowField"),
            fourNamed<QComboBox>(w, "rateInComboBox"), named<QComboBox>(w, "rateOut2ComboBox")};
}

FilterControls ConsoleRig::filters() {
    QWidget& w = win();
    return {named<QTableView>(w, "filterTableView"),  named<QComboBox>(w, "filterComboBox"),
            named<QComboBox>(w, "frequencyComboBox"), named<QPushButton>(w, "addButton"),
            named<QPushButton>(w, "removeButton"),    named<QPushButton>(w, "clearAllButton")};
}

MonitorControls ConsoleRig::monitorPane() {
    QWidget& w = win();
    return {named<MonitorView>(w, "monitorTextView"), named<QPushButton>(w, "startButton"),
            named<QPushButton>(w, "clearButton"),     named<QPushButton>(w, "captureButton"),
            named<QCheckBox>(w, "timeButton"),        named<QCheckBox>(w, "errorsButton"),
            named<QCheckBox>(w, "sentButton"),        named<QLineEdit>(w, "filterField"),
            named<QTabWidget>(w, "monitorTabs"),      named<SentencesView>(w, "sentencesView")};
}

FileControls ConsoleRig::files() {
    QWidget& w = win();
    return {named<QPushButton>(w, "sendFileButton"), named<QPushButton>(w, "stopSendingButton"),
            named<QProgressBar>(w, "sendProgress"),  named<QLabel>(w, "sendStatus"),
            named<QPushButton>(w, "recordButton"),   named<QLabel>(w, "recordStatus")};
}

ServerControls ConsoleRig::server() {
    QWidget& w = win();
    return {named<QCheckBox>(w, "enableButton"), named<QLineEdit>(w, "portField"),
            named<QLineEdit>(w, "hostField"), named<QLineEdit>(w, "countField"),
            named<NSDataReadyView>(w, "dataReadyView")};
}

std::string framed(const std::string& sentence) {
    return sentence + NMEA::checkSumTail(sentence);
}

ConsoleRig::ConsoleRig(ConsoleRigOptions options) {
    char pattern[] = "/tmp/tests_mux.XXXXXX";
    folder_ = ::mkdtemp(pattern);
    storePath = folder_ + "/prefs.plist";
    Settings::setStorePath(storePath);

    SimOptions sim;
    sim.family = options.family;
    sim.bluetooth = options.bluetooth;
    sim.firmware = options.firmware;
    sim.linesPerSecond = options.traffic;
    sim.statusSeconds = 0;
    sim.filters = options.filters;
    if (options.stableLink)
        sim.linkPath = folder_ + "/mux";
    sim_ = std::make_unique<SimulatedMux>(sim);
    if (!sim_->start())
        throw std::runtime_error("simulated device did not start: " + sim_->lastError());

    Alert::setResponder([this](const AlertRequest& request) {
        alerts.push_back(request);
        if (duringAlert)
            duringAlert();
        return 0;
    });
    MuxOptions mo;
    mo.variant = options.family == MuxFamily::Legacy ? MuxVariant::Legacy : MuxVariant::Current;
    mo.startDelay = 0ms;
    mo.sanityInterval = 25ms;
    mo.idleSleep = 20ms;
    mo.silence = 100ms;
    mo.retryFirst = 20ms;
    mo.retryLongest = 80ms;
    mo.frameInterval = 2ms;
    mo.clock = [this] { return now_; };
    if (options.noPorts)
        mo.listPorts = [] { return std::vector<std::string>(); };
    else if (options.unlisted)
        mo.listPorts = [] { return std::vector<std::string>{"ttyNone0"}; };
    else
        mo.extraPorts = {sim_->portPath()};
    if (options.selectPort && !options.noPorts && !options.unlisted)
        mo.selectPort = sim_->portPath();
    mo.terminate = [this] { ++terminations; };
    mo.beep = [this] { ++beeps; };
    mo.openPort = options.opener;
    if (options.tune)
        options.tune(mo);
    controller_ = std::make_unique<MuxController>(mo);
    if (options.beforeStart)
        options.beforeStart(*controller_);
    controller_->awakeFromNib();
}

ConsoleRig::~ConsoleRig() {
    controller_.reset();
    sim_.reset();
    Alert::setResponder({});
    // What is left unsaved goes into this rig's folder, which goes with it: nothing is left for the
    // save at exit to write into a folder made anew.
    Settings::setStorePath(storePath);
    Settings::save();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

bool ConsoleRig::waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    return waitWhileRunning(condition, timeout);
}

bool ConsoleRig::waitIdentified() {
    return waitFor([this] { return device().hasVersion() && config().modeComboBox->currentIndex() >= 0; });
}

std::vector<std::string> ConsoleRig::sentLines() {
    const Bytes bytes = sim_->received();
    std::vector<std::string> lines(1);
    for (uint8_t b : bytes) {
        lines.back() += char(b);
        if (b == '\n' && lines.back().starts_with(kMark))
            lines.back().clear();
        else if (b == '\n')
            lines.emplace_back();
    }
    lines.pop_back();
    return lines;
}

bool ConsoleRig::waitSent(const std::string& sentence, std::chrono::milliseconds timeout) {
    const std::string wanted = framed(sentence);
    return waitFor(
        [&] {
            const Bytes bytes = sim_->received();
            return std::search(bytes.begin(), bytes.end(), wanted.begin(), wanted.end()) != bytes.end();
        },
        timeout);
}

void ConsoleRig::reply(const std::string& sentence) {
    sim_->sendRaw(framed(sentence));
}

bool ConsoleRig::barrier() {
    const std::string mark = kMark + std::to_string(++marks_);
    reply(mark);
    return waitFor([&] { return monitor().contains(QString::fromStdString(mark + "\n")); });
}

void ConsoleRig::settle() {
    // Once the device has read a mark the console wrote, its answers to all before are queued.
    const std::string mark = kMark + std::to_string(++marks_);
    controller_->core().sender().sendNMEACommand(mark);
    if (!waitSent(mark) || !barrier())
        ADD_FAILURE() << "the console and the device did not settle";
}

QString ConsoleRig::monitor() {
    controller_->flushMonitor();
    return monitorPane().monitorTextView->toPlainText();
}
