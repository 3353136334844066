#pragma once
// The monitor: the lines on their way to the pane (MonitorFeed), the scrollback that keeps them,
// the frame timer that shows them, Start/Stop, Clear, the view options and their preferences, the
// Sentences view's figures, and the capture that gathers the addresses of the lines shown while
// it runs.
//
// Threads: main thread, except traffic(), lineRead() and sent(), which the reader and the command
// sender call without waiting: each copies the line into the feed under one short lock.

#include "base/Bytes.h"
#include "mux/Capture.h"
#include "mux/MonitorFeed.h"
#include "mux/MonitorPreferences.h"
#include "mux/Scrollback.h"
#include "mux/SentenceStats.h"

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

struct MonitorClocks {
    std::function<Capture::Clock::time_point()> steady;          // capture and rates
    std::function<std::chrono::system_clock::time_point()> wall; // the lines' time of arrival
};

class MonitorControl : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kSentencesInterval{250};

    // imposesTalkers: a capture keeps sentence codes instead of addresses (talker IDs imposed).
    MonitorControl(MonitorPane& pane, Capture::Clock::duration captureTime, MonitorClocks clocks,
                   std::function<bool()> imposesTalkers, QObject* parent = nullptr);

    // The frame timer: the given interval, else the screen's refresh; and the Sentences view's.
    void start(std::chrono::milliseconds frameInterval);

    // A line of the console's own or a reply the console handled.
    void updateMonitor(const std::string& text);
    // A checked line no handler took (any thread).
    void traffic(const Bytes& sentence);
    // Every line as read (reader thread): those that fail their check go to the monitor as such.
    void lineRead(const Bytes& line);
    // What the console wrote to the device (any thread).
    void sent(std::string_view line);
    // One piece of a line of the console's own ("\n" ends it), while the monitor runs.
    void appendMonitor(std::string_view text, const QColor& colour);
    // The frame's work, now: everything queued, in order.
    void flushMonitor();
    // A port opened: the Sentences view starts over.
    void portOpened();

    void onStart(); // Start and Stop in turn
    void onClear();
    void onCapture();
    bool running() const { return running_; }
    bool capturing() const { return capture_.running(); }
    // The capture's time has come: it ends, and its entries are to go to the device.
    std::optional<std::vector<Filter>> takeDueCapture();
    // Capture is offered while the device allows it and none runs.
    void allowCapture(bool allowed);

    // The options as the preferences had them; saved when the user changes them.
    void loadPreferences();
    const MonitorFeed& feed() const { return feed_; }
    const Scrollback& scrollback() const { return scrollback_; }
    const SentenceStats& sentences() const { return stats_; }
    void showSentences(); // the Sentences view's figures, now
    // The Sentences tab in front, this address chosen (false when it was not seen).
    bool openSentences(const std::string& address);

private:
    void lookChanged();
    void keep(MonitorLine& line, bool capturing, bool byFormatter);

    MonitorPane& pane_;
    Capture capture_;
    MonitorClocks clocks_;
    std::function<bool()> imposesTalkers_;
    MonitorFeed feed_;
    Scrollback scrollback_;
    SentenceStats stats_;
    MonitorPreferences preferences_;
    std::string partial_;         // appendMonitor's line so far
    QTimer* frame_ = nullptr;     // child of this
    QTimer* sentences_ = nullptr; // child of this
    bool running_ = true;
};
