// SPDX-License-Identifier: GPL-3.0-or-later
// The player on a real Icecast server on 127.0.0.1, fed by ffmpeg (MP3 tone)
// and by a chained Ogg Vorbis source; the audio goes to ALSA's file plugin
// and the test checks the tone it holds.

#include "media_player.h"
#include "player_test_support.h"
#include "status_texts.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

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
}  // namespace

class TestPlayerIcecast : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void playsLiveMountWithTitles();
    void chainedOggPlaysAcrossTitleChanges();
    void cleanupTestCase();

private:
    testing::AlsaCapture m_capture;
    testing::IcecastServer m_icecast;
    testing::ChildProcess m_oggSource;
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
    QVERIFY2(m_icecast.waitForMount(QStringLiteral("/tone.mp3")), qPrintable(m_icecast.errorLog()));
    QVERIFY2(m_icecast.waitForMount(QStringLiteral("/chain.ogg")), qPrintable(m_icecast.errorLog()));
}

void TestPlayerIcecast::cleanupTestCase()
{
    m_oggSource.stop();
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

    // Pause and play on the live mount: a fresh connection, playing again.
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

QTEST_MAIN(TestPlayerIcecast)
#include "tst_player_icecast.moc"
