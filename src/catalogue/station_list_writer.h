// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

class QFileDevice;

namespace kelvaro {

// Replaces a file's whole content so that at any moment, a killed program or
// a power loss included, the path holds either the old content or the new
// one: the bytes go to a temporary file beside it, which is flushed to disk
// and then renamed over the old file, and the folder is flushed after the
// rename. When `backup` is given it is first written the same way to
// `<path>.bak`, the one earlier version kept. The folder is made when
// missing. Returns an empty string on success, else why it failed (the file
// is then as it was). Blocks on the disk: never call it on the UI thread.
QString replaceFileAtomically(const QString &path, const QByteArray &bytes, const QByteArray *backup = nullptr);

// The platform half: flushes a written file's data to the disk, and a
// folder's entries (a rename) where the system needs that.
bool flushFileToDisk(QFileDevice &file);
void flushFolderToDisk(const QString &folder);

}  // namespace kelvaro
