#include "mux/panes/MonitorPane.h"

#include "mux/MonitorView.h"
#include "mux/panes/PaneKit.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

MonitorPane::MonitorPane(QWidget* parent) : QGroupBox(localizedText("NSMonitorBox"), parent) {
    auto* column = new QVBoxLayout(this);
    monitorTextView = new MonitorView(this);
    QPalette pal = monitorTextView->palette();
    pal.setColor(QPalette::Base, QColor(18, 22, 26));
    pal.setColor(QPalette::Text, QColor(200, 200, 200));
    monitorTextView->setPalette(pal);
    column->addWidget(monitorTextView, 1);
    auto* buttons = new QHBoxLayout;
    startButton = new QPushButton(localizedText("NSStop"), this);
    clearButton = new QPushButton(localizedText("NSClear"), this);
    captureButton = new QPushButton(localizedText("NSCapture"), this);
    buttons->addWidget(startButton);
    buttons->addWidget(clearButton);
    buttons->addStretch(1);
    buttons->addWidget(captureButton);
    column->addLayout(buttons);
}
