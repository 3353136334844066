#pragma once
// The filter list: the table of the device's entries, the sentence box (with the frequency box
// of the earlier generation) and Add, Remove, Clear All.

#include "mux/protocol/Descriptor.h"

#include <QGroupBox>

#include <optional>

class QComboBox;
class QPushButton;
class QTableView;

class FilterPane : public QGroupBox {
    Q_OBJECT
public:
    explicit FilterPane(const ProgramDescriptor& program, QWidget* parent = nullptr);

    QTableView* filterTableView = nullptr;
    QComboBox* filterComboBox = nullptr;
    QComboBox* frequencyComboBox = nullptr; // muxconsole-legacy only
    QPushButton* addButton = nullptr;
    QPushButton* removeButton = nullptr;
    QPushButton* clearAllButton = nullptr;

    // The selected row, if any.
    std::optional<int> selectedRow() const;
    // The column widths of the program, or wider where a title needs it.
    void sizeColumns(const ProgramDescriptor& program);
};
