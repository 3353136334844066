#pragma once
// What the console's core tells whoever shows it: the window's controller with its panes and
// sheets, the headless bridge with lines on standard error, a test. Every method does nothing
// unless overridden. All on the main thread, except traffic().

#include "base/Bytes.h"
#include "mux/ClientSentences.h"
#include "mux/Recorder.h"
#include "mux/protocol/DeviceValues.h"

#include <string>

class MuxCoreObserver {
public:
    virtual ~MuxCoreObserver() = default;

    // A line for the monitor: a reply of the device, or a line of the console's own ("#### Open").
    virtual void shown(const std::string& /*text*/) {}
    // Reader thread, without a wait: a checked line no handler took (instrument traffic),
    // NUL-terminated. Copy what you need and return.
    virtual void traffic(const Bytes& /*sentence*/) {}

    virtual void portFailed(const std::string& /*port*/) {} // the chosen port did not open
    virtual void portOpened(const std::string& /*port*/, const std::string& /*rate*/) {}
    // The port to open at start is not there (yet): it opens once it appears.
    virtual void portAwaited(const std::string& /*port*/) {}
    // The device's name, serial number and firmware arrived, or went (empty Version fields).
    virtual void identityChanged() {}
    virtual void firmwareNotSupported() {} // said before the core ends the program
    virtual void configurationRead(const ConfigurationReply& /*reply*/) {}
    virtual void talkerIDsRead(const TalkerIDs& /*ids*/) {}
    virtual void speedsRead(const SpeedsReply& /*speeds*/) {}
    virtual void overflowRead(unsigned /*mask*/) {}
    virtual void lineLost(const std::string& /*port*/) {} // after the core forgot the device
    virtual void filterListChanged() {}
    virtual void stateChanged() {} // the connection or the family

    // Each tick of the timer that keeps the device queried, with a port open.
    virtual void sanityTick() {}

    virtual void serverChanged() {} // a client came or went, the server started or stopped
    virtual void serverStopped() {} // the server went down by itself
    virtual void recordingEnded(const Recorder::End& /*end*/) {}
    // A UDP destination the system refuses to send to (no route, say); once until it works again.
    virtual void udpFailed(const std::string& /*destination*/, const std::string& /*reason*/) {}
    // The sentences clients sent since the start: on the timer's tick after the first was written
    // and after each tick in which more were not.
    virtual void clientSentencesCounted(const ClientSentences::Counts& /*counts*/) {}
};
