// SPDX-License-Identifier: GPL-3.0-or-later
// The player against a misbehaving server of our own (fault_server.py on
// 127.0.0.1): refusals, HTTP errors, stalls, drops, slow and broken data,
// playlists, titles in UTF-8 and GBK, and the audio that reaches ALSA.

#include "media_player.h"
#include "mini_controls.h"
#include "mpv_engine.h"
#include "player_session.h"
#include "player_test_support.h"
#include "status_texts.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QUrl>

#include <clocale>
#include <memory>

using namespace kelvaro;
using State = MediaPlayer::State;

namespace {
constexpr int kLong = 90000;  // generous: the machine may be loaded
}

class TestPlayerFaults : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void failuresEndStopped_data();
    void failuresEndStopped();
    void playsToneAndShowsTitle_data();
    void playsToneAndShowsTitle();
    void droppedStreamReconnects();
    void filesThatEndOrBreakOff();
    void pauseOnLiveStreamReconnectsOnPlay();
    void slowAndStalledServers();
    void filmPlaysItsSoundAndEnds();
    void playlists_data();
    void playlists();
    void quickSwitchingLeavesOneStream();
    void playsUnderAChineseLocale();
    void warmUpHandsOverTheFirstStation();
    void titlesFollowTheSongs();
    void destroyingWhileConnectingReturns();

private:
    std::unique_ptr<MediaPlayer> newPlayer();
    QString url(const QString &path) { return m_server.url(path); }

    testing::AlsaCapture m_capture;
    QTemporaryDir m_dir;
    testing::FaultServer m_server;
};

std::unique_ptr<MediaPlayer> TestPlayerFaults::newPlayer()
{
    auto player = std::make_unique<MediaPlayer>();
    player->settings().setVolume(100);
    return player;
}

void TestPlayerFaults::initTestCase()
{
    QVERIFY(m_capture.setUp());
    QVERIFY(m_dir.isValid());
    const QString mp3 = m_dir.filePath(QStringLiteral("tone.mp3"));
    QVERIFY(testing::makeTone(mp3, 440, 20,
                              {QStringLiteral("-c:a"), QStringLiteral("libmp3lame"), QStringLiteral("-b:a"),
                               QStringLiteral("128k")}));
    QVERIFY(testing::makeTone(m_dir.filePath(QStringLiteral("short.mp3")), 440, 4,
                              {QStringLiteral("-c:a"), QStringLiteral("libmp3lame"), QStringLiteral("-b:a"),
                               QStringLiteral("128k")}));
    // A short film with a picture and a 440 Hz sound track.
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {QStringLiteral("-nostdin"), QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-y"),
                  QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                  QStringLiteral("testsrc=size=320x240:rate=25:duration=4"), QStringLiteral("-f"),
                  QStringLiteral("lavfi"), QStringLiteral("-i"),
                  QStringLiteral("sine=frequency=440:sample_rate=44100:duration=4"), QStringLiteral("-ac"),
                  QStringLiteral("2"), QStringLiteral("-c:v"), QStringLiteral("mpeg4"), QStringLiteral("-c:a"),
                  QStringLiteral("libvorbis"), m_dir.filePath(QStringLiteral("film.mkv"))});
    QVERIFY(ffmpeg.waitForFinished(120000) && ffmpeg.exitCode() == 0);
    QVERIFY(m_server.start(mp3, m_dir.path()));
}

void TestPlayerFaults::failuresEndStopped_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("failure");
    QTest::newRow("404") << "/404" << int(PlayerFailure::NotFound);
    QTest::newRow("500") << "/500" << int(PlayerFailure::ServerError);
    QTest::newRow("garbage") << "/garbage" << int(PlayerFailure::Unsupported);
    QTest::newRow("oversized asx") << "/big.asx" << int(PlayerFailure::Unsupported);
}

void TestPlayerFaults::failuresEndStopped()
{
    QFETCH(QString, path);
    QFETCH(int, failure);
    auto player = newPlayer();
    player->setURL(url(path));
    QTRY_COMPARE_WITH_TIMEOUT(player->state(), State::Failed, kLong);
    QCOMPARE(int(player->lastFailure()), failure);
    QCOMPARE(player->statusText(), statustext::failure(PlayerFailure(failure)));
    // A stream that never played is not retried.
    const int requests = m_server.requests().size();
    QTest::qWait(2500);
    QCOMPARE(player->state(), State::Failed);
    QCOMPARE(m_server.requests().size(), requests);
}

void TestPlayerFaults::playsToneAndShowsTitle_data()
{
    QTest::addColumn<QString>("encoding");
    QTest::newRow("utf-8 title") << "utf8";
    QTest::newRow("gbk title") << "gbk";
}

void TestPlayerFaults::playsToneAndShowsTitle()
{
    QFETCH(QString, encoding);
    const QString title = QStringLiteral("新闻频道 – 第%1首").arg(encoding == QLatin1String("gbk") ? 2 : 1);
    auto player = newPlayer();
    const qint64 before = m_capture.size();
    player->setURL(url(QStringLiteral("/stream.mp3?enc=%1&title=%2")
                           .arg(encoding, QString::fromLatin1(QUrl::toPercentEncoding(title)))));
    QTRY_COMPARE_WITH_TIMEOUT(player->state(), State::Playing, kLong);
    QTRY_COMPARE_WITH_TIMEOUT(player->nowPlayingTitle(), title, kLong);
    QCOMPARE(player->statusText(), statustext::playing());
    QCOMPARE(player->miniControls()->titleLabel()->toolTip(), title);
    // The elapsed time runs while playing.
    auto *elapsed = player->findChild<QLabel *>(QStringLiteral("elapsed"));
    QVERIFY(elapsed);
    QTRY_VERIFY_WITH_TIMEOUT(elapsed->text() != QLatin1String("--:--") && elapsed->text() != QLatin1String("00:00"),
                             kLong);
    QVERIFY(m_capture.waitForAudio(before, 2 * 44100 * 4));
    const double f = m_capture.recentFrequency();
    QVERIFY2(qAbs(f - 440) < 15, qPrintable(QString::number(f)));
}

void TestPlayerFaults::droppedStreamReconnects()
{
    // The engine tells a live stream that went away from one that ended:
    // it reconnects after the first pause and plays again.
    auto player = newPlayer();
    QStringList statuses;
    connect(player.get(), &MediaPlayer::statusChanged, this, [&](const QString &t) { statuses << t; });
    const QString address = url(QStringLiteral("/drop?after=2&down=0&case=reconnect"));
    player->setURL(address);
    QTRY_COMPARE_WITH_TIMEOUT(player->state(), State::Playing, kLong);
    QTRY_COMPARE_WITH_TIMEOUT(player->state(), State::Reconnecting, kLong);
    QTRY_COMPARE_WITH_TIMEOUT(player->state(), State::Playing, kLong);
    const QString all = statuses.join(QLatin1Char('\n'));
    QVERIFY2(all.contains(statustext::reconnecting(1, 1)), qPrintable(all));
    QCOMPARE(player->reconnectAttempt(), 0);
    QCOMPARE(m_server.requests().filter(QStringLiteral("case=reconnect")).size(), 2);
}

void TestPlayerFaults::filesThatEndOrBreakOff()
{
    // A file that plays to its end is finished even when the event loop is
    // busy while it ends (its events then arrive in one batch); one whose
    // transfer breaks off is a drop, retried after growing pauses.
    {
        auto player = newPlayer();
        QList<State> states;
        connect(player.get(), &MediaPlayer::stateChanged, this, [&](State s) {
            states << s;
            if (s == State::Buffering)
                QThread::msleep(2500);  // longer than the engine needs to play the file
        });
        player->setURL(url(QStringLiteral("/file/short.mp3?case=busy")));
        QTRY_VERIFY_WITH_TIMEOUT(states.contains(State::Playing) && player->state() == State::Stopped, kLong);
        QVERIFY(!states.contains(State::Reconnecting) && !states.contains(State::Failed));
        const int requests = m_server.requests().filter(QStringLiteral("case=busy")).size();
        QTest::qWait(2500);
        QCOMPARE(player->state(), State::Stopped);
        QCOMPARE(m_server.requests().filter(QStringLiteral("case=busy")).size(), requests);
    }
    {
        auto player = newPlayer();
        QStringList statuses;
        connect(player.get(), &MediaPlayer::statusChanged, this, [&](const QString &t) { statuses << t; });
        player->setURL(url(QStringLiteral("/cut/short.mp3?case=cut")));
        QTRY_COMPARE_WITH_TIMEOUT(player->state(), State::Reconnecting, kLong);
        QCOMPARE(player->reconnectAttempt(), 1);
        // Played again, broken off again: the next pause is longer.
        QTRY_COMPARE_WITH_TIMEOUT(player->reconnectAttempt(), 2, kLong);
        const QString all = statuses.join(QLatin1Char('\n'));
        QVERIFY2(all.contains(statustext::reconnecting(2, 2)), qPrintable(all));
        QVERIFY2(all.contains(statustext::playing()), qPrintable(all));
        player->controls().stop();
    }
}

void TestPlayerFaults::pauseOnLiveStreamReconnectsOnPlay()
{
    auto player = newPlayer();
    QSignalSpy states(player.get(), &MediaPlayer::stateChanged);
    player->setURL(url(QStringLiteral("/stream.mp3?case=pause")));
    QTRY_COMPARE_WITH_TIMEOUT(player->state(), State::Playing, kLong);
    QTRY_COMPARE_WITH_TIMEOUT(m_server.activeStreams(), 1, kLong);
    player->controls().pause();
    QCOMPARE(player->state(), State::Paused);
    QCOMPARE(player->statusText(), statustext::paused());
    // The connection is closed while paused.
    QTRY_COMPARE_WITH_TIMEOUT(m_server.activeStreams(), 0, kLong);
    QTest::qWait(1000);
    QCOMPARE(player->state(), State::Paused);
    player->controls().play();
    QTRY_COMPARE_WITH_TIMEOUT(player->state(), State::Playing, kLong);
    QCOMPARE(m_server.requests().filter(QStringLiteral("case=pause")).size(), 2);
    for (const auto &args : states)
        QVERIFY(args.first().value<State>() != State::Failed);
    player->controls().stop();
    QTRY_COMPARE_WITH_TIMEOUT(m_server.activeStreams(), 0, kLong);
}

void TestPlayerFaults::slowAndStalledServers()
{
    // Trickling data: the player waits (connecting/buffering), never fails
    // nor blocks, and stops at once.
    {
        auto player = newPlayer();
        player->setURL(url(QStringLiteral("/trickle")));
        QTRY_VERIFY_WITH_TIMEOUT(m_server.requests().contains(QStringLiteral("/trickle")), kLong);
        QTest::qWait(3000);
        QVERIFY(player->state() == State::Connecting || player->state() == State::Buffering
                || player->state() == State::Playing);
        player->controls().stop();
        QCOMPARE(player->state(), State::Stopped);
    }
    // A server that accepts and never answers: given up after the network
    // timeout, with a status.
    {
        auto player = newPlayer();
        player->setURL(url(QStringLiteral("/stall?case=timeout")));
        QCOMPARE(player->statusText(), statustext::connecting());
        QTRY_COMPARE_WITH_TIMEOUT(player->state(), State::Failed, kLong);
        QCOMPARE(player->lastFailure(), PlayerFailure::TimedOut);
    }
}

void TestPlayerFaults::filmPlaysItsSoundAndEnds()
{
    // A stream with a picture plays its sound only; a file with a size that
    // plays to its end is finished, not dropped.
    auto player = newPlayer();
    QList<State> states;
    connect(player.get(), &MediaPlayer::stateChanged, this, [&](State s) { states << s; });
    player->setURL(url(QStringLiteral("/file/film.mkv")));
    // The capture device plays faster than real time, so the 4 s film may be
    // over before anyone looks: the sequence of states tells what happened.
    QTRY_VERIFY_WITH_TIMEOUT(states.contains(State::Playing) && player->state() == State::Stopped, kLong);
    QVERIFY(!states.contains(State::Reconnecting) && !states.contains(State::Failed));
    // This player opened the device afresh, so the capture holds the film alone.
    QVERIFY(m_capture.waitForAudio(0, 44100 * 4 * 3));
    const double f = m_capture.recentFrequency(0.5);
    QVERIFY2(qAbs(f - 440) < 15, qPrintable(QString::number(f)));
    QCOMPARE(player->reconnectAttempt(), 0);
    // Not opened again (the engine may have read the file with more than
    // one request while it played: those came before the end).
    const int requests = m_server.requests().filter(QStringLiteral("film.mkv")).size();
    QTest::qWait(2500);
    QCOMPARE(player->state(), State::Stopped);
    QCOMPARE(m_server.requests().filter(QStringLiteral("film.mkv")).size(), requests);
}

void TestPlayerFaults::playlists_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("plays");
    const QString stream = QString::fromLatin1(QUrl::toPercentEncoding(url(QStringLiteral("/stream.mp3?case=pl"))));
    const QString local = QString::fromLatin1(QUrl::toPercentEncoding(QStringLiteral("file:///etc/passwd")));
    const QString av = QString::fromLatin1(QUrl::toPercentEncoding(QStringLiteral("av://lavfi:sine")));
    QTest::newRow("asx to stream") << "/list.asx?target=" + stream << true;
    QTest::newRow("pls to stream") << "/list.pls?target=" + stream << true;
    QTest::newRow("asx to file") << "/list.asx?target=" + local << false;
    QTest::newRow("pls to file") << "/list.pls?target=" + local << false;
    QTest::newRow("pls to av") << "/list.pls?target=" + av << false;
}

void TestPlayerFaults::playlists()
{
    QFETCH(QString, path);
    QFETCH(bool, plays);
    auto player = newPlayer();
    QStringList opened;
    connect(player.get(), &MediaPlayer::addressOpened, this, [&](const QString &a) { opened << a; });
    const qint64 before = m_capture.size();
    player->setURL(url(path));
    if (plays) {
        QTRY_COMPARE_WITH_TIMEOUT(player->state(), State::Playing, kLong);
        QVERIFY2(opened.contains(url(QStringLiteral("/stream.mp3?case=pl"))), qPrintable(opened.join(' ')));
        QVERIFY(m_capture.waitForAudio(before, 44100 * 4));
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(player->state(), State::Failed, kLong);
        QCOMPARE(player->lastFailure(), PlayerFailure::AddressRefused);
    }
    for (const QString &a : opened)
        QVERIFY2(a.startsWith(QLatin1String("http://127.0.0.1:")), qPrintable(a));
}

void TestPlayerFaults::quickSwitchingLeavesOneStream()
{
    auto player = newPlayer();
    QTRY_COMPARE_WITH_TIMEOUT(m_server.activeStreams(), 0, kLong);
    for (int i = 0; i < 6; ++i) {
        player->controls().stop();
        player->setURL(url(QStringLiteral("/stream.mp3?case=switch%1").arg(i)));
        QTest::qWait(i * 40);
    }
    QTRY_COMPARE_WITH_TIMEOUT(player->state(), State::Playing, kLong);
    QTest::qWait(2000);
    QTRY_COMPARE_WITH_TIMEOUT(m_server.activeStreams(), 1, kLong);
    QVERIFY(m_server.requests().last().endsWith(QLatin1String("case=switch5")));
    QCOMPARE(player->URL(), url(QStringLiteral("/stream.mp3?case=switch5")));
}

void TestPlayerFaults::playsUnderAChineseLocale()
{
    // Most of our users run a zh_CN.UTF-8 desktop, whose numeric locale the
    // engine would refuse to start under.
    QTemporaryDir locales;
    QProcess localedef;
    localedef.start(QStringLiteral("localedef"), {QStringLiteral("-i"), QStringLiteral("zh_CN"), QStringLiteral("-f"),
                                                  QStringLiteral("UTF-8"), locales.filePath(QStringLiteral("zh_CN.UTF-8"))});
    QVERIFY(localedef.waitForFinished(120000));
    qputenv("LOCPATH", QFile::encodeName(locales.path()));
    QVERIFY(std::setlocale(LC_ALL, "zh_CN.UTF-8"));
    QCOMPARE(QByteArray(std::setlocale(LC_NUMERIC, nullptr)), QByteArray("zh_CN.UTF-8"));
    auto player = newPlayer();
    player->setURL(url(QStringLiteral("/stream.mp3?case=locale")));
    QTRY_COMPARE_WITH_TIMEOUT(player->state(), State::Playing, kLong);
    player.reset();
    std::setlocale(LC_ALL, "C");
    qunsetenv("LOCPATH");
}

void TestPlayerFaults::warmUpHandsOverTheFirstStation()
{
    // A station chosen while the engine is still being made plays once it is
    // ready; a player that goes during the warm-up leaves nothing behind.
    auto player = newPlayer();
    player->session()->warmUp();
    player->setURL(url(QStringLiteral("/stream.mp3?case=warm")));
    QCOMPARE(player->state(), State::Connecting);
    QTRY_COMPARE_WITH_TIMEOUT(player->state(), State::Playing, kLong);
    QCOMPARE(m_server.requests().filter(QStringLiteral("case=warm")).size(), 1);
    for (int i = 0; i < 3; ++i) {
        auto gone = newPlayer();
        gone->session()->warmUp();
        QTest::qWait(i * 30);
    }

    // Without a warm-up the first address starts one: the engine is never
    // made on the caller's thread, which would hold it for 100-200 ms.
    auto *engine = new MpvEngine(MpvEngine::Options{.audioOutput = false});
    PlayerSession cold(engine);
    cold.setUrl(url(QStringLiteral("/stream.mp3?case=cold")));
    QVERIFY(!engine->ensureStarted());  // still being made elsewhere
    QTRY_COMPARE_WITH_TIMEOUT(cold.state(), PlayerSession::State::Playing, kLong);
}

void TestPlayerFaults::titlesFollowTheSongs()
{
    // The title changes while the stream plays, as each song starts. Sound
    // goes to the engine's own silent output, which keeps real time (the
    // capture device takes audio as fast as it comes, and the engine then
    // runs ahead of the stream's clock).
    PlayerSession session(new MpvEngine(MpvEngine::Options{.audioOutput = false}));
    QStringList titles;
    connect(&session, &PlayerSession::titleChanged, this, [&](const QString &t) {
        if (!t.isEmpty())
            titles << t;
    });
    session.setUrl(url(QStringLiteral("/stream.mp3?case=songs&every=2&title=") + QStringLiteral("一|二|三").toUtf8().toPercentEncoding()));
    QTRY_VERIFY_WITH_TIMEOUT(titles.contains(QStringLiteral("三")), kLong);
    QCOMPARE(titles, QStringList({QStringLiteral("一"), QStringLiteral("二"), QStringLiteral("三")}));
    QCOMPARE(session.state(), PlayerSession::State::Playing);
}

void TestPlayerFaults::destroyingWhileConnectingReturns()
{
    auto player = newPlayer();
    player->setURL(url(QStringLiteral("/stall?case=destroy")));
    QTRY_VERIFY_WITH_TIMEOUT(m_server.requests().contains(QStringLiteral("/stall?case=destroy")), kLong);
    QCOMPARE(player->state(), State::Connecting);
    QElapsedTimer timer;
    timer.start();
    player.reset();  // must not wait for the server; a hang fails the test by its time limit
    qInfo("player destroyed mid-connect in %lld ms", qint64(timer.elapsed()));
}

QTEST_MAIN(TestPlayerFaults)
#include "tst_player_faults.moc"
