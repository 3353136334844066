#include "mux/MuxWindow.h"

#include "mux/panes/ConfigurationPane.h"
#include "mux/panes/DevicePane.h"
#include "mux/panes/FilterPane.h"
#include "mux/panes/LogFilePane.h"
#include "mux/panes/MonitorPane.h"
#include "mux/panes/ServerPane.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QSplitter>
#include <QVBoxLayout>

MuxWindow::MuxWindow(MuxVariant variant, QWidget* parent) : QWidget(parent) {
    const ProgramDescriptor& program = programDescriptor(variant);
    setObjectName("muxWindow");
    device = new DevicePane(this);
    configuration = new ConfigurationPane(program, this);
    server = new ServerPane(this);
    filters = new FilterPane(program, this);
    monitor = new MonitorPane(this);
    files = new LogFilePane(this);

    auto* top = new QHBoxLayout;
    top->addWidget(device);
    top->addWidget(configuration, 1);
    top->addWidget(server);

    // The monitor takes the spare room; the log files sit below it.
    auto* traffic = new QWidget(this);
    auto* trafficColumn = new QVBoxLayout(traffic);
    trafficColumn->setContentsMargins(0, 0, 0, 0);
    trafficColumn->addWidget(monitor, 1);
    trafficColumn->addWidget(files);
    auto* split = new QSplitter(Qt::Horizontal, this);
    split->addWidget(filters);
    split->addWidget(traffic);
    split->setStretchFactor(0, 0);
    split->setStretchFactor(1, 1);
    split->setChildrenCollapsible(false);
    split->setSizes({program.filterFrequency ? 400 : 460, 600});

    auto* column = new QVBoxLayout(this);
    column->addLayout(top);
    column->addWidget(split, 1);
    resize(1040, 760);
}

void MuxWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    emit closing();
}

void MuxWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        emit becameKey();
    QWidget::changeEvent(event);
}
