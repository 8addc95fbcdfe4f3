// SPDX-License-Identifier: GPL-3.0-or-later
#include "timer_command.h"

#include <QHash>
#include <QRegularExpression>

#include <cmath>

namespace kelvaro {

namespace {

constexpr int kMostMinutes = 24 * 60;

// The words of a verb: those before the first option, then "--name value"
// pairs, each name among `known` and at most once.
struct Words {
    QStringList leading;
    QHash<QString, QString> options;
    QString error;
};

Words readWords(const QStringList &args, const QStringList &known)
{
    Words words;
    qsizetype i = 0;
    for (; i < args.size() && !args[i].startsWith(QLatin1String("--")); ++i)
        words.leading << args[i];
    for (; i < args.size(); i += 2) {
        const QString &name = args[i];
        if (!known.contains(name)) {
            words.error = name.startsWith(QLatin1String("--")) ? QStringLiteral("不认识的选项：%1").arg(name)
                                                               : QStringLiteral("多余的参数：%1").arg(name);
            break;
        }
        if (i + 1 >= args.size() || args[i + 1].startsWith(QLatin1String("--"))) {
            words.error = QStringLiteral("%1 后面缺少值").arg(name);
            break;
        }
        if (words.options.contains(name)) {
            words.error = QStringLiteral("%1 给了两次").arg(name);
            break;
        }
        words.options.insert(name, args[i + 1]);
    }
    return words;
}

// A whole number of decimal digits within [low, high].
std::optional<int> numberIn(const QString &text, int low, int high)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,6}$"));
    if (!digits.match(text).hasMatch())
        return std::nullopt;
    const int value = text.toInt();
    return value >= low && value <= high ? std::optional(value) : std::nullopt;
}

// "HH:MM" (the hour may have one digit).
std::optional<QTime> timeOfDay(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^([0-9]{1,2}):([0-9]{2})$"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const int hour = match.captured(1).toInt();
    const int minute = match.captured(2).toInt();
    if (hour > 23 || minute > 59)
        return std::nullopt;
    return QTime(hour, minute);
}

std::optional<QDate> calendarDay(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^([0-9]{4})-([0-9]{2})-([0-9]{2})$"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const QDate day(match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt());
    return day.isValid() ? std::optional(day) : std::nullopt;
}

// "1-5", "1,3,5", "6-7", "1-3,6": ISO weekday numbers as bits of `days`.
std::optional<quint8> weekdays(const QString &text)
{
    static const QRegularExpression part(QStringLiteral("^([1-7])(?:-([1-7]))?$"));
    quint8 days = 0;
    for (const QString &piece : text.split(u',')) {
        const QRegularExpressionMatch match = part.match(piece.trimmed());
        if (!match.hasMatch())
            return std::nullopt;
        const int first = match.captured(1).toInt();
        const int last = match.captured(2).isEmpty() ? first : match.captured(2).toInt();
        if (last < first)
            return std::nullopt;
        for (int day = first; day <= last; ++day)
            days |= dayBit(day);
    }
    return days;
}

// Fills the event's station from --station; false (with the error) when
// it is missing or not in the list.
bool takeStation(const Words &words, const StationFinder &findStation, TimerCommand &command)
{
    const QString wanted = words.options.value(QStringLiteral("--station"));
    if (wanted.isEmpty()) {
        command.error = QStringLiteral("缺少 --station 电台名");
        return false;
    }
    const auto station = findStation ? findStation(wanted) : std::nullopt;
    if (!station) {
        command.error = QStringLiteral("没有这个电台：%1").arg(wanted);
        return false;
    }
    command.event.stationAddress = station->first;
    command.event.stationName = station->second;
    return true;
}

TimerCommand failed(const QString &error)
{
    TimerCommand command;
    command.error = error;
    return command;
}

}  // namespace

TimerCommand parseSleep(const QStringList &args)
{
    if (args.isEmpty())
        return failed(QStringLiteral("--sleep 后面缺少分钟数（0 取消，或 1 到 %1）").arg(kMostMinutes));
    if (args.size() > 1)
        return failed(QStringLiteral("多余的参数：%1").arg(args[1]));
    // Whole minutes, or a fraction of them written with a point ("0.5").
    static const QRegularExpression number(QStringLiteral("^\\d{1,4}(\\.\\d{1,3})?$"));
    const double minutes = number.match(args[0]).hasMatch() ? args[0].toDouble() : -1;
    const int seconds = int(std::lround(minutes * 60));
    if (minutes < 0 || minutes > kMostMinutes || (minutes > 0 && seconds == 0))
        return failed(QStringLiteral("分钟数不对：%1（0 取消，或 1 到 %2）").arg(args[0]).arg(kMostMinutes));
    TimerCommand command;
    command.sleepSeconds = seconds;
    return command;
}

TimerCommand parseAlarm(const QStringList &args, const QDateTime &now, const StationFinder &findStation)
{
    const Words words = readWords(args, {QStringLiteral("--days"), QStringLiteral("--station"),
                                         QStringLiteral("--volume")});
    if (!words.error.isEmpty())
        return failed(words.error);
    if (words.leading.isEmpty())
        return failed(QStringLiteral("--alarm 后面缺少时间（HH:MM，例如 07:30）"));
    if (words.leading.size() > 1)
        return failed(QStringLiteral("多余的参数：%1").arg(words.leading[1]));
    const auto time = timeOfDay(words.leading[0]);
    if (!time)
        return failed(QStringLiteral("时间不对：%1（应为 HH:MM，例如 07:30）").arg(words.leading[0]));

    TimerCommand command;
    ScheduledEvent &event = command.event;
    event.kind = ScheduledEvent::Kind::Alarm;
    event.time = *time;
    event.date = now.date();
    if (words.options.contains(QStringLiteral("--days"))) {
        const QString text = words.options.value(QStringLiteral("--days"));
        const auto days = weekdays(text);
        if (!days)
            return failed(QStringLiteral("星期不对：%1（用 1 到 7 表示周一到周日，例如 1-5 或 1,3,5）").arg(text));
        event.days = *days;
    } else {
        // Once: the next time the clock shows HH:MM, today or tomorrow.
        ScheduledEvent daily = event;
        daily.days = kEveryDay;
        event.date = nextOccurrence(daily, now).date();
    }
    if (words.options.contains(QStringLiteral("--volume"))) {
        const QString text = words.options.value(QStringLiteral("--volume"));
        const auto volume = numberIn(text, 0, 100);
        if (!volume)
            return failed(QStringLiteral("音量不对：%1（0 到 100）").arg(text));
        event.volume = *volume;
    }
    if (!takeStation(words, findStation, command))
        return command;
    event.changed = now.toUTC();
    return command;
}

TimerCommand parseRecordAt(const QStringList &args, const QDateTime &now, const StationFinder &findStation)
{
    const Words words = readWords(args, {QStringLiteral("--minutes"), QStringLiteral("--repeat"),
                                         QStringLiteral("--station")});
    if (!words.error.isEmpty())
        return failed(words.error);
    if (words.leading.isEmpty())
        return failed(QStringLiteral("--record-at 后面缺少开始时间（\"YYYY-MM-DD HH:MM\"）"));
    if (words.leading.size() > 2)
        return failed(QStringLiteral("多余的参数：%1").arg(words.leading[2]));
    const QString start = words.leading.join(u' ');
    const QStringList parts = start.simplified().split(u' ');
    const auto day = parts.size() == 2 ? calendarDay(parts[0]) : std::nullopt;
    const auto time = parts.size() == 2 ? timeOfDay(parts[1]) : std::nullopt;
    if (!day || !time)
        return failed(QStringLiteral("开始时间不对：%1（应为 \"YYYY-MM-DD HH:MM\"，例如 \"2026-12-24 20:00\"）").arg(start));

    TimerCommand command;
    ScheduledEvent &event = command.event;
    event.kind = ScheduledEvent::Kind::Recording;
    event.date = *day;
    event.time = *time;

    if (!words.options.contains(QStringLiteral("--minutes")))
        return failed(QStringLiteral("缺少 --minutes 分钟数（1 到 %1）").arg(kMostMinutes));
    const QString length = words.options.value(QStringLiteral("--minutes"));
    const auto minutes = numberIn(length, 1, kMostMinutes);
    if (!minutes)
        return failed(QStringLiteral("分钟数不对：%1（1 到 %2）").arg(length).arg(kMostMinutes));
    event.minutes = *minutes;

    if (words.options.contains(QStringLiteral("--repeat"))) {
        const QString repeat = words.options.value(QStringLiteral("--repeat"));
        if (repeat == QLatin1String("daily"))
            event.days = kEveryDay;
        else if (repeat == QLatin1String("weekdays"))
            event.days = kWeekdays;
        else if (repeat == QLatin1String("weekly"))
            event.days = dayBit(event.date.dayOfWeek());
        else
            return failed(QStringLiteral("重复方式不对：%1（daily、weekdays 或 weekly）").arg(repeat));
    }

    // The start itself, as a one-off, must still be ahead.
    ScheduledEvent first = event;
    first.days = 0;
    if (!nextOccurrence(first, now).isValid())
        return failed(QStringLiteral("开始时间已经过去：%1").arg(start));
    if (!takeStation(words, findStation, command))
        return command;
    event.changed = now.toUTC();
    return command;
}

QString timersText(const QList<ScheduledEvent> &events, const QDateTime &now)
{
    if (events.isEmpty())
        return QStringLiteral("没有定时的闹钟或录音");
    QStringList lines;
    for (const ScheduledEvent &event : events) {
        const QDateTime next = nextOccurrence(event, now);
        QString kind = kindText(event.kind);
        if (event.kind == ScheduledEvent::Kind::Recording)
            kind += QStringLiteral(" %1 分钟").arg(event.minutes);
        const QString when = next.isValid() ? next.toString(QStringLiteral("yyyy-MM-dd HH:mm"))
            : event.enabled                  ? QStringLiteral("已过")
                                             : QStringLiteral("已停用");
        lines << QStringList{when,
                             kind, scheduleText(event), event.stationName}
                     .join(QStringLiteral("  "));
    }
    return lines.join(u'\n');
}

}  // namespace kelvaro
