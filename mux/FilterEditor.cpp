#include "mux/FilterEditor.h"

#include "mux/FilterTableModel.h"
#include "mux/MuxCore.h"
#include "mux/panes/FilterPane.h"
#include "mux/protocol/Codec.h"
#include "mux/protocol/TypedText.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

const char* const kSentenceCodes[] = {
    "AAM", "ABK", "ABM", "ACA", "ACK", "ACS", "AIR", "ALM", "ALR", "APB", "BBM", "BEC", "BOD", "BWC",
    "BWR", "BWW", "CUR", "DBT", "DCN", "DPT", "DSC", "DSE", "DSI", "DSR", "DTM", "FSI", "GBS", "GGA",
    "GLC", "GLL", "GMP", "GNS", "GRS", "GSA", "GST", "GSV", "HDG", "HDT", "HMR", "HMS", "HSC", "HTC",
    "HTD", "LCD", "LRF", "LRI", "LR1", "LR2", "LR3", "MLA", "MSK", "MSS", "MTW", "MWD", "MWV", "OSD",
    "RMA", "RMB", "RMC", "ROT", "RPM", "RSA", "RSD", "RTE", "SFI", "SSD", "STN", "TLB", "TLL", "TTM",
    "TUT", "TXT", "VBW", "VDM", "VDO", "VDR", "VHW", "VLW", "VPW", "VSD", "VTG", "VWR", "VWT", "WCV",
    "WNC", "WPL", "XDR", "XTE", "XTR", "ZDA", "ZDL", "ZFO", "ZTG"};

constexpr unsigned kMaxFrequency = 10;

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

} // namespace

FilterEditor::FilterEditor(MuxCore& core, FilterPane& pane, std::function<void()> beep, QObject* parent)
    : QObject(parent), core_(core), pane_(pane), beep_(std::move(beep)) {
    connect(&pane_, &FilterPane::sentenceEdited, this, &FilterEditor::sentenceEdited);
    connect(&pane_, &FilterPane::sentenceChosen, this, &FilterEditor::onFilterChange);
    connect(&pane_, &FilterPane::addClicked, this, &FilterEditor::onAdd);
    connect(&pane_, &FilterPane::removeClicked, this, &FilterEditor::onRemove);
    connect(&pane_, &FilterPane::clearAllClicked, this, &FilterEditor::onClearAll);
}

void FilterEditor::fillControls() {
    pane_.fill(std::vector<std::string>(std::begin(kSentenceCodes), std::end(kSentenceCodes)), kMaxFrequency);
    if (model_ != nullptr)
        return;
    model_ = new FilterTableModel(
        core_.filterList(), core_.program(),
        [this](int row, int column) { setFilter(core_.filterList().toggle(size_t(row), column)); }, this);
    pane_.showModel(model_, core_.program());
}

void FilterEditor::reload() {
    if (model_ != nullptr)
        model_->reload();
    updateFilterButtons(); // an empty list gets no reply at all
}

void FilterEditor::sentenceEdited() {
    const FilterTextEdit edit = editFilterText(pane_.sentenceText(), core_.filterList().size());
    if (edit.refused) {
        pane_.setSentenceText(edit.text);
        beep_();
    }
    pane_.enableAdd(edit.addable);
}

void FilterEditor::onFilterChange() {
    pane_.enableAdd(editFilterText(pane_.sentenceText(), core_.filterList().size()).addable);
}

void FilterEditor::onAdd() {
    const auto address = filterAddress(trimmed(pane_.sentenceText()));
    pane_.enableAdd(false);
    if (!address)
        return; // nothing the device could list
    Filter entry = Filter::filter();
    entry.setSentence(*address);
    if (auto frequency = pane_.frequencyText())
        entry.frequency = uint32_t(std::max(0, codec::readInt(*frequency)));
    setFilter(entry);
    pane_.clearEntry();
}

void FilterEditor::onRemove() {
    auto row = pane_.selectedRow();
    if (!row || size_t(*row) >= core_.filterList().size())
        return;
    setFilter(core_.filterList().removal(size_t(*row)));
}

void FilterEditor::onClearAll() {
    setFilter(std::nullopt);
}

// The table follows once the click that made the edit is over (an entry the edit drops goes).
void FilterEditor::setFilter(const std::optional<Filter>& filter) {
    core_.postFilter(filter);
    QMetaObject::invokeMethod(this, &FilterEditor::reload, Qt::QueuedConnection);
}

void FilterEditor::enableEntry(bool on) {
    pane_.enableEntry(on);
}

void FilterEditor::updateFilterButtons() {
    pane_.enableEditing(core_.filterList().size() > 0 && core_.familyNow().fullPanel);
}
