#include "mux/DevicePanel.h"

#include "mux/MuxCore.h"
#include "mux/panes/ConfigurationPane.h"
#include "mux/panes/DevicePane.h"
#include "mux/protocol/TypedText.h"
#include "support/Alert.h"

#include <QString>

#include <vector>

namespace {

const std::vector<const char*> kRates = {"4800", "9600", "19200", "38400"};

} // namespace

DevicePanel::DevicePanel(MuxCore& core, DevicePane& device, ConfigurationPane& configuration,
                         std::function<void()> beep, QObject* parent)
    : QObject(parent), core_(core), device_(device), configuration_(configuration), beep_(std::move(beep)) {
    connect(&configuration_, &ConfigurationPane::edited, this, &DevicePanel::onMuxChange);
    connect(&configuration_, &ConfigurationPane::talkerIDEdited, this, &DevicePanel::talkerIDEdited);
    connect(&configuration_, &ConfigurationPane::speedsEdited, this, &DevicePanel::onSpeedChange);
}

void DevicePanel::fillControls() {
    device_.fillRates(kRates);
    if (core_.program().speeds)
        configuration_.fillSpeeds(kRates);
    std::vector<std::string> modes;
    for (const char* key : {"NSServer", "NSHub", "NSAuto"})
        modes.push_back(Alert::localizedStringWithKey(key));
    configuration_.fillModes(modes);
    configuration_.clearOverflow();
}

void DevicePanel::showIdentity() {
    if (const auto& version = core_.identity())
        device_.showVersion(*version);
    else
        device_.clearVersion();
}

void DevicePanel::configurationRead(const ConfigurationReply& reply) {
    if (reply.speed)
        device_.showRateIndex(*reply.speed);
    configuration_.apply(reply);
}

void DevicePanel::talkerIDsRead(const TalkerIDs& ids) {
    configuration_.showTalkerIDs(ids);
}

void DevicePanel::speedsRead(const SpeedsReply& speeds) {
    configuration_.apply(speeds);
}

void DevicePanel::overflowRead(unsigned mask) {
    configuration_.showOverflow(mask);
}

void DevicePanel::clearOverflow() {
    configuration_.clearOverflow();
}

void DevicePanel::updateState() {
    configuration_.enable(core_.familyNow(), core_.hasConnection());
    if (core_.aisModeOffered())
        configuration_.offerMode(Alert::localizedStringWithKey("NSAIS"));
}

void DevicePanel::onMuxChange() {
    core_.postConfiguration(configuration_.configuration(device_.rateIndex()));
}

void DevicePanel::onSpeedChange() {
    core_.postSpeeds(configuration_.speeds());
}

void DevicePanel::talkerIDEdited(size_t field) {
    const TalkerIDEdit edit = editTalkerID(configuration_.talkerIDText(field));
    if (edit.refused) {
        configuration_.setTalkerIDText(field, edit.text);
        beep_();
    }
    if (edit.send)
        core_.postTalkerIDs(configuration_.talkerIDs());
}

void DevicePanel::showLink(Link link, const std::string& port, const std::string& rate) {
    const QString name = QString::fromLocal8Bit(port.c_str());
    auto text = [](const char* key) { return QString::fromStdString(Alert::localizedStringWithKey(key)); };
    switch (link) {
    case Link::None:
        device_.showConnection(0, text("NSNoDevice"));
        break;
    case Link::Open:
        device_.showConnection(2, text("NSConnected").arg(name, QString::fromStdString(rate)));
        break;
    case Link::Lost:
        device_.showConnection(1, text("NSDeviceLostWaiting").arg(name));
        break;
    case Link::Awaited:
        device_.showConnection(1, text("NSWaitingForPort").arg(name));
        break;
    }
}
