#include "mux/panes/ConfigurationPane.h"

#include "mux/panes/FormRows.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>

namespace {

int checked(const QCheckBox* box) {
    return box != nullptr && box->isChecked() ? 1 : 0;
}

void setCheck(QCheckBox* box, const std::optional<int>& value) {
    if (box != nullptr && value && (*value == 0 || *value == 1))
        box->setChecked(*value == 1);
}

void switchOn(QWidget* widget, bool on) {
    if (widget != nullptr)
        widget->setEnabled(on);
}

// Selects the index when the box has it; false otherwise.
bool selectIndex(QComboBox* box, int index) {
    if (box == nullptr || index < 0 || index >= box->count())
        return false;
    box->setCurrentIndex(index);
    return true;
}

} // namespace

ConfigurationPane::ConfigurationPane(const ProgramDescriptor& program, QWidget* parent)
    : QGroupBox(localizedText("NSConfigurationBox"), parent) {
    auto* row = new QHBoxLayout(this);
    row->addLayout(buildOptions(program.aisOption));
    row->addSpacing(12);
    row->addLayout(buildChannels(program.speeds));
    row->addStretch(1); // spare width goes to the right, the controls stay together

    for (QCheckBox* box :
         {seatalkButton, priorityButton, channelNumbersButton, channelIDsButton, headingButton, aisButton,
          realtimeButtons[0], realtimeButtons[1], realtimeButtons[2], realtimeButtons[3]})
        if (box != nullptr)
            connect(box, &QCheckBox::clicked, this, &ConfigurationPane::edited);
    connect(modeComboBox, &QComboBox::activated, this, &ConfigurationPane::edited);
    for (size_t k = 0; k < 4; ++k)
        connect(talkerIDFields[k], &QLineEdit::textEdited, this, [this, k] { emit talkerIDEdited(k); });
    for (QComboBox* box : speedBoxes())
        connect(box, &QComboBox::activated, this, &ConfigurationPane::speedsEdited);
}

QLayout* ConfigurationPane::buildOptions(bool legacy) {
    auto* options = new QGridLayout;
    modeComboBox = new QComboBox(this);
    modeComboBox->setMinimumWidth(110);
    seatalkButton = new QCheckBox(localizedText("NSSeaTalk"), this);
    priorityButton = new QCheckBox(localizedText("NSPriority"), this);
    channelNumbersButton = new QCheckBox(localizedText("NSChannelNumbers"), this);
    headingButton = new QCheckBox(localizedText("NSHeading"), this);
    if (legacy)
        aisButton = new QCheckBox(localizedText("NSAISOption"), this);
    else
        channelIDsButton = new QCheckBox(localizedText("NSChannelIDs"), this);
    for (auto [box, name] : {std::pair{seatalkButton, "seatalkButton"},
                             {priorityButton, "priorityButton"},
                             {channelNumbersButton, "channelNumbersButton"},
                             {headingButton, "headingButton"},
                             {aisButton, "aisButton"},
                             {channelIDsButton, "channelIDsButton"}})
        if (box != nullptr)
            box->setObjectName(name);
    modeComboBox->setObjectName("modeComboBox");
    options->addWidget(rightLabel(localizedText("NSModeLabel"), this), 0, 0);
    options->addWidget(modeComboBox, 0, 1);
    options->addWidget(seatalkButton, 1, 1);
    options->addWidget(priorityButton, 2, 1);
    options->addWidget(channelNumbersButton, 3, 1);
    options->addWidget(legacy ? aisButton : channelIDsButton, 4, 1);
    options->addWidget(headingButton, 5, 1);
    options->setRowStretch(6, 1);
    return options;
}

// One column per input channel.
QLayout* ConfigurationPane::buildChannels(bool speeds) {
    auto* channels = new QGridLayout;
    channels->setHorizontalSpacing(8);
    int row = 0;
    auto rowOf = [&](const char* key, auto make) {
        channels->addWidget(rightLabel(localizedText(key), this), row, 0);
        for (int k = 0; k < 4; ++k)
            make(k);
        ++row;
    };
    channels->addWidget(new QLabel(this), row, 0);
    for (int k = 0; k < 4; ++k) {
        auto* head = new QLabel(localizedText("NSInput") + QString(" %1").arg(k + 1), this);
        head->setAlignment(Qt::AlignCenter);
        channels->addWidget(head, row, k + 1);
    }
    ++row;
    rowOf("NSRealtime", [&](int k) {
        realtimeButtons[size_t(k)] = new QCheckBox(this);
        realtimeButtons[size_t(k)]->setObjectName(QString("realtimeButton%1").arg(k + 1));
        channels->addWidget(realtimeButtons[size_t(k)], row, k + 1, Qt::AlignCenter);
    });
    rowOf("NSTalkerID", [&](int k) {
        QLineEdit* field = talkerIDFields[size_t(k)] = new QLineEdit(this);
        field->setObjectName(QString("talkerIDField%1").arg(k + 1));
        field->setAlignment(Qt::AlignCenter);
        field->setFixedWidth(56);
        channels->addWidget(field, row, k + 1, Qt::AlignCenter);
    });
    if (speeds)
        rowOf("NSSpeedLabel", [&](int k) {
            rateInComboBoxes[size_t(k)] = new QComboBox(this);
            rateInComboBoxes[size_t(k)]->setObjectName(QString("rateInComboBox%1").arg(k + 1));
            channels->addWidget(rateInComboBoxes[size_t(k)], row, k + 1);
        });
    rowOf("NSOverflow", [&](int k) {
        QLabel* label = overflowFields[size_t(k)] = new QLabel(this);
        label->setObjectName(QString("overflowField%1").arg(k + 1));
        label->setAlignment(Qt::AlignCenter);
        label->setStyleSheet("QLabel { color: #c62828; font-weight: bold; }");
        channels->addWidget(label, row, k + 1);
    });
    if (speeds) {
        rateOut2ComboBox = new QComboBox(this);
        rateOut2ComboBox->setObjectName("rateOut2ComboBox");
        channels->addWidget(rightLabel(localizedText("NSOutput2Speed"), this), row, 0);
        channels->addWidget(rateOut2ComboBox, row, 1);
        ++row;
    }
    channels->setRowStretch(row, 1);
    return channels;
}

std::vector<QComboBox*> ConfigurationPane::speedBoxes() const {
    if (rateOut2ComboBox == nullptr)
        return {};
    return {rateInComboBoxes[0], rateInComboBoxes[1], rateInComboBoxes[2], rateInComboBoxes[3],
            rateOut2ComboBox};
}

Configuration ConfigurationPane::configuration(int speed) const {
    Configuration c;
    c.speed = speed;
    c.mode = modeComboBox->currentIndex();
    c.seatalk = checked(seatalkButton);
    c.priority = checked(priorityButton);
    c.channelNumbers = checked(channelNumbersButton);
    c.channelIDs = checked(channelIDsButton);
    c.heading = checked(headingButton);
    c.ais = checked(aisButton);
    for (size_t k = 0; k < 4; ++k)
        c.realtime[k] = checked(realtimeButtons[k]);
    return c;
}

void ConfigurationPane::apply(const ConfigurationReply& reply) {
    if (reply.mode)
        selectIndex(modeComboBox, *reply.mode);
    setCheck(seatalkButton, reply.seatalk);
    setCheck(priorityButton, reply.priority);
    setCheck(channelNumbersButton, reply.channelNumbers);
    setCheck(channelIDsButton, reply.channelIDs);
    setCheck(headingButton, reply.heading);
    setCheck(aisButton, reply.ais);
    if (reply.realtime)
        for (size_t k = 0; k < 4; ++k)
            realtimeButtons[k]->setChecked((*reply.realtime)[k]);
}

TalkerIDs ConfigurationPane::talkerIDs() const {
    TalkerIDs ids;
    for (size_t k = 0; k < 4; ++k)
        ids[k] = talkerIDFields[k]->text().toStdString();
    return ids;
}

void ConfigurationPane::showTalkerIDs(const TalkerIDs& ids) {
    for (size_t k = 0; k < 4; ++k)
        talkerIDFields[k]->setText(QString::fromLatin1(ids[k].c_str()));
}

Speeds ConfigurationPane::speeds() const {
    Speeds s{};
    const auto boxes = speedBoxes();
    for (size_t k = 0; k < boxes.size() && k < s.size(); ++k)
        s[k] = boxes[k]->currentIndex();
    return s;
}

void ConfigurationPane::apply(const SpeedsReply& speeds) {
    const auto boxes = speedBoxes();
    for (size_t k = 0; k < boxes.size() && k < speeds.size(); ++k)
        if (speeds[k] && selectIndex(boxes[k], *speeds[k]))
            boxes[k]->setEnabled(true);
}

void ConfigurationPane::showOverflow(unsigned mask) {
    for (unsigned k = 0; k < 4; ++k)
        overflowFields[k]->setText(mask & (1u << k) ? QString("Ch.%1").arg(k + 1) : QString());
}

void ConfigurationPane::clearOverflow() {
    for (QLabel* field : overflowFields)
        field->setText("");
}

// The speed boxes are not touched here: once a reply selected their value they stay enabled.
void ConfigurationPane::enable(const FamilyDescriptor& family, bool connected) {
    const bool full = connected && family.fullPanel;
    switchOn(modeComboBox, connected);
    switchOn(seatalkButton, connected);
    for (QWidget* w : {static_cast<QWidget*>(priorityButton), static_cast<QWidget*>(channelNumbersButton),
                       static_cast<QWidget*>(headingButton), static_cast<QWidget*>(aisButton)})
        switchOn(w, full);
    for (size_t k = 0; k < 4; ++k) {
        switchOn(realtimeButtons[k], full);
        switchOn(talkerIDFields[k], full);
    }
    switchOn(channelIDsButton, full && family.channelIDs);
}

void ConfigurationPane::fillModes(const std::vector<std::string>& names) {
    modeComboBox->clear();
    for (const std::string& name : names)
        modeComboBox->addItem(QString::fromStdString(name));
    modeComboBox->setMaxVisibleItems(int(names.size()));
    modeComboBox->setCurrentIndex(-1); // no mode until the device reports one
}

void ConfigurationPane::offerMode(const std::string& name) {
    if (modeComboBox->findText(QString::fromStdString(name)) >= 0)
        return;
    modeComboBox->setMaxVisibleItems(modeComboBox->count() + 1);
    modeComboBox->addItem(QString::fromStdString(name));
}

void ConfigurationPane::fillSpeeds(const std::vector<const char*>& rates) {
    for (QComboBox* box : speedBoxes()) {
        box->setEnabled(false);
        box->clear();
        for (const char* r : rates)
            box->addItem(r);
        box->setCurrentIndex(0);
    }
}

std::string ConfigurationPane::talkerIDText(size_t field) const {
    return talkerIDFields.at(field)->text().toStdString();
}

void ConfigurationPane::setTalkerIDText(size_t field, const std::string& text) {
    talkerIDFields.at(field)->setText(QString::fromStdString(text));
}

bool ConfigurationPane::imposesTalkers() const {
    bool imposed = channelIDsButton != nullptr && channelIDsButton->isChecked();
    for (const QLineEdit* field : talkerIDFields)
        imposed = imposed || field->text().size() == 2;
    return imposed;
}
