// SPDX-License-Identifier: GPL-3.0-or-later
#include "recording_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QElapsedTimer>
#include <QStorageInfo>
#include <QThread>

#include "recording_files_platform.h"

namespace kelvaro {

namespace {
// A disk with less than this left counts as full.
constexpr qint64 kFullBelowBytes = 256 * 1024;
// Names tried before giving up (" (2)" … " (999)").
constexpr int kMaxNumber = 999;
}  // namespace

QString defaultRecordingRoot()
{
    QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (music.isEmpty())
        music = QDir::homePath() + QStringLiteral("/Music");
    return music + QStringLiteral("/Kelvaro");
}

ClaimedFile claimRecordingFile(const QString &folder, const QString &base, int firstNumber,
                               const QString &extension)
{
    if (!QDir().mkpath(folder))
        return {{}, QStringLiteral("无法录音：不能建立文件夹 %1").arg(QDir::toNativeSeparators(folder))};
    for (int n = std::max(1, firstNumber); n <= kMaxNumber; ++n) {
        const QString path = folder + QLatin1Char('/') + numberedFileName(base, n, extension);
        QFile file(path);
        // NewOnly fails when the name is taken: another recording, or any
        // file of the user's, is never written over.
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return {path, {}};
        if (!file.exists())
            return {{}, recordingFailureMessage(path).replace(QLatin1String("录音已停止"), QLatin1String("无法录音"))};
    }
    return {{}, QStringLiteral("无法录音：文件夹里同名的录音太多")};
}

QString markCut(const QString &path)
{
    const QFileInfo info(path);
    const QString base = info.completeBaseName() + QStringLiteral(" (不完整)");
    for (int n = 1; n <= kMaxNumber; ++n) {
        const QString target = info.absolutePath() + QLatin1Char('/') + numberedFileName(base, n, info.suffix());
        // QFile::rename never replaces an existing file.
        if (QFile::rename(path, target))
            return target;
        if (!QFileInfo::exists(target))
            break;
    }
    return path;
}

bool waitUntilClosed(const QString &path, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (isOpenInThisProcess(path)) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QThread::msleep(20);
    }
    return true;
}

QString recordingFailureMessage(const QString &path)
{
    const QFileInfo info(path);
    const QString folder = info.absolutePath();
    if (!QFileInfo::exists(folder))
        return QStringLiteral("录音已停止：保存录音的文件夹不见了");
    const QStorageInfo disk(folder);
    if (disk.isValid() && disk.bytesAvailable() < kFullBelowBytes)
        return QStringLiteral("录音已停止：磁盘已满");
    if (disk.isReadOnly() || !QFileInfo(folder).isWritable())
        return QStringLiteral("录音已停止：文件夹不能写入");
    return QStringLiteral("录音已停止：无法写入录音文件");
}

}  // namespace kelvaro
