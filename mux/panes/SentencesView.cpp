#include "mux/panes/SentencesView.h"

#include "link/AisDecoder.h"
#include "link/SentenceDecoder.h"
#include "mux/SentenceTableModel.h"
#include "mux/panes/FormRows.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QTableView>
#include <QTableWidget>

namespace {

// "Latitude" -> the localized name of NSFieldLatitude; a numbered field "Field 3".
QString fieldName(const DecodedField& field) {
    if (field.name.empty())
        return localizedText("NSFieldNumber").arg(field.index);
    const std::string key = "NSField" + field.name;
    const std::string text = Alert::localizedStringWithKey(key);
    return QString::fromStdString(text == key ? field.name : text);
}

DecodedSentence decode(const std::vector<std::string>& sentence) {
    if (sentence.size() == 1 && decodeSentence(sentence[0]).type != "VDM" &&
        decodeSentence(sentence[0]).type != "VDO")
        return decodeSentence(sentence[0]);
    return AisDecoder::decode(sentence);
}

} // namespace

SentencesView::SentencesView(QWidget* parent) : QWidget(parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    model_ = new SentenceTableModel(this);
    sentenceTableView_ = new QTableView(this);
    sentenceTableView_->setObjectName("sentenceTableView");
    sentenceTableView_->setModel(model_);
    sentenceTableView_->setSelectionBehavior(QAbstractItemView::SelectRows);
    sentenceTableView_->setSelectionMode(QAbstractItemView::SingleSelection);
    sentenceTableView_->verticalHeader()->hide();
    sentenceTableView_->verticalHeader()->setDefaultSectionSize(20);
    sentenceTableView_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    sentenceTableView_->setTabKeyNavigation(false);
    fieldTable_ = new QTableWidget(0, 2, this);
    fieldTable_->setObjectName("fieldTable");
    fieldTable_->setHorizontalHeaderLabels({localizedText("NSFieldName"), localizedText("NSFieldValue")});
    fieldTable_->verticalHeader()->hide();
    fieldTable_->verticalHeader()->setDefaultSectionSize(20);
    fieldTable_->horizontalHeader()->setStretchLastSection(true);
    fieldTable_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    fieldTable_->setTabKeyNavigation(false);
    row->addWidget(sentenceTableView_, 3);
    row->addWidget(fieldTable_, 2);
    connect(sentenceTableView_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                const SentenceStats::Row* r = model_->row(current.row());
                selected_ = r != nullptr ? r->address : std::string();
                decoded_.clear();
                showSelected();
            });
}

void SentencesView::showRows(std::vector<SentenceStats::Row> rows, SentenceStats::Clock::time_point now) {
    model_->setRows(std::move(rows), now);
    const int at = model_->rowOf(selected_);
    if (at >= 0 && sentenceTableView_->currentIndex().row() != at) {
        const QSignalBlocker quiet(sentenceTableView_->selectionModel());
        sentenceTableView_->selectRow(at);
    }
    showSelected();
}

bool SentencesView::selectAddress(const std::string& address) {
    const int at = model_->rowOf(address);
    if (at >= 0)
        sentenceTableView_->selectRow(at);
    return at >= 0;
}

void SentencesView::showSelected() {
    const SentenceStats::Row* r = model_->row(model_->rowOf(selected_));
    const std::vector<std::string> sentence = r != nullptr ? r->sentence : std::vector<std::string>();
    if (sentence == decoded_ && fieldTable_->rowCount() > 0)
        return;
    decoded_ = sentence;
    fieldTable_->setRowCount(0);
    if (sentence.empty())
        return;
    const DecodedSentence d = decode(sentence);
    fieldTable_->setRowCount(int(d.fields.size()));
    for (size_t k = 0; k < d.fields.size(); ++k) {
        const DecodedField& f = d.fields[k];
        const QString value =
            QString::fromStdString(f.value) + (f.unit.empty() ? "" : " " + QString::fromStdString(f.unit));
        fieldTable_->setItem(int(k), 0, new QTableWidgetItem(fieldName(f)));
        fieldTable_->setItem(int(k), 1, new QTableWidgetItem(value));
    }
}

std::vector<std::pair<QString, QString>> SentencesView::fieldsShown() const {
    std::vector<std::pair<QString, QString>> out;
    for (int k = 0; k < fieldTable_->rowCount(); ++k)
        out.emplace_back(fieldTable_->item(k, 0)->text(), fieldTable_->item(k, 1)->text());
    return out;
}
