// SPDX-License-Identifier: GPL-3.0-or-later
// The player and the sound server: a PulseAudio of the test's own whose one
// null sink is the only sound output there is (ALSA has no device here), a
// stream server on 127.0.0.1, and what happens when the output goes away or
// stops taking audio.

#include "mpv_engine.h"
#include "player_session.h"
#include "player_test_support.h"
#include "status_texts.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace kelvaro;
using State = PlayerSession::State;

namespace {
constexpr int kLong = 90000;  // generous: the machine may be loaded
}

class TestPlayerSoundOutput : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void onlySinkUnloadedMidStream();
    void soundServerStartedLater();
    void frozenSoundServerIsNotPlaying();

private:
    QTemporaryDir m_dir;
    testing::FaultServer m_server;
    testing::PulseServer m_pulse;
};

void TestPlayerSoundOutput::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // ALSA without any device, no PipeWire: the test's PulseAudio is the
    // only way to a sound output.
    const QString alsaConf = m_dir.filePath(QStringLiteral("asound.conf"));
    QFile conf(alsaConf);
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.close();
    qputenv("ALSA_CONFIG_PATH", QFile::encodeName(alsaConf));
    qputenv("PIPEWIRE_REMOTE", "kelvaro-no-such-server");
    qputenv("PULSE_SERVER", m_pulse.address().toUtf8());
    const QString mp3 = m_dir.filePath(QStringLiteral("tone.mp3"));
    QVERIFY(testing::makeTone(mp3, 440, 20,
                              {QStringLiteral("-c:a"), QStringLiteral("libmp3lame"), QStringLiteral("-b:a"),
                               QStringLiteral("128k")}));
    QVERIFY(m_server.start(mp3));
}

void TestPlayerSoundOutput::onlySinkUnloadedMidStream()
{
    // The only headset unplugged, on a sound server that keeps no fallback:
    // the engine must not go looking for other outputs (one of which crashed
    // the program) and stays usable.
    QVERIFY(m_pulse.start());
    PlayerSession session(new MpvEngine);
    const QString path = QStringLiteral("/stream.mp3?case=unplugged");
    session.setUrl(m_server.url(path));
    QTRY_COMPARE_WITH_TIMEOUT(session.state(), State::Playing, kLong);
    QTRY_COMPARE_WITH_TIMEOUT(m_pulse.playingStreams(), 1, kLong);

    QVERIFY(m_pulse.removeSinks());
    // Said as it is, and the station is left alone while there is no output.
    QTRY_COMPARE_WITH_TIMEOUT(session.state(), State::NoSoundDevice, kLong);
    QCOMPARE(session.statusText(), statustext::noSoundDevice());
    QCOMPARE(m_pulse.playingStreams(), 0);
    QSignalSpy states(&session, &PlayerSession::stateChanged);
    QTest::qWait(3 * 2000 + 500);  // a crash in the fall-through came within 0.3 s; three looks for an output
    QVERIFY2(states.isEmpty(), qPrintable(QString::number(states.size())));
    QCOMPARE(m_server.requests().count(path), 1);

    // A sink is added: sound comes back by itself, on a new connection.
    QVERIFY(m_pulse.addSink());
    QTRY_COMPARE_WITH_TIMEOUT(session.state(), State::Playing, kLong);
    QTRY_COMPARE_WITH_TIMEOUT(m_pulse.playingStreams(), 1, kLong);
    QTRY_COMPARE_WITH_TIMEOUT(m_server.requests().count(path), 2, kLong);
    session.stop();
    m_pulse.stop();
}

void TestPlayerSoundOutput::soundServerStartedLater()
{
    // Started with no sound server at all: no output is ever open, so the
    // player never says it plays and does not keep reconnecting.
    PlayerSession session(new MpvEngine);
    QList<State> states;
    connect(&session, &PlayerSession::stateChanged, this, [&](State s) { states << s; });
    const QString path = QStringLiteral("/stream.mp3?case=no-server");
    session.setUrl(m_server.url(path));
    QTRY_COMPARE_WITH_TIMEOUT(session.state(), State::NoSoundDevice, kLong);
    QCOMPARE(session.statusText(), statustext::noSoundDevice());
    QTest::qWait(3 * 2000 + 500);
    QCOMPARE(session.state(), State::NoSoundDevice);
    QVERIFY(!states.contains(State::Playing));
    QVERIFY(!states.contains(State::Reconnecting));
    QCOMPARE(m_server.requests().count(path), 1);

    // The server starts: sound within a few seconds, by itself.
    QElapsedTimer clock;
    clock.start();
    QVERIFY(m_pulse.start());
    QTRY_COMPARE_WITH_TIMEOUT(session.state(), State::Playing, kLong);
    QTRY_COMPARE_WITH_TIMEOUT(m_pulse.playingStreams(), 1, kLong);
    qInfo("sound server start to playing into it: %lld ms", clock.elapsed());
    QTRY_COMPARE_WITH_TIMEOUT(m_server.requests().count(path), 2, kLong);
    session.stop();
    m_pulse.stop();
}

void TestPlayerSoundOutput::frozenSoundServerIsNotPlaying()
{
    // The sound server stops taking audio (its process stopped, as the whole
    // program is while the computer sleeps): the engine still says it plays,
    // but its time stands still. Within a few seconds the status no longer
    // says so; once the server runs again, the station plays again, opened
    // afresh.
    QVERIFY(m_pulse.start());
    PlayerSession session(new MpvEngine);
    const QString path = QStringLiteral("/stream.mp3?case=frozen");
    session.setUrl(m_server.url(path));
    QTRY_COMPARE_WITH_TIMEOUT(session.state(), State::Playing, kLong);
    QTRY_COMPARE_WITH_TIMEOUT(m_pulse.playingStreams(), 1, kLong);
    QVERIFY(m_pulse.freeze(true));
    QTRY_VERIFY_WITH_TIMEOUT(session.state() != State::Playing, kLong);
    QVERIFY(session.statusText() != statustext::playing());
    QVERIFY(m_pulse.freeze(false));
    QTRY_COMPARE_WITH_TIMEOUT(session.state(), State::Playing, kLong);
    QCOMPARE(m_server.requests().count(path), 2);
    QTRY_COMPARE_WITH_TIMEOUT(m_pulse.playingStreams(), 1, kLong);
    session.stop();
    m_pulse.stop();
}

QTEST_GUILESS_MAIN(TestPlayerSoundOutput)
#include "tst_player_sound_output.moc"
