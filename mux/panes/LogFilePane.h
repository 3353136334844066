#pragma once
// Log files: Send File with its progress and stop, and the recording of the device's stream. Its
// controls stay inside; LogFileControl drives it through these methods.

#include "mux/Playback.h"
#include "mux/Recorder.h"

#include <QGroupBox>

#include <optional>

class QLabel;
class QProgressBar;
class QPushButton;

class LogFilePane : public QGroupBox {
    Q_OBJECT
public:
    explicit LogFilePane(QWidget* parent = nullptr);

    // The playback in progress (none: the last one's end, if any; stopping: a stopped one's long
    // line still going out). Send File itself is the controller's: the timer decides when it
    // comes back.
    void showPlayback(const std::optional<NMEAFile::Progress>& progress,
                      const std::optional<Playback::End>& last, bool stopping = false);
    void showRecording(const Recorder::Status& status);
    void enableSendFile(bool on);

signals:
    void sendFileClicked();
    void stopSendingClicked();
    void recordClicked();

private:
    static QString endText(const Playback::End& last);

    QPushButton* sendFileButton = nullptr;
    QPushButton* stopSendingButton = nullptr;
    QProgressBar* sendProgress = nullptr;
    QLabel* sendStatus = nullptr;
    QPushButton* recordButton = nullptr;
    QLabel* recordStatus = nullptr;
};
