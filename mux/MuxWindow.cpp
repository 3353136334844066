#include "mux/MuxWindow.h"

#include "mux/panes/ConfigurationPane.h"
#include "mux/panes/DevicePane.h"
#include "mux/panes/FilterPane.h"
#include "mux/panes/LogFilePane.h"
#include "mux/panes/MonitorPane.h"
#include "mux/panes/ServerPane.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QScreen>
#include <QSplitter>
#include <QVBoxLayout>

MuxWindow::MuxWindow(MuxVariant variant, QWidget* parent) : QWidget(parent) {
    const ProgramDescriptor& program = programDescriptor(variant);
    setObjectName("muxWindow");
    // Made in reading order, which is the order Tab goes through them.
    device = new DevicePane(this);
    configuration = new ConfigurationPane(program, this);
    filters = new FilterPane(program, this);
    monitor = new MonitorPane(this);
    files = new LogFilePane(this);
    server = new ServerPane(this);

    auto* top = new QHBoxLayout;
    top->addWidget(device);
    top->addWidget(configuration, 1);

    // The monitor takes the spare room, the log files below it; the server has a column of its
    // own, with room below its controls.
    auto* traffic = new QWidget(this);
    auto* trafficColumn = new QVBoxLayout(traffic);
    trafficColumn->setContentsMargins(0, 0, 0, 0);
    trafficColumn->addWidget(monitor, 1);
    trafficColumn->addWidget(files);
    auto* serverColumn = new QWidget(this);
    auto* serverLayout = new QVBoxLayout(serverColumn);
    serverLayout->setContentsMargins(0, 0, 0, 0);
    serverLayout->addWidget(server);
    serverLayout->addStretch(1);
    auto* split = new QSplitter(Qt::Horizontal, this);
    split->addWidget(filters);
    split->addWidget(traffic);
    split->addWidget(serverColumn);
    split->setStretchFactor(0, 0);
    split->setStretchFactor(1, 1);
    split->setStretchFactor(2, 0);
    split->setChildrenCollapsible(false);
    split->setSizes({program.filterFrequency ? 300 : 260, 600, 220});

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(6, 6, 6, 6);
    column->addLayout(top);
    column->addWidget(split, 1);
    // Room to spare on a large screen; a boat computer's 1024 x 600 takes it whole.
    QSize size(1100, 720);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableGeometry().size());
    resize(size.expandedTo(minimumSizeHint()));
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
