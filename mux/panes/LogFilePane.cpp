#include "mux/panes/LogFilePane.h"

#include "mux/panes/FormRows.h"

#include <QGridLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>

namespace {

constexpr int kSteps = 1000; // the bar's range: counts beyond an int stay in reach

QString count(uint64_t n) {
    return QLocale().toString(qulonglong(n));
}

QString dataSize(uint64_t bytes) {
    return QLocale().formattedDataSize(qint64(std::min<uint64_t>(bytes, INT64_MAX)));
}

int steps(uint64_t part, uint64_t whole) {
    return whole == 0 ? 0 : int(std::min<uint64_t>(part, whole) * kSteps / whole);
}

} // namespace

LogFilePane::LogFilePane(QWidget* parent) : QGroupBox(localizedText("NSFileBox"), parent) {
    auto* grid = new QGridLayout(this);
    sendFileButton = new QPushButton(localizedText("NSSendFile"), this);
    stopSendingButton = new QPushButton(localizedText("NSStopSending"), this);
    stopSendingButton->setEnabled(false);
    sendProgress = new QProgressBar(this);
    sendProgress->setRange(0, kSteps);
    sendProgress->setValue(0);
    sendProgress->setTextVisible(false);
    sendStatus = new QLabel(this);
    sendStatus->setWordWrap(true); // a long status takes a second line, not the window's width
    recordButton = new QPushButton(localizedText("NSRecordFile"), this);
    recordStatus = new QLabel(this);
    recordStatus->setWordWrap(true);
    grid->setContentsMargins(6, 4, 6, 6);
    grid->setVerticalSpacing(2);
    grid->addWidget(sendFileButton, 0, 0);
    grid->addWidget(stopSendingButton, 0, 1);
    grid->addWidget(sendProgress, 0, 2);
    grid->addWidget(sendStatus, 1, 0, 1, 3);
    grid->addWidget(recordButton, 2, 0);
    grid->addWidget(recordStatus, 2, 1, 1, 2);
    grid->setColumnStretch(2, 1);
    sendFileButton->setObjectName("sendFileButton");
    stopSendingButton->setObjectName("stopSendingButton");
    sendProgress->setObjectName("sendProgress");
    sendStatus->setObjectName("sendStatus");
    recordButton->setObjectName("recordButton");
    recordStatus->setObjectName("recordStatus");
    connect(sendFileButton, &QPushButton::clicked, this, &LogFilePane::sendFileClicked);
    connect(stopSendingButton, &QPushButton::clicked, this, &LogFilePane::stopSendingClicked);
    connect(recordButton, &QPushButton::clicked, this, &LogFilePane::recordClicked);
}

void LogFilePane::enableSendFile(bool on) {
    sendFileButton->setEnabled(on);
}

// What the last playback sent, and why it ended where it did.
QString LogFilePane::endText(const Playback::End& last) {
    QString text;
    if (last.failed)
        text = localizedText("NSSendUnreadable").arg(count(last.lines), count(last.sent));
    else if (last.stopped)
        text = localizedText("NSSendStopped").arg(count(last.sent));
    else if (last.shortened)
        text = localizedText("NSSendShortened").arg(count(last.sent));
    else
        text = localizedText("NSSendDone").arg(count(last.sent));
    if (last.skipped > 0)
        text += " · " + localizedText("NSSendSkipped").arg(count(last.skipped));
    return text;
}

void LogFilePane::showPlayback(const std::optional<NMEAFile::Progress>& progress,
                               const std::optional<Playback::End>& last, bool stopping) {
    stopSendingButton->setEnabled(progress.has_value());
    if (!progress) {
        const bool whole = last && !last->stopped && !last->failed && !last->shortened;
        sendProgress->setRange(0, kSteps);
        sendProgress->setValue(whole ? kSteps : 0);
        if (stopping)
            sendStatus->setText(localizedText("NSSendStopping"));
        else if (!last)
            sendStatus->clear();
        else
            sendStatus->setText(endText(*last));
        return;
    }
    const NMEAFile::Progress& p = *progress;
    const bool known = p.total || p.size > 0;
    sendProgress->setRange(0, known ? kSteps : 0); // no range: the bar shows it is busy
    if (p.preparing) {
        sendProgress->setValue(steps(p.bytes, p.size));
        sendStatus->setText(localizedText("NSSendReading").arg(dataSize(p.bytes)));
    } else if (p.total) {
        sendProgress->setValue(steps(p.taken, *p.total));
        sendStatus->setText(localizedText("NSSendLines").arg(count(p.taken), count(*p.total)));
    } else {
        sendProgress->setValue(steps(p.bytes, p.size));
        sendStatus->setText(p.size > 0 ? localizedText("NSSendBytes").arg(dataSize(p.bytes), dataSize(p.size))
                                       : dataSize(p.bytes));
    }
}

void LogFilePane::showRecording(const Recorder::Status& status) {
    recordButton->setText(localizedText(status.recording ? "NSStopRecording" : "NSRecordFile"));
    if (status.path.empty()) {
        recordStatus->clear();
        return;
    }
    QString text = localizedText(status.recording ? "NSRecording" : "NSRecorded")
                       .arg(count(status.lines), dataSize(status.bytes));
    if (status.dropped > 0)
        text += " · " + localizedText("NSRecordDropped").arg(count(status.dropped));
    recordStatus->setText(text);
    recordStatus->setToolTip(QString::fromLocal8Bit(status.path.c_str()));
}
