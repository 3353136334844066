#pragma once
// The monitor: the traffic pane and its buttons.

#include <QGroupBox>

class MonitorView;
class QPushButton;

class MonitorPane : public QGroupBox {
    Q_OBJECT
public:
    explicit MonitorPane(QWidget* parent = nullptr);

    MonitorView* monitorTextView = nullptr;
    QPushButton* startButton = nullptr;
    QPushButton* clearButton = nullptr;
    QPushButton* captureButton = nullptr;
};
