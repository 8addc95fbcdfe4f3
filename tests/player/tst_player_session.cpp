// SPDX-License-Identifier: GPL-3.0-or-later
// The playback session's decisions against a scripted engine: what follows
// a finish, a drop or a failure, the reconnect pauses and what cancels them,
// pause on live streams and files, sleep and stalled audio, stale events, and
// destruction mid-connect. No server, no sound, no waiting: the clocks are
// stepped by hand.

#include "player_session.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

using namespace kelvaro;
using namespace std::chrono_literals;
using State = PlayerSession::State;

namespace {

// Records what the session asks; the test plays the engine's part.
class ScriptedEngine : public PlaybackEngine {
public:
    QStringList loads;
    int stops = 0;
    QList<bool> pauses;
    void load(const QString &address) override { loads << address; }
    void stop() override { ++stops; }
    void setPaused(bool paused) override { pauses << paused; }
    void setVolume(int) override {}
    void setMute(bool) override {}
    void requestPlaybackTime() override {}
    QStringList seeks;
    void seekTo(double seconds) override { seeks << QStringLiteral("to %1").arg(seconds); }
    void seekBy(double seconds) override { seeks << QStringLiteral("by %1").arg(seconds); }
    int soundRestarts = 0;
    void restartSoundOutput() override { ++soundRestarts; }
    int soundChecks = 0;
    void checkSoundOutput() override { ++soundChecks; }

    void plays(bool sized)
    {
        emit loaded(sized);
        emit playing();
    }
};

// A session whose reconnect pauses are recorded instead of waited for.
class SteppedSession : public PlayerSession {
public:
    explicit SteppedSession(ScriptedEngine *engine) : PlayerSession(engine), engine(*engine) {}
    ScriptedEngine &engine;
    QList<qint64> pauses;  // ms, in the order asked for
    bool waiting = false;

    bool pauseIsOver()
    {
        if (!waiting)
            return false;
        waiting = false;
        reconnectDue();
        return true;
    }

protected:
    void startReconnectWait(std::chrono::milliseconds delay) override
    {
        pauses << delay.count();
        waiting = true;
    }
    void cancelReconnectWait() override { waiting = false; }

public:
    // The settle clock, stepped the same way.
    bool settling = false;
    bool settleTimeIsOver()
    {
        if (!settling)
            return false;
        settling = false;
        settleDue();
        return true;
    }

protected:
    void startSettleWait(std::chrono::milliseconds delay) override
    {
        settleDelays << delay.count();
        settling = true;
    }
    void cancelSettleWait() override { settling = false; }

public:
    QList<qint64> settleDelays;

    // The watch's looks and its clock, stepped the same way.
    std::chrono::milliseconds clock{100s};
    bool watching = false;
    bool look()
    {
        if (!watching)
            return false;
        watchDue();
        return true;
    }

protected:
    void startWatch(std::chrono::milliseconds) override { watching = true; }
    void cancelWatch() override { watching = false; }
    std::chrono::milliseconds clockNow() const override { return clock; }
};

const QString kStream = QStringLiteral("http://127.0.0.1:8000/live");

}  // namespace

class TestPlayerSession : public QObject {
    Q_OBJECT
private slots:
    void endingsDecideWhatFollows();
    void reconnectPausesGrowAndFilesGiveUp();
    void dropsRightAfterPlayingKeepThePauseGrowing();
    void withoutSoundOutputTheStationIsLeftAlone();
    void afterASleepOrAStallPlaybackStartsAgain();
    void stopAndNewAddressCancelReconnecting();
    void pauseKeepsWhatTheEngineKeeps();
    void eventsOutsideALoadChangeNothing();
    void titlesAndRefusedAddresses();
    void destroyedWhileResolvingAPlaylist();
};

void TestPlayerSession::endingsDecideWhatFollows()
{
    // A file played to its end is finished: stopped, never fetched again.
    {
        SteppedSession s(new ScriptedEngine);
        s.setUrl(kStream);
        s.engine.plays(true);
        QCOMPARE(s.state(), State::Playing);
        emit s.engine.ended(EndOutcome::Finished, PlayerFailure::None);
        QCOMPARE(s.state(), State::Stopped);
        QVERIFY(!s.waiting);
        QCOMPARE(s.engine.loads.size(), 1);
    }
    // A live stream that went away is fetched again after a pause, and
    // counts as recovered once it plays.
    {
        SteppedSession s(new ScriptedEngine);
        s.setUrl(kStream);
        s.engine.plays(false);
        emit s.engine.ended(EndOutcome::Dropped, PlayerFailure::None);
        QCOMPARE(s.state(), State::Reconnecting);
        QCOMPARE(s.statusText(), statustext::reconnecting(1, 1));
        QVERIFY(s.pauseIsOver());
        QCOMPARE(s.state(), State::Connecting);
        QCOMPARE(s.statusText(), statustext::reconnectingNow(1));
        QCOMPARE(s.engine.loads, QStringList({kStream, kStream}));
        s.engine.plays(false);
        QCOMPARE(s.state(), State::Playing);
        QCOMPARE(s.reconnectAttempt(), 0);
    }
    // A stream that never played fails at once with the engine's cause.
    {
        SteppedSession s(new ScriptedEngine);
        QSignalSpy failed(&s, &PlayerSession::failed);
        s.setUrl(kStream);
        emit s.engine.ended(EndOutcome::Failed, PlayerFailure::NotFound);
        QCOMPARE(s.state(), State::Failed);
        QCOMPARE(s.lastFailure(), PlayerFailure::NotFound);
        QCOMPARE(s.statusText(), statustext::failure(PlayerFailure::NotFound));
        QCOMPARE(failed.size(), 1);
        QVERIFY(!s.waiting);
    }
}

void TestPlayerSession::reconnectPausesGrowAndFilesGiveUp()
{
    // A live stream that stays away: 1, 2, 4, 8, then 15 s for as long as it
    // is the session's address; its failures while reconnecting never end it.
    {
        SteppedSession s(new ScriptedEngine);
        s.setUrl(kStream);
        s.engine.plays(false);
        emit s.engine.ended(EndOutcome::Dropped, PlayerFailure::None);
        for (int i = 0; i < 6; ++i) {
            QVERIFY(s.pauseIsOver());
            emit s.engine.ended(EndOutcome::Failed, PlayerFailure::CannotConnect);
            QCOMPARE(s.state(), State::Reconnecting);
        }
        QCOMPARE(s.pauses, (QList<qint64>{1000, 2000, 4000, 8000, 15000, 15000, 15000}));
    }
    // A file that keeps breaking off is not fetched every second: its
    // pauses grow though it plays in between, and it gives up.
    {
        SteppedSession s(new ScriptedEngine);
        s.setUrl(kStream);
        for (int i = 0; i <= PlayerSession::kMaxFileRetries; ++i) {
            s.engine.plays(true);
            emit s.engine.ended(EndOutcome::Dropped, PlayerFailure::None);
            s.pauseIsOver();
        }
        QCOMPARE(s.pauses, (QList<qint64>{1000, 2000, 4000, 8000}));
        QCOMPARE(s.state(), State::Failed);
        QCOMPARE(s.lastFailure(), PlayerFailure::Interrupted);
        QCOMPARE(s.engine.loads.size(), PlayerSession::kMaxFileRetries + 1);
    }
}

void TestPlayerSession::dropsRightAfterPlayingKeepThePauseGrowing()
{
    // A live stream that plays and drops again at once (a sound output that
    // fails as soon as audio starts, a server that cuts off): each attempt
    // counts as the first for the listener, but the pause keeps growing.
    SteppedSession s(new ScriptedEngine);
    s.setUrl(kStream);
    for (int i = 0; i < 7; ++i) {
        s.engine.plays(false);
        QCOMPARE(s.state(), State::Playing);
        QCOMPARE(s.reconnectAttempt(), 0);
        QVERIFY(s.settling);
        emit s.engine.ended(EndOutcome::Dropped, PlayerFailure::None);
        QCOMPARE(s.state(), State::Reconnecting);
        QVERIFY(!s.settling);
        QCOMPARE(s.statusText(), statustext::reconnecting(1, int(s.pauses.last() / 1000)));
        QVERIFY(s.pauseIsOver());
    }
    QCOMPARE(s.pauses, (QList<qint64>{1000, 2000, 4000, 8000, 15000, 15000, 15000}));
    QCOMPARE(s.engine.loads.size(), 8);

    // Buffering breaks the settling; only ten seconds without a break count.
    s.engine.plays(false);
    emit s.engine.buffering(30);
    QCOMPARE(s.state(), State::Buffering);
    QVERIFY(!s.settling);
    emit s.engine.playing();
    QVERIFY(s.settling);
    QCOMPARE(s.settleDelays.last(), qint64(10000));
    QVERIFY(s.settleTimeIsOver());
    // Settled: the next drop starts again from one second.
    emit s.engine.ended(EndOutcome::Dropped, PlayerFailure::None);
    QCOMPARE(s.pauses.last(), qint64(1000));
    QVERIFY(s.pauseIsOver());
    s.engine.plays(false);
    emit s.engine.ended(EndOutcome::Dropped, PlayerFailure::None);
    QCOMPARE(s.pauses.last(), qint64(2000));

    // The listener's own play starts afresh.
    s.stop();
    s.play();
    s.engine.plays(false);
    emit s.engine.ended(EndOutcome::Dropped, PlayerFailure::None);
    QCOMPARE(s.pauses.last(), qint64(1000));

    // A file never settles: its retries count towards the limit.
    SteppedSession f(new ScriptedEngine);
    f.setUrl(kStream);
    f.engine.plays(true);
    QVERIFY(!f.settling);
}

void TestPlayerSession::withoutSoundOutputTheStationIsLeftAlone()
{
    SteppedSession s(new ScriptedEngine);
    QSignalSpy failed(&s, &PlayerSession::failed);
    s.setUrl(kStream);
    s.engine.plays(false);
    emit s.engine.titleChanged("song");
    emit s.engine.ended(EndOutcome::NoSoundOutput, PlayerFailure::None);
    QCOMPARE(s.state(), State::NoSoundDevice);
    QCOMPARE(s.statusText(), statustext::noSoundDevice());
    QCOMPARE(s.title(), QString());
    QVERIFY(s.isRunning());
    QVERIFY(failed.isEmpty());
    // The engine looks for an output every two seconds; the station is not
    // opened again meanwhile, however long it takes.
    const int stops = s.engine.stops;
    for (int i = 0; i < 10; ++i) {
        QVERIFY(s.pauseIsOver());
        QCOMPARE(s.engine.soundChecks, i + 1);
        emit s.engine.soundOutputChecked(false);
        QCOMPARE(s.state(), State::NoSoundDevice);
    }
    QCOMPARE(s.pauses, QList<qint64>(11, 2000));
    QCOMPARE(s.engine.loads.size(), 1);
    QCOMPARE(s.engine.stops, stops);
    // An output appears: the station is opened at once and plays.
    QVERIFY(s.pauseIsOver());
    emit s.engine.soundOutputChecked(true);
    QCOMPARE(s.state(), State::Connecting);
    QCOMPARE(s.statusText(), statustext::connecting());
    QCOMPARE(s.engine.loads.size(), 2);
    s.engine.plays(false);
    QCOMPARE(s.state(), State::Playing);
    // A late answer changes nothing.
    emit s.engine.soundOutputChecked(true);
    QCOMPARE(s.engine.loads.size(), 2);

    // The output fails before any audio: the same wait, not a failure.
    emit s.engine.ended(EndOutcome::NoSoundOutput, PlayerFailure::None);
    QCOMPARE(s.state(), State::NoSoundDevice);
    // Pause and stop end the wait; a check that answers afterwards is ignored.
    QVERIFY(s.pauseIsOver());
    s.togglePlayPause();
    QCOMPARE(s.state(), State::Paused);
    QVERIFY(!s.waiting);
    emit s.engine.soundOutputChecked(true);
    QCOMPARE(s.state(), State::Paused);
    QCOMPARE(s.engine.loads.size(), 2);
    s.play();
    emit s.engine.ended(EndOutcome::NoSoundOutput, PlayerFailure::None);
    s.stop();
    QCOMPARE(s.state(), State::Stopped);
    QVERIFY(!s.waiting);
}

void TestPlayerSession::afterASleepOrAStallPlaybackStartsAgain()
{
    // A live stream after a minute asleep: the first look sees the gap and
    // opens it afresh at once, on a new sound output; the desktop's word of
    // the same wake-up, coming once it plays again, changes nothing more.
    {
        SteppedSession s(new ScriptedEngine);
        s.setUrl(kStream);
        s.engine.plays(false);
        s.clock += 2s;
        QVERIFY(s.look());
        QCOMPARE(s.state(), State::Playing);
        s.clock += 62s;
        QVERIFY(s.look());
        QCOMPARE(s.engine.loads, QStringList({kStream, kStream}));
        QCOMPARE(s.engine.soundRestarts, 1);
        QCOMPARE(s.state(), State::Connecting);
        QCOMPARE(s.statusText(), statustext::reconnectingNow(1));
        QVERIFY(!s.waiting);
        s.engine.plays(false);
        QCOMPARE(s.state(), State::Playing);
        QCOMPARE(s.reconnectAttempt(), 0);
        s.clock += 1s;
        s.resumedFromSleep();
        QCOMPARE(s.engine.loads.size(), 2);
        // It was no drop: a drop now still waits one second.
        emit s.engine.ended(EndOutcome::Dropped, PlayerFailure::None);
        QCOMPARE(s.pauses, QList<qint64>{1000});
        // Woken while a reconnect waits: the attempt is made now.
        s.clock += 30s;
        s.resumedFromSleep();
        QVERIFY(!s.waiting);
        QCOMPARE(s.state(), State::Connecting);
        QCOMPARE(s.engine.loads.size(), 3);
    }
    // Said to play while the playback time stands still (a sound server
    // that stopped taking audio): opened afresh within a few seconds. Time
    // that moves on keeps it playing, and a look held up by a busy event
    // loop measures afresh instead of judging.
    {
        SteppedSession s(new ScriptedEngine);
        s.setUrl(kStream);
        s.engine.plays(false);
        for (double t : {2.0, 4.0, 6.0}) {
            s.clock += 2s;
            QVERIFY(s.look());
            emit s.engine.playbackTime(t);
        }
        s.clock += 5s;
        QVERIFY(s.look());
        QCOMPARE(s.state(), State::Playing);
        emit s.engine.playbackTime(6.3);
        s.clock += 2s;
        QVERIFY(s.look());
        QCOMPARE(s.statusText(), statustext::playing());
        emit s.engine.playbackTime(6.4);
        s.clock += 2s;
        QVERIFY(s.look());
        QCOMPARE(s.state(), State::Connecting);
        QCOMPARE(s.engine.loads.size(), 2);
        QCOMPARE(s.engine.soundRestarts, 1);
    }
    // A file plays on where it was, on a new sound output, and is said to
    // play once its time moves on again. Paused, a sleep changes nothing.
    {
        SteppedSession s(new ScriptedEngine);
        s.setUrl(kStream);
        s.engine.plays(true);
        emit s.engine.playbackTime(30.0);
        const int stops = s.engine.stops;
        s.clock += 62s;
        QVERIFY(s.look());
        QCOMPARE(s.engine.soundRestarts, 1);
        QCOMPARE(s.state(), State::Buffering);
        emit s.engine.playbackTime(30.2);
        QCOMPARE(s.state(), State::Buffering);
        emit s.engine.playbackTime(31.3);
        QCOMPARE(s.state(), State::Playing);
        QCOMPARE(s.engine.loads.size(), 1);
        QCOMPARE(s.engine.stops, stops);
        s.pause();
        QVERIFY(!s.watching);
        s.clock += 62s;
        s.resumedFromSleep();
        QCOMPARE(s.state(), State::Paused);
        QCOMPARE(s.engine.soundRestarts, 1);
    }
}

void TestPlayerSession::stopAndNewAddressCancelReconnecting()
{
    SteppedSession s(new ScriptedEngine);
    s.setUrl(kStream);
    s.engine.plays(false);
    emit s.engine.ended(EndOutcome::Dropped, PlayerFailure::None);
    QVERIFY(s.waiting);
    s.stop();
    QVERIFY(!s.waiting);
    QCOMPARE(s.state(), State::Stopped);
    QCOMPARE(s.statusText(), statustext::stopped());
    QCOMPARE(s.reconnectAttempt(), 0);

    s.play();
    s.engine.plays(false);
    emit s.engine.ended(EndOutcome::Dropped, PlayerFailure::None);
    QVERIFY(s.waiting);
    const QString other = QStringLiteral("http://127.0.0.1:8000/other");
    s.setUrl(other);
    QVERIFY(!s.waiting);
    QCOMPARE(s.engine.loads.last(), other);
    QCOMPARE(s.state(), State::Connecting);
    QCOMPARE(s.statusText(), statustext::connecting());
}

void TestPlayerSession::pauseKeepsWhatTheEngineKeeps()
{
    // Live, where the engine keeps what arrives: pause keeps the connection,
    // jumps stay within what is kept, a sleep leaves it paused, and a drop
    // while paused lets the kept part play before a new connection at live,
    // whose status tells how much of the broadcast was skipped.
    {
        SteppedSession s(new ScriptedEngine);
        QSignalSpy shift(&s, &PlayerSession::timeShiftChanged);
        s.setUrl(kStream);
        s.engine.plays(false);
        emit s.engine.received(0, 10, false);
        emit s.engine.playbackTime(8.5);  // 1.5 s behind the newest: at live
        QVERIFY(s.canTimeShift());
        QCOMPARE(shift.count(), 1);
        const int stops = s.engine.stops;
        s.pause();
        QCOMPARE(s.engine.stops, stops);
        QCOMPARE(s.engine.pauses, QList<bool>{true});
        emit s.engine.received(0, 40, false);
        emit s.engine.playbackTime(8.5);
        QCOMPARE(int(s.behindLive()), 30);
        s.resumedFromSleep();
        QCOMPARE(s.state(), State::Paused);
        QVERIFY(s.jump(-100));
        QVERIFY(s.jump(5));
        QCOMPARE(s.engine.seeks, (QStringList{"to 0", "by 5"}));
        QCOMPARE(s.heardTime(), 5.0);

        emit s.engine.received(0, 45, true);  // the connection ended
        s.clock += 95s;
        s.play();
        QCOMPARE(s.state(), State::Playing);
        QCOMPARE(s.engine.loads.size(), 1);
        emit s.engine.ended(EndOutcome::Dropped, PlayerFailure::None);
        QCOMPARE(s.state(), State::Reconnecting);
        QVERIFY(!s.canTimeShift());
        QVERIFY(s.pauseIsOver());
        QCOMPARE(s.engine.loads.size(), 2);
        s.engine.plays(false);
        QCOMPARE(s.statusText(), QStringLiteral("正在播放（已跳过中断的 1:35）"));
        QCOMPARE(shift.count(), 2);
    }
    // Live, where nothing is kept: pause ends the connection, play opens a
    // new one.
    {
        SteppedSession s(new ScriptedEngine);
        s.setUrl(kStream);
        s.engine.plays(false);
        const int stops = s.engine.stops;
        s.togglePlayPause();
        QCOMPARE(s.state(), State::Paused);
        QCOMPARE(s.engine.stops, stops + 1);
        QVERIFY(s.engine.pauses.isEmpty());
        s.togglePlayPause();
        QCOMPARE(s.state(), State::Connecting);
        QCOMPARE(s.engine.loads.size(), 2);
    }
    // A file pauses where it is and resumes there.
    {
        SteppedSession s(new ScriptedEngine);
        s.setUrl(kStream);
        s.engine.plays(true);
        const int stops = s.engine.stops;
        s.pause();
        QCOMPARE(s.state(), State::Paused);
        s.play();
        QCOMPARE(s.state(), State::Playing);
        QCOMPARE(s.engine.stops, stops);
        QCOMPARE(s.engine.pauses.mid(s.engine.pauses.size() - 2), (QList<bool>{true, false}));
        QCOMPARE(s.engine.loads.size(), 1);
    }
    // Pausing while connecting also ends the attempt.
    {
        SteppedSession s(new ScriptedEngine);
        s.setUrl(kStream);
        s.pause();
        QCOMPARE(s.state(), State::Paused);
        emit s.engine.ended(EndOutcome::Failed, PlayerFailure::TimedOut);
        QCOMPARE(s.state(), State::Paused);
    }
}

void TestPlayerSession::eventsOutsideALoadChangeNothing()
{
    SteppedSession s(new ScriptedEngine);
    QSignalSpy states(&s, &PlayerSession::stateChanged);
    s.setUrl(kStream);
    s.stop();
    states.clear();
    s.engine.plays(false);
    emit s.engine.buffering(50);
    emit s.engine.ended(EndOutcome::Dropped, PlayerFailure::None);
    QCOMPARE(s.state(), State::Stopped);
    QVERIFY(states.isEmpty());
    QVERIFY(!s.waiting);

    // Quick switching: only the last address is playing, and the station
    // that plays is the last one chosen.
    for (int i = 0; i < 5; ++i)
        s.setUrl(kStream + QString::number(i));
    QCOMPARE(s.engine.loads.mid(s.engine.loads.size() - 5).last(), kStream + QStringLiteral("4"));
    s.engine.plays(false);
    QCOMPARE(s.state(), State::Playing);
    QCOMPARE(s.url(), kStream + QStringLiteral("4"));
    // Buffering after audio played, and back.
    emit s.engine.buffering(40);
    QCOMPARE(s.state(), State::Buffering);
    QCOMPARE(s.statusText(), statustext::buffering(40));
    emit s.engine.playing();
    QCOMPARE(s.state(), State::Playing);
}

void TestPlayerSession::titlesAndRefusedAddresses()
{
    SteppedSession s(new ScriptedEngine);
    s.setUrl(kStream);
    s.engine.plays(false);
    // GBK bytes as many Chinese stations send them.
    emit s.engine.titleChanged(QByteArray("\xd6\xd0\xce\xc4  news "));
    QCOMPARE(s.title(), QStringLiteral("中文 news"));
    QCOMPARE(s.statusText(), statustext::playing());
    // Control characters go, tabs and line breaks (also NEL and U+2028)
    // become spaces.
    emit s.engine.titleChanged(QByteArray("A\x01" "B\x1b[1mC\x7f\tD\r\nE\xc2\x9b" "F\xc2\x85G\xe2\x80\xa8H"));
    QCOMPARE(s.title(), QStringLiteral("AB[1mC D EF G H"));
    // A stray override or closer is dropped; a closed isolate stays.
    emit s.engine.titleChanged(QStringLiteral(u"\u202Cnews \u202Ereversed \u2067\u05E9\u05DC\u05D5\u05DD\u2069 x").toUtf8());
    QCOMPARE(s.title(), QStringLiteral(u"news reversed \u2067\u05E9\u05DC\u05D5\u05DD\u2069 x"));
    emit s.engine.titleChanged(QStringLiteral(u"\u2066a\u202Bb\u2069c\u202C").toUtf8());
    // Closers pair only with the innermost opener of their kind.
    QCOMPARE(s.title(), QStringLiteral(u"a\u202Bbc\u202C"));
    // UTF-8 with one broken byte stays UTF-8; bytes that are not Chinese
    // text (GBK's user-defined area) never become private-use characters.
    emit s.engine.titleChanged(QByteArray("Caf\xc3\xa9 \xe4\xb8\xad\xe6\x96\x87 \xff"));
    QCOMPARE(s.title(), QStringLiteral(u"Café 中文 \uFFFD"));
    emit s.engine.titleChanged(QByteArray("\xd6\xd0 \xaa\xa1\xfe\xfe"));
    QCOMPARE(s.title(), QStringLiteral(u"中 \uFFFD\uFFFD"));
    s.stop();
    QCOMPARE(s.title(), QString());

    QSignalSpy refused(&s, &PlayerSession::addressRefused);
    const int loads = s.engine.loads.size();
    s.setUrl(QStringLiteral("file:///etc/passwd"));
    QCOMPARE(s.state(), State::Failed);
    QCOMPARE(s.lastFailure(), PlayerFailure::AddressRefused);
    QCOMPARE(refused.size(), 1);
    QCOMPARE(s.engine.loads.size(), loads);
}

void TestPlayerSession::destroyedWhileResolvingAPlaylist()
{
    // A server that accepts and never answers holds the .asx download open.
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    auto *engine = new ScriptedEngine;
    QPointer<PlaybackEngine> watch(engine);
    auto session = std::make_unique<SteppedSession>(engine);
    session->setUrl(QStringLiteral("http://127.0.0.1:%1/list.asx").arg(silent.serverPort()));
    QTRY_VERIFY(silent.hasPendingConnections());
    QCOMPARE(session->state(), State::Connecting);
    QVERIFY(engine->loads.isEmpty());
    session.reset();
    QVERIFY(watch.isNull());
    QTest::qWait(50);  // a late reply would reach a deleted session here
}

QTEST_GUILESS_MAIN(TestPlayerSession)
#include "tst_player_session.moc"
