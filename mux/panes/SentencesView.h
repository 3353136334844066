#pragma once
// The Sentences tab: the table of addresses seen and, beside it, the selected address's last
// sentence read field by field with units.

#include "mux/SentenceStats.h"

#include <QWidget>

#include <string>
#include <vector>

class QTableView;
class QTableWidget;
class SentenceTableModel;

class SentencesView : public QWidget {
    Q_OBJECT
public:
    explicit SentencesView(QWidget* parent = nullptr);

    void showRows(std::vector<SentenceStats::Row> rows, SentenceStats::Clock::time_point now);
    // The decoded fields as shown: name, value with unit.
    std::vector<std::pair<QString, QString>> fieldsShown() const;
    bool selectAddress(const std::string& address);

private:
    void showSelected();

    SentenceTableModel* model_ = nullptr; // child of this
    QTableView* sentenceTableView_ = nullptr;
    QTableWidget* fieldTable_ = nullptr;
    std::string selected_;
    std::vector<std::string> decoded_; // the sentence the field table shows
};
