#pragma once
// The monitor: the lines on their way to the pane (MonitorFeed), the frame timer that shows them,
// Start/Stop, Clear, and the capture that gathers the addresses of the lines shown while it runs.
//
// Threads: main thread, except traffic(), which the reader calls without waiting.

#include "base/Bytes.h"
#include "mux/Capture.h"
#include "mux/MonitorFeed.h"

#include <QObject>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class MonitorPane;
class QColor;
class QTimer;

class MonitorControl : public QObject {
    Q_OBJECT
public:
    // imposesTalkers: a capture keeps sentence codes instead of addresses (talker IDs imposed).
    MonitorControl(MonitorPane& pane, Capture::Clock::duration captureTime,
                   std::function<Capture::Clock::time_point()> clock, std::function<bool()> imposesTalkers,
                   QObject* parent = nullptr);

    // The frame timer: the given interval, else the screen's refresh.
    void start(std::chrono::milliseconds frameInterval);

    // A line of the console's own or a reply the console handled.
    void updateMonitor(const std::string& text);
    // Any other line from the device (any thread); lines that start with neither "$" nor "!" are
    // not shown.
    void traffic(const Bytes& sentence);
    // One piece on the pane, while the monitor runs.
    void appendMonitor(std::string_view text, const QColor& colour);
    // The frame's work, now: everything queued, in order, red while a capture runs.
    void flushMonitor();

    void onStart(); // Start and Stop in turn
    void onClear();
    void onCapture();
    bool running() const { return running_; }
    bool capturing() const { return capture_.running(); }
    // The capture's time has come: it ends, and its entries are to go to the device.
    std::optional<std::vector<Filter>> takeDueCapture();
    // Capture is offered while the device allows it and none runs.
    void allowCapture(bool allowed);

    const MonitorFeed& feed() const { return feed_; }

private:
    MonitorPane& pane_;
    Capture capture_;
    std::function<bool()> imposesTalkers_;
    MonitorFeed feed_;
    QTimer* frame_ = nullptr; // child of this
    bool running_ = true;
};
