// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFile>
#include <QString>

#include <taglib/tiostream.h>

namespace kelvaro {

// A path as TagLib takes it on this system (bytes here, UTF-16 on Windows).
TagLib::FileName taglibFileName(const QString &path);
// Pushes what was written to `file` to the disk itself.
bool syncFile(QFile &file);

}  // namespace kelvaro
