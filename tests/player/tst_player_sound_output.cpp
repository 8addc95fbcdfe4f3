// SPDX-License-Identifier: GPL-3.0-or-later
// The player and the sound server: a PulseAudio of the test's own whose one
// null sink is the only sound output there is (ALSA has no device here), a
// stream server on 127.0.0.1, and what happens when the output goes away.

#include "mpv_engine.h"
#include "player_session.h"
#include "player_test_support.h"

#include <QFile>
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
    session.setUrl(m_server.url(QStringLiteral("/stream.mp3")));
    QTRY_COMPARE_WITH_TIMEOUT(session.state(), State::Playing, kLong);
    QTRY_COMPARE_WITH_TIMEOUT(m_pulse.playingStreams(), 1, kLong);

    QVERIFY(m_pulse.removeSinks());
    QTRY_COMPARE_WITH_TIMEOUT(m_pulse.playingStreams(), 0, kLong);
    QTest::qWait(3000);  // a crash in the fall-through came within 0.3 s
    QVERIFY(session.state() != State::Playing);

    // With an output again, the same engine plays into it.
    QVERIFY(m_pulse.addSink());
    session.stop();
    session.play();
    QTRY_COMPARE_WITH_TIMEOUT(session.state(), State::Playing, kLong);
    QTRY_COMPARE_WITH_TIMEOUT(m_pulse.playingStreams(), 1, kLong);
    session.stop();
    m_pulse.stop();
}

QTEST_GUILESS_MAIN(TestPlayerSoundOutput)
#include "tst_player_sound_output.moc"
