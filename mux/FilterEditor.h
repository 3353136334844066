#pragma once
// The filter list's editing: the table of the device's entries (a click inverts a route flag),
// the sentence box with what typing may put in it, Add, Remove and Clear All. Each edit goes to
// the device as a request; the table shows what the device reports back. Main thread.

#include "mux/protocol/Filter.h"

#include <QObject>

#include <functional>
#include <optional>

class FilterPane;
class FilterTableModel;
class MuxCore;

class FilterEditor : public QObject {
    Q_OBJECT
public:
    FilterEditor(MuxCore& core, FilterPane& pane, std::function<void()> beep, QObject* parent = nullptr);

    // The sentence codes and frequencies offered, the table's model; every button off.
    void fillControls();
    // The list changed: the table and the buttons follow.
    void reload();
    // The sentence box takes what can form an entry; anything else is refused with a beep.
    void sentenceEdited();
    void onFilterChange();
    void onAdd();
    void onRemove();
    void onClearAll();
    // Hands one entry (or, with none, clearing the list) to the device.
    void setFilter(const std::optional<Filter>& filter);
    // The sentence and frequency boxes, while the device allows editing.
    void enableEntry(bool on);

private:
    void updateFilterButtons();

    MuxCore& core_;
    FilterPane& pane_;
    std::function<void()> beep_;
    FilterTableModel* model_ = nullptr; // child of this
};
