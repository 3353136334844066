#pragma once
// The console without a screen: the same core as the window's (reader, server, UDP output,
// clients' sentences, recording, forwarding) under a QCoreApplication, with no widget and no
// panel. What the user must be told goes to standard error, one line each: the device once it
// named itself, where the lines are served, a port that does not open (tried again), a lost
// line, what became of the clients' sentences.
//
// Threads: made, run and destroyed on the main thread.

#include "mux/MuxCore.h"
#include "net/ListenAddresses.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QTimer;

struct BridgeOptions {
    CoreOptions core; // the program, its timings, the port opener
    std::string port;
    std::string rate = "4800";
    std::optional<std::string> tcpPort; // none: no TCP server
    ListenOn listenOn;
    bool acceptFromClients = false;
    std::vector<std::string> udp; // destinations; none: no UDP
    std::optional<std::string> record;
    std::chrono::milliseconds reopen{5000}; // a port that did not open is tried again after this
};

class HeadlessBridge : private MuxCoreObserver {
public:
    // Says each line through `say` (the program's name and the line end are the caller's).
    HeadlessBridge(BridgeOptions options, std::function<void(const std::string&)> say);
    ~HeadlessBridge() override;
    HeadlessBridge(const HeadlessBridge&) = delete;
    HeadlessBridge& operator=(const HeadlessBridge&) = delete;

    // Starts the server, the UDP output and the recording, then the reader; false, having said
    // why, when one of them cannot start.
    bool start();
    MuxCore& core() { return *core_; }
    // 0, or 3 once the device's firmware turned out too old for the program.
    int exitStatus() const { return exitStatus_; }

    // Runs the bridge under a QCoreApplication until SIGINT or SIGTERM, saying its lines on
    // standard error after the program's name; the exit status (1: it could not start).
    static int run(int argc, char** argv, const char* program, BridgeOptions options);

private:
    // MuxCoreObserver.
    void shown(const std::string& text) override;
    void portFailed(const std::string& port) override;
    void identityChanged() override;
    void firmwareNotSupported() override;
    void serverStopped() override;
    void recordingEnded(const Recorder::End& end) override;
    void udpFailed(const std::string& destination, const std::string& reason) override;
    void clientSentencesCounted(const ClientSentences::Counts& counts) override;

    BridgeOptions options_;
    std::function<void(const std::string&)> say_;
    std::unique_ptr<MuxCore> core_;
    std::unique_ptr<QTimer> reopen_;
    std::optional<Version> told_; // the device last named
    bool portFailedSaid_ = false;
    int exitStatus_ = 0;
};
