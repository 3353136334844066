// MuxController: Send File and the recording of the device's stream, as the window sees them.

#include "mux/MuxController.h"
#include "mux/MuxWindow.h"
#include "mux/panes/LogFilePane.h"
#include "support/Alert.h"
#include "support/AlertPanels.h"

#include <QLocale>
#include <QPushButton>
#include <QString>

namespace {

QString localized(const char* key) {
    return QString::fromStdString(Alert::localizedStringWithKey(key));
}

} // namespace

void MuxController::connectFiles() {
    LogFilePane& f = *muxWindow_->files;
    connect(f.sendFileButton, &QPushButton::clicked, this, [this] { onSendFile(); });
    connect(f.stopSendingButton, &QPushButton::clicked, this, [this] { onStopSending(); });
    connect(f.recordButton, &QPushButton::clicked, this, [this] { onRecord(); });
}

// A cancelled dialog or a file that cannot be read changes nothing, and says nothing.
void MuxController::onSendFile() {
    const FileDialogRequest request{FileDialogRequest::Kind::Open,
                                    Alert::localizedStringWithKey("NSSendFile"),
                                    Alert::localizedStringWithKey("NSSend")};
    const auto path =
        options_.chooseFile ? options_.chooseFile(request) : runFileDialog(muxWindow_.get(), request);
    if (!path || path->empty() || !playback_.start(*path))
        return;
    muxWindow_->files->sendFileButton->setEnabled(false);
    updateFiles();
}

// Stopped, a playback is over as if its file had ended: Send File comes back at the next tick.
void MuxController::onStopSending() {
    playback_.stop();
    updateFiles();
}

void MuxController::onRecord() {
    if (recorder_.status().recording) {
        recorder_.stop();
        updateFiles();
        return;
    }
    const FileDialogRequest request{FileDialogRequest::Kind::Save,
                                    Alert::localizedStringWithKey("NSRecordFile"),
                                    Alert::localizedStringWithKey("NSRecord")};
    const auto path =
        options_.chooseFile ? options_.chooseFile(request) : runFileDialog(muxWindow_.get(), request);
    if (!path || path->empty())
        return;
    auto ended = [this](const Recorder::End& end) { onMain([this, end] { recordEnded(end); }); };
    if (auto error = recorder_.start(*path, ended)) {
        const QString text =
            localized("NSRecordCannotCreate")
                .arg(QString::fromLocal8Bit(path->c_str()), QString::fromLocal8Bit(error->c_str()));
        Alert::showMessage(muxWindow_.get(), text.toStdString());
        return;
    }
    updateFiles();
}

void MuxController::recordEnded(const Recorder::End& end) {
    updateFiles();
    if (end.error.empty())
        return;
    const QString text =
        localized("NSRecordFailed")
            .arg(QString::fromLocal8Bit(end.error.c_str()), QLocale().toString(qulonglong(end.lines)),
                 QString::fromLocal8Bit(end.path.c_str()));
    Alert::showMessage(muxWindow_.get(), text.toStdString());
}

void MuxController::updateFiles() {
    LogFilePane& f = *muxWindow_->files;
    f.showPlayback(playback_.progress(), playback_.lastEnd());
    f.showRecording(recorder_.status());
}
