#pragma once
// What the panes build their forms from: localized texts, display-only fields, labelled rows.

#include "support/Alert.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

inline QString localizedText(const char* key) {
    return QString::fromStdString(Alert::localizedStringWithKey(key));
}

inline QLineEdit* displayField(QWidget* parent, int minWidth) {
    auto* field = new QLineEdit(parent);
    field->setReadOnly(true);
    field->setFocusPolicy(Qt::NoFocus);
    field->setMinimumWidth(minWidth);
    return field;
}

inline QLabel* rightLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

// One row of a form: the localized label on the right of its column, then the control.
inline void addFormRow(QGridLayout* grid, int row, const char* key, QWidget* control) {
    grid->addWidget(rightLabel(localizedText(key), control->parentWidget()), row, 0);
    grid->addWidget(control, row, 1);
}
