#pragma once
// The device: the port and its speed, and who answered on it. Its controls stay inside; the
// console reads and sets them as values.

#include "mux/protocol/DeviceValues.h"

#include <QGroupBox>

#include <optional>
#include <string>
#include <vector>

class NSDataReadyView;
class QComboBox;
class QLabel;
class QLineEdit;

class DevicePane : public QGroupBox {
    Q_OBJECT
public:
    explicit DevicePane(QWidget* parent = nullptr);

    // The listed ports, then those given that the listing lacks; none selected.
    void listPorts(const std::vector<std::string>& listed, const std::vector<std::string>& extra);
    int portCount() const;
    // A typed or given port the listing does not know becomes an item, then it is selected.
    void selectPortText(const std::string& text);
    // Selects a listed port; false when it is not in the list.
    bool selectListedPort(const std::string& name);
    void selectNoPort();
    // The selected port's name; nil without a selection. A relative path is made whole first.
    std::optional<std::string> port();
    std::optional<std::string> port() const;
    std::optional<std::string> rate() const;
    int rateIndex() const; // -1 without a selection
    bool selectRate(const std::string& text);
    // The device's speed from a reply: selected and enabled; false when the box lacks it.
    bool showRateIndex(int index);
    // The rate box emptied and disabled, holding these rates.
    void fillRates(const std::vector<const char*>& rates);

    // The connection: a lamp (0 red, 1 yellow, 2 green) and what it says.
    void showConnection(uint32_t lamp, const QString& text);
    QString connectionText() const;

    void showVersion(const Version& version);
    void clearVersion();
    bool hasVersion() const;

signals:
    void portChosen();
    void rateChosen();

private:
    QComboBox* portComboBox_ = nullptr;
    QComboBox* rateComboBox_ = nullptr;
    QLineEdit* deviceField_ = nullptr;
    QLineEdit* serialField_ = nullptr;
    QLineEdit* versionField_ = nullptr;
    NSDataReadyView* connectionLamp_ = nullptr;
    QLabel* connectionField_ = nullptr;
};
