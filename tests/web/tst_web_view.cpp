// SPDX-License-Identifier: GPL-3.0-or-later
// The web view with the real engine, inside Frame1 on a window laid out like
// the program's, under a real X server and with pages from a real HTTP server
// on 127.0.0.1. The player's area is a plain coloured widget here.

#include "station_choice.h"
#include "web_frame.h"
#include "page_server.h"
#include "wall_clock_wait.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QScopeGuard>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTemporaryDir>


using namespace kelvaro;

namespace {

const QColor kBlock(0x20, 0xa0, 0x40);
const QColor kGuarded(0x00, 0xc0, 0xc0);
const QColor kPlayer(0xff, 0xff, 0x00);
const QColor kWhite(0xff, 0xff, 0xff);
const QColor kKeyed(0xc0, 0x00, 0xc0);
const QColor kWaiting(0x00, 0x00, 0xff);
const QColor kClicked(0xff, 0x80, 0x00);
const QRect kPlayerArea(0, 208, 254, 77);   // the part of the window both areas share

struct FakePlayer : PlayerArea {
    QWidget *area = nullptr;
    QStringList urls;
    int stops = 0;
    void showPlayer(bool visible) override { area->setVisible(visible); }
    void stop() override { ++stops; }
    void setURL(const QString &a) override { urls << a; }
};

struct WindowCaption : Caption {
    QWidget *window = nullptr;
    void setCaption(const QString &t) override { window->setWindowTitle(t); }
};

bool sameColour(QRgb p, const QColor &c)
{
    return qAbs(qRed(p) - c.red()) <= 2 && qAbs(qGreen(p) - c.green()) <= 2
        && qAbs(qBlue(p) - c.blue()) <= 2;
}

// True when engine libraries are mapped into this process (Linux only; the
// check is skipped elsewhere).
bool webEngineMapped()
{
#ifdef Q_OS_LINUX
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly))
        return false;
    return maps.readAll().contains("libQt6WebEngineCore");
#else
    return false;
#endif
}

// True when engine libraries are mapped into the given process (Linux only;
// false elsewhere).
bool webEngineMappedIn(qint64 pid)
{
#ifdef Q_OS_LINUX
    QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
    if (!maps.open(QIODevice::ReadOnly))
        return false;
    return maps.readAll().contains("libQt6WebEngineCore");
#else
    Q_UNUSED(pid);
    return false;
#endif
}

// True while a process with this id exists (and is not a zombie) on Linux.
bool processAlive(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (pid <= 0 || !stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    const qsizetype close = text.lastIndexOf(')');
    return close > 0 && text.mid(close + 2, 1) != "Z";
}

// Runs xdotool against the test's X server; its standard output.
QByteArray xdotool(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral("xdotool"), args);
    if (!p.waitForFinished(10000))
        return {};
    return p.readAllStandardOutput();
}

// Top-level windows the X server shows (no window manager runs here).
int visibleTopLevelWindows()
{
    return int(xdotool({QStringLiteral("search"), QStringLiteral("--maxdepth"), QStringLiteral("1"),
                        QStringLiteral("--onlyvisible"), QStringLiteral("--name"), QString()})
                   .trimmed()
                   .split('\n')
                   .size());
}

} // namespace

class WebViewTest : public QObject
{
    Q_OBJECT

    testing::PageServer m_server;
    QString m_base;
    QWidget m_window;
    WebFrame m_frame;
    FakePlayer m_player;
    WindowCaption m_caption;
    std::unique_ptr<WebFramePageArea> m_page;
    QLineEdit *m_edit = nullptr;   // stands for the window's other controls

    void choose(const QString &key, const QString &text)
    {
        chooseStation(key, text, m_player, *m_page, m_caption);
    }

    // The shared player area as the X server shows it.
    QImage grabArea()
    {
        QScreen *screen = m_window.screen();
        return screen->grabWindow(m_window.winId(), kPlayerArea.x(), kPlayerArea.y(),
                                  kPlayerArea.width(), kPlayerArea.height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    }

    // Number of pixels of the area that are not the given colour.
    int pixelsOtherThan(const QColor &c)
    {
        const QImage img = grabArea();
        if (img.size() != kPlayerArea.size())
            return -1;
        int other = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (!sameColour(img.pixel(x, y), c))
                    ++other;
        return other;
    }

    // A real click through the X server at a point of the window.
    void clickAt(const QPoint &at)
    {
        xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"),
                 QString::number(m_window.winId()), QString::number(at.x()),
                 QString::number(at.y()), QStringLiteral("click"), QStringLiteral("1")});
    }

    QString pageUrl() const { return m_base + QStringLiteral("/block.html#1"); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_server.start());
        m_base = QStringLiteral("http://127.0.0.1:%1").arg(m_server.port());

        // The window's layout: client 254 x 287, the player and Frame1 sharing
        // the area from 208 down; Frame1 hidden before the first choice.
        m_window.setFixedSize(254, 287);
        m_window.move(0, 0);
        auto *playerArea = new QWidget(&m_window);
        playerArea->setGeometry(0, 208, 256, 77);
        QPalette pal = playerArea->palette();
        pal.setColor(QPalette::Window, kPlayer);
        playerArea->setPalette(pal);
        playerArea->setAutoFillBackground(true);
        m_player.area = playerArea;
        m_caption.window = &m_window;
        m_frame = createWebFrame(&m_window);
        m_page = std::make_unique<WebFramePageArea>(m_frame);
        m_frame.frame->hide();
        m_edit = new QLineEdit(&m_window);
        m_edit->setGeometry(10, 10, 120, 24);
        m_window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&m_window));
    }

    void cleanupTestCase()
    {
        m_server.stop();
    }

    void allowedAddresses_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("allowed");
        QTest::newRow("http page with marker") << QStringLiteral("http://127.0.0.1/a.html#1") << true;
        QTest::newRow("https, upper-case scheme") << QStringLiteral("HTTPS://Example.com/p") << true;
        QTest::newRow("non-ASCII path and space")
            << QStringLiteral("http://例子.cn/电台 页.html#1") << true;
        QTest::newRow("blank") << QStringLiteral("about:blank") << true;
        QTest::newRow("other about page") << QStringLiteral("about:version") << false;
        QTest::newRow("file") << QStringLiteral("file:///etc/passwd") << false;
        QTest::newRow("javascript") << QStringLiteral("javascript:alert(1)") << false;
        QTest::newRow("javascript, mixed case") << QStringLiteral("JavaScript:alert(1)") << false;
        QTest::newRow("data") << QStringLiteral("data:text/html,x") << false;
        QTest::newRow("view-source") << QStringLiteral("view-source:http://a.example/") << false;
        QTest::newRow("bare path") << QStringLiteral("/tmp/a.html#1") << false;
        QTest::newRow("windows path") << QStringLiteral("C:\\pages\\a.html#1") << false;
        QTest::newRow("stream scheme") << QStringLiteral("mms://a.example/live") << false;
        QTest::newRow("http without host") << QStringLiteral("http:a.html#1") << false;
        QTest::newRow("empty") << QString() << false;
    }
    void allowedAddresses()
    {
        QFETCH(QString, address);
        QFETCH(bool, allowed);
        QCOMPARE(WebView::isAllowedAddress(address), allowed);
    }

    void frameGeometry()
    {
        QCOMPARE(m_frame.frame->title(), QStringLiteral("Frame1"));
        QCOMPARE(m_frame.frame->geometry(), QRect(0, 208, 272, 77));
        QCOMPARE(m_frame.view->parentWidget(), m_frame.frame);
        QCOMPARE(m_frame.view->geometry(), QRect(-944, -13, 1610, 1700));
    }

    void noEngineBeforeTheFirstPage()
    {
        choose(QStringLiteral("mms://127.0.0.1:1/none"), QStringLiteral("流"));
        m_frame.view->Navigate(QStringLiteral("about:blank"));
        QCOMPARE(m_player.urls, QStringList{QStringLiteral("mms://127.0.0.1:1/none")});
        QVERIFY(m_player.area->isVisible());
        QVERIFY(!m_frame.frame->isVisible());
        WALL_TRY_COMPARE(pixelsOtherThan(kPlayer), 0, 10000);
        QVERIFY(!m_frame.view->engineCreated());
        QVERIFY(!webEngineMapped());
    }

    void refusedAddressesShowNothing_data()
    {
        QTest::addColumn<QString>("key");
        const QString file = QStringLiteral("file://" KELVARO_SOURCE_DIR "/tests/web/pages/block.html#1");
        QTest::newRow("file") << file;
        QTest::newRow("FILE upper case") << QStringLiteral("FILE://" KELVARO_SOURCE_DIR "/tests/web/pages/block.html#1");
        QTest::newRow("bare path") << QStringLiteral(KELVARO_SOURCE_DIR "/tests/web/pages/block.html#1");
        QTest::newRow("javascript")
            << QStringLiteral("javascript:document.body.style.background='#20a040';//html#1");
        QTest::newRow("data")
            << QStringLiteral("data:text/html,<body style='background:#20a040'>x</body><!--html#1-->");
        QTest::newRow("ftp") << QStringLiteral("ftp://127.0.0.1/block.html#1");
        QTest::newRow("http without host") << QStringLiteral("http:///block.html#1");
    }

    // Before and after the engine exists, a refused address leaves the frame
    // blank; before, it does not create the engine either.
    void refusedAddressesShowNothing()
    {
        QFETCH(QString, key);
        const bool hadEngine = m_frame.view->engineCreated();
        choose(key, QStringLiteral("坏地址"));
        QCOMPARE(m_window.windowTitle(), QStringLiteral("正在收听坏地址"));
        QVERIFY(m_frame.frame->isVisible());
        QVERIFY(!m_player.area->isVisible());
        QCOMPARE(m_frame.view->engineCreated(), hadEngine);
        if (hadEngine)
            QCOMPARE(m_frame.view->currentAddress(), QStringLiteral("about:blank"));
        else
            QVERIFY(!webEngineMapped());
        WALL_TRY_COMPARE(pixelsOtherThan(kWhite), 0, 20000);
        // Give a wrongly started load the time to paint before looking again.
        QTest::qWait(1500);
        QCOMPARE(pixelsOtherThan(kWhite), 0);
    }

    void pageShowsExactlyTheFramedRegion()
    {
        QSignalSpy loaded(m_frame.view, &WebView::loadFinished);
        choose(pageUrl(), QStringLiteral("网页台"));
        QVERIFY(m_frame.view->engineCreated());
        // The engine runs in the helper program, not in this process.
        QVERIFY(m_frame.view->helperPid() > 0);
        QVERIFY(!webEngineMapped());
        QCOMPARE(m_window.windowTitle(), QStringLiteral("正在收听网页台"));
        QVERIFY(m_frame.frame->isVisible());
        QVERIFY(!m_player.area->isVisible());
        QCOMPARE(m_frame.view->currentAddress(), pageUrl());
        WALL_TRY_VERIFY(!loaded.isEmpty() && loaded.last().at(0).toBool(), 60000);
        WALL_TRY_COMPARE(pixelsOtherThan(kBlock), 0, 30000);
        QVERIFY(webEngineMappedIn(m_frame.view->helperPid()));
        QVERIFY(!webEngineMapped());
    }

    void refusedAddressBlanksAShownPage()
    {
        m_frame.view->Navigate(QStringLiteral("javascript:document.body.style.background='red'"));
        QCOMPARE(m_frame.view->currentAddress(), QStringLiteral("about:blank"));
        WALL_TRY_COMPARE(pixelsOtherThan(kWhite), 0, 20000);
        choose(pageUrl(), QStringLiteral("网页台"));
        WALL_TRY_COMPARE(pixelsOtherThan(kBlock), 0, 30000);
    }

    void streamAfterPageHidesTheFrameAndReleasesTheRenderer()
    {
        m_frame.view->setDiscardDelay(std::chrono::milliseconds(300));
        QVERIFY(!m_frame.view->isDiscarded());
        WALL_TRY_VERIFY(m_frame.view->rendererPid() > 0, 10000);
        const qint64 helper = m_frame.view->helperPid();
        const qint64 renderer = m_frame.view->rendererPid();
        QVERIFY(processAlive(helper));
        QVERIFY(processAlive(renderer));
        // The helper ends when asked, not by being killed.
        QTest::failOnWarning(QRegularExpression(QStringLiteral("helper did not end")));
        choose(QStringLiteral("http://127.0.0.1:1/stream"), QStringLiteral("流二"));
        QVERIFY(!m_frame.frame->isVisible());
        QVERIFY(m_player.area->isVisible());
        QCOMPARE(m_player.urls.last(), QStringLiteral("http://127.0.0.1:1/stream"));
        QCOMPARE(m_frame.view->currentAddress(), QStringLiteral("about:blank"));
        WALL_TRY_COMPARE(pixelsOtherThan(kPlayer), 0, 10000);
        WALL_TRY_VERIFY(m_frame.view->isDiscarded(), 15000);
        WALL_TRY_COMPARE(m_frame.view->rendererPid(), qint64(0), 15000);
        // Released: the helper and the engine's processes are gone, and the
        // program holds no engine of its own.
        QCOMPARE(m_frame.view->helperPid(), qint64(0));
        WALL_TRY_VERIFY(!processAlive(helper), 10000);
        WALL_TRY_VERIFY(!processAlive(renderer), 10000);
        QVERIFY(!webEngineMapped());
    }

    void pageAfterReleaseComesBack()
    {
        QVERIFY(m_frame.view->isDiscarded());
        choose(pageUrl(), QStringLiteral("网页台"));
        QVERIFY(!m_frame.view->isDiscarded());
        WALL_TRY_COMPARE(pixelsOtherThan(kBlock), 0, 30000);
        // Shown again: the release timer does not run while the frame is shown,
        // nor while the whole window is away (in the notification area), where
        // the page may be the station playing.
        QTest::qWait(1000);
        QVERIFY(!m_frame.view->isDiscarded());
        m_window.hide();
        QTest::qWait(1500);
        QVERIFY(!m_frame.view->isDiscarded());
        m_window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&m_window));
        QVERIFY(!m_frame.view->isDiscarded());
        WALL_TRY_COMPARE(pixelsOtherThan(kBlock), 0, 30000);
        m_frame.view->setDiscardDelay(WebView::kDefaultDiscardDelay);
    }

    // Station pages are often players: a page may start sound without a
    // click, and choosing a stream afterwards silences it at once (the page is
    // cleared, not merely hidden).
    void pagePlaysSoundUntilAStreamIsChosen()
    {
        choose(m_base + QStringLiteral("/tone.html#1"), QStringLiteral("音"));
        WALL_TRY_COMPARE(pixelsOtherThan(kGuarded), 0, 30000);
        WALL_TRY_VERIFY(m_frame.view->isAudible(), 20000);
        choose(QStringLiteral("http://127.0.0.1:1/stream"), QStringLiteral("流三"));
        QVERIFY(!m_frame.view->isDiscarded());
        WALL_TRY_VERIFY(!m_frame.view->isAudible(), 20000);
    }

    // The page turns its block teal only when its dialogs, its pop-up and its
    // permission requests were all refused at once, without asking anyone.
    void pageGetsNoDialogsWindowsOrPermissions()
    {
        const int windowsBefore = visibleTopLevelWindows();
        QVERIFY(windowsBefore >= 1);
        const QWidgetList before = QApplication::topLevelWidgets();
        choose(m_base + QStringLiteral("/guarded.html#1"), QStringLiteral("守"));
        WALL_TRY_COMPARE(pixelsOtherThan(kGuarded), 0, 30000);
        int shown = 0;
        for (QWidget *w : QApplication::topLevelWidgets())
            shown += w->isVisible() ? 1 : 0;
        QCOMPARE(shown, 1);
        QCOMPARE(QApplication::topLevelWidgets().size(), before.size());
        // Nor did the helper show a window of its own on the screen.
        QCOMPARE(visibleTopLevelWindows(), windowsBefore);
    }

    // The keyboard reaches the page when the view takes focus (in the tab
    // order), and comes back to the window's controls when one is clicked.
    void keyboardGoesToThePageAndBack()
    {
        choose(m_base + QStringLiteral("/keys.html#1"), QStringLiteral("键"));
        WALL_TRY_COMPARE(pixelsOtherThan(kWaiting), 0, 30000);
        m_window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&m_window));
        m_edit->setFocus(Qt::OtherFocusReason);
        m_frame.view->setFocus(Qt::TabFocusReason);
        WALL_TRY_VERIFY(
            (xdotool({QStringLiteral("key"), QStringLiteral("k")}), pixelsOtherThan(kKeyed) == 0),
            20000);
        QVERIFY(m_edit->text().isEmpty());

        // A real click on the line edit (through the X server) takes the
        // keyboard back from the page's window.
        const QPoint at = m_edit->mapTo(&m_window, QPoint(20, 12));
        clickAt(at);
        WALL_TRY_VERIFY(m_edit->hasFocus() && m_window.isActiveWindow(), 10000);
        xdotool({QStringLiteral("type"), QStringLiteral("abc")});
        WALL_TRY_COMPARE(m_edit->text(), QStringLiteral("abc"), 10000);

        // A click into the page gives it the keyboard; the view then is the
        // window's focus widget too, so the next click on the line edit
        // takes the keyboard back.
        clickAt(QPoint(120, 240));
        WALL_TRY_VERIFY(
            (xdotool({QStringLiteral("key"), QStringLiteral("j")}), pixelsOtherThan(kGuarded) == 0),
            20000);
        WALL_TRY_COMPARE(m_window.focusWidget(), m_frame.view->focusProxy(), 10000);
        QCOMPARE(m_edit->text(), QStringLiteral("abc"));
        // Not where the first click was: the window sees no click in between
        // (that one went to the page), so a second click at the same spot
        // within the double-click time selects the word, and one later puts
        // the cursor inside "abc". Right of the text the cursor goes after it.
        const QPoint end = m_edit->mapTo(&m_window, QPoint(m_edit->width() - 12, 12));
        clickAt(end);
        WALL_TRY_VERIFY(m_edit->hasFocus() && m_window.isActiveWindow(), 10000);
        xdotool({QStringLiteral("type"), QStringLiteral("k")});
        WALL_TRY_COMPARE(m_edit->text(), QStringLiteral("abck"), 10000);
        QTest::qWait(500);
        QCOMPARE(pixelsOtherThan(kGuarded), 0);   // the page did not get the "k"
    }

    // A click into the page, then one on the line edit before the helper has
    // even seen the first (it is stopped): however late the helper takes the
    // keyboard for the page and says so, the later click wins, and the
    // keyboard stays with the line edit.
    void theLaterClickKeepsTheKeyboard()
    {
        choose(m_base + QStringLiteral("/keys.html#1"), QStringLiteral("键"));
        WALL_TRY_COMPARE(pixelsOtherThan(kWaiting), 0, 30000);
        // Two clicks apart, so that the window never sees a double click.
        clickAt(m_edit->mapTo(&m_window, QPoint(20, 12)));
        WALL_TRY_VERIFY(m_edit->hasFocus() && m_window.isActiveWindow(), 10000);
        m_edit->setText(QStringLiteral("abc"));
        m_edit->setCursorPosition(0);
        const QPoint end = m_edit->mapTo(&m_window, QPoint(m_edit->width() - 12, 12));

        const QString helper = QString::number(m_frame.view->helperPid());
        QCOMPARE(QProcess::execute(QStringLiteral("kill"), {QStringLiteral("-STOP"), helper}), 0);
        auto resume = qScopeGuard(
            [&] { QProcess::execute(QStringLiteral("kill"), {QStringLiteral("-CONT"), helper}); });
        clickAt(QPoint(120, 240));   // waits in the stopped helper's queue
        clickAt(end);
        WALL_TRY_COMPARE(m_edit->cursorPosition(), 3, 10000);   // this click is handled
        resume.dismiss();
        QCOMPARE(QProcess::execute(QStringLiteral("kill"), {QStringLiteral("-CONT"), helper}), 0);

        // The page got its click (so the helper has asked for the keyboard and
        // told the program); the window system's focus is back on the window.
        WALL_TRY_COMPARE(pixelsOtherThan(kClicked), 0, 20000);
        WALL_TRY_COMPARE(xdotool({QStringLiteral("getwindowfocus")}).trimmed().toULongLong(),
                         quint64(m_window.winId()), 10000);
        xdotool({QStringLiteral("type"), QStringLiteral("k")});
        WALL_TRY_COMPARE(m_edit->text(), QStringLiteral("abck"), 10000);
        QCOMPARE(m_window.focusWidget(), m_edit);
        QTest::qWait(500);
        QCOMPARE(pixelsOtherThan(kClicked), 0);   // the page did not get the "k"

        // The same for Tab: it hands the keyboard to the page, but the helper
        // is stopped and takes it only after a later click on the line edit.
        // Its request carries the time of the Tab and loses to the click.
        QCOMPARE(QProcess::execute(QStringLiteral("kill"), {QStringLiteral("-STOP"), helper}), 0);
        auto resumeAgain = qScopeGuard(
            [&] { QProcess::execute(QStringLiteral("kill"), {QStringLiteral("-CONT"), helper}); });
        xdotool({QStringLiteral("key"), QStringLiteral("Tab")});
        WALL_TRY_COMPARE(m_window.focusWidget(), m_frame.view->focusProxy(), 10000);
        clickAt(end);
        WALL_TRY_VERIFY(m_edit->hasFocus(), 10000);
        resumeAgain.dismiss();
        QSignalSpy loaded(m_frame.view, &WebView::loadFinished);
        QCOMPARE(QProcess::execute(QStringLiteral("kill"), {QStringLiteral("-CONT"), helper}), 0);
        // Orders are handled in turn: once a load sent now has finished, the
        // helper has long asked for the keyboard.
        m_frame.view->Navigate(pageUrl());
        WALL_TRY_VERIFY(!loaded.isEmpty(), 20000);
        QTest::qWait(200);
        QCOMPARE(xdotool({QStringLiteral("getwindowfocus")}).trimmed().toULongLong(), quint64(m_window.winId()));
        xdotool({QStringLiteral("type"), QStringLiteral("j")});
        WALL_TRY_COMPARE(m_edit->text(), QStringLiteral("abckj"), 10000);
    }

    // A helper that dies leaves a blank frame behind; the next page starts a
    // new one and shows its region exactly.
    void pageAfterTheHelperDiedComesBack()
    {
        const qint64 helper = m_frame.view->helperPid();
        QVERIFY(helper > 0);
        QCOMPARE(QProcess::execute(QStringLiteral("kill"),
                                   {QStringLiteral("-KILL"), QString::number(helper)}),
                 0);
        WALL_TRY_COMPARE(m_frame.view->helperPid(), qint64(0), 10000);
        WALL_TRY_COMPARE(pixelsOtherThan(kWhite), 0, 10000);
        choose(pageUrl(), QStringLiteral("网页台"));
        WALL_TRY_VERIFY(m_frame.view->helperPid() > 0, 10000);
        QVERIFY(m_frame.view->helperPid() != helper);
        WALL_TRY_COMPARE(pixelsOtherThan(kBlock), 0, 30000);
    }
};

int main(int argc, char *argv[])
{
    // As the program's main() does.
    prepareWebViewBeforeApplication();
    QApplication app(argc, argv);
    WebViewTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_web_view.moc"
