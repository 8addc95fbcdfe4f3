// SPDX-License-Identifier: GPL-3.0-or-later
#include "timers.h"

#include "listening.h"
#include "station_table.h"  // kWebPageMarker
#include "timer_command.h"

namespace kelvaro {

Timers::Timers(Listening &listening, const QString &schedulePath, Listening::EngineMaker makeEngine,
               const QString &alarmSound, QObject *parent)
    : QObject(parent), listening_(listening), store_(schedulePath), sleep_(listening),
      alarm_(listening, std::move(makeEngine), alarmSound), recordings_(listening)
{
    connect(&store_, &ScheduleStore::opened, this, [this](bool ok) {
        if (!ok)
            onLoaded({});  // nothing kept: the sleep timer and the rest still work
    });
    connect(&store_, &ScheduleStore::loaded, this, &Timers::onLoaded);
    connect(&store_, &ScheduleStore::saved, this, [this](const ScheduledEvent &event) {
        scheduler_.put(event);
        emit eventsChanged();
    });
    connect(&store_, &ScheduleStore::removed, this, [this](qint64 id) {
        scheduler_.take(id);
        emit eventsChanged();
    });
    connect(&scheduler_, &Scheduler::fired, this, [this](qint64 id, const QDateTime &occurrence, bool disable) {
        store_.markFired(id, occurrence, disable);
        emit eventsChanged();
    });
    connect(&scheduler_, &Scheduler::missed, this, &Timers::missed);
    // The wall clock moved on while the computer slept: look at once.
    connect(&listening_, &Listening::wokeFromSleep, &scheduler_, &Scheduler::check);
    connect(&scheduler_, &Scheduler::alarmDue, this, &Timers::ringAlarm);
    connect(&scheduler_, &Scheduler::recordingDue, this, [this](const ScheduledEvent &event, const QDateTime &endsAt) {
        recordings_.start(event.id, event.stationName, event.stationAddress, endsAt.toUTC());
    });
}

Timers::~Timers() = default;

void Timers::onLoaded(const QList<ScheduledEvent> &events)
{
    if (loaded_)
        return;
    loaded_ = true;
    scheduler_.setEvents(events);
    emit loaded();
    emit eventsChanged();
}

void Timers::save(const ScheduledEvent &event)
{
    store_.save(event);
}

void Timers::remove(qint64 id)
{
    store_.remove(id);
}

void Timers::ringAlarm(const ScheduledEvent &event)
{
    alarm_.ring(Alarm{event.stationAddress, event.stationName, event.volume, std::chrono::seconds(event.riseSeconds)});
    emit alarmRinging(event);
}

std::optional<Timers::Answer> Timers::handle(const QString &verb, const QStringList &arguments)
{
    const QDateTime now = QDateTime::currentDateTime();
    // Stations of the list that play a stream; a page has nothing to hear.
    const StationFinder find = [this](const QString &nameOrAddress) -> std::optional<std::pair<QString, QString>> {
        const std::optional<Station> station = listening_.named(nameOrAddress);
        if (!station || station->address.contains(kWebPageMarker))
            return std::nullopt;
        return std::pair{station->address, station->name};
    };
    if (verb == QLatin1String("sleep")) {
        const TimerCommand command = parseSleep(arguments);
        if (!command.error.isEmpty())
            return Answer{false, command.error};
        if (command.sleepSeconds == 0) {
            sleep_.cancel();
            return Answer{true, QStringLiteral("睡眠定时已关闭")};
        }
        sleep_.start(std::chrono::seconds(command.sleepSeconds));
        return Answer{true, QStringLiteral("睡眠定时：%1 后停止播放")
                                .arg(QDateTime::currentDateTime()
                                         .addSecs(command.sleepSeconds)
                                         .toString(QStringLiteral("HH:mm:ss")))};
    }
    if (verb == QLatin1String("alarm") || verb == QLatin1String("record-at")) {
        const TimerCommand command = verb == QLatin1String("alarm") ? parseAlarm(arguments, now, find)
                                                                    : parseRecordAt(arguments, now, find);
        if (!command.error.isEmpty())
            return Answer{false, command.error};
        save(command.event);
        const QDateTime next = nextOccurrence(command.event, now);
        return Answer{true, QStringLiteral("已设定%1：%2，下次 %3")
                                .arg(kindText(command.event.kind), command.event.stationName,
                                     next.toString(QStringLiteral("yyyy-MM-dd HH:mm")))};
    }
    if (verb == QLatin1String("timers"))
        return Answer{true, timersText(events(), now)};
    return std::nullopt;
}

}  // namespace kelvaro
