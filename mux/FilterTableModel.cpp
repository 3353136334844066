#include "mux/FilterTableModel.h"

#include "support/Alert.h"

#include <cctype>

namespace {
constexpr int kFlagColumns = 5;
constexpr int kSentenceColumn = 5;
} // namespace

FilterTableModel::FilterTableModel(const FilterList& list, const ProgramDescriptor& program,
                                   std::function<void(int, int)> toggle, QObject* parent)
    : QAbstractTableModel(parent), list_(list), program_(program), toggle_(std::move(toggle)) {
}

int FilterTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(list_.size());
}

int FilterTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(program_.columns.size());
}

QVariant FilterTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= columnCount())
        return {};
    // The device's own column title names the string ("Channel 1": "NSColumnChannel1").
    const std::string title = program_.columns[size_t(section)].title;
    std::string key = "NSColumn";
    for (char c : title)
        if (std::isalnum(static_cast<unsigned char>(c)))
            key += c;
    const std::string text = Alert::localizedStringWithKey(key);
    return QString::fromStdString(text == key ? title : text);
}

Qt::ItemFlags FilterTableModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() < kFlagColumns)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

QVariant FilterTableModel::data(const QModelIndex& index, int role) const {
    // Rows beyond the list (drawn between the list query and its replies) show nothing.
    if (!index.isValid() || size_t(index.row()) >= list_.size())
        return {};
    const Filter& f = list_.rows()[size_t(index.row())];
    const int c = index.column();
    if (c < kFlagColumns) {
        if (role != Qt::CheckStateRole)
            return {};
        const bool flags[] = {f.usb, f.channel1, f.channel2, f.channel3, f.channel4};
        return flags[c] ? Qt::Checked : Qt::Unchecked;
    }
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignCenter);
    if (role != Qt::DisplayRole)
        return {};
    if (c == kSentenceColumn)
        return QString::fromLatin1(f.sentence().value_or("").c_str());
    return QString::number(f.frequency);
}

bool FilterTableModel::setData(const QModelIndex& index, const QVariant&, int role) {
    if (role != Qt::CheckStateRole || !index.isValid() || size_t(index.row()) >= list_.size() ||
        index.column() >= kFlagColumns)
        return false;
    toggle_(index.row(), index.column()); // a click always inverts
    emit dataChanged(index, index);
    return true;
}

void FilterTableModel::reload() {
    beginResetModel();
    endResetModel();
}
