#pragma once
// The device panel: the device and configuration panes over the core. It shows what the device's
// replies carry, enables the controls as the family and the connection allow, and turns the
// user's edits of the configuration, the speeds and the talker IDs into requests. Main thread.

#include "mux/protocol/DeviceValues.h"

#include <QObject>

#include <functional>
#include <optional>
#include <string>

class ConfigurationPane;
class DevicePane;
class MuxCore;

class DevicePanel : public QObject {
    Q_OBJECT
public:
    DevicePanel(MuxCore& core, DevicePane& device, ConfigurationPane& configuration,
                std::function<void()> beep, QObject* parent = nullptr);

    // The rates and modes offered, nothing the device has not told yet.
    void fillControls();
    void showIdentity(); // the device's name, serial number and firmware, or blanks
    void configurationRead(const ConfigurationReply& reply);
    void talkerIDsRead(const TalkerIDs& ids);
    void speedsRead(const SpeedsReply& speeds);
    void overflowRead(unsigned mask);
    void clearOverflow();
    // Enabled as the family allows while a port is open.
    void updateState();
    // What the connection is: none, open on this port at this rate, lost or not there yet and
    // waited for.
    enum class Link { None, Open, Lost, Awaited };
    void showLink(Link link, const std::string& port = {}, const std::string& rate = {});

    void onMuxChange();   // the configuration, with the host port's speed
    void onSpeedChange(); // the channel speeds
    // A talker ID is sent once its field holds none or two characters; anything else typed is
    // refused with a beep.
    void talkerIDEdited(size_t field);

private:
    MuxCore& core_;
    DevicePane& device_;
    ConfigurationPane& configuration_;
    std::function<void()> beep_;
};
