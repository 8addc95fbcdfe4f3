// SPDX-License-Identifier: GPL-3.0-or-later
// The player's own rules, without any server: which addresses may reach the
// engine, how .asx files are read, the reconnect pauses, how engine messages
// become status texts, the stored defaults, and the compact UI.

#include "address_check.h"
#include "asx_reader.h"
#include "media_player.h"
#include "mini_controls.h"
#include "mpv_engine.h"
#include "player_test_support.h"
#include "reconnect_policy.h"
#include "status_texts.h"
#include "time_shift_disk.h"
#include "wall_clock_wait.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QToolButton>

using namespace kelvaro;

class TestPlayerBasics : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void addressCheck_data();
    void addressCheck();
    void asxEntries();
    void asxDetection();
    void reconnectDelaysGrowThenLevel();
    void engineMessagesGiveCauses_data();
    void engineMessagesGiveCauses();
    void defaultsAndClamping();
    void refusedAddressesNeverReachTheEngine_data();
    void refusedAddressesNeverReachTheEngine();
    void closedPortFailsAndStaysStopped();
    void miniUiFitsAndNoneHidesIt();
    void contextMenuFollowsTheSetting();
    void whatIsKeptStaysWithinItsBound();

private:
    testing::AlsaCapture m_capture;
};

void TestPlayerBasics::initTestCase()
{
    QVERIFY(m_capture.setUp());
}

void TestPlayerBasics::addressCheck_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("allowed");
    QTest::newRow("http") << "http://127.0.0.1:8000/live" << true;
    QTest::newRow("https upper case") << "HTTPS://radio.example/live.aac" << true;
    QTest::newRow("mms") << "mms://media.example/radio" << true;
    QTest::newRow("mmsh") << "mmsh://media.example/radio" << true;
    QTest::newRow("mmst") << "mmst://media.example/radio" << true;
    QTest::newRow("rtsp") << "rtsp://media.example:554/a" << true;
    QTest::newRow("rtsps") << "rtsps://media.example/a" << true;
    QTest::newRow("rtmp") << "rtmp://media.example/live/a" << true;
    QTest::newRow("rtmps") << "rtmps://media.example/live/a" << true;
    QTest::newRow("surrounding spaces") << "  http://a.example/x  " << true;
    QTest::newRow("chinese path") << "http://a.example/电台.mp3" << true;
    QTest::newRow("file") << "file:///etc/passwd" << false;
    QTest::newRow("bare path") << "/etc/passwd" << false;
    QTest::newRow("windows path") << "C:\\music\\a.mp3" << false;
    QTest::newRow("fd") << "fd://0" << false;
    QTest::newRow("av") << "av://lavfi:sine" << false;
    QTest::newRow("lavf") << "lavf://file:/etc/passwd" << false;
    QTest::newRow("memory") << "memory://abc" << false;
    QTest::newRow("edl") << "edl://%10%/etc/passwd" << false;
    QTest::newRow("data") << "data:audio/mp3;base64,AAAA" << false;
    QTest::newRow("ytdl") << "ytdl://x" << false;
    QTest::newRow("http without slashes") << "http:/etc/passwd" << false;
    QTest::newRow("no host") << "http:///etc/passwd" << false;
    QTest::newRow("control char") << "http://a.example/x\ny" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("scheme only") << "://x" << false;
}

void TestPlayerBasics::addressCheck()
{
    QFETCH(QString, address);
    QFETCH(bool, allowed);
    QCOMPARE(isAllowedStreamAddress(address), allowed);
}

void TestPlayerBasics::asxEntries()
{
    // Mixed case, unquoted and single-quoted attributes, an entity, a comment
    // hiding a reference, a relative entry, EntryRef.
    const QByteArray asx =
        "<ASX version=\"3.0\"><Title>x & y</Title>\n"
        "<!-- <ref href=\"http://commented.example/\"/> -->\n"
        "<Entry><REF HREF='mms://a.example/live?x=1&amp;y=2' /></Entry>\n"
        "<entry><Ref href=http://b.example/b.mp3></entry>\n"
        "<Entry><ref href=\"c.mp3\"/></Entry>\n"
        "<EntryRef href=\"http://d.example/more.asx\"/>\n"
        "<entry><ref/></entry></ASX>";
    const QStringList entries = parseAsxEntries(asx, QStringLiteral("http://base.example/dir/list.asx"));
    QCOMPARE(entries, (QStringList{QStringLiteral("mms://a.example/live?x=1&y=2"),
                                   QStringLiteral("http://b.example/b.mp3"),
                                   QStringLiteral("http://base.example/dir/c.mp3"),
                                   QStringLiteral("http://d.example/more.asx")}));

    // A GBK-encoded file with a Chinese path decodes to the right characters.
    const QByteArray gbk = "<asx><entry><ref href=\"http://a.example/\xb5\xe7\xcc\xa8.mp3\"/></entry></asx>";
    QCOMPARE(parseAsxEntries(gbk), QStringList{QStringLiteral("http://a.example/电台.mp3")});

    // Truncated or broken input yields what can be read, and never crashes.
    QCOMPARE(parseAsxEntries("<asx><ref href=\"http://a.example/x\"/><ref href=\"http://b"),
             (QStringList{QStringLiteral("http://a.example/x")}));
    QVERIFY(parseAsxEntries("<<<<ref ref= =\"\"<").isEmpty());
    QVERIFY(parseAsxEntries(QByteArray(100000, '<')).isEmpty());
    // Entries past the size cap are not read.
    QByteArray big(kMaxAsxBytes, ' ');
    big += "<ref href=\"http://late.example/\"/>";
    QVERIFY(parseAsxEntries(big).isEmpty());
}

void TestPlayerBasics::asxDetection()
{
    QVERIFY(isAsxAddress(QStringLiteral("http://a.example/list.ASX")));
    QVERIFY(isAsxAddress(QStringLiteral("http://a.example/list.wax?x=1")));
    QVERIFY(!isAsxAddress(QStringLiteral("http://a.example/live.mp3")));
    QVERIFY(!isAsxAddress(QStringLiteral("http://a.example/asx")));
}

void TestPlayerBasics::reconnectDelaysGrowThenLevel()
{
    ReconnectPolicy policy;
    QList<int> seconds;
    for (int i = 0; i < 7; ++i)
        seconds << int(std::chrono::duration_cast<std::chrono::seconds>(policy.nextDelay()).count());
    QCOMPARE(seconds, (QList<int>{1, 2, 4, 8, 15, 15, 15}));
    QCOMPARE(policy.attempt(), 7);
    policy.reset();
    QCOMPARE(int(policy.nextDelay().count()), 1000);
}

void TestPlayerBasics::engineMessagesGiveCauses_data()
{
    QTest::addColumn<QByteArray>("prefix");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("failure");
    QTest::newRow("refused") << QByteArray("ffmpeg")
                             << QByteArray("tcp: Connection to tcp://127.0.0.1:1 failed: Connection refused")
                             << int(PlayerFailure::CannotConnect);
    QTest::newRow("404") << QByteArray("ffmpeg") << QByteArray("http: HTTP error 404 Not Found")
                         << int(PlayerFailure::NotFound);
    QTest::newRow("500") << QByteArray("ffmpeg") << QByteArray("http: HTTP error 500 Internal Server Error")
                         << int(PlayerFailure::ServerError);
    QTest::newRow("403") << QByteArray("ffmpeg") << QByteArray("http: HTTP error 403 Forbidden")
                         << int(PlayerFailure::AccessDenied);
    QTest::newRow("dns") << QByteArray("ffmpeg")
                         << QByteArray("tcp: Failed to resolve hostname x: Name or service not known")
                         << int(PlayerFailure::HostNotFound);
    QTest::newRow("format") << QByteArray("cplayer") << QByteArray("Failed to recognize file format.")
                            << int(PlayerFailure::Unsupported);
    QTest::newRow("timeout") << QByteArray("ffmpeg")
                             << QByteArray("tcp: Connection to tcp://h:80 failed: Connection timed out")
                             << int(PlayerFailure::TimedOut);
    QTest::newRow("unsafe playlist") << QByteArray("cplayer")
                                     << QByteArray("Refusing to load potentially unsafe URL from a playlist.")
                                     << int(PlayerFailure::AddressRefused);
    QTest::newRow("unrelated") << QByteArray("cplayer") << QByteArray("Audio: 2 ch, 44100 Hz")
                               << int(PlayerFailure::None);
    // Addresses are not causes: ports and paths that merely contain codes
    // or words must not be read as them.
    QTest::newRow("port 40404") << QByteArray("stream") << QByteArray("Failed to open http://127.0.0.1:40404/x.")
                                << int(PlayerFailure::None);
    QTest::newRow("path 403 timeout") << QByteArray("stream")
                                      << QByteArray("Failed to open http://h/403/timeout/not found.")
                                      << int(PlayerFailure::None);
    QTest::newRow("404 in opening line") << QByteArray("ffmpeg") << QByteArray("Opening http://h:404/HTTP error 404")
                                         << int(PlayerFailure::None);
}

void TestPlayerBasics::engineMessagesGiveCauses()
{
    QFETCH(QByteArray, prefix);
    QFETCH(QByteArray, line);
    QFETCH(int, failure);
    QCOMPARE(int(failureFromEngineLog({{prefix, line}})), failure);
    if (failure != int(PlayerFailure::None))
        QVERIFY(!statustext::failure(PlayerFailure(failure)).isEmpty());
}

void TestPlayerBasics::defaultsAndClamping()
{
    MediaPlayer player;
    QCOMPARE(player.URL(), QString());
    QVERIFY(player.autoStart());
    QCOMPARE(player.settings().volume(), 50);
    QVERIFY(!player.settings().mute());
    QCOMPARE(player.uiMode(), QStringLiteral("mini"));
    QVERIFY(player.enableContextMenu());
    QVERIFY(!player.enableErrorDialogs());
    QCOMPARE(player.state(), MediaPlayer::State::Idle);
    QCOMPARE(player.statusText(), statustext::ready());

    auto *slider = player.findChild<QSlider *>(QStringLiteral("volume"));
    QVERIFY(slider);
    player.settings().setVolume(250);
    QCOMPARE(player.settings().volume(), 100);
    QCOMPARE(slider->value(), 100);
    player.settings().setVolume(-3);
    QCOMPARE(player.settings().volume(), 0);
    slider->setValue(37);  // the user moves the slider
    QCOMPARE(player.settings().volume(), 37);
    player.settings().setMute(true);
    QVERIFY(player.settings().mute());
    QVERIFY(player.findChild<QToolButton *>(QStringLiteral("mute"))->isChecked());

    // Stop when nothing plays changes nothing; play without an address neither.
    player.controls().stop();
    player.controls().play();
    player.controls().pause();
    QCOMPARE(player.state(), MediaPlayer::State::Idle);
}

void TestPlayerBasics::refusedAddressesNeverReachTheEngine_data()
{
    QTest::addColumn<QString>("address");
    QTest::newRow("file") << "file:///etc/passwd";
    QTest::newRow("path") << "/dev/zero";
    QTest::newRow("av") << "av://lavfi:sine=440";
    QTest::newRow("edl") << "edl://%10%/etc/passwd";
    QTest::newRow("memory") << "memory://x";
    QTest::newRow("fd") << "fd://0";
    QTest::newRow("lavf") << "lavf://file:/etc/passwd";
}

void TestPlayerBasics::refusedAddressesNeverReachTheEngine()
{
    QFETCH(QString, address);
    MediaPlayer player;
    QSignalSpy opened(&player, &MediaPlayer::addressOpened);
    QSignalSpy refused(&player, &MediaPlayer::addressRefused);
    player.setURL(address);
    QCOMPARE(player.state(), MediaPlayer::State::Failed);
    QCOMPARE(player.lastFailure(), PlayerFailure::AddressRefused);
    QCOMPARE(player.statusText(), statustext::failure(PlayerFailure::AddressRefused));
    QCOMPARE(refused.count(), 1);
    // Play again: still refused, still nothing for the engine.
    player.controls().play();
    QTest::qWait(300);
    QCOMPARE(opened.count(), 0);
    QCOMPARE(player.state(), MediaPlayer::State::Failed);
}

void TestPlayerBasics::closedPortFailsAndStaysStopped()
{
    MediaPlayer player;
    QSignalSpy opened(&player, &MediaPlayer::addressOpened);
    QStringList statuses;
    connect(&player, &MediaPlayer::statusChanged, this, [&](const QString &t) { statuses << t; });
    const QString url = QStringLiteral("http://127.0.0.1:%1/live").arg(testing::freePort());
    player.setURL(url);
    QCOMPARE(player.statusText(), statustext::connecting());
    WALL_TRY_COMPARE(player.state(), MediaPlayer::State::Failed, 60000);
    QCOMPARE(player.lastFailure(), PlayerFailure::CannotConnect);
    QCOMPARE(opened.count(), 1);
    QCOMPARE(opened.first().first().toString(), url);
    // A stream that never connected is not retried.
    QTest::qWait(2500);
    QCOMPARE(player.state(), MediaPlayer::State::Failed);
    QCOMPARE(player.reconnectAttempt(), 0);
    QVERIFY(!statuses.join('|').contains(statustext::reconnectingNow(1)));
}

void TestPlayerBasics::miniUiFitsAndNoneHidesIt()
{
    // As in the main window: the 256-wide player in a 254-wide window.
    QWidget window;
    window.resize(254, 300);
    auto *player = new MediaPlayer(&window);
    player->setGeometry(0, 208, 256, 77);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *mini = player->findChild<MiniControls *>();
    QVERIFY(mini);
    QVERIFY2(mini->minimumSizeHint().height() <= 77,
             qPrintable(QString::number(mini->minimumSizeHint().height())));
    // Every control sits inside the 254 x 77 that can be seen.
    const QList<QWidget *> parts = {mini->statusLabel(), mini->playPauseButton(), mini->stopButton(),
                                    mini->muteButton(), mini->volumeSlider(), mini->timeLabel(),
                                    mini->titleLabel()};
    for (QWidget *w : parts) {
        QVERIFY(w->isVisible());
        const QRect r(w->mapTo(player, QPoint(0, 0)), w->size());
        QVERIFY2(QRect(0, 0, 254, 77).contains(r), qPrintable(w->objectName()));
    }
    // The time label's text fits its label at the longest it gets.
    mini->setElapsed(35999);
    QVERIFY(mini->timeLabel()->fontMetrics().horizontalAdvance(mini->timeLabel()->text())
            <= mini->timeLabel()->contentsRect().width());
    // A long title is cut to the width on its own line, the full text stays
    // in the tooltip, and the status line stays short.
    player->setURL({});
    const QString longTitle(80, QChar(0x4E2D));
    mini->setTitle(longTitle);
    QVERIFY(!mini->titleLabel()->text().isEmpty());
    QVERIFY(mini->titleLabel()->text().size() < 80);
    QCOMPARE(mini->titleLabel()->toolTip(), longTitle);
    QVERIFY(!mini->statusLabel()->text().contains(QChar(0x4E2D)));

    player->setUiMode(QStringLiteral("none"));
    QCOMPARE(player->uiMode(), QStringLiteral("none"));
    QVERIFY(!mini->isVisible());
    player->setUiMode(QStringLiteral("bogus"));
    QCOMPARE(player->uiMode(), QStringLiteral("none"));
    player->setUiMode(QStringLiteral("mini"));
    QVERIFY(mini->isVisible());
}

void TestPlayerBasics::contextMenuFollowsTheSetting()
{
    MediaPlayer player;
    player.resize(256, 77);
    player.show();
    QVERIFY(QTest::qWaitForWindowExposed(&player));
    player.setURL(QStringLiteral("http://127.0.0.1:%1/x").arg(testing::freePort()));
    {
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(10, 10), player.mapToGlobal(QPoint(10, 10)));
        QApplication::sendEvent(&player, &event);
    }
    auto *menu = player.findChild<QMenu *>(QStringLiteral("playerContextMenu"));
    QVERIFY(menu);
    QTRY_VERIFY(menu->isVisible());
    QStringList names;
    for (QAction *a : menu->actions())
        if (!a->isSeparator())
            names << a->objectName();
    QCOMPARE(names, (QStringList{QStringLiteral("playPauseAction"), QStringLiteral("stopAction"),
                                 QStringLiteral("muteAction"), QStringLiteral("copyAddressAction")}));
    menu->findChild<QAction *>(QStringLiteral("muteAction"));
    for (QAction *a : menu->actions())
        if (a->objectName() == QLatin1String("muteAction"))
            a->trigger();
    QVERIFY(player.settings().mute());
    menu->close();

    player.setEnableContextMenu(false);
    {
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(10, 10), player.mapToGlobal(QPoint(10, 10)));
        QApplication::sendEvent(&player, &event);
    }
    QTest::qWait(200);
    QVERIFY(!menu->isVisible());
}

QTEST_MAIN(TestPlayerBasics)
void TestPlayerBasics::whatIsKeptStaysWithinItsBound()
{
    // Three hours of a 4 kB/s stream, written as the engine writes it (one
    // file, its name deleted, held open): the last two hours stay playable,
    // and the disk space of most of the first hour is given back while the
    // file keeps its size.
    TimeShiftDisk disk;
    QVERIFY(QDir().mkpath(disk.folder()));
    QFile file(disk.folder() + QStringLiteral("/stream"));
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(QFile::remove(file.fileName()));
    const QByteArray second(4000, 'x');
    for (int i = 0; i < 3 * 3600; ++i)
        QVERIFY(file.write(second) == second.size());
    QVERIFY(file.flush());
    const qint64 before = disk.bytesOnDisk();
    QVERIFY(before >= file.size());

    QCOMPARE(disk.keep(file.size(), 100, 100, 100 + 3 * 3600), 100.0 + 3600);
    WALL_TRY_VERIFY(disk.bytesOnDisk() < before - 10'000'000, 10000);
    const qint64 onDisk = disk.bytesOnDisk();
    QVERIFY2(onDisk > file.size() * 2 / 3, qPrintable(QString::number(onDisk)));  // the two hours are there
    QCOMPARE(file.size(), qint64(3 * 3600 * 4000));
}

#include "tst_player_basics.moc"
