#pragma once
// The log files as the window shows them: Send File (the file playback) and Record to File (the
// recorder), their buttons, the dialogs that choose the files, what is said when a recording
// fails, and the timer that shows their progress. Main thread.

#include "mux/FileDialog.h"
#include "mux/Recorder.h"

#include <QObject>

#include <chrono>

class LogFilePane;
class MuxCore;
class QTimer;
class QWidget;

class LogFileControl : public QObject {
    Q_OBJECT
public:
    // Dialogs and messages go on the window; chooseFile replaces the real dialogs when set.
    LogFileControl(MuxCore& core, LogFilePane& pane, QWidget& window, FileChooser chooseFile,
                   QObject* parent = nullptr);

    void start(std::chrono::milliseconds statusInterval); // the progress timer
    void onSendFile();
    void onStopSending();
    void onRecord();
    void recordEnded(const Recorder::End& end);
    // Shows the playback's progress and the recording.
    void updateFiles();
    // Send File comes back once no playback is in progress.
    void offerSendFile();

private:
    std::optional<std::string> choose(FileDialogRequest::Kind kind, const char* title, const char* button);

    MuxCore& core_;
    LogFilePane& pane_;
    QWidget& window_;
    FileChooser chooseFile_;
    QTimer* status_ = nullptr; // child of this
};
