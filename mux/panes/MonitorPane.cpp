#include "mux/panes/MonitorPane.h"

#include "mux/panes/FormRows.h"
#include "mux/panes/SentencesView.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

template <class W>
W* named(W* widget, const char* name) {
    widget->setObjectName(name);
    return widget;
}

} // namespace

MonitorPane::MonitorPane(QWidget* parent) : QGroupBox(localizedText("NSMonitorBox"), parent) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(6, 4, 6, 6);
    tabs_ = named(new QTabWidget(this), "monitorTabs");
    tabs_->setDocumentMode(true);
    tabs_->addTab(buildTraffic(), localizedText("NSTrafficTab"));
    sentences_ = named(new SentencesView(this), "sentencesView");
    tabs_->addTab(sentences_, localizedText("NSSentencesTab"));
    column->addWidget(tabs_, 1);

    auto* options = new QHBoxLayout;
    auto* buttons = new QHBoxLayout;
    timeButton_ = named(new QCheckBox(localizedText("NSMonitorTime"), this), "timeButton");
    errorsButton_ = named(new QCheckBox(localizedText("NSMonitorErrors"), this), "errorsButton");
    sentButton_ = named(new QCheckBox(localizedText("NSMonitorSent"), this), "sentButton");
    filterField_ = named(new QLineEdit(this), "filterField");
    filterField_->setPlaceholderText(localizedText("NSMonitorFilter"));
    filterField_->setToolTip(localizedText("NSMonitorFilterTip"));
    filterField_->setClearButtonEnabled(true);
    filterField_->setMinimumWidth(80);
    // Made after the options: Tab reaches them in the order they are read.
    startButton_ = named(new QPushButton(localizedText("NSStop"), this), "startButton");
    clearButton_ = named(new QPushButton(localizedText("NSClear"), this), "clearButton");
    captureButton_ = named(new QPushButton(localizedText("NSCapture"), this), "captureButton");
    for (QWidget* w : {static_cast<QWidget*>(timeButton_), static_cast<QWidget*>(errorsButton_),
                       static_cast<QWidget*>(sentButton_)})
        options->addWidget(w);
    options->addWidget(filterField_, 1);
    buttons->addWidget(startButton_);
    buttons->addWidget(clearButton_);
    buttons->addStretch(1);
    buttons->addWidget(captureButton_);
    column->addLayout(options);
    column->addLayout(buttons);

    connect(startButton_, &QPushButton::clicked, this, &MonitorPane::startClicked);
    connect(clearButton_, &QPushButton::clicked, this, &MonitorPane::clearClicked);
    connect(captureButton_, &QPushButton::clicked, this, &MonitorPane::captureClicked);
    for (QCheckBox* box : {timeButton_, errorsButton_, sentButton_})
        connect(box, &QCheckBox::toggled, this, &MonitorPane::lookChanged);
    connect(filterField_, &QLineEdit::textChanged, this, &MonitorPane::lookChanged);
    connect(tabs_, &QTabWidget::currentChanged, this, [this] {
        if (sentencesShown())
            emit sentencesOpened();
    });
}

QWidget* MonitorPane::buildTraffic() {
    monitorTextView_ = named(new MonitorView(this), "monitorTextView");
    QPalette pal = monitorTextView_->palette();
    pal.setColor(QPalette::Base, QColor(18, 22, 26));
    pal.setColor(QPalette::Text, QColor(200, 200, 200));
    monitorTextView_->setPalette(pal);
    monitorTextView_->setMinimumHeight(80);
    return monitorTextView_;
}

void MonitorPane::setScrollback(const Scrollback* lines) {
    monitorTextView_->setScrollback(lines);
}

void MonitorPane::showAppended() {
    monitorTextView_->showAppended();
}

void MonitorPane::clear() {
    monitorTextView_->clear();
}

void MonitorPane::showRunning(bool running) {
    startButton_->setText(localizedText(running ? "NSStop" : "NSStart"));
}

void MonitorPane::enableCapture(bool on) {
    captureButton_->setEnabled(on);
}

MonitorLook MonitorPane::look() const {
    return {timeButton_->isChecked(), errorsButton_->isChecked(), sentButton_->isChecked(),
            filterField_->text().toStdString()};
}

void MonitorPane::setLook(const MonitorLook& look) {
    const QSignalBlocker a(timeButton_), b(errorsButton_), c(sentButton_), d(filterField_);
    timeButton_->setChecked(look.time);
    errorsButton_->setChecked(look.errors);
    sentButton_->setChecked(look.sent);
    filterField_->setText(QString::fromStdString(look.filter));
    monitorTextView_->setLook(look);
}

bool MonitorPane::sentencesShown() const {
    return tabs_->currentWidget() == sentences_;
}

void MonitorPane::showSentences(std::vector<SentenceStats::Row> rows, SentenceStats::Clock::time_point now) {
    sentences_->showRows(std::move(rows), now);
}

void MonitorPane::openSentences() {
    tabs_->setCurrentWidget(sentences_);
}

bool MonitorPane::selectSentence(const std::string& address) {
    return sentences_->selectAddress(address);
}
