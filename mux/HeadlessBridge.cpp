#include "mux/HeadlessBridge.h"

#include "support/Alert.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

std::string text(const char* key, const std::vector<std::string>& values) {
    return Alert::localizedStringWithKey(key, values);
}

std::string joined(const std::vector<std::string>& items) {
    std::string all;
    for (const std::string& item : items)
        all += (all.empty() ? "" : ", ") + item;
    return all;
}

} // namespace

HeadlessBridge::HeadlessBridge(BridgeOptions options, std::function<void(const std::string&)> say)
    : options_(std::move(options)), say_(std::move(say)) {
    MuxCoreObserver& observer = *this; // a private base: only the bridge hands itself out
    core_ = std::make_unique<MuxCore>(options_.core, &observer);
    reopen_ = std::make_unique<QTimer>();
    reopen_->setSingleShot(true);
    reopen_->setInterval(int(options_.reopen.count()));
    QObject::connect(reopen_.get(), &QTimer::timeout,
                     [this] { core_->openPort(options_.port, options_.rate); });
}

HeadlessBridge::~HeadlessBridge() {
    core_.reset(); // the reader, the server and the recording end before the bridge goes
}

bool HeadlessBridge::start() {
    if (options_.tcpPort) {
        ServerControl& server = core_->server();
        core_->clientSentences().setAccepting(options_.acceptFromClients);
        if (!server.start(*options_.tcpPort, options_.listenOn)) {
            say_(Alert::localizedStringWithKey("NSFailConnect") + " (" + *options_.tcpPort + ", " +
                 options_.listenOn.text() + ")");
            return false;
        }
        say_(text("NSBridgeServing", {std::to_string(server.port()),
                                      joined(ServerControl::clientAddresses(options_.listenOn))}));
    }
    if (!options_.udp.empty()) {
        if (auto why = core_->startUDP(options_.udp)) {
            say_(text("NSBadUDP", {*why}));
            return false;
        }
        say_(text("NSBridgeUDP", {joined(options_.udp)}));
    }
    if (options_.record) {
        if (auto why = core_->record(*options_.record)) {
            say_(text("NSRecordCannotCreate", {*options_.record, *why}));
            return false;
        }
    }
    core_->openPort(options_.port, options_.rate);
    core_->start();
    return true;
}

// The console's own lines ("#### Open ...", "#### Device lost on ..."); the device's replies are
// for the window's monitor.
void HeadlessBridge::shown(const std::string& line) {
    if (line.rfind("#### ", 0) != 0)
        return;
    if (line.rfind("#### Open ", 0) == 0)
        portFailedSaid_ = false;
    say_(line.substr(5));
}

// Said once until the port opens; it is tried again, as a device may be plugged in later.
void HeadlessBridge::portFailed(const std::string& port) {
    if (!portFailedSaid_)
        say_(Alert::localizedStringWithKey("NSUnableToOpenPort") + " (" + port + ")");
    portFailedSaid_ = true;
    reopen_->start();
}

void HeadlessBridge::identityChanged() {
    const auto& identity = core_->identity();
    if (!identity)
        return;
    if (told_ && told_->name == identity->name && told_->serial == identity->serial &&
        told_->firmware == identity->firmware)
        return; // the same device again, after a replug
    told_ = identity;
    say_(text("NSBridgeDevice", {identity->name, identity->serial, identity->firmware}));
}

void HeadlessBridge::firmwareNotSupported() {
    say_(Alert::localizedStringWithKey("NSFirmVersionNotSupported"));
    exitStatus_ = 3;
}

void HeadlessBridge::serverStopped() {
    say_(Alert::localizedStringWithKey("NSFailConnect"));
}

void HeadlessBridge::recordingEnded(const Recorder::End& end) {
    if (!end.error.empty())
        say_(text("NSRecordFailed", {end.error, std::to_string(end.lines), end.path}));
}

void HeadlessBridge::udpFailed(const std::string& destination, const std::string& reason) {
    say_(text("NSUDPFailed", {destination, reason}));
}

void HeadlessBridge::clientSentencesCounted(const ClientSentences::Counts& counts) {
    say_(ClientSentences::said(counts));
}

// ---- the program --------------------------------------------------------------------------------

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(signalPipe[1], &byte, 1);
}

} // namespace

int HeadlessBridge::run(int argc, char** argv, const char* program, BridgeOptions options) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(program);
    // SIGINT and SIGTERM end the main loop from a pipe it watches: the core then stops in order.
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return 1;
    QSocketNotifier stop(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&stop, &QSocketNotifier::activated, [] { QCoreApplication::quit(); });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);

    int status = 0;
    {
        HeadlessBridge bridge(std::move(options), [program](const std::string& line) {
            std::fprintf(stderr, "%s: %s\n", program, line.c_str());
            std::fflush(stderr);
        });
        if (!bridge.start())
            return 1;
        app.exec();
        status = bridge.exitStatus();
    }
    std::fprintf(stderr, "%s: %s\n", program, Alert::localizedStringWithKey("NSBridgeStopped").c_str());
    return status;
}
