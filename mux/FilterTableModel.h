#pragma once
// The filter table: one row per entry the device reported, five route-flag columns that invert
// on a click, the sentence, and the program's other columns.

#include "mux/FilterList.h"
#include "mux/protocol/Descriptor.h"

#include <QAbstractTableModel>

#include <functional>

class FilterTableModel : public QAbstractTableModel {
public:
    // toggle(row, column) is called for a click on a flag cell of an existing row.
    FilterTableModel(const FilterList& list, const ProgramDescriptor& program,
                     std::function<void(int row, int column)> toggle, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    void reload();

private:
    const FilterList& list_;
    const ProgramDescriptor& program_;
    std::function<void(int, int)> toggle_;
};
