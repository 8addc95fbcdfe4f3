// SPDX-License-Identifier: GPL-3.0-or-later
#include "station_list_writer.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace kelvaro {

namespace {

QString writeWhole(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    // A file the user made read-only is not replaced behind their back, not
    // even by an administrator, whom the system would let write it.
    const QFileInfo info(path);
    constexpr auto anyWrite = QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    if (info.exists() && (!info.isWritable() || !(info.permissions() & anyWrite)))
        return QStringLiteral("文件是只读的");
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    if (file.write(bytes) != bytes.size() || !flushFileToDisk(file)) {
        const QString why = file.errorString();
        file.cancelWriting();
        return why;
    }
    if (!file.commit())
        return file.errorString();
    return {};
}

}  // namespace

QString replaceFileAtomically(const QString &path, const QByteArray &bytes, const QByteArray *backup)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        return QStringLiteral("无法创建文件夹 %1").arg(folder);
    if (backup) {
        if (QString why = writeWhole(path + QStringLiteral(".bak"), *backup); !why.isEmpty())
            return why;
    }
    if (QString why = writeWhole(path, bytes); !why.isEmpty())
        return why;
    flushFolderToDisk(folder);
    return {};
}

}  // namespace kelvaro
