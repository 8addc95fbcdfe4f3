// SPDX-License-Identifier: GPL-3.0-or-later
#include "recording_tags_platform.h"

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace kelvaro {

#ifdef Q_OS_WIN
TagLib::FileName taglibFileName(const QString &path)
{
    return reinterpret_cast<const wchar_t *>(path.utf16());
}

bool syncFile(QFile &file)
{
    return _commit(file.handle()) == 0;
}
#else
TagLib::FileName taglibFileName(const QString &path)
{
    // TagLib copies nothing: the bytes must outlive the call, so they are
    // kept per thread until the next name.
    thread_local QByteArray encoded;
    encoded = QFile::encodeName(path);
    return encoded.constData();
}

bool syncFile(QFile &file)
{
    return ::fsync(file.handle()) == 0;
}
#endif

}  // namespace kelvaro
