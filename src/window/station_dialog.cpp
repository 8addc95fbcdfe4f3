// SPDX-License-Identifier: GPL-3.0-or-later
#include "station_dialog.h"

#include "address_check.h"
#include "station_document.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace kelvaro {

StationDialog::StationDialog(const QString &title, const StationRecord &start, bool nameOnly, QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(title);
    auto *form = new QFormLayout(this);
    name_ = new QLineEdit(start.name, this);
    form->addRow(QStringLiteral("名称(&N)："), name_);
    if (!nameOnly) {
        address_ = new QLineEdit(start.address, this);
        address_->setMinimumWidth(320);
        form->addRow(QStringLiteral("地址(&A)："), address_);
        note_ = new QLineEdit(start.extra, this);
        form->addRow(QStringLiteral("备注(&R)："), note_);
        connect(address_, &QLineEdit::textChanged, this, &StationDialog::check);
        connect(note_, &QLineEdit::textChanged, this, &StationDialog::check);
    }
    // Named by the reason it shows (no name of its own), so that a screen
    // reader hears each new reason as it comes.
    problem_ = new QLabel(this);
    problem_->setWordWrap(true);
    form->addRow(problem_);
    buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons_->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    buttons_->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    form->addRow(buttons_);
    connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(name_, &QLineEdit::textChanged, this, &StationDialog::check);
    // A new station with its address given (dropped or pasted) starts at the name.
    name_->setFocus();
    name_->selectAll();
    check();
}

StationRecord StationDialog::station() const
{
    // Spaces in a name are the user's own (names in the list are never
    // trimmed): kept as typed.
    return {name_->text(), address_ ? normalizedStreamAddress(address_->text()) : QString(),
            note_ ? note_->text() : QString()};
}

void StationDialog::check()
{
    const StationRecord s = station();
    QString problem = address_ ? StationDocument::stationProblem(s) : StationDocument::nameProblem(s.name);
    if (problem.isEmpty() && address_ && !isAllowedStreamAddress(s.address))
        problem = QStringLiteral("只能用 http、https、mms、rtsp、rtmp 等网络地址。");
    // Say nothing about fields not filled in yet.
    const bool untouched = s.name.isEmpty() && (!address_ || s.address.isEmpty());
    problem_->setText(untouched ? QString() : problem);
    buttons_->button(QDialogButtonBox::Ok)->setEnabled(problem.isEmpty());
}

}  // namespace kelvaro
