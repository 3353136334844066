#include "mux/MuxWindow.h"

#include "mux/MonitorView.h"
#include "mux/NSDataReadyView.h"
#include "support/Alert.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

namespace {

QString localizedText(const char* key) {
    return QString::fromStdString(Alert::localizedStringWithKey(key));
}

QLineEdit* displayField(QWidget* parent, int minWidth) {
    auto* field = new QLineEdit(parent);
    field->setReadOnly(true);
    field->setFocusPolicy(Qt::NoFocus);
    field->setMinimumWidth(minWidth);
    return field;
}

QLabel* rightLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

// One row of a form: the localized label on the right of its column, then the control.
void addRow(QGridLayout* grid, int row, const char* key, QWidget* control) {
    grid->addWidget(rightLabel(localizedText(key), control->parentWidget()), row, 0);
    grid->addWidget(control, row, 1);
}

} // namespace

MuxWindow::MuxWindow(MuxVariant variant, QWidget* parent) : QWidget(parent) {
    const bool legacy = variant == MuxVariant::Legacy;
    setObjectName("muxWindow");

    // Device: the port and its speed, and who answered on it.
    auto* deviceBox = new QGroupBox(localizedText("NSDeviceBox"), this);
    auto* deviceGrid = new QGridLayout(deviceBox);
    portComboBox = new QComboBox(deviceBox);
    portComboBox->setEditable(true);
    portComboBox->setInsertPolicy(QComboBox::InsertAtBottom);
    portComboBox->setMinimumWidth(160);
    rateComboBox = new QComboBox(deviceBox);
    deviceField = displayField(deviceBox, 140);
    serialField = displayField(deviceBox, 140);
    versionField = displayField(deviceBox, 60);
    addRow(deviceGrid, 0, "NSPortLabel", portComboBox);
    addRow(deviceGrid, 1, "NSSpeedLabel", rateComboBox);
    addRow(deviceGrid, 2, "NSNameLabel", deviceField);
    addRow(deviceGrid, 3, "NSSerialLabel", serialField);
    addRow(deviceGrid, 4, "NSFirmwareLabel", versionField);
    deviceGrid->setRowStretch(5, 1);

    // Configuration: options on the left, one column per input channel on the right.
    auto* configBox = new QGroupBox(localizedText("NSConfigurationBox"), this);
    auto* configRow = new QHBoxLayout(configBox);
    auto* options = new QGridLayout;
    modeComboBox = new QComboBox(configBox);
    modeComboBox->setMinimumWidth(110);
    seatalkButton = new QCheckBox(localizedText("NSSeaTalk"), configBox);
    priorityButton = new QCheckBox(localizedText("NSPriority"), configBox);
    channelNumbersButton = new QCheckBox(localizedText("NSChannelNumbers"), configBox);
    headingButton = new QCheckBox(localizedText("NSHeading"), configBox);
    if (legacy)
        aisButton = new QCheckBox(localizedText("NSAISOption"), configBox);
    else
        channelIDsButton = new QCheckBox(localizedText("NSChannelIDs"), configBox);
    options->addWidget(rightLabel(localizedText("NSModeLabel"), configBox), 0, 0);
    options->addWidget(modeComboBox, 0, 1);
    options->addWidget(seatalkButton, 1, 1);
    options->addWidget(priorityButton, 2, 1);
    options->addWidget(channelNumbersButton, 3, 1);
    options->addWidget(legacy ? aisButton : channelIDsButton, 4, 1);
    options->addWidget(headingButton, 5, 1);
    options->setRowStretch(6, 1);
    configRow->addLayout(options);
    configRow->addSpacing(12);

    auto* channels = new QGridLayout;
    channels->setHorizontalSpacing(8);
    int row = 0;
    channels->addWidget(new QLabel(configBox), row, 0);
    for (int k = 0; k < 4; ++k) {
        auto* head = new QLabel(localizedText("NSInput") + QString(" %1").arg(k + 1), configBox);
        head->setAlignment(Qt::AlignCenter);
        channels->addWidget(head, row, k + 1);
    }
    ++row;
    channels->addWidget(rightLabel(localizedText("NSRealtime"), configBox), row, 0);
    for (int k = 0; k < 4; ++k) {
        realtimeButtons[k] = new QCheckBox(configBox);
        channels->addWidget(realtimeButtons[k], row, k + 1, Qt::AlignCenter);
    }
    ++row;
    channels->addWidget(rightLabel(localizedText("NSTalkerID"), configBox), row, 0);
    for (int k = 0; k < 4; ++k) {
        talkerIDFields[k] = new QLineEdit(configBox);
        talkerIDFields[k]->setAlignment(Qt::AlignCenter);
        talkerIDFields[k]->setFixedWidth(56);
        channels->addWidget(talkerIDFields[k], row, k + 1, Qt::AlignCenter);
    }
    ++row;
    if (legacy) {
        channels->addWidget(rightLabel(localizedText("NSSpeedLabel"), configBox), row, 0);
        for (int k = 0; k < 4; ++k) {
            rateInComboBoxes[k] = new QComboBox(configBox);
            channels->addWidget(rateInComboBoxes[k], row, k + 1);
        }
        ++row;
    }
    channels->addWidget(rightLabel(localizedText("NSOverflow"), configBox), row, 0);
    for (int k = 0; k < 4; ++k) {
        overflowFields[k] = new QLabel(configBox);
        overflowFields[k]->setAlignment(Qt::AlignCenter);
        overflowFields[k]->setStyleSheet("QLabel { color: #c62828; font-weight: bold; }");
        channels->addWidget(overflowFields[k], row, k + 1);
    }
    ++row;
    if (legacy) {
        rateOut2ComboBox = new QComboBox(configBox);
        channels->addWidget(rightLabel(localizedText("NSOutput2Speed"), configBox), row, 0);
        channels->addWidget(rateOut2ComboBox, row, 1);
        ++row;
    }
    channels->setRowStretch(row, 1);
    configRow->addLayout(channels);
    configRow->addStretch(1); // spare width goes to the right, the controls stay together

    // Network server.
    auto* serverBox = new QGroupBox(localizedText("NSServerBox"), this);
    auto* serverGrid = new QGridLayout(serverBox);
    enableButton = new QCheckBox(localizedText("NSEnableServer"), serverBox);
    dataReadyView = new NSDataReadyView(serverBox);
    portField = new QLineEdit(serverBox);
    portField->setMaximumWidth(80);
    hostField = displayField(serverBox, 110);
    countField = displayField(serverBox, 40);
    countField->setMaximumWidth(60);
    auto* switchRow = new QHBoxLayout;
    switchRow->addWidget(enableButton);
    switchRow->addStretch(1);
    switchRow->addWidget(dataReadyView);
    serverGrid->addLayout(switchRow, 0, 0, 1, 2);
    addRow(serverGrid, 1, "NSTCPPort", portField);
    addRow(serverGrid, 2, "NSAddress", hostField);
    addRow(serverGrid, 3, "NSClients", countField);
    serverGrid->setRowStretch(4, 1);

    auto* top = new QHBoxLayout;
    top->addWidget(deviceBox);
    top->addWidget(configBox, 1);
    top->addWidget(serverBox);

    // Filter list.
    auto* filterBox = new QGroupBox(localizedText("NSFiltersBox"), this);
    auto* filterColumn = new QVBoxLayout(filterBox);
    filterTableView = new QTableView(filterBox);
    filterTableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    filterTableView->setSelectionMode(QAbstractItemView::SingleSelection);
    filterTableView->verticalHeader()->hide();
    filterTableView->verticalHeader()->setDefaultSectionSize(22);
    filterTableView->horizontalHeader()->setStretchLastSection(true);
    filterColumn->addWidget(filterTableView, 1);
    auto* addRow = new QHBoxLayout;
    filterComboBox = new QComboBox(filterBox);
    filterComboBox->setEditable(true);
    filterComboBox->setInsertPolicy(QComboBox::NoInsert);
    filterComboBox->setMinimumWidth(90);
    addRow->addWidget(filterComboBox, 1);
    if (legacy) {
        frequencyComboBox = new QComboBox(filterBox);
        frequencyComboBox->setEditable(true);
        frequencyComboBox->setInsertPolicy(QComboBox::NoInsert);
        frequencyComboBox->setToolTip(localizedText("NSFrequencyLabel"));
        addRow->addWidget(frequencyComboBox);
    }
    addButton = new QPushButton(localizedText("NSAdd"), filterBox);
    addRow->addWidget(addButton);
    filterColumn->addLayout(addRow);
    auto* editRow = new QHBoxLayout;
    removeButton = new QPushButton(localizedText("NSRemove"), filterBox);
    clearAllButton = new QPushButton(localizedText("NSClearAll"), filterBox);
    editRow->addWidget(removeButton);
    editRow->addWidget(clearAllButton);
    editRow->addStretch(1);
    filterColumn->addLayout(editRow);

    // Monitor: takes the spare room.
    auto* monitorBox = new QGroupBox(localizedText("NSMonitorBox"), this);
    auto* monitorColumn = new QVBoxLayout(monitorBox);
    monitorTextView = new MonitorView(monitorBox);
    QPalette pal = monitorTextView->palette();
    pal.setColor(QPalette::Base, QColor(18, 22, 26));
    pal.setColor(QPalette::Text, QColor(200, 200, 200));
    monitorTextView->setPalette(pal);
    monitorColumn->addWidget(monitorTextView, 1);
    auto* monitorButtons = new QHBoxLayout;
    startButton = new QPushButton(localizedText("NSStop"), monitorBox);
    clearButton = new QPushButton(localizedText("NSClear"), monitorBox);
    captureButton = new QPushButton(localizedText("NSCapture"), monitorBox);
    sendFileButton = new QPushButton(localizedText("NSSendFile"), monitorBox);
    monitorButtons->addWidget(startButton);
    monitorButtons->addWidget(clearButton);
    monitorButtons->addStretch(1);
    monitorButtons->addWidget(captureButton);
    monitorButtons->addWidget(sendFileButton);
    monitorColumn->addLayout(monitorButtons);

    auto* split = new QSplitter(Qt::Horizontal, this);
    split->addWidget(filterBox);
    split->addWidget(monitorBox);
    split->setStretchFactor(0, 0);
    split->setStretchFactor(1, 1);
    split->setChildrenCollapsible(false);
    split->setSizes({legacy ? 400 : 460, 600});

    auto* column = new QVBoxLayout(this);
    column->addLayout(top);
    column->addWidget(split, 1);

    resize(1040, 700);
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
