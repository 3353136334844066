#include "mux/panes/FilterPane.h"

#include "mux/panes/PaneKit.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

FilterPane::FilterPane(const ProgramDescriptor& program, QWidget* parent)
    : QGroupBox(localizedText("NSFiltersBox"), parent) {
    auto* column = new QVBoxLayout(this);
    filterTableView = new QTableView(this);
    filterTableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    filterTableView->setSelectionMode(QAbstractItemView::SingleSelection);
    filterTableView->verticalHeader()->hide();
    filterTableView->verticalHeader()->setDefaultSectionSize(22);
    filterTableView->horizontalHeader()->setStretchLastSection(true);
    column->addWidget(filterTableView, 1);

    auto* addRow = new QHBoxLayout;
    filterComboBox = new QComboBox(this);
    filterComboBox->setEditable(true);
    filterComboBox->setInsertPolicy(QComboBox::NoInsert);
    filterComboBox->setMinimumWidth(90);
    addRow->addWidget(filterComboBox, 1);
    if (program.filterFrequency) {
        frequencyComboBox = new QComboBox(this);
        frequencyComboBox->setEditable(true);
        frequencyComboBox->setInsertPolicy(QComboBox::NoInsert);
        frequencyComboBox->setToolTip(localizedText("NSFrequencyLabel"));
        addRow->addWidget(frequencyComboBox);
    }
    addButton = new QPushButton(localizedText("NSAdd"), this);
    addRow->addWidget(addButton);
    column->addLayout(addRow);

    auto* editRow = new QHBoxLayout;
    removeButton = new QPushButton(localizedText("NSRemove"), this);
    clearAllButton = new QPushButton(localizedText("NSClearAll"), this);
    editRow->addWidget(removeButton);
    editRow->addWidget(clearAllButton);
    editRow->addStretch(1);
    column->addLayout(editRow);
}

std::optional<int> FilterPane::selectedRow() const {
    if (filterTableView->selectionModel() == nullptr)
        return std::nullopt;
    const auto rows = filterTableView->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return std::nullopt;
    return rows.first().row();
}

void FilterPane::sizeColumns(const ProgramDescriptor& program) {
    QHeaderView* header = filterTableView->horizontalHeader();
    for (size_t c = 0; c < program.columns.size(); ++c)
        header->resizeSection(int(c), std::max(program.columns[c].width, header->sectionSizeHint(int(c))));
}
