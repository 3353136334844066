#pragma once
// A console window against a simulated multiplexer, with short timings, a clock the test moves,
// and the panels, the beep and the program's end observed instead of shown. The window's
// controls are found by their names, as a user finds them on the screen.

#include "mux/MuxController.h"
#include "mux/MuxWindow.h"
#include "sim/SimulatedMux.h"
#include "support/AlertPanels.h"
#include "tests/support/HangBound.h"

#include <QString>

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct ConsoleRigOptions {
    MuxFamily family = MuxFamily::ThirdGeneration; // the earlier generation runs the legacy program
    bool bluetooth = false;
    std::string firmware{};
    double traffic = 0;
    bool stableLink = false; // the device's terminal is reached through a symbolic link
    bool selectPort = true;
    bool noPorts = false;  // the machine has no serial port at all
    bool unlisted = false; // the device's port is not among the listed ones
    std::vector<MuxFilterEntry> filters{};
    Reader::Opener opener{};
    std::function<void(MuxController&)> beforeStart{}; // observers, preferences
    std::function<void(MuxOptions&)> tune{};           // timings, file dialogs
};

class MonitorView;
class NSDataReadyView;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableView;
class QTabWidget;
class SentencesView;

// Each pane's controls, by name; a control the program lacks is null.
struct DeviceControls {
    QComboBox *portComboBox, *rateComboBox;
    QLineEdit *deviceField, *serialField, *versionField;
    QLabel* connectionField;
    bool hasVersion() const;
};
struct ConfigurationControls {
    QComboBox* modeComboBox;
    QCheckBox *seatalkButton, *priorityButton, *channelNumbersButton, *channelIDsButton, *headingButton,
        *aisButton;
    std::array<QCheckBox*, 4> realtimeButtons;
    std::array<QLineEdit*, 4> talkerIDFields;
    std::array<QLabel*, 4> overflowFields;
    std::array<QComboBox*, 4> rateInComboBoxes;
    QComboBox* rateOut2ComboBox;
};
struct FilterControls {
    QTableView* filterTableView;
    QComboBox *filterComboBox, *frequencyComboBox;
    QPushButton *addButton, *removeButton, *clearAllButton;
};
struct MonitorControls {
    MonitorView* monitorTextView;
    QPushButton *startButton, *clearButton, *captureButton;
    QCheckBox *timeButton, *errorsButton, *sentButton;
    QLineEdit* filterField;
    QTabWidget* monitorTabs;
    SentencesView* sentencesView;
};
struct FileControls {
    QPushButton *sendFileButton, *stopSendingButton;
    QProgressBar* sendProgress;
    QLabel* sendStatus;
    QPushButton* recordButton;
    QLabel* recordStatus;
};
struct ServerControls {
    QCheckBox* enableButton;
    QLineEdit *portField, *hostField, *countField;
    NSDataReadyView* dataReadyView;
};

class ConsoleRig {
public:
    explicit ConsoleRig(ConsoleRigOptions options = {});
    ~ConsoleRig();

    MuxController& ctl() { return *controller_; }
    MuxCore& core() { return controller_->core(); }
    MuxWindow& win() { return controller_->window(); }
    DeviceControls device();
    ConfigurationControls config();
    FilterControls filters();
    MonitorControls monitorPane();
    FileControls files();
    ServerControls server();
    SimulatedMux& sim() { return *sim_; }
    const std::string& folder() const { return folder_; }

    // Waits, running the main loop, until the condition holds; false after the time-out.
    static bool waitFor(const std::function<bool()>& condition,
                        std::chrono::milliseconds timeout = testing_support::kHangBound);
    bool waitIdentified();
    // Until the device has answered all the console wrote so far and the console has handled
    // the answers (a port must be open).
    void settle();
    // Moves the console's clock on.
    void advance(std::chrono::milliseconds by) { now_ += by; }

    // Lines the device has read, each with its checksum and line end (the rig's own aside).
    std::vector<std::string> sentLines();
    // Waits until the device has read this line (the text before the checksum).
    bool waitSent(const std::string& sentence,
                  std::chrono::milliseconds timeout = testing_support::kHangBound);
    // Puts a reply on the line, with its checksum and line end.
    void reply(const std::string& sentence);
    // A reply of its own after the ones before it; returns once the monitor shows it.
    bool barrier();
    QString monitor();

    std::vector<AlertRequest> alerts;
    std::function<void()> duringAlert; // runs while a panel is "open"
    int terminations = 0;
    int beeps = 0;
    std::string storePath;

private:
    std::string folder_;
    std::unique_ptr<SimulatedMux> sim_;
    std::unique_ptr<MuxController> controller_;
    std::chrono::steady_clock::time_point now_ = std::chrono::steady_clock::now();
    int marks_ = 0;
};

// "$PQVXCFQ" -> "$PQVXCFQ*5B\r\n".
std::string framed(const std::string& sentence);
