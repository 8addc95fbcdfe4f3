// SPDX-License-Identifier: GPL-3.0-or-later
#include "program_icons.h"

#include <QImage>
#include <QPixmap>

#include "program_icons.xpm"

namespace kelvaro {

QIcon programIcon()
{
    return QIcon(QPixmap::fromImage(QImage(kWindowIconXpm)));
}

QIcon programTrayIcon()
{
    return QIcon(QPixmap::fromImage(QImage(kTrayIconXpm)));
}

}  // namespace kelvaro
