// SPDX-License-Identifier: GPL-3.0-or-later
// The timers on the real program: the built executable on a desktop, its
// sound on a PulseAudio server of the test's own (a null sink, whose monitor
// the test records), streams from a real Icecast server and the stream
// server of the player's tests on 127.0.0.1, the media controls on a private
// session bus, and timers set from the command line as a user would.
#include "desktop_program.h"
#include "player_test_support.h"
#include "wall_clock_wait.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <vector>

using namespace kelvaro::testing;

namespace {

// What the null sink plays, recorded from its monitor: 8 kHz mono, which
// holds the test tones, with the wall-clock time of its first sample.
class SinkRecording {
public:
    static constexpr int kRate = 8000;

    bool start(PulseServer &pulse, const QString &path)
    {
        path_ = path;
        process_.setStandardOutputFile(path);
        process_.setStandardErrorFile(QProcess::nullDevice());
        process_.start(QStringLiteral("parec"),
                       {"-s", pulse.address(), "-d", "kelvaro_null.monitor", "--raw", "--format=s16le",
                        "--rate=8000", "--channels=1", "--latency-msec=20"});
        if (!process_.waitForStarted(10000))
            return false;
        // The first sample's time: the file's length once it grows, counted back.
        if (!waitUntil([this] { return QFileInfo(path_).size() > 2 * kRate / 10; }, 10000))
            return false;
        begin_ = QDateTime::currentMSecsSinceEpoch() - QFileInfo(path_).size() / 2 * 1000 / kRate;
        return true;
    }
    ~SinkRecording()
    {
        process_.kill();
        process_.waitForFinished(5000);
    }

    // The samples between two wall-clock times (ms since 1970).
    std::vector<qint16> between(qint64 fromMs, qint64 toMs) const
    {
        QFile f(path_);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        const qint64 first = std::max<qint64>(0, (fromMs - begin_) * kRate / 1000);
        const qint64 last = std::min<qint64>(f.size() / 2, (toMs - begin_) * kRate / 1000);
        if (last <= first)
            return {};
        f.seek(first * 2);
        const QByteArray data = f.read((last - first) * 2);
        const auto *s = reinterpret_cast<const qint16 *>(data.constData());
        return std::vector<qint16>(s, s + data.size() / 2);
    }
    double level(qint64 fromMs, qint64 toMs) const { return rms(between(fromMs, toMs)); }
    // The level of the last `ms` recorded.
    double recentLevel(int ms) const
    {
        const qint64 now = QDateTime::currentMSecsSinceEpoch() - 100;  // what has surely reached the file
        return level(now - ms, now);
    }
    // When 20 ms blocks quieter than a tenth of `level` began between two
    // times (ms since 1970): audio that dropped out.
    QList<qint64> gaps(qint64 fromMs, qint64 toMs, double level) const
    {
        const std::vector<qint16> s = between(fromMs, toMs);
        QList<qint64> gaps;
        for (size_t b = 0; b + kRate / 50 <= s.size(); b += kRate / 50) {
            if (rms({s.begin() + qsizetype(b), s.begin() + qsizetype(b + kRate / 50)}) < level / 10)
                gaps.append(std::max(fromMs, begin_) + qint64(b) * 1000 / kRate);
        }
        return gaps;
    }
    // The tone's frequency between two times, from its zero crossings.
    double frequency(qint64 fromMs, qint64 toMs) const
    {
        const std::vector<qint16> s = between(fromMs, toMs);
        int crossings = 0;
        for (size_t i = 1; i < s.size(); ++i) {
            if ((s[i - 1] < 0) != (s[i] < 0))
                ++crossings;
        }
        return s.empty() ? 0 : crossings / 2.0 / (double(s.size()) / kRate);
    }
    // When the sink first played something after `fromMs`; 0 when it did not.
    qint64 firstSound(qint64 fromMs, qint64 toMs, double threshold) const
    {
        const std::vector<qint16> s = between(fromMs, toMs);
        for (size_t b = 0; b + kRate / 50 <= s.size(); b += kRate / 50) {
            if (rms({s.begin() + qsizetype(b), s.begin() + qsizetype(b + kRate / 50)}) > threshold)
                return std::max(fromMs, begin_) + qint64(b) * 1000 / kRate;
        }
        return 0;
    }

    static double rms(const std::vector<qint16> &s)
    {
        double energy = 0;
        for (qint16 v : s)
            energy += double(v) * v;
        return s.empty() ? 0 : std::sqrt(energy / double(s.size()));
    }

private:
    QProcess process_;
    QString path_;
    qint64 begin_ = 0;
};

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

}  // namespace

class TestTimers : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void sleepTimerFadesAndStops();
    void alarmFallsBackWhileARecordingRunsBeside();

private:
    // The program started from a folder of its own with `list`, its sound
    // on the test's PulseAudio server.
    bool startProgram(DesktopProgram &program, const QByteArray &list);
    ToolResult kelvaro(const QStringList &args) const;

    PulseServer pulse_;
    IcecastServer icecast_;
    FaultServer other_;
    ChildProcess bus_;
    QTemporaryDir work_;
    QString executable_;
    QString music_;
    QProcessEnvironment env_;
    int folders_ = 0;
};

void TestTimers::initTestCase()
{
    QVERIFY(pulse_.start());
    QVERIFY(icecast_.start());
    QVERIFY(icecast_.startMp3Source(QStringLiteral("/tone.mp3"), 660));
    QVERIFY(icecast_.waitForMount(QStringLiteral("/tone.mp3")));
    const QString mp3 = work_.filePath(QStringLiteral("880.mp3"));
    QVERIFY(makeTone(mp3, 880, 30, {QStringLiteral("-c:a"), QStringLiteral("libmp3lame"), QStringLiteral("-b:a"),
                                    QStringLiteral("128k")}));
    QVERIFY(other_.start(mp3));
    // A session bus of the test's own, for the media controls (ended with the
    // test by its PID, also when the test dies).
    QVERIFY(bus_.start(QStringLiteral("python3"),
                       {supportScript(QStringLiteral("tied_child.py")), QStringLiteral("dbus-daemon"),
                        QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--nopidfile"),
                        QStringLiteral("--print-address=1")}));
    WALL_TRY_VERIFY(bus_.output().contains('\n'), 20000);
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus_.output().trimmed());
    qputenv("PULSE_SERVER", pulse_.address().toUtf8());
    env_ = QProcessEnvironment::systemEnvironment();
    env_.insert(QStringLiteral("XDG_DATA_HOME"), work_.filePath(QStringLiteral("data")));
    // Recordings go to the music folder of the test's home; none from an
    // earlier run.
    music_ = QStandardPaths::writableLocation(QStandardPaths::MusicLocation) + QStringLiteral("/Kelvaro");
    QDir(music_).removeRecursively();
}

void TestTimers::cleanupTestCase()
{
    bus_.stop();
}

bool TestTimers::startProgram(DesktopProgram &program, const QByteArray &list)
{
    executable_ = copyProgram(work_.filePath(QStringLiteral("app%1").arg(++folders_)), &list);
    return program.start(executable_, env_);
}

ToolResult TestTimers::kelvaro(const QStringList &args) const
{
    QProcess p;
    p.setProcessEnvironment(env_);
    p.start(executable_, args);
    ToolResult result;
    if (p.waitForFinished(40000) && p.exitStatus() == QProcess::NormalExit) {
        result.exitCode = p.exitCode();
        result.out = QString::fromUtf8(p.readAllStandardOutput());
        result.err = QString::fromUtf8(p.readAllStandardError());
    }
    return result;
}

void TestTimers::sleepTimerFadesAndStops()
{
    SinkRecording sink;
    QVERIFY(sink.start(pulse_, work_.filePath(QStringLiteral("sleep.raw"))));
    DesktopProgram program;
    QVERIFY(startProgram(program, "晚间;;mms://127.0.0.1;;\r\n甲台;;" + icecast_.url("/tone.mp3").toUtf8() + ";;\r\n"));
    program.chooseStation(1);
    WALL_TRY_VERIFY(sink.recentLevel(1000) > 1000, 30000);
    QTest::qWait(1500);
    const double full = sink.recentLevel(1000);

    // Twelve seconds: all of it fades, then playback stops.
    const qint64 set = nowMs();
    const ToolResult sleep = kelvaro({"--sleep", "0.2"});
    QCOMPARE(sleep.exitCode, 0);
    QTest::qWait(14000);
    const double early = sink.level(set + 1000, set + 2000);
    const double middle = sink.level(set + 5000, set + 6000);
    const double late = sink.level(set + 9500, set + 10500);
    const double after = sink.level(set + 13000, set + 14000);
    qInfo("levels: full %.0f, fading %.0f > %.0f > %.0f, after %.0f", full, early, middle, late, after);
    QVERIFY(early > middle * 1.5 && middle > late * 1.5);
    QVERIFY(early > full * 0.5);
    QVERIFY(late < full * 0.25);
    QVERIFY(after < full * 0.02);
    QCOMPARE(run(QStringLiteral("playerctl"), {"-p", "kelvaro", "status"}), QStringLiteral("Stopped"));

    // The volume set is there for next time: the station plays as loud as before.
    QCOMPARE(run(QStringLiteral("playerctl"), {"-p", "kelvaro", "volume"}), QStringLiteral("1.000000"));
    QVERIFY(runTool(QStringLiteral("playerctl"), {"-p", "kelvaro", "play"}).exitCode == 0);
    WALL_TRY_VERIFY(sink.recentLevel(1000) > full * 0.5, 30000);
    QTest::qWait(1500);
    QVERIFY2(std::abs(sink.recentLevel(1000) - full) < full * 0.15, "the station plays at the level it had");
}

void TestTimers::alarmFallsBackWhileARecordingRunsBeside()
{
    SinkRecording sink;
    QVERIFY(sink.start(pulse_, work_.filePath(QStringLiteral("alarm.raw"))));
    const QByteArray down = "http://127.0.0.1:" + QByteArray::number(freePort()) + "/morning.mp3";
    DesktopProgram program;
    QVERIFY(startProgram(program, "早间;;mms://127.0.0.1;;\r\n坏台;;" + down + ";;\r\n丙台;;" +
                                      icecast_.url("/tone.mp3").toUtf8() + ";;\r\n其他;;mms://127.0.0.1;;\r\n录台;;" +
                                      other_.url("/stream.mp3").toUtf8() + ";;\r\n"));
    program.minimiseToTray();

    // Both at the next whole minute at least 5 s ahead: the alarm on the
    // station that is down, a minute's recording of another station.
    const QDateTime at = QDateTime::fromSecsSinceEpoch((QDateTime::currentSecsSinceEpoch() + 5 + 59) / 60 * 60);
    const ToolResult alarm = kelvaro({"--alarm", at.toString("HH:mm"), "--station", "坏台", "--volume", "80"});
    QVERIFY2(alarm.exitCode == 0, qPrintable(alarm.err));
    const ToolResult record = kelvaro({"--record-at", at.toString("yyyy-MM-dd HH:mm"), "--minutes", "1", "--station",
                                       "录台"});
    QVERIFY2(record.exitCode == 0, qPrintable(record.err));
    // Refused, and nothing kept: an unknown station, a time past.
    QCOMPARE(kelvaro({"--alarm", "07:30", "--station", "没有的台"}).exitCode, 2);
    QCOMPARE(kelvaro({"--record-at", "2020-01-01 08:00", "--minutes", "5", "--station", "录台"}).exitCode, 2);
    QCOMPARE(kelvaro({"--timers"}).out.trimmed().split('\n').size(), 2);

    // The next station of the category plays, and the window comes up.
    const qint64 due = at.toMSecsSinceEpoch();
    WALL_TRY_VERIFY(nowMs() > due + 40000 || sink.recentLevel(500) > 20, 120000);
    WALL_TRY_COMPARE(program.caption(), QStringLiteral("正在收听丙台"), 10000);
    QVERIFY(!program.minimised() && program.mapped());
    const qint64 heard = sink.firstSound(due - 2000, nowMs(), 20);
    QVERIFY(heard > 0);
    qInfo("alarm: first sound %.2f s after its time (its station down, the next one)", (heard - due) / 1000.0);
    QCOMPARE(run(QStringLiteral("playerctl"), {"-p", "kelvaro", "volume"}), QStringLiteral("0.800000"));

    // The recording runs beside it: the station heard never drops, and what
    // is heard is its tone, not the recorded one. The rise is past once
    // the level holds; the gaps are counted from then to after the end.
    WALL_TRY_VERIFY(nowMs() > due + 70000, 80000);
    const double level = sink.level(due + 62000, due + 68000);
    QVERIFY(level > 500);
    const QList<qint64> gaps = sink.gaps(heard + 1000, due + 70000, sink.level(heard + 1000, heard + 2000));
    QStringList when;
    for (qint64 gap : gaps)
        when << QString::number((gap - due) / 1000.0, 'f', 2);
    QVERIFY2(gaps.isEmpty(), qPrintable(QStringLiteral("dropped out at %1 s after the timers' time").arg(when.join(", "))));
    QVERIFY(std::abs(sink.frequency(due + 30000, due + 68000) - 660) < 20);

    // One file of the station recorded: a minute of its own audio, whole.
    const QString folder = music_ + QStringLiteral("/录台");
    WALL_TRY_VERIFY(QDir(folder).entryList(QDir::Files).size() == 1, 20000);
    const QString file = QDir(folder).filePath(QDir(folder).entryList(QDir::Files).first());
    const QString duration = run(QStringLiteral("ffprobe"), {"-v", "error", "-show_entries", "format=duration", "-of",
                                                             "csv=p=0", file});
    qInfo("recorded %s s", qPrintable(duration));
    QVERIFY(duration.toDouble() > 55 && duration.toDouble() < 62);
    // Both one-offs are done with.
    const QStringList listed = kelvaro({"--timers"}).out.trimmed().split('\n');
    QCOMPARE(listed.size(), 2);
    QVERIFY(listed[0].startsWith(QStringLiteral("已停用")) && listed[1].startsWith(QStringLiteral("已停用")));
}

QTEST_GUILESS_MAIN(TestTimers)
#include "tst_timers.moc"
