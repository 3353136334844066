#pragma once
// The filter list: the table of the device's entries, the sentence box (with the frequency box
// of the earlier generation) and Add, Remove, Clear All. Its controls stay inside; the console
// reads and sets them as values.

#include "mux/protocol/Descriptor.h"

#include <QGroupBox>

#include <optional>
#include <string>
#include <vector>

class QAbstractItemModel;
class QComboBox;
class QPushButton;
class QTableView;

class FilterPane : public QGroupBox {
    Q_OBJECT
public:
    explicit FilterPane(const ProgramDescriptor& program, QWidget* parent = nullptr);

    // The table shows this model, its columns as wide as the program asks or a title needs.
    void showModel(QAbstractItemModel* model, const ProgramDescriptor& program);
    // The selected row, if any.
    std::optional<int> selectedRow() const;

    // The sentence box's codes and the frequencies, nothing selected; every button off.
    void fill(const std::vector<std::string>& codes, unsigned maxFrequency);
    std::string sentenceText() const;
    void setSentenceText(const std::string& text);
    std::optional<std::string> frequencyText() const; // nil without the frequency box
    void clearEntry();                                // the sentence and frequency boxes emptied
    void enableEntry(bool on);
    void enableAdd(bool on);
    void enableEditing(bool on); // Remove and Clear All

signals:
    void sentenceEdited(); // each keystroke
    void sentenceChosen(); // picked from the list, or Return
    void addClicked();
    void removeClicked();
    void clearAllClicked();

private:
    QTableView* filterTableView_ = nullptr;
    QComboBox* filterComboBox_ = nullptr;
    QComboBox* frequencyComboBox_ = nullptr; // muxconsole-legacy only
    QPushButton* addButton_ = nullptr;
    QPushButton* removeButton_ = nullptr;
    QPushButton* clearAllButton_ = nullptr;
};
