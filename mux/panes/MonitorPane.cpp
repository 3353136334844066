#include "mux/panes/MonitorPane.h"

#include "mux/MonitorView.h"
#include "mux/panes/FormRows.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

MonitorPane::MonitorPane(QWidget* parent) : QGroupBox(localizedText("NSMonitorBox"), parent) {
    auto* column = new QVBoxLayout(this);
    monitorTextView_ = new MonitorView(this);
    monitorTextView_->setObjectName("monitorTextView");
    QPalette pal = monitorTextView_->palette();
    pal.setColor(QPalette::Base, QColor(18, 22, 26));
    pal.setColor(QPalette::Text, QColor(200, 200, 200));
    monitorTextView_->setPalette(pal);
    column->addWidget(monitorTextView_, 1);
    auto* buttons = new QHBoxLayout;
    startButton_ = new QPushButton(localizedText("NSStop"), this);
    startButton_->setObjectName("startButton");
    clearButton_ = new QPushButton(localizedText("NSClear"), this);
    clearButton_->setObjectName("clearButton");
    captureButton_ = new QPushButton(localizedText("NSCapture"), this);
    captureButton_->setObjectName("captureButton");
    buttons->addWidget(startButton_);
    buttons->addWidget(clearButton_);
    buttons->addStretch(1);
    buttons->addWidget(captureButton_);
    column->addLayout(buttons);
    connect(startButton_, &QPushButton::clicked, this, &MonitorPane::startClicked);
    connect(clearButton_, &QPushButton::clicked, this, &MonitorPane::clearClicked);
    connect(captureButton_, &QPushButton::clicked, this, &MonitorPane::captureClicked);
}

void MonitorPane::append(std::string_view latin1, const QColor& colour) {
    monitorTextView_->append(latin1, colour);
}

void MonitorPane::showAppended() {
    monitorTextView_->showAppended();
}

void MonitorPane::clear() {
    if (!monitorTextView_->isEmpty())
        monitorTextView_->clear();
}

void MonitorPane::showRunning(bool running) {
    startButton_->setText(localizedText(running ? "NSStop" : "NSStart"));
}

void MonitorPane::enableCapture(bool on) {
    captureButton_->setEnabled(on);
}
