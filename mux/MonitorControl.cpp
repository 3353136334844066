#include "mux/MonitorControl.h"

#include "link/NMEA.h"
#include "mux/panes/MonitorPane.h"

#include <QColor>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include <algorithm>

namespace {

// A line that failed its check, for the eye: without its line end, control bytes as dots.
std::string readable(const Bytes& line) {
    std::string text(line.begin(), line.end());
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '\0'))
        text.pop_back();
    for (char& c : text)
        if (uint8_t(c) < 0x20 || uint8_t(c) == 0x7f)
            c = char(0xb7); // a middle dot
    return text;
}

int64_t millisecondOf(std::chrono::system_clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count();
}

} // namespace

MonitorControl::MonitorControl(MonitorPane& pane, Capture::Clock::duration captureTime, MonitorClocks clocks,
                               std::function<bool()> imposesTalkers, QObject* parent)
    : QObject(parent), pane_(pane),
      capture_(
          clocks.steady ? clocks.steady : [] { return Capture::Clock::now(); }, captureTime),
      clocks_(std::move(clocks)), imposesTalkers_(std::move(imposesTalkers)), feed_(clocks_.wall) {
    if (!clocks_.steady)
        clocks_.steady = [] { return Capture::Clock::now(); };
    pane_.setScrollback(&scrollback_);
    connect(&pane_, &MonitorPane::startClicked, this, &MonitorControl::onStart);
    connect(&pane_, &MonitorPane::clearClicked, this, &MonitorControl::onClear);
    connect(&pane_, &MonitorPane::captureClicked, this, &MonitorControl::onCapture);
    connect(&pane_, &MonitorPane::lookChanged, this, &MonitorControl::lookChanged);
    connect(&pane_, &MonitorPane::sentencesOpened, this, &MonitorControl::showSentences);
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
    sentences_ = new QTimer(this);
    sentences_->setInterval(int(kSentencesInterval.count()));
    connect(sentences_, &QTimer::timeout, this, [this] {
        if (pane_.sentencesShown())
            showSentences();
    });
    sentences_->start();
}

void MonitorControl::loadPreferences() {
    preferences_ = MonitorPreferences::load();
    scrollback_.setLimit(preferences_.scrollback);
    pane_.setLook(preferences_.look);
}

void MonitorControl::lookChanged() {
    preferences_.look = pane_.look();
    pane_.setLook(preferences_.look);
    preferences_.save();
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

void MonitorControl::lineRead(const Bytes& line) {
    const std::string_view text(reinterpret_cast<const char*>(line.data()), line.size());
    if (!NMEA::lineValid(text))
        feed_.push(MonitorLine::Kind::Invalid, readable(line));
}

void MonitorControl::sent(std::string_view line) {
    feed_.push(MonitorLine::Kind::Sent, std::string(line));
}

void MonitorControl::appendMonitor(std::string_view text, const QColor& colour) {
    if (!running_ || text.empty())
        return;
    const Scrollback::Tone tone = colour == QColor(Qt::red) || colour.red() > colour.green()
                                      ? Scrollback::Tone::Capture
                                      : Scrollback::Tone::Normal;
    for (char c : text) {
        if (c != '\n') {
            partial_ += c;
            continue;
        }
        scrollback_.add({std::move(partial_), millisecondOf(std::chrono::system_clock::now()),
                         MonitorLine::Kind::Shown, tone});
        partial_.clear();
    }
    pane_.showAppended();
}

// Counted for the Sentences view whether or not the monitor runs; kept while it runs.
void MonitorControl::keep(MonitorLine& line, bool capturing, bool byFormatter) {
    const bool sentence = !line.text.empty() && (line.text[0] == '$' || line.text[0] == '!');
    if (line.kind != MonitorLine::Kind::Sent && (sentence || line.kind == MonitorLine::Kind::Invalid))
        stats_.add(line.text, line.kind != MonitorLine::Kind::Invalid, clocks_.steady());
    if (!running_)
        return;
    if (capturing && line.kind == MonitorLine::Kind::Traffic)
        capture_.gather(line.text, byFormatter);
    const bool ownLine = line.kind == MonitorLine::Kind::Traffic || line.kind == MonitorLine::Kind::Shown;
    scrollback_.add({std::move(line.text), millisecondOf(line.time), line.kind,
                     capturing && ownLine ? Scrollback::Tone::Capture : Scrollback::Tone::Normal});
}

void MonitorControl::flushMonitor() {
    std::vector<MonitorLine> lines = feed_.take();
    if (lines.empty())
        return;
    const bool capturing = capture_.running();
    const bool byFormatter = capturing && imposesTalkers_ && imposesTalkers_();
    for (MonitorLine& line : lines)
        keep(line, capturing, byFormatter);
    if (running_)
        pane_.showAppended();
}

void MonitorControl::showSentences() {
    const auto now = clocks_.steady();
    pane_.showSentences(stats_.rows(now), now);
}

void MonitorControl::portOpened() {
    flushMonitor(); // what came before belongs to the port before
    stats_.clear();
    showSentences();
}

void MonitorControl::onStart() {
    running_ = !running_;
    pane_.showRunning(running_);
}

void MonitorControl::onClear() {
    flushMonitor(); // what came before the click goes too
    scrollback_.clear();
    stats_.clear();
    pane_.clear();
    showSentences();
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

bool MonitorControl::openSentences(const std::string& address) {
    flushMonitor();
    pane_.openSentences();
    showSentences();
    return pane_.selectSentence(address);
}
