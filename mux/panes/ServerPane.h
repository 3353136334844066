#pragma once
// The network server's controls: the switch, the port, this computer's address, the client
// count and the status lamp. ServerControl drives them.

#include <QGroupBox>

class NSDataReadyView;
class QCheckBox;
class QLineEdit;

class ServerPane : public QGroupBox {
    Q_OBJECT
public:
    explicit ServerPane(QWidget* parent = nullptr);

    QCheckBox* enableButton = nullptr;
    QLineEdit* portField = nullptr;
    QLineEdit* hostField = nullptr;
    QLineEdit* countField = nullptr;
    NSDataReadyView* dataReadyView = nullptr;
};
