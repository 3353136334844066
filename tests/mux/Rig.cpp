#include "tests/mux/Rig.h"

#include "support/Settings.h"

#include "mux/MonitorView.h"
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

using namespace std::chrono_literals;

std::string framed(const std::string& sentence) {
    uint8_t sum = 0;
    for (size_t i = 1; i < sentence.size(); ++i)
        sum ^= uint8_t(sentence[i]);
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
    return sentence + tail;
}

Rig::Rig(RigOptions options) {
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
    if (options.stableLink)
        sim.linkPath = folder_ + "/mux";
    sim_ = std::make_unique<SimulatedMux>(sim);
    if (!sim_->start())
        throw std::runtime_error("simulated device did not start: " + sim_->lastError());

    Alert::setResponder([this](const AlertRequest& request) {
        alerts.push_back(request);
        return 0;
    });
    MuxOptions mo;
    mo.variant = options.variant;
    mo.startDelay = 50ms;
    mo.sanityInterval = 200ms;
    mo.idleSleep = 50ms;
    if (options.noPorts)
        mo.listPorts = [] { return std::vector<std::string>(); };
    else if (options.unlisted)
        mo.listPorts = [] { return std::vector<std::string>{"ttyNone0"}; };
    else
        mo.extraPorts = {sim_->portPath()};
    if (options.selectPort)
        mo.selectPort = sim_->portPath();
    mo.terminate = [this] { ++terminations; };
    mo.beep = [this] { ++beeps; };
    controller_ = std::make_unique<MuxController>(mo);
    controller_->awakeFromNib();
}

Rig::~Rig() {
    controller_.reset();
    sim_.reset();
    Alert::setResponder({});
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

bool Rig::waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

bool Rig::identified() {
    return !win().versionField->text().isEmpty() && win().modeComboBox->currentIndex() >= 0;
}

std::vector<std::string> Rig::sentLines() {
    const Bytes bytes = sim_->received();
    std::vector<std::string> lines;
    std::string line;
    for (uint8_t b : bytes) {
        line += char(b);
        if (b == '\n') {
            lines.push_back(line);
            line.clear();
        }
    }
    return lines;
}

bool Rig::waitSent(const std::string& sentence, std::chrono::milliseconds timeout) {
    const std::string wanted = framed(sentence);
    return waitFor(
        [&] {
            auto lines = sentLines();
            return std::find(lines.begin(), lines.end(), wanted) != lines.end();
        },
        timeout);
}

void Rig::reply(const std::string& sentence) {
    sim_->sendRaw(framed(sentence));
}

QString Rig::monitor() {
    return win().monitorTextView->toPlainText();
}

void Rig::settle() {
    size_t sent = sim_->received().size();
    size_t lines = win().monitorTextView->lineCount();
    auto quietSince = std::chrono::steady_clock::now();
    const auto until = quietSince + 5s;
    while (std::chrono::steady_clock::now() < until &&
           std::chrono::steady_clock::now() - quietSince < 400ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(5ms);
        const size_t nowSent = sim_->received().size();
        const size_t nowLines = win().monitorTextView->lineCount();
        if (nowSent != sent || nowLines != lines) {
            sent = nowSent;
            lines = nowLines;
            quietSince = std::chrono::steady_clock::now();
        }
    }
}
