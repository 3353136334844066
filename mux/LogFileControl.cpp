#include "mux/LogFileControl.h"

#include "mux/MuxCore.h"
#include "mux/panes/LogFilePane.h"
#include "support/Alert.h"
#include "support/AlertPanels.h"
#include "support/Settings.h"

#include <QLocale>
#include <QString>
#include <QTimer>

#include <filesystem>

namespace {

// The folder the dialogs open in: where the last file was chosen.
constexpr const char* kFolderKey = "logFileFolder";

QString localized(const char* key) {
    return QString::fromStdString(Alert::localizedStringWithKey(key));
}

} // namespace

LogFileControl::LogFileControl(MuxCore& core, LogFilePane& pane, QWidget& window, FileChooser chooseFile,
                               QObject* parent)
    : QObject(parent), core_(core), pane_(pane), window_(window), chooseFile_(std::move(chooseFile)) {
    connect(&pane_, &LogFilePane::sendFileClicked, this, &LogFileControl::onSendFile);
    connect(&pane_, &LogFilePane::stopSendingClicked, this, &LogFileControl::onStopSending);
    connect(&pane_, &LogFilePane::recordClicked, this, &LogFileControl::onRecord);
}

void LogFileControl::start(std::chrono::milliseconds statusInterval) {
    if (status_ != nullptr)
        return;
    status_ = new QTimer(this);
    status_->setInterval(int(statusInterval.count()));
    connect(status_, &QTimer::timeout, this, &LogFileControl::updateFiles);
    status_->start();
}

// Opens where the last file was chosen; Send File offers the usual log names first.
std::optional<std::string> LogFileControl::choose(FileDialogRequest::Kind kind, const char* title,
                                                  const char* button) {
    FileDialogRequest request{kind,
                              Alert::localizedStringWithKey(title),
                              Alert::localizedStringWithKey(button),
                              Settings::text(kFolderKey).value_or(""),
                              {}};
    if (kind == FileDialogRequest::Kind::Open)
        request.filters = {Alert::localizedStringWithKey("NSNMEALogs") + " (*.log *.nmea *.txt)",
                           Alert::localizedStringWithKey("NSAllFiles") + " (*)"};
    auto path = chooseFile_ ? chooseFile_(request) : runFileDialog(&window_, request);
    if (path && !path->empty()) {
        const std::string folder = std::filesystem::path(*path).parent_path().string();
        if (!folder.empty())
            Settings::setItem(kFolderKey, SettingValue(folder));
    }
    return path;
}

// A cancelled dialog or a file that cannot be read changes nothing, and says nothing.
void LogFileControl::onSendFile() {
    const auto path = choose(FileDialogRequest::Kind::Open, "NSSendFile", "NSSend");
    if (!path || path->empty() || !core_.playback().start(*path))
        return;
    pane_.enableSendFile(false);
    updateFiles();
}

// Stopped, a playback is over as if its file had ended: Send File comes back at the next tick.
void LogFileControl::onStopSending() {
    core_.playback().stop();
    updateFiles();
}

void LogFileControl::onRecord() {
    if (core_.recorder().status().recording) {
        core_.recorder().stop();
        updateFiles();
        return;
    }
    const auto path = choose(FileDialogRequest::Kind::Save, "NSRecordFile", "NSRecord");
    if (!path || path->empty())
        return;
    if (auto error = core_.record(*path)) {
        const QString text =
            localized("NSRecordCannotCreate")
                .arg(QString::fromLocal8Bit(path->c_str()), QString::fromLocal8Bit(error->c_str()));
        Alert::showMessage(&window_, text.toStdString());
        return;
    }
    updateFiles();
}

void LogFileControl::recordEnded(const Recorder::End& end) {
    updateFiles();
    if (end.error.empty())
        return;
    const QString text =
        localized("NSRecordFailed")
            .arg(QString::fromLocal8Bit(end.error.c_str()), QLocale().toString(qulonglong(end.lines)),
                 QString::fromLocal8Bit(end.path.c_str()));
    Alert::showMessage(&window_, text.toStdString());
}

void LogFileControl::updateFiles() {
    pane_.showPlayback(core_.playback().progress(), core_.playback().lastEnd(), core_.playback().stopping());
    pane_.showRecording(core_.recorder().status());
}

void LogFileControl::offerSendFile() {
    pane_.enableSendFile(!core_.playback().playing());
}
