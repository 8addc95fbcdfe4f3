// SPDX-License-Identifier: GPL-3.0-or-later
#include "status_texts.h"

#include <QByteArray>

namespace kelvaro {

const char *failureKeyword(PlayerFailure failure)
{
    switch (failure) {
    case PlayerFailure::None: return "none";
    case PlayerFailure::AddressRefused: return "refused";
    case PlayerFailure::CannotConnect: return "cannot-connect";
    case PlayerFailure::HostNotFound: return "host-not-found";
    case PlayerFailure::NotFound: return "not-found";
    case PlayerFailure::AccessDenied: return "access-denied";
    case PlayerFailure::ServerError: return "server-error";
    case PlayerFailure::TimedOut: return "timeout";
    case PlayerFailure::Unsupported: return "unsupported";
    case PlayerFailure::PlaylistEmpty: return "playlist-empty";
    case PlayerFailure::Interrupted: return "interrupted";
    }
    return "none";
}

}  // namespace kelvaro

namespace kelvaro::statustext {

QString ready() { return QStringLiteral("就绪"); }
QString stopped() { return QStringLiteral("已停止"); }
QString connecting() { return QStringLiteral("正在连接…"); }
QString buffering(int percent)
{
    return QStringLiteral("正在缓冲 %1%").arg(qBound(0, percent, 100));
}
QString playing() { return QStringLiteral("正在播放"); }
QString clockText(int seconds)
{
    const int s = qMax(0, seconds);
    return s >= 3600 ? QStringLiteral("%1:%2:%3").arg(s / 3600).arg(s / 60 % 60, 2, 10, QLatin1Char('0')).arg(s % 60, 2, 10, QLatin1Char('0'))
                     : QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}
QString playingAfterGap(int seconds)
{
    return QStringLiteral("正在播放（已跳过中断的 %1）").arg(clockText(seconds));
}
QString paused() { return QStringLiteral("已暂停"); }
QString reconnecting(int attempt, int seconds)
{
    return QStringLiteral("连接中断，%1 秒后第 %2 次重连").arg(seconds).arg(attempt);
}
QString reconnectingNow(int attempt)
{
    return QStringLiteral("连接中断，正在第 %1 次重连…").arg(attempt);
}

QString noSoundDevice() { return QStringLiteral("没有可用的音频设备，等待中…"); }

QString failure(PlayerFailure failure)
{
    switch (failure) {
    case PlayerFailure::None: return stopped();
    case PlayerFailure::AddressRefused: return QStringLiteral("地址被拒绝：不支持的协议");
    case PlayerFailure::CannotConnect: return QStringLiteral("无法连接服务器");
    case PlayerFailure::HostNotFound: return QStringLiteral("找不到服务器");
    case PlayerFailure::NotFound: return QStringLiteral("找不到该地址（404）");
    case PlayerFailure::AccessDenied: return QStringLiteral("服务器拒绝访问");
    case PlayerFailure::ServerError: return QStringLiteral("服务器错误");
    case PlayerFailure::TimedOut: return QStringLiteral("连接超时");
    case PlayerFailure::Unsupported: return QStringLiteral("不支持的格式");
    case PlayerFailure::PlaylistEmpty: return QStringLiteral("播放列表中没有可播放的地址");
    case PlayerFailure::Interrupted: return QStringLiteral("连接多次中断，已停止");
    }
    return stopped();
}

}  // namespace kelvaro::statustext
