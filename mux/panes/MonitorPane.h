#pragma once
// The monitor: the traffic pane with its view options (time, errors, what was sent, a filter) and
// buttons, and the Sentences tab beside it. Its controls stay inside; MonitorControl drives it
// through these methods.

#include "mux/MonitorView.h"
#include "mux/SentenceStats.h"

#include <QGroupBox>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QTabWidget;
class SentencesView;

class MonitorPane : public QGroupBox {
    Q_OBJECT
public:
    explicit MonitorPane(QWidget* parent = nullptr);

    void setScrollback(const Scrollback* lines);
    // The scrollback gained lines or lost old ones.
    void showAppended();
    void clear();
    void showRunning(bool running); // the Start/Stop button says what a click does
    void enableCapture(bool on);

    MonitorLook look() const; // as the option controls say
    void setLook(const MonitorLook& look);

    bool sentencesShown() const; // the Sentences tab is in front
    void openSentences();
    bool selectSentence(const std::string& address);
    void showSentences(std::vector<SentenceStats::Row> rows, SentenceStats::Clock::time_point now);

signals:
    void startClicked();
    void clearClicked();
    void captureClicked();
    void lookChanged();
    void sentencesOpened();

private:
    QWidget* buildTraffic();

    QTabWidget* tabs_ = nullptr;
    MonitorView* monitorTextView_ = nullptr;
    SentencesView* sentences_ = nullptr;
    QCheckBox* timeButton_ = nullptr;
    QCheckBox* errorsButton_ = nullptr;
    QCheckBox* sentButton_ = nullptr;
    QLineEdit* filterField_ = nullptr;
    QPushButton* startButton_ = nullptr;
    QPushButton* clearButton_ = nullptr;
    QPushButton* captureButton_ = nullptr;
};
