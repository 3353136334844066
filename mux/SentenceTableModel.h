#pragma once
// The Sentences view's table: one row per sentence address, with its count, rate, the time since
// it was last seen and its checksum failures. Refreshed a few times a second with new figures.

#include "mux/SentenceStats.h"

#include <QAbstractTableModel>

class SentenceTableModel : public QAbstractTableModel {
public:
    enum Column { Address, Count, Rate, Age, Failures, Columns };
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // The figures as of now; rows keep their place while the addresses stay the same.
    void setRows(std::vector<SentenceStats::Row> rows, SentenceStats::Clock::time_point now);
    const SentenceStats::Row* row(int index) const;
    int rowOf(const std::string& address) const; // -1 when absent

private:
    std::vector<SentenceStats::Row> rows_;
    SentenceStats::Clock::time_point now_{};
};
