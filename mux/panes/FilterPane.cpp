#include "mux/panes/FilterPane.h"

#include "mux/panes/FormRows.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QPushButton* button(const char* key, const char* name, QWidget* parent) {
    auto* b = new QPushButton(localizedText(key), parent);
    b->setObjectName(name);
    return b;
}

QComboBox* editableBox(const char* name, QWidget* parent) {
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    return box;
}

// After the five route flags.
constexpr int kSentenceColumn = 5;

} // namespace

FilterPane::FilterPane(const ProgramDescriptor& program, QWidget* parent)
    : QGroupBox(localizedText("NSFiltersBox"), parent) {
    auto* column = new QVBoxLayout(this);
    filterTableView_ = new QTableView(this);
    filterTableView_->setObjectName("filterTableView");
    filterTableView_->setSelectionBehavior(QAbstractItemView::SelectRows);
    filterTableView_->setSelectionMode(QAbstractItemView::SingleSelection);
    filterTableView_->verticalHeader()->hide();
    filterTableView_->verticalHeader()->setDefaultSectionSize(22);
    filterTableView_->horizontalHeader()->setStretchLastSection(true);
    filterTableView_->setTabKeyNavigation(false); // Tab goes on to the next control, not round the cells
    column->addWidget(filterTableView_, 1);

    auto* addRow = new QHBoxLayout;
    filterComboBox_ = editableBox("filterComboBox", this);
    filterComboBox_->setMinimumWidth(90);
    addRow->addWidget(filterComboBox_, 1);
    if (program.filterFrequency) {
        frequencyComboBox_ = editableBox("frequencyComboBox", this);
        frequencyComboBox_->setToolTip(localizedText("NSFrequencyLabel"));
        addRow->addWidget(frequencyComboBox_);
    }
    addButton_ = button("NSAdd", "addButton", this);
    addRow->addWidget(addButton_);
    column->addLayout(addRow);

    auto* editRow = new QHBoxLayout;
    removeButton_ = button("NSRemove", "removeButton", this);
    clearAllButton_ = button("NSClearAll", "clearAllButton", this);
    editRow->addWidget(removeButton_);
    editRow->addWidget(clearAllButton_);
    editRow->addStretch(1);
    column->addLayout(editRow);

    connect(filterComboBox_->lineEdit(), &QLineEdit::textEdited, this, &FilterPane::sentenceEdited);
    connect(filterComboBox_, &QComboBox::activated, this, &FilterPane::sentenceChosen);
    connect(addButton_, &QPushButton::clicked, this, &FilterPane::addClicked);
    connect(removeButton_, &QPushButton::clicked, this, &FilterPane::removeClicked);
    connect(clearAllButton_, &QPushButton::clicked, this, &FilterPane::clearAllClicked);
}

void FilterPane::showModel(QAbstractItemModel* model, const ProgramDescriptor& program) {
    filterTableView_->setModel(model);
    QHeaderView* header = filterTableView_->horizontalHeader();
    for (size_t c = 0; c < program.columns.size(); ++c)
        header->resizeSection(int(c), std::max(program.columns[c].width, header->sectionSizeHint(int(c))));
    // The sentence names the row: shown first, it stays in sight when the pane is narrower than
    // the route flags.
    if (static_cast<int>(program.columns.size()) > kSentenceColumn)
        header->moveSection(header->visualIndex(kSentenceColumn), 0);
}

std::optional<int> FilterPane::selectedRow() const {
    if (filterTableView_->selectionModel() == nullptr)
        return std::nullopt;
    const auto rows = filterTableView_->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return std::nullopt;
    return rows.first().row();
}

void FilterPane::fill(const std::vector<std::string>& codes, unsigned maxFrequency) {
    for (QPushButton* b : {addButton_, removeButton_, clearAllButton_})
        b->setEnabled(false);
    filterComboBox_->clear();
    for (const std::string& code : codes)
        filterComboBox_->addItem(QString::fromStdString(code));
    filterComboBox_->setCurrentIndex(-1);
    if (frequencyComboBox_ != nullptr) {
        frequencyComboBox_->clear();
        for (unsigned i = 0; i <= maxFrequency; ++i)
            frequencyComboBox_->addItem(QString::number(i));
        frequencyComboBox_->setCurrentIndex(-1);
    }
}

std::string FilterPane::sentenceText() const {
    return filterComboBox_->currentText().toStdString();
}

void FilterPane::setSentenceText(const std::string& text) {
    filterComboBox_->setEditText(QString::fromStdString(text));
}

std::optional<std::string> FilterPane::frequencyText() const {
    if (frequencyComboBox_ == nullptr)
        return std::nullopt;
    return frequencyComboBox_->currentText().toStdString();
}

void FilterPane::clearEntry() {
    filterComboBox_->setEditText("");
    if (frequencyComboBox_ != nullptr)
        frequencyComboBox_->setEditText("");
}

void FilterPane::enableEntry(bool on) {
    filterComboBox_->setEnabled(on);
    if (frequencyComboBox_ != nullptr)
        frequencyComboBox_->setEnabled(on);
}

void FilterPane::enableAdd(bool on) {
    addButton_->setEnabled(on);
}

void FilterPane::enableEditing(bool on) {
    removeButton_->setEnabled(on);
    clearAllButton_->setEnabled(on);
}
