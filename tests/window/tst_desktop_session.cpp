// SPDX-License-Identifier: GPL-3.0-or-later
// The program as a user meets it: the built executable copied into a folder
// of its own with a station list, started on a desktop with a window manager
// and a notification area, and driven with xdotool. Streams come from a real
// Icecast server, pages from a real HTTP server, both on 127.0.0.1; what the
// program plays is captured through ALSA and checked for the tone.
#include "desktop_program.h"
#include "page_server.h"
#include "player_test_support.h"
#include "wall_clock_wait.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace kelvaro::testing;

namespace {

constexpr int kToneHz = 660;
const QColor kPageBlock(0x20, 0xa0, 0x40);

bool sameColour(QRgb p, const QColor &c, int tolerance = 8)
{
    return qAbs(qRed(p) - c.red()) <= tolerance && qAbs(qGreen(p) - c.green()) <= tolerance
        && qAbs(qBlue(p) - c.blue()) <= tolerance;
}

// Dark pixels (text) in a rectangle of a screenshot.
int inkIn(const QImage &shot, const QRect &rect)
{
    int ink = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            ink += qGray(shot.pixel(x, y)) < 110;
    return ink;
}

// The program's state when its page does not show, for the failure message:
// whether it still runs, its window, its children (the page helper) and the
// window tree under its window.
QString pageState(DesktopProgram &program)
{
    QStringList lines;
    const QString ended = QStringLiteral("ended (%1 %2)")
                              .arg(program.process().exitStatus() == QProcess::CrashExit
                                       ? QStringLiteral("crashed, signal")
                                       : QStringLiteral("exit code"))
                              .arg(program.process().exitCode());
    lines << QStringLiteral("program %1, window %2, minimised %3, in the tray %4")
                 .arg(program.running() ? QStringLiteral("running") : ended,
                      program.mapped() ? QStringLiteral("mapped") : QStringLiteral("unmapped"),
                      program.minimised() ? QStringLiteral("yes") : QStringLiteral("no"),
                      program.inTray() ? QStringLiteral("yes") : QStringLiteral("no"));
    lines << QStringLiteral("children: ") + runTool(QStringLiteral("pgrep"), {"-a", "-P", QString::number(program.pid())}).out;
    lines << run(QStringLiteral("xwininfo"), {"-tree", "-id", program.window()});
    return lines.join(QLatin1Char('\n'));
}

}  // namespace

class TestDesktopSession : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void listeningFromTheTreeAndTheTray();
    void unusableListsStillGiveAWindow_data();
    void unusableListsStillGiveAWindow();
    void installedProgramFindsItsListThroughTheLink();

private:
    QString prepareFolder(const QByteArray &list, bool writeList = true);

    AlsaCapture capture_;
    IcecastServer icecast_;
    PageServer pages_;
    QTemporaryDir work_;
    int folders_ = 0;
};

void TestDesktopSession::initTestCase()
{
    QVERIFY(capture_.setUp());
    QVERIFY(icecast_.start());
    QVERIFY(icecast_.startMp3Source(QStringLiteral("/tone.mp3"), kToneHz));
    QVERIFY(icecast_.waitForMount(QStringLiteral("/tone.mp3")));

    QVERIFY(pages_.start());
}

QString TestDesktopSession::prepareFolder(const QByteArray &list, bool writeList)
{
    return copyProgram(work_.filePath(QStringLiteral("app%1").arg(++folders_)), writeList ? &list : nullptr);
}

void TestDesktopSession::listeningFromTheTreeAndTheTray()
{
    const QByteArray list = "本地;;mms://127.0.0.1;;\r\n"
                            "本地电台;;" + icecast_.url(QStringLiteral("/tone.mp3")).toUtf8() + ";;\r\n"
                            "本地网页;;" + pages_.url(QStringLiteral("block.html#1")).toUtf8() + ";;\r\n";
    DesktopProgram program;
    QVERIFY(program.start(prepareFolder(list)));
    QCOMPARE(program.clientSize(), QSize(254, 287));
    QCOMPARE(program.caption(), QStringLiteral("Kelvaro"));

    const QString shots = QStringLiteral(KELVARO_BINARY_DIR "/test-shots");
    QDir().mkpath(shots);
    QImage shot = program.screenshot(shots + QStringLiteral("/started.png"));
    QCOMPARE(shot.size(), QSize(254, 287));
    QVERIFY(inkIn(shot, {8, 8, 100, 17}) > 20);        // the About label
    QVERIFY(inkIn(shot, {16, 34, 80, 14}) > 10);       // the first category
    QVERIFY(inkIn(shot, {16, 120, 190, 60}) == 0);     // nothing else in the tree
    for (int x : {224, 248})                           // the two lines
        QVERIFY(inkIn(shot, {x, 40, 1, 150}) > 140);
    QVERIFY(inkIn(shot, {230, 48, 20, 145}) > 50);     // the hint column between them
    QVERIFY(inkIn(shot, {0, 210, 254, 70}) > 20);      // the player's controls

    // Expand the category with a click, choose the station with the keyboard.
    program.click(40, 42);
    QTest::qWait(300);
    program.keys({"Down", "Return"});
    WALL_TRY_COMPARE(program.caption(), QStringLiteral("正在收听本地电台"), 10000);
    QVERIFY(capture_.waitForAudio(capture_.size(), AlsaCapture::kRate * AlsaCapture::kBytesPerFrame, 60000));
    QVERIFY(qAbs(capture_.recentFrequency() - kToneHz) < 15);

    // Minimise: into the tray, and the stream plays on.
    xdotool({"windowminimize", program.window()});
    WALL_TRY_VERIFY(!program.mapped(), 10000);
    WALL_TRY_VERIFY(!program.trayIcon().isEmpty(), 10000);
    const qint64 before = capture_.size();
    QVERIFY(capture_.waitForAudio(before, 2 * AlsaCapture::kRate * AlsaCapture::kBytesPerFrame, 30000));
    QVERIFY(qAbs(capture_.recentFrequency() - kToneHz) < 15);

    // A click on the icon brings the window back, normal, and the icon goes.
    const QString icon = program.trayIcon();
    xdotool({"mousemove", "--window", icon, "4", "4"});
    xdotool({"click", "1"});
    WALL_TRY_VERIFY(program.mapped(), 10000);
    QVERIFY(!program.minimised());
    WALL_TRY_VERIFY(program.trayIcon().isEmpty(), 10000);

    // The page station shows its framed region where the player was.
    program.click(60, 42 + 18);
    xdotool({"windowactivate", "--sync", program.window()});
    program.keys({"Down", "Return"});
    WALL_TRY_COMPARE(program.caption(), QStringLiteral("正在收听本地网页"), 10000);
    WALL_TRY_VERIFY2(sameColour(program.screenshot().pixel(127, 246), kPageBlock),
                     (program.screenshot(shots + QStringLiteral("/page-missing.png")), pageState(program)),
                     60000);
    shot = program.screenshot(shots + QStringLiteral("/page.png"));
    for (const QPoint p : {QPoint(1, 209), QPoint(252, 209), QPoint(1, 283), QPoint(252, 283)})
        QVERIFY2(sameColour(shot.pixel(p), kPageBlock), qPrintable(QStringLiteral("%1,%2").arg(p.x()).arg(p.y())));

    // Closing ends the program at once, with success.
    xdotool({"windowactivate", "--sync", program.window()});
    QElapsedTimer closing;
    closing.start();
    xdotool({"key", "alt+F4"});
    QVERIFY(program.process().waitForFinished(5000));
    qInfo("closed in %lld ms", closing.elapsed());
    QCOMPARE(program.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.process().exitCode(), 0);
}

void TestDesktopSession::unusableListsStillGiveAWindow_data()
{
    QTest::addColumn<bool>("present");
    QTest::addColumn<QByteArray>("list");
    QTest::newRow("no list") << false << QByteArray();
    QTest::newRow("empty list") << true << QByteArray();
    QByteArray garbage(256 * 1024, '\0');
    quint32 x = 12345;
    for (char &c : garbage) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 24);
    }
    QTest::newRow("binary garbage") << true << garbage;
}

void TestDesktopSession::unusableListsStillGiveAWindow()
{
    QFETCH(bool, present);
    QFETCH(QByteArray, list);
    DesktopProgram program;
    QVERIFY(program.start(prepareFolder(list, present)));
    QTest::qWait(500);
    QVERIFY(program.running());
    const QImage shot = program.screenshot();
    QCOMPARE(shot.size(), QSize(254, 287));
    QCOMPARE(inkIn(shot, {16, 34, 190, 160}), 0);  // an empty tree
    xdotool({"windowactivate", "--sync", program.window()});
    xdotool({"key", "alt+F4"});
    QVERIFY(program.process().waitForFinished(5000));
    QCOMPARE(program.process().exitCode(), 0);
}

void TestDesktopSession::installedProgramFindsItsListThroughTheLink()
{
    const QString prefix = work_.filePath(QStringLiteral("prefix"));
    QProcess install;
    install.start(QStringLiteral("cmake"), {"--install", KELVARO_BINARY_DIR, "--prefix", prefix});
    QVERIFY(install.waitForFinished(60000));
    QCOMPARE(install.exitCode(), 0);
    const QString link = prefix + QStringLiteral("/bin/kelvaro");
    QVERIFY(QFileInfo(link).isSymLink());
    QVERIFY(QFile::exists(prefix + QStringLiteral("/lib/kelvaro/电台.ini")));
    QVERIFY(QFile::exists(prefix + QStringLiteral("/lib/kelvaro/kelvaro_webengine.so")));
    DesktopProgram program;
    QVERIFY(program.start(link));
    QVERIFY(inkIn(program.screenshot(), {16, 34, 80, 14}) > 10);  // the sample's first category
    program.process().terminate();
    QVERIFY(program.process().waitForFinished(5000));
}

QTEST_GUILESS_MAIN(TestDesktopSession)
#include "tst_desktop_session.moc"
