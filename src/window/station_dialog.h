// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station_table.h"

#include <QDialog>

class QDialogButtonBox;
class QLabel;
class QLineEdit;

namespace kelvaro {

// The small dialog for a station (name, address, note) or, with `nameOnly`,
// for a category's name. What cannot go into the list is said under the
// fields as it is typed, and OK stays off until the fields are fine, so a
// refusal never costs the user what they typed.
class StationDialog : public QDialog {
    Q_OBJECT
public:
    StationDialog(const QString &title, const StationRecord &start, bool nameOnly, QWidget *parent);

    // The fields as they will be written: the address without the white
    // space around it, the rest as typed.
    StationRecord station() const;

private:
    void check();

    QLineEdit *name_ = nullptr;
    QLineEdit *address_ = nullptr;
    QLineEdit *note_ = nullptr;
    QLabel *problem_ = nullptr;
    QDialogButtonBox *buttons_ = nullptr;
};

}  // namespace kelvaro
