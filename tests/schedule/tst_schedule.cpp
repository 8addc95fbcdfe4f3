// SPDX-License-Identifier: GPL-3.0-or-later
// Timers: when they come (weekdays, the hour skipped and the hour repeated by
// daylight saving, a change of time zone), firing and missing them across a
// sleep and a restart on a clock of the test's, their table kept beside the
// history's in one file, and the command line's timer verbs.
#include "history_store.h"
#include "schedule_event.h"
#include "schedule_store.h"
#include "scheduler.h"
#include "timer_command.h"
#include "wall_clock_wait.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

void useLocalZone(const char *zone);  // local_zone_platform.cpp

using namespace kelvaro;

namespace {

constexpr char kHome[] = "Europe/Berlin";  // CET, CEST from the last Sunday of March to that of October

const QString kMinuteFormat = QStringLiteral("yyyy-MM-dd HH:mm");

QDateTime local(const QString &text)
{
    return QDateTime::fromString(text, kMinuteFormat);
}

QDateTime utc(const QString &text)
{
    QDateTime time = QDateTime::fromString(text, kMinuteFormat);
    time.setTimeSpec(Qt::UTC);
    return time;
}

QString utcText(const QDateTime &time)
{
    return time.isValid() ? time.toUTC().toString(kMinuteFormat) : QString();
}

struct TestClock : ScheduleClock {
    qint64 ms = 0;
    void set(const QDateTime &time) { ms = time.toMSecsSinceEpoch(); }
    // Made afresh each time, so a change of zone shows at once.
    QDateTime now() const override { return QDateTime::fromMSecsSinceEpoch(ms); }
};

// The zone is the test's again however the test ends.
struct ZoneChange {
    explicit ZoneChange(const char *zone) { useLocalZone(zone); }
    ~ZoneChange() { useLocalZone(kHome); }
};

// An alarm on 中国之声, or a recording (with `minutes`) on 音乐之声, first on
// `first` (local).
ScheduledEvent timer(qint64 id, const QString &first, quint8 days, int minutes = 0)
{
    ScheduledEvent event;
    event.id = id;
    event.kind = minutes ? ScheduledEvent::Kind::Recording : ScheduledEvent::Kind::Alarm;
    event.date = local(first).date();
    event.time = local(first).time();
    event.days = days;
    event.minutes = minutes;
    event.stationAddress = minutes ? QStringLiteral("http://example.org/yyzs") : QStringLiteral("http://example.org/zgzs");
    event.stationName = minutes ? QStringLiteral("音乐之声") : QStringLiteral("中国之声");
    return event;
}

// What a scheduler said, one line a signal, in order.
class Heard : public QObject {
public:
    explicit Heard(Scheduler &scheduler)
    {
        connect(&scheduler, &Scheduler::fired, this, [this](qint64 id, const QDateTime &at, bool disable) {
            lines << QStringLiteral("fired %1 %2 UTC%3").arg(id).arg(utcText(at), disable ? QStringLiteral(" off") : QString());
        });
        connect(&scheduler, &Scheduler::alarmDue, this, [this](const ScheduledEvent &event) {
            lines << QStringLiteral("alarm %1").arg(event.id);
        });
        connect(&scheduler, &Scheduler::recordingDue, this, [this](const ScheduledEvent &event, const QDateTime &ends) {
            lines << QStringLiteral("record %1 until %2").arg(event.id).arg(ends.toString(kMinuteFormat));
        });
        connect(&scheduler, &Scheduler::missed, this, [this](const QList<MissedEvent> &missed) {
            QStringList each;
            for (const MissedEvent &m : missed)
                each << QStringLiteral("%1 at %2").arg(m.event.id).arg(m.occurrence.toString(kMinuteFormat));
            lines << QStringLiteral("missed ") + each.join(QStringLiteral(", "));
        });
    }
    QStringList take() { return std::exchange(lines, {}); }
    QStringList lines;
};

}  // namespace

class TestSchedule : public QObject {
    Q_OBJECT
private slots:
    void occurrences_data();
    void occurrences();
    void firesFromTheWallClock();
    void catchesUpAtStart();
    void followsAChangeOfTimeZone();
    void storeKeepsTimersBesideTheHistory();
    void commands_data();
    void commands();
};

void TestSchedule::occurrences_data()
{
    QTest::addColumn<QString>("first");  // local
    QTest::addColumn<int>("days");
    QTest::addColumn<QString>("after");  // UTC
    QTest::addColumn<QString>("expectedUtc");
    QTest::addColumn<QString>("expectedLocal");

    // December: CET, UTC+1. 2026-12-11 is a Friday.
    QTest::newRow("weekdays, set on Friday after it: Monday")
        << "2026-12-11 07:30" << int(kWeekdays) << "2026-12-11 07:00" << "2026-12-14 06:30" << "2026-12-14 07:30";
    QTest::newRow("weekly, a week on")
        << "2026-12-10 20:00" << int(dayBit(4)) << "2026-12-10 19:00" << "2026-12-17 19:00" << "2026-12-17 20:00";
    QTest::newRow("repeating, not before its first day")
        << "2026-12-24 20:00" << int(kEveryDay) << "2026-12-10 12:00" << "2026-12-24 19:00" << "2026-12-24 20:00";
    QTest::newRow("once, ahead")
        << "2026-12-24 20:00" << 0 << "2026-12-10 12:00" << "2026-12-24 19:00" << "2026-12-24 20:00";
    QTest::newRow("once, at the very time: past")
        << "2026-12-24 20:00" << 0 << "2026-12-24 19:00" << "" << "";

    // 2026-03-29 02:00 CET the clocks go to 03:00 CEST; 2026-10-25 03:00
    // CEST they go back to 02:00 CET.
    QTest::newRow("skipped hour: at the first minute after it")
        << "2026-03-28 02:30" << int(kEveryDay) << "2026-03-28 12:00" << "2026-03-29 01:00" << "2026-03-29 03:00";
    QTest::newRow("repeated hour: the first time")
        << "2026-10-24 02:30" << int(kEveryDay) << "2026-10-24 12:00" << "2026-10-25 00:30" << "2026-10-25 02:30";
    QTest::newRow("repeated hour: not the second time")
        << "2026-10-24 02:30" << int(kEveryDay) << "2026-10-25 00:30" << "2026-10-26 01:30" << "2026-10-26 02:30";
    QTest::newRow("07:00 the day of spring")
        << "2026-03-01 07:00" << int(kEveryDay) << "2026-03-28 06:00" << "2026-03-29 05:00" << "2026-03-29 07:00";
    QTest::newRow("07:00 the day of autumn")
        << "2026-03-01 07:00" << int(kEveryDay) << "2026-10-24 05:00" << "2026-10-25 06:00" << "2026-10-25 07:00";
}

void TestSchedule::occurrences()
{
    QFETCH(QString, first);
    QFETCH(int, days);
    QFETCH(QString, after);
    QFETCH(QString, expectedUtc);
    QFETCH(QString, expectedLocal);
    const QDateTime next = nextOccurrence(timer(1, first, quint8(days)), utc(after));
    QCOMPARE(utcText(next), expectedUtc);
    QCOMPARE(next.isValid() ? next.toString(kMinuteFormat) : QString(), expectedLocal);
}

void TestSchedule::firesFromTheWallClock()
{
    TestClock clock;
    clock.set(local("2026-12-11 08:00"));  // a Friday
    Scheduler scheduler(&clock);
    Heard heard(scheduler);

    // Made now: the weekday alarm's 07:55 today, five minutes ago, was
    // before it existed.
    const QList<ScheduledEvent> made{timer(1, "2026-12-11 07:55", kWeekdays), timer(2, "2026-12-12 09:00", 0),
                                     timer(3, "2026-12-11 07:00", kEveryDay),
                                     timer(4, "2026-12-12 20:00", 0, 60)};
    scheduler.setEvents(made);
    QCOMPARE(heard.take(), QStringList());
    QCOMPARE(scheduler.nextDue(), local("2026-12-12 07:00"));

    // Asleep across the daily alarm, awake five minutes after: it rings,
    // once.
    clock.set(local("2026-12-12 07:05"));
    scheduler.check();
    QCOMPARE(heard.take(), QStringList({"fired 3 2026-12-12 06:00 UTC", "alarm 3"}));
    scheduler.check();
    QCOMPARE(heard.take(), QStringList());

    // Fifteen minutes after the one-off: missed, once, and done with.
    clock.set(local("2026-12-12 09:15"));
    scheduler.check();
    QCOMPARE(heard.take(), QStringList({"fired 2 2026-12-12 08:00 UTC off", "missed 2 at 2026-12-12 09:00"}));
    clock.set(local("2026-12-12 09:16"));
    scheduler.check();
    QCOMPARE(heard.take(), QStringList());

    // Halfway into the recording's hour: it starts for the half left.
    clock.set(local("2026-12-12 20:30"));
    scheduler.check();
    QCOMPARE(heard.take(), QStringList({"fired 4 2026-12-12 19:00 UTC off", "record 4 until 2026-12-12 21:00"}));

    // Monday, at the weekday alarm's minute, the daily one two mornings
    // late: one miss, the latest.
    clock.set(local("2026-12-14 07:55"));
    scheduler.check();
    QCOMPARE(heard.take(), QStringList({"fired 1 2026-12-14 06:55 UTC", "fired 3 2026-12-14 06:00 UTC",
                                        "alarm 1", "missed 3 at 2026-12-14 07:00"}));
    scheduler.check();
    QCOMPARE(heard.take(), QStringList());

    clock.set(local("2026-12-14 08:00"));
    QCOMPARE(timersText(scheduler.events(), clock.now()),
             QStringLiteral("2026-12-15 07:00  闹钟  每天 07:00  中国之声\n"
                            "2026-12-15 07:55  闹钟  工作日 07:55  中国之声\n"
                            "已停用  闹钟  一次 2026-12-12 09:00  中国之声\n"
                            "已停用  录音 60 分钟  一次 2026-12-12 20:00  音乐之声"));

    // Moved to a time five minutes ago, or new for one: from now on only.
    clock.set(local("2026-12-14 08:15"));
    scheduler.put(timer(3, "2026-12-11 08:10", kEveryDay));
    scheduler.put(timer(5, "2026-12-14 08:12", kEveryDay));
    QCOMPARE(heard.take(), QStringList());
    QCOMPARE(scheduler.nextDue(), local("2026-12-15 07:55"));
    // A stale copy does not bring back an older firing.
    const QList<ScheduledEvent> held = scheduler.events();
    const auto daily = std::find_if(held.begin(), held.end(), [](const ScheduledEvent &e) { return e.id == 3; });
    QVERIFY(daily != held.end());
    QCOMPARE(daily->lastFired, utc("2026-12-14 06:00"));
    QCOMPARE(daily->time, QTime(8, 10));
    QCOMPARE(scheduleText(timer(6, "2026-12-10 20:00", dayBit(3))), QStringLiteral("每周三 20:00"));
    QCOMPARE(scheduleText(timer(6, "2026-12-10 07:00", dayBit(1) | dayBit(3) | dayBit(5))),
             QStringLiteral("周一、周三、周五 07:00"));
}

void TestSchedule::catchesUpAtStart()
{
    TestClock clock;
    clock.set(local("2026-12-14 20:30"));  // a Monday

    ScheduledEvent daily = timer(1, "2026-12-01 07:00", kEveryDay);
    daily.lastFired = utc("2026-12-10 06:00");  // Thursday's; not running since
    ScheduledEvent evening = timer(2, "2026-12-01 20:00", kEveryDay, 60);
    evening.lastFired = utc("2026-12-13 19:00");
    ScheduledEvent late = timer(3, "2026-12-14 20:25", 0);
    late.changed = utc("2026-12-13 10:00");
    ScheduledEvent gone = timer(4, "2026-12-13 12:00", 0);
    gone.changed = utc("2026-12-12 10:00");
    ScheduledEvent weekly = timer(5, "2026-12-07 09:00", dayBit(1));
    weekly.lastFired = utc("2026-12-14 08:00");  // this morning's, heard
    QList<ScheduledEvent> stored{daily, evening, late, gone, weekly};

    QStringList said;
    {
        Scheduler scheduler(&clock);
        Heard heard(scheduler);
        // What the program keeps with ScheduleStore::markFired.
        connect(&scheduler, &Scheduler::fired, this, [&](qint64 id, const QDateTime &at, bool disable) {
            for (ScheduledEvent &event : stored) {
                if (event.id == id) {
                    event.lastFired = at;
                    event.enabled = event.enabled && !disable;
                }
            }
        });
        scheduler.setEvents(stored);
        said = heard.take();
    }
    QCOMPARE(said, QStringList({"fired 1 2026-12-14 06:00 UTC", "fired 2 2026-12-14 19:00 UTC",
                                "fired 3 2026-12-14 19:25 UTC off", "fired 4 2026-12-13 11:00 UTC off",
                                "alarm 3", "record 2 until 2026-12-14 21:00",
                                "missed 1 at 2026-12-14 07:00, 4 at 2026-12-13 12:00"}));

    // Started again with what was kept: nothing again.
    clock.set(local("2026-12-14 20:31"));
    Scheduler again(&clock);
    Heard heardAgain(again);
    again.setEvents(stored);
    QCOMPARE(heardAgain.take(), QStringList());
    QCOMPARE(again.nextDue(), local("2026-12-15 07:00"));
}

void TestSchedule::followsAChangeOfTimeZone()
{
    TestClock clock;
    clock.set(utc("2026-12-14 05:30"));  // 06:30 in Berlin
    Scheduler scheduler(&clock);
    Heard heard(scheduler);
    ScheduledEvent daily = timer(1, "2026-12-01 07:00", kEveryDay);
    daily.lastFired = utc("2026-12-13 06:00");
    scheduler.setEvents({daily});
    QCOMPARE(utcText(scheduler.nextDue()), QStringLiteral("2026-12-14 06:00"));

    const ZoneChange london("Europe/London");
    QCOMPARE(scheduler.nextDue().toString(kMinuteFormat), QStringLiteral("2026-12-14 07:00"));
    QCOMPARE(utcText(scheduler.nextDue()), QStringLiteral("2026-12-14 07:00"));
    clock.set(utc("2026-12-14 06:00"));  // 07:00 in Berlin, 06:00 here
    scheduler.check();
    QCOMPARE(heard.take(), QStringList());
    clock.set(utc("2026-12-14 07:00"));
    scheduler.check();
    QCOMPARE(heard.take(), QStringList({"fired 1 2026-12-14 07:00 UTC", "alarm 1"}));
}

void TestSchedule::storeKeepsTimersBesideTheHistory()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString path = folder.filePath(QStringLiteral("kelvaro/history.sqlite"));

    ScheduledEvent wake = timer(0, "2026-12-11 07:30", kWeekdays);
    wake.volume = 40;
    wake.riseSeconds = 120;
    ScheduledEvent show = timer(0, "2026-12-24 20:00", 0, 90);
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    {
        // Both open a new file at once, each on its own thread, while a third
        // connection holds it for a moment: neither gives up on the file nor
        // puts it aside.
        QSqlDatabase holder = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("holder"));
        holder.setDatabaseName(path);
        QVERIFY(holder.open());
        QSqlQuery hold(holder);
        // A file with a header, in the journal mode new files have, and a
        // write under way: the stores' connections can read it but have to
        // wait to turn it to WAL.
        QVERIFY(hold.exec(QStringLiteral("PRAGMA user_version=1")));
        QVERIFY(hold.exec(QStringLiteral("BEGIN IMMEDIATE")));
        HistoryStore history(path);
        ScheduleStore store(path);
        QTest::qWait(300);
        QVERIFY(hold.exec(QStringLiteral("ROLLBACK")));
        hold = QSqlQuery();
        holder.close();
        holder = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("holder"));

        QSignalSpy historyOpened(&history, &HistoryStore::opened);
        QSignalSpy opened(&store, &ScheduleStore::opened);
        QSignalSpy loaded(&store, &ScheduleStore::loaded);
        QSignalSpy saved(&store, &ScheduleStore::saved);
        QSignalSpy removed(&store, &ScheduleStore::removed);
        QSignalSpy added(&history, &HistoryStore::added);
        WALL_TRY_VERIFY(!opened.isEmpty() && !historyOpened.isEmpty(), 30000);
        QCOMPARE(opened.first().at(0).toBool(), true);
        QCOMPARE(historyOpened.first().at(0).toBool(), true);
        WALL_TRY_VERIFY(!loaded.isEmpty(), 30000);
        QCOMPARE(loaded.first().at(0).value<QList<ScheduledEvent>>(), QList<ScheduledEvent>());

        history.add(QStringLiteral("新闻和报纸摘要"), QStringLiteral("中国之声"), QStringLiteral("http://example.org/zgzs"));
        store.save(wake);
        store.save(show);
        store.save(timer(0, "2026-12-12 09:00", 0));
        WALL_TRY_VERIFY(saved.size() == 3 && added.size() == 1, 30000);
        const auto savedAt = [&](int i) { return saved.at(i).at(0).value<ScheduledEvent>(); };
        wake.id = savedAt(0).id;
        show.id = savedAt(1).id;
        const qint64 dropped = savedAt(2).id;
        QVERIFY(wake.id > 0 && show.id > 0 && dropped > 0);
        QVERIFY(wake.id != show.id && show.id != dropped);
        QVERIFY(savedAt(0).changed.isValid());

        store.markFired(show.id, utc("2026-12-24 19:00"), true);
        // A change after it keeps the firing the file holds.
        wake.stationName = QStringLiteral("中国之声 新名");
        store.save(wake);
        store.remove(dropped);
        WALL_TRY_VERIFY(saved.size() == 4 && removed.size() == 1, 30000);
        QCOMPARE(savedAt(3).id, wake.id);
        QCOMPARE(savedAt(3).stationName, wake.stationName);
        QCOMPARE(removed.first().at(0).toLongLong(), dropped);
        wake.changed = savedAt(3).changed;
        show.changed = savedAt(1).changed;
    }

    // Read again by new stores: as kept.
    ScheduleStore store(path);
    HistoryStore history(path);
    QSignalSpy loaded(&store, &ScheduleStore::loaded);
    QSignalSpy found(&history, &HistoryStore::found);
    WALL_TRY_VERIFY(!loaded.isEmpty(), 30000);
    show.lastFired = utc("2026-12-24 19:00");
    show.enabled = false;
    QCOMPARE(loaded.first().at(0).value<QList<ScheduledEvent>>(), QList<ScheduledEvent>({wake, show}));
    history.find(QString());
    WALL_TRY_VERIFY(!found.isEmpty(), 30000);
    const auto plays = found.first().at(1).value<QList<HistoryEntry>>();
    QCOMPARE(plays.size(), 1);
    QCOMPARE(plays.first().title, QStringLiteral("新闻和报纸摘要"));

    // A file that cannot be made: said so.
    ScheduleStore nowhere(folder.filePath(QStringLiteral("kelvaro/history.sqlite/inside")));
    QSignalSpy refused(&nowhere, &ScheduleStore::opened);
    WALL_TRY_VERIFY(!refused.isEmpty(), 30000);
    QCOMPARE(refused.first().at(0).toBool(), false);
    QVERIFY(nowhere.failed());
}

void TestSchedule::commands_data()
{
    QTest::addColumn<QString>("verb");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("expected");

    // Now: Thursday 2026-12-10 08:00.
    QTest::newRow("sleep") << "sleep" << QStringList{"30"} << "sleep 1800";
    QTest::newRow("sleep a fraction") << "sleep" << QStringList{"0.25"} << "sleep 15";
    QTest::newRow("sleep too long") << "sleep" << QStringList{"1441"} << "分钟数不对：1441（0 取消，或 1 到 1440）";
    QTest::newRow("sleep not a number") << "sleep" << QStringList{"-5"} << "分钟数不对：-5（0 取消，或 1 到 1440）";

    QTest::newRow("alarm past today: tomorrow") << "alarm" << QStringList{"07:30", "--station", "中国之声"}
                                                << "闹钟 2026-12-11 07:30 days 0 volume 70 http://example.org/zgzs 中国之声";
    QTest::newRow("alarm ahead today, by address")
        << "alarm" << QStringList{"9:05", "--station", "http://example.org/zgzs", "--volume", "40"}
        << "闹钟 2026-12-10 09:05 days 0 volume 40 http://example.org/zgzs 中国之声";
    QTest::newRow("alarm weekdays") << "alarm" << QStringList{"07:30", "--days", "1-5", "--station", "中国之声"}
                                    << "闹钟 2026-12-10 07:30 days 31 volume 70 http://example.org/zgzs 中国之声";
    QTest::newRow("alarm days by commas and ranges")
        << "alarm" << QStringList{"07:00", "--station", "中国之声", "--days", "1,3,6-7"}
        << "闹钟 2026-12-10 07:00 days 101 volume 70 http://example.org/zgzs 中国之声";
    QTest::newRow("alarm bad hour") << "alarm" << QStringList{"24:00", "--station", "中国之声"}
                                    << "时间不对：24:00（应为 HH:MM，例如 07:30）";
    QTest::newRow("alarm day 0") << "alarm" << QStringList{"07:00", "--days", "0-5", "--station", "中国之声"}
                                 << "星期不对：0-5（用 1 到 7 表示周一到周日，例如 1-5 或 1,3,5）";
    QTest::newRow("alarm loud") << "alarm" << QStringList{"07:00", "--station", "中国之声", "--volume", "101"}
                                << "音量不对：101（0 到 100）";
    QTest::newRow("alarm unknown station") << "alarm" << QStringList{"07:00", "--station", "不存在"}
                                           << "没有这个电台：不存在";
    QTest::newRow("alarm without station") << "alarm" << QStringList{"07:00"} << "缺少 --station 电台名";
    QTest::newRow("alarm unknown option") << "alarm" << QStringList{"07:00", "--loud", "1"} << "不认识的选项：--loud";

    QTest::newRow("record once") << "record" << QStringList{"2026-12-24 20:00", "--minutes", "90", "--station", "音乐之声"}
                                 << "录音 2026-12-24 20:00 days 0 minutes 90 http://example.org/yyzs 音乐之声";
    QTest::newRow("record weekly, two words")
        << "record" << QStringList{"2026-12-10", "20:00", "--minutes", "30", "--repeat", "weekly", "--station", "音乐之声"}
        << "录音 2026-12-10 20:00 days 8 minutes 30 http://example.org/yyzs 音乐之声";
    QTest::newRow("record weekdays")
        << "record" << QStringList{"2026-12-12 06:00", "--minutes", "1440", "--repeat", "weekdays", "--station", "音乐之声"}
        << "录音 2026-12-12 06:00 days 31 minutes 1440 http://example.org/yyzs 音乐之声";
    QTest::newRow("record now is past")
        << "record" << QStringList{"2026-12-10 08:00", "--minutes", "30", "--station", "音乐之声"}
        << "开始时间已经过去：2026-12-10 08:00";
    QTest::newRow("record no such day")
        << "record" << QStringList{"2027-02-29 20:00", "--minutes", "30", "--station", "音乐之声"}
        << "开始时间不对：2027-02-29 20:00（应为 \"YYYY-MM-DD HH:MM\"，例如 \"2026-12-24 20:00\"）";
    QTest::newRow("record monthly")
        << "record" << QStringList{"2026-12-24 20:00", "--minutes", "30", "--repeat", "monthly", "--station", "音乐之声"}
        << "重复方式不对：monthly（daily、weekdays 或 weekly）";
    QTest::newRow("record twice given")
        << "record" << QStringList{"2026-12-24 20:00", "--minutes", "30", "--minutes", "40", "--station", "音乐之声"}
        << "--minutes 给了两次";
}

void TestSchedule::commands()
{
    QFETCH(QString, verb);
    QFETCH(QStringList, args);
    QFETCH(QString, expected);
    const QDateTime now = local("2026-12-10 08:00");
    const StationFinder find = [](const QString &wanted) -> std::optional<std::pair<QString, QString>> {
        for (const auto &[address, name] : {std::pair{QStringLiteral("http://example.org/zgzs"), QStringLiteral("中国之声")},
                                            std::pair{QStringLiteral("http://example.org/yyzs"), QStringLiteral("音乐之声")}}) {
            if (wanted == address || wanted == name)
                return std::pair{address, name};
        }
        return std::nullopt;
    };
    const TimerCommand command = verb == "sleep" ? parseSleep(args)
        : verb == "alarm"                        ? parseAlarm(args, now, find)
                                                 : parseRecordAt(args, now, find);
    QString got = command.error;
    const ScheduledEvent &e = command.event;
    if (got.isEmpty() && verb == "sleep")
        got = QStringLiteral("sleep %1").arg(command.sleepSeconds);
    else if (got.isEmpty()) {
        got = QStringLiteral("%1 %2 %3 days %4 %5 %6 %7")
                  .arg(kindText(e.kind), e.date.toString(Qt::ISODate), e.time.toString(QStringLiteral("HH:mm")))
                  .arg(e.days)
                  .arg(e.kind == ScheduledEvent::Kind::Alarm ? QStringLiteral("volume %1").arg(e.volume)
                                                             : QStringLiteral("minutes %1").arg(e.minutes))
                  .arg(e.stationAddress, e.stationName);
        // A new event: it fires from now on, never before.
        QCOMPARE(e.id, 0);
        QCOMPARE(e.changed, now.toUTC());
        QVERIFY(nextOccurrence(e, now).isValid());
    }
    QCOMPARE(got, expected);
}

int main(int argc, char *argv[])
{
    useLocalZone(kHome);
    QCoreApplication app(argc, argv);
    TestSchedule test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_schedule.moc"
