#pragma once
// The configuration: operating mode, options, real time and talker ID per input, overflow, and
// the channel speeds of the earlier generation. Hands the protocol plain values and shows the
// values it reads back; setting a control from a reply sends nothing.

#include "mux/protocol/Descriptor.h"
#include "mux/protocol/DeviceValues.h"

#include <QGroupBox>

#include <array>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

class ConfigurationPane : public QGroupBox {
    Q_OBJECT
public:
    explicit ConfigurationPane(const ProgramDescriptor& program, QWidget* parent = nullptr);

    // The panel's configuration, with the host-port speed the device pane holds.
    Configuration configuration(int speed) const;
    // The reply's fields other than the speed; an index the mode list lacks, or an option other
    // than 0 or 1, leaves its control as it is.
    void apply(const ConfigurationReply& reply);
    TalkerIDs talkerIDs() const;
    void showTalkerIDs(const TalkerIDs& ids);
    Speeds speeds() const;
    void apply(const SpeedsReply& speeds);
    void showOverflow(unsigned mask);
    void clearOverflow();
    // Enabled as the family allows while a port is open; everything off without one.
    void enable(const FamilyDescriptor& family, bool connected);

    // The modes offered, none selected until the device reports one; the AIS mode is added once.
    void fillModes(const std::vector<std::string>& names);
    void offerMode(const std::string& name);
    // The channel speed boxes (muxconsole-legacy only), emptied and disabled, holding these.
    void fillSpeeds(const std::vector<const char*>& rates);
    // One talker-ID field as typed, and put back as it is to be kept.
    std::string talkerIDText(size_t field) const;
    void setTalkerIDText(size_t field, const std::string& text);
    // Talker IDs imposed (or channel IDs on): a capture keeps sentence codes.
    bool imposesTalkers() const;

signals:
    void edited();                     // mode or an option, by the user
    void talkerIDEdited(size_t field); // each keystroke, channel 1 first
    void speedsEdited();

private:
    QComboBox* modeComboBox = nullptr;
    QCheckBox* seatalkButton = nullptr;
    QCheckBox* priorityButton = nullptr;
    QCheckBox* channelNumbersButton = nullptr;
    QCheckBox* channelIDsButton = nullptr; // muxconsole only
    QCheckBox* headingButton = nullptr;
    QCheckBox* aisButton = nullptr; // muxconsole-legacy only
    std::array<QCheckBox*, 4> realtimeButtons{};
    std::array<QLineEdit*, 4> talkerIDFields{};
    std::array<QLabel*, 4> overflowFields{};
    std::array<QComboBox*, 4> rateInComboBoxes{}; // muxconsole-legacy only
    QComboBox* rateOut2ComboBox = nullptr;        // muxconsole-legacy only

    QLayout* buildOptions(bool legacy);
    QLayout* buildChannels(bool speeds);
    std::vector<QComboBox*> speedBoxes() const;
};
