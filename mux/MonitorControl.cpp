#include "mux/MonitorControl.h"

#include "mux/panes/MonitorPane.h"

#include <QColor>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include <algorithm>

MonitorControl::MonitorControl(MonitorPane& pane, Capture::Clock::duration captureTime,
                               std::function<Capture::Clock::time_point()> clock,
                               std::function<bool()> imposesTalkers, QObject* parent)
    : QObject(parent), pane_(pane),
      capture_(
          clock ? std::move(clock) : [] { return Capture::Clock::now(); }, captureTime),
      imposesTalkers_(std::move(imposesTalkers)) {
    connect(&pane_, &MonitorPane::startClicked, this, &MonitorControl::onStart);
    connect(&pane_, &MonitorPane::clearClicked, this, &MonitorControl::onClear);
    connect(&pane_, &MonitorPane::captureClicked, this, &MonitorControl::onCapture);
}

void MonitorControl::start(std::chrono::milliseconds frameInterval) {
    if (frame_ != nullptr)
        return;
    frame_ = new QTimer(this);
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double hz = screen != nullptr && screen->refreshRate() > 1 ? screen->refreshRate() : 60.0;
    frame_->setTimerType(Qt::PreciseTimer);
    frame_->setInterval(frameInterval.count() > 0 ? int(frameInterval.count())
                                                  : std::max(1, int(1000.0 / hz)));
    connect(frame_, &QTimer::timeout, this, &MonitorControl::flushMonitor);
    frame_->start();
}

void MonitorControl::updateMonitor(const std::string& text) {
    feed_.push(MonitorLine::Kind::Shown, text);
}

void MonitorControl::traffic(const Bytes& sentence) {
    if (sentence.empty() || (sentence[0] != '$' && sentence[0] != '!'))
        return;
    auto end = std::find(sentence.begin(), sentence.end(), uint8_t(0));
    feed_.push(MonitorLine::Kind::Traffic, std::string(sentence.begin(), end));
}

void MonitorControl::appendMonitor(std::string_view text, const QColor& colour) {
    if (!running_ || text.empty())
        return;
    pane_.append(text, colour);
}

void MonitorControl::flushMonitor() {
    std::vector<MonitorLine> lines = feed_.take();
    if (lines.empty())
        return;
    const bool capturing = capture_.running();
    const bool byFormatter = capturing && imposesTalkers_ && imposesTalkers_();
    const QColor colour = capturing ? QColor(255, 85, 85) : QColor(80, 220, 100);
    for (const MonitorLine& line : lines) {
        if (capturing && line.kind == MonitorLine::Kind::Traffic)
            capture_.gather(line.text, byFormatter);
        appendMonitor(line.text, colour);
        appendMonitor("\n", colour);
    }
    pane_.showAppended();
}

void MonitorControl::onStart() {
    running_ = !running_;
    pane_.showRunning(running_);
}

void MonitorControl::onClear() {
    flushMonitor(); // what came before the click goes too
    pane_.clear();
}

void MonitorControl::onCapture() {
    if (capture_.running())
        return;
    pane_.enableCapture(false);
    flushMonitor(); // lines that came before the click are not gathered
    capture_.start();
}

std::optional<std::vector<Filter>> MonitorControl::takeDueCapture() {
    if (!capture_.due())
        return std::nullopt;
    capture_.end();
    pane_.enableCapture(true);
    return capture_.take();
}

void MonitorControl::allowCapture(bool allowed) {
    pane_.enableCapture(allowed && !capture_.running());
}
