#include "mux/SentenceTableModel.h"

#include "support/Alert.h"

#include <QLocale>

namespace {

QString localized(const char* key) {
    return QString::fromStdString(Alert::localizedStringWithKey(key));
}

} // namespace

int SentenceTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

int SentenceTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Columns;
}

QVariant SentenceTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* const keys[Columns] = {"NSSentenceAddress", "NSSentenceCount", "NSSentenceRate",
                                              "NSSentenceAge", "NSSentenceFailures"};
    return section >= 0 && section < Columns ? localized(keys[section]) : QVariant();
}

QVariant SentenceTableModel::data(const QModelIndex& index, int role) const {
    const SentenceStats::Row* r = row(index.row());
    if (r == nullptr)
        return {};
    if (role == Qt::TextAlignmentRole)
        return index.column() == Address ? QVariant() : QVariant(int(Qt::AlignRight | Qt::AlignVCenter));
    if (role != Qt::DisplayRole)
        return {};
    const QLocale locale;
    switch (index.column()) {
    case Address:
        return r->address.empty() ? localized("NSSentenceOther") : QString::fromLatin1(r->address.c_str());
    case Count:
        return locale.toString(qulonglong(r->count));
    case Rate:
        return locale.toString(r->rate, 'f', 1);
    case Age:
        return locale.toString(std::chrono::duration<double>(now_ - r->last).count(), 'f', 1) + " s";
    case Failures:
        return r->failures > 0 ? locale.toString(qulonglong(r->failures)) : QString();
    }
    return {};
}

void SentenceTableModel::setRows(std::vector<SentenceStats::Row> rows, SentenceStats::Clock::time_point now) {
    now_ = now;
    const bool sameRows = rows.size() == rows_.size() &&
                          std::equal(rows.begin(), rows.end(), rows_.begin(),
                                     [](const auto& a, const auto& b) { return a.address == b.address; });
    if (!sameRows) {
        beginResetModel();
        rows_ = std::move(rows);
        endResetModel();
        return;
    }
    rows_ = std::move(rows);
    if (!rows_.empty())
        emit dataChanged(index(0, Count), index(int(rows_.size()) - 1, Failures));
}

const SentenceStats::Row* SentenceTableModel::row(int index) const {
    return index >= 0 && size_t(index) < rows_.size() ? &rows_[size_t(index)] : nullptr;
}

int SentenceTableModel::rowOf(const std::string& address) const {
    for (size_t k = 0; k < rows_.size(); ++k)
        if (rows_[k].address == address)
            return int(k);
    return -1;
}
