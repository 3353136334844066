#pragma once
// The network server's controls: the switch, the port, where it listens, the addresses clients
// can use, the client count and the status lamp; whether clients' sentences go to the device;
// the UDP switch and its destinations. Its controls stay inside; the console reads and sets them
// as values.

#include <QGroupBox>

#include <cstdint>
#include <string>
#include <vector>

class NSDataReadyView;
class QCheckBox;
class QComboBox;
class QLineEdit;

class ServerPane : public QGroupBox {
    Q_OBJECT
public:
    explicit ServerPane(QWidget* parent = nullptr);

    bool ticked() const; // the switch is on
    void setTicked(bool on);
    std::string portText() const;
    void setPortText(const std::string& text);
    // Where to listen, as ListenOn reads it: "all", "local" or an interface's name.
    std::string listenOn() const;
    // The interfaces offered after the two choices; the chosen one stays.
    void setInterfaces(const std::vector<std::string>& names);
    void setListenOn(const std::string& text); // one that is not offered is added
    void showHost(const std::string& host);
    // The lamp (0 red, 1 yellow, 2 green) and the client count (blank for none).
    void showStatus(uint32_t lamp, unsigned clients);
    bool accepting() const; // clients' sentences go to the device
    void setAccepting(bool on);
    bool udpTicked() const;
    void setUdpTicked(bool on);
    std::string udpText() const;
    void setUdpText(const std::string& text);

signals:
    void enableClicked();
    void fieldEdited(); // the port field, by the user
    void listenOnChosen();
    void acceptClicked();
    void udpClicked();
    void udpEdited(); // the destinations, by the user

private:
    QCheckBox* enableButton_ = nullptr;
    QLineEdit* portField_ = nullptr;
    QComboBox* listenBox_ = nullptr;
    QLineEdit* hostField_ = nullptr;
    QLineEdit* countField_ = nullptr;
    NSDataReadyView* dataReadyView_ = nullptr;
    QCheckBox* acceptButton_ = nullptr;
    QCheckBox* udpButton_ = nullptr;
    QLineEdit* udpField_ = nullptr;
};
