// SPDX-License-Identifier: GPL-3.0-or-later
#include "window_for_desktop.h"

#include "form1.h"
#include "tree_view.h"

namespace kelvaro {

WindowForDesktop::WindowForDesktop(Form1 &form) : DesktopWindow(&form), form_(form)
{
    connect(form_.TreeView1, &TreeView::nodeClick, this, [this](const QString &key, const QString &text) {
        const QTreeWidgetItem *item = form_.TreeView1->nodeByKey(key);
        // Categories (no parent in the tree) are not chosen; neither is
        // anything the window's own handler ignores.
        if (key != text && item != nullptr && item->parent() != nullptr)
            emit stationChosen();
    });
    connect(&form_, &Form1::listening, this, &DesktopWindow::stationChosen);
}

MediaPlayer &WindowForDesktop::player()
{
    return *form_.Wmp1;
}

bool WindowForDesktop::hiddenInTray() const
{
    return form_.hiddenInTray();
}

QString WindowForDesktop::stationKey() const
{
    return form_.playingKey();
}

QString WindowForDesktop::stationName() const
{
    return form_.stationName();
}

int WindowForDesktop::stationNumber() const
{
    return form_.stations().rowOf(form_.playingKey());
}

QString WindowForDesktop::stationBeside(int step) const
{
    QTreeWidgetItem *item = form_.TreeView1->nodeByKey(form_.playingKey());
    if (item == nullptr || item->parent() == nullptr)
        return {};
    const QTreeWidgetItem *category = item->parent();
    const QTreeWidgetItem *beside = category->child(category->indexOfChild(item) + step);
    return beside ? TreeView::keyOf(beside) : QString();
}

void WindowForDesktop::chooseStation(const QString &key)
{
    form_.chooseFromTree(key);
}

void WindowForDesktop::raise()
{
    form_.restore();
}

void WindowForDesktop::close()
{
    form_.close();
}

}  // namespace kelvaro
