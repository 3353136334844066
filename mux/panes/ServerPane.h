#pragma once
// The network server's controls: the switch, the port, this computer's address, the client
// count and the status lamp. Its controls stay inside; the console reads and sets them as values.

#include <QGroupBox>

#include <cstdint>
#include <string>

class NSDataReadyView;
class QCheckBox;
class QLineEdit;

class ServerPane : public QGroupBox {
    Q_OBJECT
public:
    explicit ServerPane(QWidget* parent = nullptr);

    bool ticked() const; // the switch is on
    void setTicked(bool on);
    std::string portText() const;
    void setPortText(const std::string& text);
    void showHost(const std::string& host);
    // The lamp (0 red, 1 yellow, 2 green) and the client count (blank for none).
    void showStatus(uint32_t lamp, unsigned clients);

signals:
    void enableClicked();
    void fieldEdited(); // the port or the address field, by the user

private:
    QCheckBox* enableButton_ = nullptr;
    QLineEdit* portField_ = nullptr;
    QLineEdit* hostField_ = nullptr;
    QLineEdit* countField_ = nullptr;
    NSDataReadyView* dataReadyView_ = nullptr;
};
