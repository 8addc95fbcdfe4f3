#include "status_texts.h"

#include <QByteArray>

namespace kelvaro {

PlayerFailure failureFromEngineMessage(const QByteArray &text)
{
    const QByteArray t = text.toLower();
    if (t.contains("refusing to load potentially unsafe url"))
        return PlayerFailure::AddressRefused;
    if (t.contains("connection refused") || t.contains("network is unreachable")
        || t.contains("no route to host") || t.contains("connection reset"))
        return PlayerFailure::CannotConnect;
    if (t.contains("name or service not known") || t.contains("failed to resolve")
        || t.contains("temporary failure in name resolution") || t.contains("no address associated"))
        return PlayerFailure::HostNotFound;
    if (t.contains("404") || t.contains("410 gone") || t.contains("not found"))
        return PlayerFailure::NotFound;
    if (t.contains("401") || t.contains("403") || t.contains("unauthorized") || t.contains("forbidden"))
        return PlayerFailure::AccessDenied;
    if (t.contains("http error") || t.contains("server returned 5") || t.contains("server returned 4")
        || t.contains("5xx"))
        return PlayerFailure::ServerError;
    if (t.contains("timed out") || t.contains("timeout"))
        return PlayerFailure::TimedOut;
    if (t.contains("failed to recognize file format") || t.contains("unrecognized file format")
        || t.contains("no audio or video data") || t.contains("invalid data found"))
        return PlayerFailure::Unsupported;
    return PlayerFailure::None;
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
QString playing(const QString &title)
{
    if (title.isEmpty())
        return QStringLiteral("正在播放");
    return QStringLiteral("正在播放：%1").arg(title);
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
    }
    return stopped();
}

}  // namespace kelvaro::statustext
