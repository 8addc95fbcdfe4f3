// SPDX-License-Identifier: GPL-3.0-or-later
// The player on a real Icecast server on 127.0.0.1, fed by ffmpeg (MP3 tone)
// and by a chained Ogg Vorbis source; the audio goes to ALSA's file plugin
// and the test checks the tone it holds.

#include "media_player.h"
#include "mpv_engine.h"
#include "player_session.h"
#include "player_test_support.h"
#include "recorder.h"
#include "status_texts.h"
#include "time_shift_disk.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

#include <memory>

using namespace kelvaro;
using State = MediaPlayer::State;

namespace {
constexpr int kLong = 90000;

bool isOneOf(double f, std::initializer_list<int> tones)
{
    for (int t : tones)
        if (qAbs(f - t) < 15)
            return true;
    return false;
}

// The mount "/clock.mp3" sends a tone rising from 300 Hz by 40 Hz a second,
// over again every 40 s: its pitch says which second of the stream is heard.
constexpr double kClockBase = 300;
constexpr double kClockRise = 40;
constexpr double kClockPeriod = 40;
const QString kClockTone = QStringLiteral("aevalsrc=exprs='sin(2*PI*(%1*t+%2*mod(t,%3)*mod(t,%3)))':sample_rate=44100")
                               .arg(kClockBase).arg(kClockRise / 2).arg(kClockPeriod);

// What a PulseAudio null sink plays, in real time (ALSA's file plugin takes
// audio as fast as it comes, so it cannot tell when a second is heard):
// its monitor recorded at 8 kHz, mono.
class SinkMonitor {
public:
    static constexpr int kRate = 8000;
    bool start(testing::PulseServer &pulse, const QString &path)
    {
        m_path = path;
        m_parec.setStandardOutputFile(path);
        m_parec.setStandardErrorFile(QProcess::nullDevice());
        m_parec.start(QStringLiteral("parec"), {QStringLiteral("-s"), pulse.address(), QStringLiteral("-d"),
                                                 QStringLiteral("kelvaro_null.monitor"), QStringLiteral("--raw"),
                                                 QStringLiteral("--format=s16le"), QStringLiteral("--rate=8000"),
                                                 QStringLiteral("--channels=1"), QStringLiteral("--latency-msec=20")});
        return m_parec.waitForStarted(10000);
    }
    ~SinkMonitor()
    {
        m_parec.kill();
        m_parec.waitForFinished(5000);
    }
    qint64 samples() const { return QFileInfo(m_path).size() / 2; }
    // Waits for `seconds` more of sound than there was at `from` samples.
    bool waitForSound(qint64 from, double seconds) const
    {
        return QTest::qWaitFor([&] { return samples() >= from + qint64(seconds * kRate); }, 20000);
    }
    // The pitch of the last 0.2 s, from zero crossings; 0 for silence.
    double recentFrequency() const
    {
        QFile f(m_path);
        if (!f.open(QIODevice::ReadOnly))
            return 0;
        const qint64 want = kRate / 5 * 2;
        f.seek(std::max<qint64>(0, f.size() / 2 * 2 - want));
        const QByteArray data = f.read(want);
        const auto *v = reinterpret_cast<const qint16 *>(data.constData());
        const qsizetype n = data.size() / 2;
        int crossings = 0;
        for (qsizetype i = 1; i < n; ++i)
            crossings += (v[i - 1] < 0) != (v[i] < 0);
        return n > 0 ? crossings / 2.0 / (double(n) / kRate) : 0;
    }
    // The second of the clock tone heard last.
    double heardSecond() const { return (recentFrequency() - kClockBase) / kClockRise; }

private:
    QProcess m_parec;
    QString m_path;
};

// Seconds from `from` to `to` on the tone's 40 s round, -20..20.
double secondsBetween(double from, double to)
{
    return std::remainder(to - from, kClockPeriod);
}
}  // namespace

class TestPlayerIcecast : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void playsLiveMountWithTitles();
    void chainedOggPlaysAcrossTitleChanges();
    void pauseKeepsTheProgramme();
    void cleanupTestCase();

private:
    testing::AlsaCapture m_capture;
    testing::IcecastServer m_icecast;
    testing::ChildProcess m_oggSource;
    testing::ChildProcess m_clockSource;
    QTemporaryDir m_dir;
};

void TestPlayerIcecast::initTestCase()
{
    QVERIFY(m_capture.setUp());
    QVERIFY(m_dir.isValid());
    QVERIFY2(m_icecast.start(), qPrintable(m_icecast.errorLog()));
    QVERIFY(m_icecast.startMp3Source(QStringLiteral("/tone.mp3"), 440));

    // Three Ogg Vorbis files, each its own logical stream with its own title:
    // sent one after the other they make a chained stream.
    const QList<QPair<int, QString>> chains = {{440, QStringLiteral("第一首 – Alpha")},
                                               {660, QStringLiteral("第二首 – Beta")},
                                               {880, QStringLiteral("第三首 – Gamma")}};
    QStringList args = {testing::supportScript(QStringLiteral("ogg_source.py")), QString::number(m_icecast.port()),
            QStringLiteral("/chain.ogg"), m_icecast.sourcePassword(), QStringLiteral("4")};
    for (int i = 0; i < chains.size(); ++i) {
        const QString path = m_dir.filePath(QStringLiteral("chain%1.ogg").arg(i));
        QVERIFY(testing::makeTone(path, chains[i].first, 4,
                                  {QStringLiteral("-c:a"), QStringLiteral("libvorbis"), QStringLiteral("-q:a"),
                                   QStringLiteral("2"), QStringLiteral("-metadata"),
                                   QStringLiteral("title=") + chains[i].second}));
        args << path;
    }
    QVERIFY(m_oggSource.start(QStringLiteral("python3"), args));
    QVERIFY(m_icecast.startMp3Source(m_clockSource, QStringLiteral("/clock.mp3"), kClockTone));
    QVERIFY2(m_icecast.waitForMount(QStringLiteral("/clock.mp3")), qPrintable(m_icecast.errorLog()));
    QVERIFY2(m_icecast.waitForMount(QStringLiteral("/tone.mp3")), qPrintable(m_icecast.errorLog()));
    QVERIFY2(m_icecast.waitForMount(QStringLiteral("/chain.ogg")), qPrintable(m_icecast.errorLog()));
}

void TestPlayerIcecast::cleanupTestCase()
{
    m_oggSource.stop();
    m_clockSource.stop();
    m_icecast.source().stop();
}

void TestPlayerIcecast::playsLiveMountWithTitles()
{
    MediaPlayer player;
    player.settings().setVolume(100);
    const qint64 before = m_capture.size();
    player.setURL(m_icecast.url(QStringLiteral("/tone.mp3")));
    QTRY_COMPARE_WITH_TIMEOUT(player.state(), State::Playing, kLong);
    QVERIFY(m_capture.waitForAudio(before, 3 * 44100 * 4));
    double f = m_capture.recentFrequency();
    QVERIFY2(qAbs(f - 440) < 15, qPrintable(QString::number(f)));

    // Pause and play on the live mount: playing again.
    player.controls().pause();
    QCOMPARE(player.state(), State::Paused);
    player.controls().play();
    QTRY_COMPARE_WITH_TIMEOUT(player.state(), State::Playing, kLong);
    const qint64 resumed = m_capture.size();
    QVERIFY(m_capture.waitForAudio(resumed, 2 * 44100 * 4));
    f = m_capture.recentFrequency();
    QVERIFY2(qAbs(f - 440) < 15, qPrintable(QString::number(f)));
}

void TestPlayerIcecast::chainedOggPlaysAcrossTitleChanges()
{
    MediaPlayer player;
    player.settings().setVolume(100);
    QStringList titles;
    connect(&player, &MediaPlayer::titleChanged, this, [&](const QString &t) {
        if (!t.isEmpty() && (titles.isEmpty() || titles.last() != t))
            titles << t;
    });
    player.setURL(m_icecast.url(QStringLiteral("/chain.ogg")));
    QTRY_COMPARE_WITH_TIMEOUT(player.state(), State::Playing, kLong);
    QSignalSpy states(&player, &MediaPlayer::stateChanged);
    // At least two title changes while playing on.
    QTRY_VERIFY_WITH_TIMEOUT(titles.size() >= 3, kLong);
    for (const QString &t : titles)
        QVERIFY2(t.contains(QLatin1String("Alpha")) || t.contains(QLatin1String("Beta"))
                     || t.contains(QLatin1String("Gamma")),
                 qPrintable(titles.join('|')));
    const qint64 afterChanges = m_capture.size();
    QVERIFY(m_capture.waitForAudio(afterChanges, 2 * 44100 * 4));
    const double f = m_capture.recentFrequency(0.5);
    QVERIFY2(isOneOf(f, {440, 660, 880}), qPrintable(QString::number(f)));
    QCOMPARE(player.state(), State::Playing);
    for (const auto &args : states) {
        const auto s = args.first().value<State>();
        QVERIFY(s != State::Failed && s != State::Reconnecting && s != State::Stopped);
    }
}

// A pause keeps the programme: play goes on from the second it stopped at,
// with the title of what is heard; a jump back hears the same seconds again;
// live is one key away. What is kept lies on disk, and goes with the player.
void TestPlayerIcecast::pauseKeepsTheProgramme()
{
    testing::PulseServer pulse;
    QVERIFY(pulse.start());
    SinkMonitor sink;
    QVERIFY(sink.start(pulse, m_dir.filePath(QStringLiteral("sink.raw"))));
    const QByteArray alsaOnly = qgetenv("PULSE_SERVER");
    qputenv("PULSE_SERVER", pulse.address().toUtf8());
    const auto restore = qScopeGuard([&] { qputenv("PULSE_SERVER", alsaOnly); });
    const QString mount = QStringLiteral("/clock.mp3");
    QVERIFY(m_icecast.setTitle(mount, QStringLiteral("Before")));
    auto *engine = new MpvEngine;
    const QString folder = engine->timeShiftFolder();
    auto session = std::make_unique<PlayerSession>(engine);
    auto player = std::make_unique<MediaPlayer>(*session);
    session->setVolume(100);
    session->setUrl(m_icecast.url(mount));
    QTRY_COMPARE_WITH_TIMEOUT(session->state(), State::Playing, kLong);
    QVERIFY(sink.waitForSound(sink.samples(), 3));
    QTRY_VERIFY_WITH_TIMEOUT(session->canTimeShift(), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(session->title(), QStringLiteral("Before"), 10000);
    // A recording beside it takes what arrives, whatever is heard.
    auto recorder = std::make_unique<Recorder>(*session);
    recorder->setRoot(m_dir.filePath(QStringLiteral("recordings")));
    QSignalSpy saved(recorder.get(), &Recorder::fileSaved);
    QVERIFY(recorder->start({QStringLiteral("时钟台"), m_icecast.url(mount)}));
    QElapsedTimer recording;
    recording.start();

    // 20 s paused, the title changing 5 s into it.
    const double pausedAt = sink.heardSecond();
    const double newestAtPause = session->receivedTo();
    session->pause();
    QCOMPARE(session->state(), State::Paused);
    QTest::qWait(5000);
    QVERIFY(m_icecast.setTitle(mount, QStringLiteral("After")));
    QTest::qWait(15000);
    // As far behind as what arrived meanwhile (a source slowed down by a
    // busy machine sends less than 20 s in 20 s).
    const double arrived = session->receivedTo() - newestAtPause;
    QVERIFY2(arrived > 10 && qAbs(session->behindLive() - arrived) < 1.5,
             qPrintable(QStringLiteral("%1 behind, %2 arrived").arg(session->behindLive()).arg(arrived)));
    QVERIFY2(player->findChild<QLabel *>(QStringLiteral("statusLine"))->toolTip().contains(QStringLiteral("落后直播 0:")),
             qPrintable(player->findChild<QLabel *>(QStringLiteral("statusLine"))->toolTip()));
    QVERIFY(openFilesDiskUse(folder) > 20 * 16000);
    session->play();
    QVERIFY(sink.waitForSound(sink.samples(), 1));
    const double resumedAt = sink.heardSecond();
    // On from the pause (about the second of audio just waited for), not
    // 20 s later.
    QVERIFY2(qAbs(secondsBetween(pausedAt, resumedAt) - 1) < 1.5,
             qPrintable(QStringLiteral("%1 -> %2").arg(pausedAt).arg(resumedAt)));
    QCOMPARE(session->title(), QStringLiteral("Before"));
    QTRY_COMPARE_WITH_TIMEOUT(session->title(), QStringLiteral("After"), 15000);

    // Left: 10 s back, the same seconds heard again.
    const double beforeJump = sink.heardSecond();
    const double behindBeforeJump = session->behindLive();
    QTest::keyClick(player.get(), Qt::Key_Left);
    QVERIFY(sink.waitForSound(sink.samples(), 1));
    const double afterJump = sink.heardSecond();
    QVERIFY2(qAbs(secondsBetween(beforeJump, afterJump) + 9) < 1.5,
             qPrintable(QStringLiteral("%1 -> %2").arg(beforeJump).arg(afterJump)));
    // ...and 10 s further behind live than before it.
    QSignalSpy readings(session.get(), &PlayerSession::elapsedChanged);
    QVERIFY(readings.wait(3000));
    QVERIFY2(qAbs(session->behindLive() - behindBeforeJump - 10) < 1.5,
             qPrintable(QStringLiteral("%1 -> %2").arg(behindBeforeJump).arg(session->behindLive())));

    // End: live, within 2 s of the newest received.
    QTest::keyClick(player.get(), Qt::Key_End);
    QCOMPARE(session->behindLive(), 0.0);
    QVERIFY(sink.waitForSound(sink.samples(), 1));
    QSignalSpy times(session.get(), &PlayerSession::elapsedChanged);
    QVERIFY(times.wait(3000));
    QVERIFY2(session->receivedTo() - session->heardTime() < 2.0 + session->kLiveMargin,
             qPrintable(QStringLiteral("%1 %2").arg(session->receivedTo()).arg(session->heardTime())));
    QCOMPARE(session->behindLive(), 0.0);

    // One file as long as the time it ran: nothing missing for the pause,
    // nothing twice for the jump back.
    QVERIFY(recorder->isRecording());
    recorder->stop();
    const double ran = double(recording.elapsed()) / 1000;
    QTRY_COMPARE_WITH_TIMEOUT(saved.size(), 1, 10000);
    QProcess ffprobe;
    ffprobe.start(QStringLiteral("ffprobe"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
                                              QStringLiteral("format=duration"), QStringLiteral("-of"),
                                              QStringLiteral("default=nw=1:nk=1"), saved.at(0).at(0).toString()});
    QVERIFY(ffprobe.waitForFinished(30000));
    const double held = ffprobe.readAllStandardOutput().trimmed().toDouble();
    QVERIFY2(qAbs(held - ran) < 1.5, qPrintable(QStringLiteral("%1 s held, %2 s recorded").arg(held).arg(ran)));

    player.reset();
    session.reset();
    recorder.reset();
    QTRY_VERIFY_WITH_TIMEOUT(!QDir(folder).exists(), 5000);
}

QTEST_MAIN(TestPlayerIcecast)
#include "tst_player_icecast.moc"
