#include "mux/MuxController.h"

#include "mux/DevicePanel.h"
#include "mux/FilterEditor.h"
#include "mux/LogFileControl.h"
#include "mux/MonitorControl.h"
#include "mux/MuxWindow.h"
#include "mux/panes/ConfigurationPane.h"
#include "mux/panes/DevicePane.h"
#include "mux/panes/LogFilePane.h"
#include "mux/panes/ServerPane.h"
#include "support/Alert.h"
#include "support/AlertPanels.h"
#include "support/InstallController.h"
#include "support/Settings.h"

#include <QApplication>
#include <QDBusConnection>
#include <QFileInfo>

MuxController::MuxController(MuxOptions options)
    : options_(std::move(options)), muxWindow_(std::make_unique<MuxWindow>(options_.variant)) {
    MuxCoreObserver& observer = *this; // a private base: only the controller hands itself out
    core_ = std::make_unique<MuxCore>(static_cast<const CoreOptions&>(options_), &observer);
    MuxWindow& w = *muxWindow_;
    auto beeper = [this] { beep(); };
    panel_ = std::make_unique<DevicePanel>(*core_, *w.device, *w.configuration, beeper);
    filters_ = std::make_unique<FilterEditor>(*core_, *w.filters, beeper);
    monitor_ = std::make_unique<MonitorControl>(*w.monitor, options_.captureTime,
                                                MonitorClocks{options_.clock, options_.wallClock},
                                                [&w] { return w.configuration->imposesTalkers(); });
    files_ = std::make_unique<LogFileControl>(*core_, *w.files, w, options_.chooseFile);
    // The monitor sees every line as read (those that fail their check too) and what is sent.
    core_->reader().addLineObserver([m = monitor_.get()](const Bytes& line) { m->lineRead(line); });
    core_->sender().setSentObserver([m = monitor_.get()](std::string_view line) { m->sent(line); });
}

MuxController::~MuxController() {
    core_.reset(); // the reader thread ends before the parts it tells go
}

void MuxController::awakeFromNib() {
    if (awake_)
        return;
    awake_ = true;
    connect(qApp, &QCoreApplication::aboutToQuit, this, &MuxController::applicationWillTerminate);
    connectActions();
    InstallController().displayInstaller(); // offers itself only when run from an image

    clearVersion();
    muxWindow_->device->listPorts(options_.listPorts ? options_.listPorts() : Serial::ports(),
                                  options_.extraPorts);
    fillControls();
    updateConnections();

    if (!canConnect()) {
        Alert::showMessageWithKey("NSNoPorts");
        terminate();
        return;
    }
    updateState();
    loadSettings();
    if (options_.selectPort)
        muxWindow_->device->selectPortText(*options_.selectPort);

    monitor_->start(options_.frameInterval);
    files_->start(options_.fileStatus);
    const std::optional<std::string> chosen = muxWindow_->device->port();
    const bool missing =
        chosen && !chosen->empty() &&
        !QFileInfo::exists(QString::fromStdString(chosen->front() == '/' ? *chosen : "/dev/" + *chosen));
    core_->openPort(chosen, rate(), missing); // opened once the reader runs; a missing one once it appears
    core_->start();

    QDBusConnection bus = QDBusConnection::systemBus();
    if (bus.isConnected())
        bus.connect("org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                    "PrepareForSleep", this, SLOT(prepareForSleep(bool)));
}

void MuxController::fillControls() {
    muxWindow_->files->enableSendFile(false);
    panel_->fillControls();
    filters_->fillControls();
}

void MuxController::connectActions() {
    MuxWindow& w = *muxWindow_;
    connect(w.device, &DevicePane::portChosen, this, &MuxController::onPortChange);
    connect(w.device, &DevicePane::rateChosen, this, &MuxController::onRateChange);
    connect(w.server, &ServerPane::enableClicked, this, &MuxController::onEnable);
    connect(w.server, &ServerPane::fieldEdited, this, &MuxController::textDidBeginEditing);
    connect(w.server, &ServerPane::listenOnChosen, this, &MuxController::onListenOnChange);
    connect(w.server, &ServerPane::acceptClicked, this, &MuxController::onAccept);
    connect(w.server, &ServerPane::udpClicked, this, &MuxController::onUDP);
    connect(w.server, &ServerPane::udpEdited, this, &MuxController::udpDidBeginEditing);
    connect(&w, &MuxWindow::closing, this, &MuxController::windowWillClose);
    connect(&w, &MuxWindow::becameKey, this, &MuxController::windowDidBecomeKey);
}

bool MuxController::canConnect() const {
    return muxWindow_->device->portCount() > 0;
}

std::optional<std::string> MuxController::port() const {
    return std::as_const(*muxWindow_->device).port();
}

std::optional<std::string> MuxController::rate() const {
    return muxWindow_->device->rate();
}

void MuxController::beep() {
    if (options_.beep)
        options_.beep();
    else
        QApplication::beep();
}

// ---- actions ---------------------------------------------------------------------------------

void MuxController::onPortChange() {
    auto name = muxWindow_->device->port(); // a relative path is made whole
    if (name && !name->empty())
        core_->openPort(name, rate());
}

void MuxController::controlTextDidChange(std::optional<size_t> talkerIDField) {
    if (talkerIDField)
        panel_->talkerIDEdited(*talkerIDField);
    else
        filters_->sentenceEdited();
}

// ---- the network server ----------------------------------------------------------------------

// Listens on the port field's port, where chosen, while the box is ticked, else stops. A port
// that cannot be had is said on a sheet and unticks the box; a text that did not name the port
// ("abc" lets the system choose, "70000" wraps) shows the port listened on: the number a client
// must be given.
void MuxController::onEnable() {
    ServerPane& pane = *muxWindow_->server;
    if (!pane.ticked()) {
        core_->server().stop();
        return;
    }
    if (!core_->server().start(pane.portText(), listenOn())) {
        Alert::showMessageWithKey(muxWindow_.get(), "NSFailConnect");
        pane.setTicked(false);
        return;
    }
    const std::string port = std::to_string(core_->server().port());
    if (QString::fromStdString(pane.portText()).trimmed().toStdString() != port)
        pane.setPortText(port);
}

// The pane's choice; an interface that has gone since is still the choice (and has no address).
ListenOn MuxController::listenOn() const {
    const std::string text = muxWindow_->server->listenOn();
    std::string why;
    if (auto on = ListenOn::parse(text, listen_addresses::system(), &why))
        return *on;
    return ListenOn{ListenOn::Where::Interface, text};
}

void MuxController::onListenOnChange() {
    showAddresses();
    if (!muxWindow_->server->ticked())
        return;
    core_->server().stop();
    onEnable();
}

void MuxController::onAccept() {
    core_->clientSentences().setAccepting(muxWindow_->server->accepting());
}

// Sends every line to the destinations while the box is ticked; destinations that are none are
// said on a sheet, with the reason, and untick it.
void MuxController::onUDP() {
    ServerPane& pane = *muxWindow_->server;
    if (!pane.udpTicked()) {
        core_->stopUDP();
        return;
    }
    if (auto why = core_->startUDP(UDPSender::splitList(pane.udpText()))) {
        Alert::showMessage(muxWindow_.get(), Alert::localizedStringWithKey("NSBadUDP", {*why}));
        pane.setUdpTicked(false);
    }
}

void MuxController::udpDidBeginEditing() {
    if (!muxWindow_->server->udpTicked())
        return;
    muxWindow_->server->setUdpTicked(false);
    onUDP();
}

void MuxController::udpFailed(const std::string& destination, const std::string& reason) {
    updateMonitor("#### " + Alert::localizedStringWithKey("NSUDPFailed", {destination, reason}));
}

void MuxController::clientSentencesCounted(const ClientSentences::Counts& counts) {
    updateMonitor("#### " + ClientSentences::said(counts));
}

void MuxController::updateConnections() {
    const ServerControl::Status status = core_->server().status();
    muxWindow_->server->showStatus(status.lamp(), status.clients);
}

// Typing in the port field stops a running server.
void MuxController::textDidBeginEditing() {
    if (!muxWindow_->server->ticked())
        return;
    muxWindow_->server->setTicked(false);
    onEnable();
}

void MuxController::windowDidBecomeKey() {
    showAddresses();
}

void MuxController::showAddresses() {
    ServerPane& pane = *muxWindow_->server;
    pane.setInterfaces(listen_addresses::interfaceNames(listen_addresses::system()));
    std::string shown;
    for (const std::string& address : ServerControl::clientAddresses(listenOn()))
        shown += (shown.empty() ? "" : ", ") + address;
    pane.showHost(shown.empty() ? Alert::localizedStringWithKey("NSUnknown") : shown);
}

// ---- queries, the timer and the panel --------------------------------------------------------

void MuxController::updateState() {
    const bool full = hasConnection() && core_->familyNow().fullPanel;
    panel_->updateState();
    filters_->enableEntry(full);
    monitor_->allowCapture(full);
}

// ---- what the core tells ---------------------------------------------------------------------

void MuxController::firmwareNotSupported() {
    Alert::showMessageWithKey("NSFirmVersionNotSupported");
}

// The device went away: what the panel showed of it no longer holds.
void MuxController::lineLost(const std::string& port) {
    panel_->clearOverflow();
    panel_->showLink(DevicePanel::Link::Lost, port);
}

// A capture whose time has come goes to the device; Send File comes back once no playback runs.
void MuxController::sanityTick() {
    if (core_->identified())
        if (auto captured = monitor_->takeDueCapture())
            core_->postCapture(std::move(*captured));
    files_->offerSendFile();
}

// ---- preferences and the application's events ------------------------------------------------

void MuxController::portOpened(const std::string& port, const std::string& rate) {
    panel_->showLink(DevicePanel::Link::Open, port, rate);
    monitor_->portOpened();
}

void MuxController::openPortFail(const std::string& portName) {
    panel_->showLink(DevicePanel::Link::None);
    Alert::openPortFail(muxWindow_.get(), portName);
}

void MuxController::loadSettings() {
    DevicePane& d = *muxWindow_->device;
    ServerPane& s = *muxWindow_->server;
    const bool anyPort = d.portCount() > 0;
    if (auto stored = Settings::text("serialPort"); stored && anyPort) {
        const std::string name = Serial::shortPortName(*stored);
        if (d.selectListedPort(name))
            ;
        else if (!name.empty())
            d.selectPortText(name); // a path typed in an earlier run, or a device not plugged in yet
        else
            d.selectNoPort();
    }
    if (auto stored = Settings::text("rate"); stored && anyPort)
        d.selectRate(*stored);
    s.setPortText(Settings::text("tcpipServerPort").value_or("2114"));
    s.setListenOn(Settings::text("tcpipServerInterface").value_or("all"));
    s.setAccepting(Settings::boolean("tcpipServerAcceptFromClients").value_or(false));
    onAccept();
    monitor_->loadPreferences();
    if (auto enabled = Settings::boolean("tcpipServerEnable"); enabled && *enabled) {
        s.setTicked(true);
        onEnable();
    }
    s.setUdpText(Settings::text("udpDestinations").value_or(""));
    if (auto enabled = Settings::boolean("udpEnable"); enabled && *enabled) {
        s.setUdpTicked(true);
        onUDP();
    }
    showAddresses();
    settingsLoaded_ = true;
}

void MuxController::saveSettings() {
    if (auto p = port())
        Settings::setItem("serialPort", SettingValue(*p));
    if (auto r = rate())
        Settings::setItem("rate", SettingValue(*r));
    Settings::setItem("tcpipServerEnable", SettingValue(muxWindow_->server->ticked()));
    Settings::setItem("tcpipServerPort", SettingValue(muxWindow_->server->portText()));
    Settings::setItem("tcpipServerInterface", SettingValue(muxWindow_->server->listenOn()));
    Settings::setItem("tcpipServerAcceptFromClients", SettingValue(muxWindow_->server->accepting()));
    Settings::setItem("udpEnable", SettingValue(muxWindow_->server->udpTicked()));
    Settings::setItem("udpDestinations", SettingValue(muxWindow_->server->udpText()));
}

void MuxController::prepareForSleep(bool start) {
    if (start)
        applicationWillSleep();
}

void MuxController::applicationWillSleep() {
    if (core_->flags().bluetooth)
        terminate();
}

// A program that ends before it read the preferences (no serial port) has none of its own to
// keep: what is stored stays.
void MuxController::applicationWillTerminate() {
    if (!settingsLoaded_)
        return;
    Settings::setItem("appVersion", SettingValue(Alert::localizedStringWithKey("CFBundleGetInfoString")));
    saveSettings();
    Settings::save();
}
