// SPDX-License-Identifier: GPL-3.0-or-later
#include "time_shift_disk.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <mutex>

namespace kelvaro {

namespace {

constexpr auto kPrefix = "timeshift-";
// Bytes are freed in steps at least this large, not with every look.
constexpr qint64 kFreeStep = qint64(4) << 20;

QString cacheRoot()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/kelvaro");
}

std::once_flag leftoversOnce;

}  // namespace

TimeShiftDisk::TimeShiftDisk()
{
    static std::atomic_int next{0};
    m_folder = QStringLiteral("%1/%2%3-%4")
                   .arg(cacheRoot(), QLatin1String(kPrefix))
                   .arg(QCoreApplication::applicationPid())
                   .arg(next++);
    std::call_once(leftoversOnce, [] { QThreadPool::globalInstance()->start(&TimeShiftDisk::removeLeftovers); });
}

TimeShiftDisk::~TimeShiftDisk()
{
    // The engine has closed its file by now; the folder is empty.
    QThreadPool::globalInstance()->start([folder = m_folder] { QDir().rmdir(folder); });
}

void TimeShiftDisk::restart()
{
    m_freed = 0;
}

double TimeShiftDisk::oldestKept(double oldest, double newest, double bytesPerSecond)
{
    double span = kMaxSeconds;
    if (bytesPerSecond > 0)
        span = std::min(span, double(kMaxBytes) / bytesPerSecond);
    return std::max(oldest, newest - span);
}

qint64 TimeShiftDisk::freeableBytes(qint64 fileBytes, double firstTime, double keepFrom, double newest)
{
    if (fileBytes <= 0 || newest <= firstTime || keepFrom <= firstTime)
        return 0;
    // The file grows at the stream's pace: a time's place in it is in
    // proportion. A tenth and a MiB spare cover a bitrate that varies.
    const double share = std::min(1.0, (keepFrom - firstTime) / (newest - firstTime));
    const qint64 bytes = qint64(double(fileBytes) * share * 0.9) - (qint64(1) << 20);
    return std::max<qint64>(0, bytes);
}

double TimeShiftDisk::keep(qint64 fileBytes, double firstTime, double oldest, double newest)
{
    const double rate = newest > firstTime ? double(fileBytes) / (newest - firstTime) : 0;
    const double from = oldestKept(oldest, newest, rate);
    const qint64 freeable = freeableBytes(fileBytes, firstTime, from, newest);
    if (freeable >= m_freed + kFreeStep) {
        m_freed = freeable;
        QThreadPool::globalInstance()->start([folder = m_folder, freeable] { freeHeadOfOpenFile(folder, freeable); });
    }
    return from;
}

qint64 TimeShiftDisk::bytesOnDisk() const
{
    return openFilesDiskUse(m_folder);
}

void TimeShiftDisk::removeLeftovers()
{
    const QDir root(cacheRoot());
    const QStringList names = root.entryList({QLatin1String(kPrefix) + QLatin1Char('*')}, QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        // timeshift-<pid>-<n>: a copy that no longer runs left it.
        const QStringList parts = name.mid(qstrlen(kPrefix)).split(QLatin1Char('-'));
        bool ok = false;
        const qint64 pid = parts.value(0).toLongLong(&ok);
        if (!ok || parts.size() != 2 || processRuns(pid))
            continue;
        QDir(root.filePath(name)).removeRecursively();
    }
}

}  // namespace kelvaro
