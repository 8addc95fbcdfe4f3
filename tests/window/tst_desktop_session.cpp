// The program as a user meets it: the built executable copied into a folder
// of its own with a station list, started on a desktop with a window manager
// and a notification area, and driven with xdotool. Streams come from a real
// Icecast server, pages from a real HTTP server, both on 127.0.0.1; what the
// program plays is captured through ALSA and checked for the tone.
#include "player_test_support.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace kelvaro::testing;

namespace {

constexpr int kToneHz = 660;
const QColor kPageBlock(0x20, 0xa0, 0x40);

// Runs a desktop tool and returns what it printed; empty on failure.
QString run(const QString &program, const QStringList &args, int timeoutMs = 10000)
{
    QProcess process;
    process.start(program, args);
    if (!process.waitForFinished(timeoutMs) || process.exitCode() != 0)
        return {};
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

QString xdotool(const QStringList &args)
{
    return run(QStringLiteral("xdotool"), args);
}

bool sameColour(QRgb p, const QColor &c, int tolerance = 8)
{
    return qAbs(qRed(p) - c.red()) <= tolerance && qAbs(qGreen(p) - c.green()) <= tolerance
        && qAbs(qBlue(p) - c.blue()) <= tolerance;
}

// The program started from a folder, and what xdotool sees of it.
class Program {
public:
    ~Program() { process_.stop(); }

    bool start(const QString &executable)
    {
        if (!process_.start(executable, {}))
            return false;
        const QString pid = QString::number(process_.pid());
        for (int i = 0; i < 200 && window_.isEmpty(); ++i) {
            window_ = xdotool({"search", "--onlyvisible", "--pid", pid, "--name", "Kelvaro"})
                          .section(QLatin1Char('\n'), 0, 0);
            if (window_.isEmpty())
                QTest::qWait(100);
        }
        return !window_.isEmpty();
    }

    QString window() const { return window_; }
    qint64 pid() const { return process_.pid(); }
    bool running() const { return process_.isRunning(); }
    QProcess *process() const { return process_.process(); }

    QString caption() const { return xdotool({"getwindowname", window_}); }
    bool mapped() const
    {
        return run(QStringLiteral("xwininfo"), {"-id", window_}).contains(QStringLiteral("IsViewable"));
    }
    bool minimised() const
    {
        return run(QStringLiteral("xprop"), {"-id", window_, "_NET_WM_STATE"})
            .contains(QStringLiteral("_NET_WM_STATE_HIDDEN"));
    }
    QSize clientSize() const
    {
        const QString info = run(QStringLiteral("xwininfo"), {"-id", window_});
        static const QRegularExpression w(QStringLiteral("Width: (\\d+)")), h(QStringLiteral("Height: (\\d+)"));
        return {w.match(info).captured(1).toInt(), h.match(info).captured(1).toInt()};
    }
    // The program's other visible window: its icon in the notification area,
    // embedded in the tray and no bigger than the tray is high.
    QString trayIcon() const
    {
        const QStringList windows =
            xdotool({"search", "--onlyvisible", "--pid", QString::number(pid()), "--name", "Kelvaro"})
                .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (const QString &w : windows) {
            if (w == window_)
                continue;
            const QString info = run(QStringLiteral("xwininfo"), {"-id", w});
            static const QRegularExpression height(QStringLiteral("Height: (\\d+)"));
            if (info.contains(QStringLiteral("IsViewable")) && height.match(info).captured(1).toInt() <= 32)
                return w;
        }
        return {};
    }
    QImage screenshot(const QString &saveAs = {}) const
    {
        QTemporaryDir dir;
        const QString path = saveAs.isEmpty() ? dir.filePath(QStringLiteral("shot.png")) : saveAs;
        run(QStringLiteral("import"), {"-window", window_, path});
        return QImage(path).convertToFormat(QImage::Format_RGB32);
    }
    void click(int x, int y) const
    {
        xdotool({"mousemove", "--window", window_, QString::number(x), QString::number(y)});
        xdotool({"click", "1"});
    }
    void keys(const QStringList &names) const
    {
        QStringList args{"key", "--window", window_};
        xdotool(args + names);
    }

private:
    ChildProcess process_;
    QString window_;
};

// Dark pixels (text) in a rectangle of a screenshot.
int inkIn(const QImage &shot, const QRect &rect)
{
    int ink = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            ink += qGray(shot.pixel(x, y)) < 110;
    return ink;
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
    ChildProcess pageServer_;
    QString pageBase_;
    QTemporaryDir work_;
    int folders_ = 0;
};

void TestDesktopSession::initTestCase()
{
    QVERIFY(capture_.setUp());
    QVERIFY(icecast_.start());
    QVERIFY(icecast_.startMp3Source(QStringLiteral("/tone.mp3"), kToneHz));
    QVERIFY(icecast_.waitForMount(QStringLiteral("/tone.mp3")));

    QVERIFY(pageServer_.start(QStringLiteral("python3"),
                              {QStringLiteral(KELVARO_SOURCE_DIR "/tests/web/pages/serve.py"),
                               QStringLiteral(KELVARO_SOURCE_DIR "/tests/web/pages")}));
    QTRY_VERIFY_WITH_TIMEOUT(!pageServer_.output().isEmpty() || !pageBase_.isEmpty(), 20000);
    pageBase_ = QStringLiteral("http://127.0.0.1:%1/").arg(QString::fromUtf8(pageServer_.output()).trimmed());
}

QString TestDesktopSession::prepareFolder(const QByteArray &list, bool writeList)
{
    const QString folder = work_.filePath(QStringLiteral("app%1").arg(++folders_));
    QDir().mkpath(folder);
    const QString binary = QStringLiteral(KELVARO_BINARY_DIR);
    QFile::copy(binary + QStringLiteral("/kelvaro"), folder + QStringLiteral("/kelvaro"));
    QFile::copy(binary + QStringLiteral("/kelvaro_webengine.so"), folder + QStringLiteral("/kelvaro_webengine.so"));
    if (writeList) {
        QFile file(folder + QStringLiteral("/电台.ini"));
        if (file.open(QIODevice::WriteOnly))
            file.write(list);
    }
    return folder + QStringLiteral("/kelvaro");
}

void TestDesktopSession::listeningFromTheTreeAndTheTray()
{
    const QByteArray list = "本地;;mms://127.0.0.1;;\r\n"
                            "本地电台;;" + icecast_.url(QStringLiteral("/tone.mp3")).toUtf8() + ";;\r\n"
                            "本地网页;;" + pageBase_.toUtf8() + "block.html#1;;\r\n";
    Program program;
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
    QTRY_COMPARE_WITH_TIMEOUT(program.caption(), QStringLiteral("正在收听本地电台"), 10000);
    QVERIFY(capture_.waitForAudio(capture_.size(), AlsaCapture::kRate * AlsaCapture::kBytesPerFrame, 60000));
    QVERIFY(qAbs(capture_.recentFrequency() - kToneHz) < 15);

    // Minimise: into the tray, and the stream plays on.
    xdotool({"windowminimize", program.window()});
    QTRY_VERIFY_WITH_TIMEOUT(!program.mapped(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!program.trayIcon().isEmpty(), 10000);
    const qint64 before = capture_.size();
    QVERIFY(capture_.waitForAudio(before, 2 * AlsaCapture::kRate * AlsaCapture::kBytesPerFrame, 30000));
    QVERIFY(qAbs(capture_.recentFrequency() - kToneHz) < 15);

    // A click on the icon brings the window back, normal, and the icon goes.
    const QString icon = program.trayIcon();
    xdotool({"mousemove", "--window", icon, "4", "4"});
    xdotool({"click", "1"});
    QTRY_VERIFY_WITH_TIMEOUT(program.mapped(), 10000);
    QVERIFY(!program.minimised());
    QTRY_VERIFY_WITH_TIMEOUT(program.trayIcon().isEmpty(), 10000);

    // The page station shows its framed region where the player was.
    program.click(60, 42 + 18);
    xdotool({"windowactivate", "--sync", program.window()});
    program.keys({"Down", "Return"});
    QTRY_COMPARE_WITH_TIMEOUT(program.caption(), QStringLiteral("正在收听本地网页"), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(sameColour(program.screenshot().pixel(127, 246), kPageBlock), 60000);
    shot = program.screenshot(shots + QStringLiteral("/page.png"));
    for (const QPoint p : {QPoint(1, 209), QPoint(252, 209), QPoint(1, 283), QPoint(252, 283)})
        QVERIFY2(sameColour(shot.pixel(p), kPageBlock), qPrintable(QStringLiteral("%1,%2").arg(p.x()).arg(p.y())));

    // Closing ends the program at once, with success.
    xdotool({"windowactivate", "--sync", program.window()});
    QElapsedTimer closing;
    closing.start();
    xdotool({"key", "alt+F4"});
    QVERIFY(program.process()->waitForFinished(5000));
    qInfo("closed in %lld ms", closing.elapsed());
    QCOMPARE(program.process()->exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.process()->exitCode(), 0);
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
    Program program;
    QVERIFY(program.start(prepareFolder(list, present)));
    QTest::qWait(500);
    QVERIFY(program.running());
    const QImage shot = program.screenshot();
    QCOMPARE(shot.size(), QSize(254, 287));
    QCOMPARE(inkIn(shot, {16, 34, 190, 160}), 0);  // an empty tree
    xdotool({"windowactivate", "--sync", program.window()});
    xdotool({"key", "alt+F4"});
    QVERIFY(program.process()->waitForFinished(5000));
    QCOMPARE(program.process()->exitCode(), 0);
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
    Program program;
    QVERIFY(program.start(link));
    QVERIFY(inkIn(program.screenshot(), {16, 34, 80, 14}) > 10);  // the sample's first category
    program.process()->terminate();
    QVERIFY(program.process()->waitForFinished(5000));
}

QTEST_GUILESS_MAIN(TestDesktopSession)
#include "tst_desktop_session.moc"
