#pragma once
// The monitor: the traffic pane and its buttons. Its controls stay inside; MonitorControl drives
// it through these methods.

#include <QGroupBox>

#include <string_view>

class MonitorView;
class QPushButton;

class MonitorPane : public QGroupBox {
    Q_OBJECT
public:
    explicit MonitorPane(QWidget* parent = nullptr);

    // One piece in one colour ("\n" ends a line); the pane catches up in showAppended().
    void append(std::string_view latin1, const QColor& colour);
    void showAppended();
    void clear();
    void showRunning(bool running); // the Start/Stop button says what a click does
    void enableCapture(bool on);

signals:
    void startClicked();
    void clearClicked();
    void captureClicked();

private:
    MonitorView* monitorTextView_ = nullptr;
    QPushButton* startButton_ = nullptr;
    QPushButton* clearButton_ = nullptr;
    QPushButton* captureButton_ = nullptr;
};
