// MuxController: what the user's actions ask of the device, the filter list's edits, the
// preferences and the application's events.

#include "mux/FilterTableModel.h"
#include "mux/MonitorView.h"
#include "mux/MuxController.h"
#include "mux/MuxWindow.h"
#include "mux/ServerControl.h"
#include "mux/panes/ConfigurationPane.h"
#include "mux/panes/DevicePane.h"
#include "mux/panes/FilterPane.h"
#include "mux/panes/MonitorPane.h"
#include "mux/panes/ServerPane.h"
#include "mux/protocol/Codec.h"
#include "mux/protocol/Editing.h"
#include "support/Alert.h"
#include "support/AlertPanels.h"
#include "support/Settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>

void MuxController::onPortChange() {
    QComboBox* box = muxWindow_->device->portComboBox;
    const QString text = box->currentText();
    if (box->currentIndex() >= 0 && (text.startsWith("./") || text.startsWith("../")))
        box->setItemText(box->currentIndex(), QDir::cleanPath(QFileInfo(text).absoluteFilePath()));
    auto name = port();
    if (name && !name->empty())
        post(Request::OpenPort);
}

void MuxController::onRateChange() {
    post(Request::Configuration);
}

void MuxController::onMuxChange() {
    post(Request::Configuration);
}

void MuxController::onSpeedChange() {
    if (program().speeds)
        post(Request::Speeds);
}

// Talker IDs and the sentence box take what can form an entry; anything else is refused with a
// beep. A talker ID is sent once its field holds none or two characters.
void MuxController::controlTextDidChange(QObject* control) {
    ConfigurationPane& c = *muxWindow_->configuration;
    for (QLineEdit* field : c.talkerIDFields) {
        if (control != field)
            continue;
        const TalkerIDEdit edit = editTalkerID(field->text().toStdString());
        if (edit.refused) {
            field->setText(QString::fromStdString(edit.text));
            beep();
        }
        if (edit.send)
            post(Request::TalkerIDs);
        return;
    }
    FilterPane& f = *muxWindow_->filters;
    if (control == f.filterComboBox) {
        const FilterTextEdit edit =
            editFilterText(f.filterComboBox->currentText().toStdString(), filterList_.size());
        if (edit.refused) {
            f.filterComboBox->setEditText(QString::fromStdString(edit.text));
            beep();
        }
        f.addButton->setEnabled(edit.addable);
    }
}

void MuxController::onFilterChange() {
    FilterPane& f = *muxWindow_->filters;
    f.addButton->setEnabled(
        editFilterText(f.filterComboBox->currentText().toStdString(), filterList_.size()).addable);
}

void MuxController::onAdd() {
    FilterPane& f = *muxWindow_->filters;
    const auto address = filterAddress(f.filterComboBox->currentText().trimmed().toStdString());
    f.addButton->setEnabled(false);
    if (!address)
        return; // nothing the device could list
    Filter entry = Filter::filter();
    entry.setSentence(*address);
    if (f.frequencyComboBox != nullptr)
        entry.frequency =
            uint32_t(std::max(0, codec::readInt(f.frequencyComboBox->currentText().toStdString())));
    setFilter(entry);
    f.filterComboBox->setEditText("");
    if (f.frequencyComboBox != nullptr)
        f.frequencyComboBox->setEditText("");
}

void MuxController::onRemove() {
    auto row = muxWindow_->filters->selectedRow();
    if (!row || size_t(*row) >= filterList_.size())
        return;
    setFilter(filterList_.removal(size_t(*row)));
}

void MuxController::onClearAll() {
    setFilter(std::nullopt);
}

void MuxController::setFilter(const std::optional<Filter>& filter) {
    if (!filter) {
        filterList_.postClear();
        post(Request::ClearFilters);
        return;
    }
    filterList_.post(*filter);
    post(Request::Filter);
}

void MuxController::emptyFilterList() {
    filterList_.clear();
    if (filterModel_ != nullptr)
        filterModel_->reload();
    updateFilterButtons(); // an empty list gets no reply at all
}

void MuxController::updateFilterButtons() {
    const bool editable = filterList_.size() > 0 && familyNow().fullPanel;
    muxWindow_->filters->removeButton->setEnabled(editable);
    muxWindow_->filters->clearAllButton->setEnabled(editable);
}

void MuxController::onEnable() {
    server_->onEnable();
}

void MuxController::updateConnections() {
    server_->updateConnections();
}

// ---- preferences and the application's events ------------------------------------------------

void MuxController::openPortFail(const std::string& portName) {
    Alert::openPortFail(muxWindow_.get(), portName);
}

void MuxController::loadSettings() {
    DevicePane& d = *muxWindow_->device;
    ServerPane& s = *muxWindow_->server;
    const bool anyPort = d.portComboBox->count() > 0;
    if (auto stored = Settings::text("serialPort"); stored && anyPort) {
        const std::string name = Serial::shortPortName(*stored);
        const int index = d.portComboBox->findText(QString::fromStdString(name));
        if (index >= 0)
            d.portComboBox->setCurrentIndex(index);
        else if (!name.empty() && name[0] == '/' && QFileInfo::exists(QString::fromStdString(name)))
            selectPortText(name); // a path typed in an earlier run
        else
            d.portComboBox->setCurrentIndex(-1);
    }
    if (auto stored = Settings::text("rate"); stored && anyPort) {
        const int index = d.rateComboBox->findText(QString::fromStdString(*stored));
        if (index >= 0)
            d.rateComboBox->setCurrentIndex(index);
    }
    s.portField->setText(QString::fromStdString(Settings::text("tcpipServerPort").value_or("2114")));
    if (auto enabled = Settings::boolean("tcpipServerEnable"); enabled && *enabled) {
        s.enableButton->setChecked(true);
        onEnable();
    }
    settingsLoaded_ = true;
}

void MuxController::saveSettings() {
    ServerPane& s = *muxWindow_->server;
    if (auto p = port())
        Settings::setItem("serialPort", SettingValue(*p));
    if (auto r = rate())
        Settings::setItem("rate", SettingValue(*r));
    Settings::setItem("tcpipServerEnable", SettingValue(s.enableButton->isChecked()));
    Settings::setItem("tcpipServerPort", SettingValue(s.portField->text().toStdString()));
}

void MuxController::prepareForSleep(bool start) {
    if (start)
        applicationWillSleep();
}

void MuxController::applicationWillSleep() {
    if (flags_.bluetooth)
        terminate();
}

// A program that ends before it read the preferences (no serial port) has none of its own to
// keep: what is stored stays.
void MuxController::applicationWillTerminate() {
    if (!settingsLoaded_)
        return;
    Settings::setItem("appVersion", SettingValue(Alert::localizedStringWithKey("CFBundleGetInfoString")));
    saveSettings();
    Settings::save();
}

void MuxController::windowDidBecomeKey() {
    server_->showHost();
}

void MuxController::windowWillClose() {
    terminate();
}
