// SPDX-License-Identifier: GPL-3.0-or-later
// The window as a screen reader finds it: the built program on a desktop,
// a private session bus with the accessibility bus launched on it and
// switched on as a screen reader does, and the program's accessible tree
// read over that bus. Every control must say what it is and what it does.
#include "accessibility_bus.h"
#include "desktop_program.h"
#include "page_server.h"
#include "player_test_support.h"
#include "wall_clock_wait.h"

#include <QTemporaryDir>
#include <QTest>

using namespace kelvaro::testing;

namespace {

const QString kLongName = QStringLiteral("一个名字很长很长很长很长很长很长很长的电台");

// The player's volume (0 to 1) as the desktop's media interface reports
// it, for comparison with the slider's value; -1 when it cannot be read.
double mprisVolume()
{
    const QString reply = run(QStringLiteral("gdbus"),
                              {"call", "--session", "--dest", "org.mpris.MediaPlayer2.kelvaro", "--object-path",
                               "/org/mpris/MediaPlayer2", "--method", "org.freedesktop.DBus.Properties.Get",
                               "org.mpris.MediaPlayer2.Player", "Volume"});
    bool ok = false;
    const double v = reply.section(QLatin1Char('<'), 1).section(QLatin1Char('>'), 0, 0).toDouble(&ok);
    return ok ? v : -1;
}

}  // namespace

class TestAccessibility : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void screenReaderReadsEveryControl();

private:
    // The program's tree once its window is there; fails the test otherwise.
    AccessibleNode waitForWindow(qint64 pid);

    // The accessible tree of the web helper that shows the program's page;
    // empty while there is none.
    AccessibleNode pageHelper(qint64 programPid);

    AlsaCapture capture_;
    FaultServer server_;
    PageServer pages_;
    PrivateSessionBus session_;
    AccessibilityBus a11y_;
    QTemporaryDir work_;
};

void TestAccessibility::initTestCase()
{
    QVERIFY(capture_.setUp());
    const QString mp3 = work_.filePath(QStringLiteral("tone.mp3"));
    QVERIFY(makeTone(mp3, 440, 10, {QStringLiteral("-c:a"), QStringLiteral("libmp3lame")}));
    QVERIFY(server_.start(mp3));
    QVERIFY(pages_.start());
    QVERIFY(session_.start());
    QVERIFY(a11y_.start());
}

void TestAccessibility::cleanupTestCase()
{
    a11y_.stop();
    session_.stop();
    pages_.stop();
}

AccessibleNode TestAccessibility::pageHelper(qint64 programPid)
{
    const QString helper =
        run(QStringLiteral("pgrep"), {QStringLiteral("-P"), QString::number(programPid), QStringLiteral("kelvaro-web")});
    return helper.trimmed().isEmpty() ? AccessibleNode() : a11y_.application(helper.trimmed().toLongLong());
}

AccessibleNode TestAccessibility::waitForWindow(qint64 pid)
{
    AccessibleNode app;
    // The program joins the accessibility bus in its own time after start.
    const auto hasWindow = [&] {
        app = a11y_.application(pid);
        return !app.children.isEmpty();
    };
    [&] { QTRY_VERIFY_WITH_TIMEOUT(hasWindow(), 30000); }();
    return app;
}

void TestAccessibility::screenReaderReadsEveryControl()
{
    const QByteArray stream = server_.url(QStringLiteral("/stream.mp3?title=Song")).toUtf8();
    const QByteArray list = "新闻;;mms://127.0.0.1;;\r\n"
                            "中国之声;;" + stream + ";;\r\n"
                            + kLongName.toUtf8() + ";;http://127.0.0.1:9/long;;\r\n"
                            "网页台;;" + pages_.url(QStringLiteral("keys.html#1")).toUtf8() + ";;\r\n"
                            "音乐;;mms://127.0.0.1;;\r\n"
                            "音乐之声;;http://127.0.0.1:9/yyzs;;\r\n";
    // The station directory is a server that is down.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KELVARO_DIRECTORY_URL"), QStringLiteral("http://127.0.0.1:9"));
    DesktopProgram program;
    QVERIFY(program.start(copyProgram(work_.filePath(QStringLiteral("app")), &list), env));

    AccessibleNode app = waitForWindow(program.pid());
    qInfo().noquote() << "The window as a screen reader reads it:\n" << app.dump();

    // The window is a frame named by its caption.
    const AccessibleNode *frame = app.findRole(QStringLiteral("frame"), QStringLiteral("Kelvaro"));
    QVERIFY(frame);

    // Each button by what it does; mute is a check box, not checked yet.
    QVERIFY(frame->findRole(QStringLiteral("push button"), QStringLiteral("播放")));
    QVERIFY(frame->findRole(QStringLiteral("push button"), QStringLiteral("停止")));
    const AccessibleNode *mute = frame->findRole(QStringLiteral("check box"), QStringLiteral("静音"));
    QVERIFY(mute);
    QVERIFY(!mute->has(AtspiState::Checked));
    // No control is left without a name, except plain containers.
    const auto unnamed = frame->find([](const AccessibleNode &n) {
        return n.name.isEmpty() && n.role != QLatin1String("filler") && n.role != QLatin1String("label")
               && n.role != QLatin1String("scroll bar") && n.role != QLatin1String("separator");
    });
    for (const AccessibleNode *n : unnamed)
        qWarning().noquote() << "unnamed:" << n->role << n->path;
    QVERIFY(unnamed.isEmpty());

    // The volume with its value, the real player volume (100 at start).
    const AccessibleNode *volume = frame->findRole(QStringLiteral("slider"), QStringLiteral("音量"));
    QVERIFY(volume);
    QCOMPARE(volume->value, 100.0);

    // The status and title lines say which line they are.
    const auto lines = [&](const QString &description) {
        return frame->find([&](const AccessibleNode &n) {
            return n.role == QLatin1String("label") && n.description == description;
        });
    };
    QCOMPARE(lines(QStringLiteral("播放状态")).size(), 1);
    QCOMPARE(lines(QStringLiteral("当前曲目")).size(), 1);

    // The home-page line is a link that can be pressed; the hint a label.
    const auto links = frame->find([](const AccessibleNode &n) { return n.role == QLatin1String("link"); });
    QCOMPARE(links.size(), 1);
    QVERIFY(links[0]->name.startsWith(QStringLiteral("Kelvaro https://")));
    QVERIFY(!links[0]->actions.isEmpty());
    QVERIFY(frame->findRole(QStringLiteral("label"), QStringLiteral("展开列表后单击频道收听")));

    // The tree and its categories, closed; its hidden header is named by the
    // column, not a number.
    const AccessibleNode *tree = frame->findRole(QStringLiteral("tree"), QStringLiteral("频道列表"));
    QVERIFY(tree);
    QVERIFY(!tree->findRole(QStringLiteral("column header"), QStringLiteral("1")));
    for (const QString &category : {QStringLiteral("新闻"), QStringLiteral("音乐")}) {
        const AccessibleNode *item = tree->findRole(QStringLiteral("tree item"), category);
        QVERIFY2(item, qPrintable(category));
        QCOMPARE(item->description, QStringLiteral("分类"));
        QVERIFY(item->has(AtspiState::Expandable));
        QVERIFY(!item->has(AtspiState::Expanded));
    }

    // A page station chosen: the category is open, its stations are there by
    // their full names, and the page's frame is named after the station.
    program.chooseStation(3);
    QTRY_COMPARE_WITH_TIMEOUT(program.caption(), QStringLiteral("正在收听网页台"), 10000);
    QTRY_VERIFY_WITH_TIMEOUT((app = a11y_.application(program.pid()))
                                 .findRole(QStringLiteral("frame"), QStringLiteral("正在收听网页台")),
                             10000);
    frame = app.findRole(QStringLiteral("frame"), QStringLiteral("正在收听网页台"));
    QVERIFY(frame->findRole(QStringLiteral("panel"), QStringLiteral("网页台")));
    tree = frame->findRole(QStringLiteral("tree"), QStringLiteral("频道列表"));
    QVERIFY(tree->findRole(QStringLiteral("tree item"), QStringLiteral("新闻"))->has(AtspiState::Expanded));
    QVERIFY(!tree->findRole(QStringLiteral("tree item"), QStringLiteral("音乐"))->has(AtspiState::Expanded));
    QCOMPARE(tree->findRole(QStringLiteral("tree item"), QStringLiteral("中国之声"))->description,
             QStringLiteral("频道"));
    QVERIFY(tree->findRole(QStringLiteral("tree item"), kLongName));
    QCOMPARE(tree->findRole(QStringLiteral("tree item"), QStringLiteral("网页台"))->description,
             QStringLiteral("网页频道"));

    // The page itself lives in the web helper: a screen reader finds it
    // under Kelvaro and the station's name, with the page's own title
    // and text, not the engine's empty offscreen window.
    const auto pageText = [](const AccessibleNode &n) {
        return n.role == QLatin1String("label") && n.name.startsWith(QLatin1String("Kelvaro test page"));
    };
    // The page's text and its title come from the engine one after the
    // other: the page is read once both are there.
    const auto titledDocument = [&](const AccessibleNode &n) {
        return n.role == QLatin1String("web document") && n.name == QLatin1String("keys");
    };
    AccessibleNode helper;
    WALL_TRY_VERIFY((helper = pageHelper(program.pid())).find(pageText).size() == 1
                        && helper.find(titledDocument).size() == 1,
                    30000);
    qInfo().noquote() << "The page as a screen reader reads it:\n" << helper.dump();
    QCOMPARE(helper.name, QStringLiteral("Kelvaro"));
    QCOMPARE(helper.children.size(), 1);
    QCOMPARE(helper.children[0].name, QStringLiteral("网页台"));
    const auto documents = helper.find([](const AccessibleNode &n) { return n.role == QLatin1String("web document"); });
    QCOMPARE(documents.size(), 1);
    QCOMPARE(documents[0]->find(pageText).size(), 1);

    // A stream chosen: while it plays, the play button says it pauses, and
    // the title line reads the stream's title.
    program.keys({"Up", "Up", "Return"});  // from the page station, two up
    QTRY_COMPARE_WITH_TIMEOUT(program.caption(), QStringLiteral("正在收听中国之声"), 10000);
    QTRY_VERIFY_WITH_TIMEOUT((app = a11y_.application(program.pid()))
                                 .findRole(QStringLiteral("push button"), QStringLiteral("暂停")),
                             60000);
    QTRY_VERIFY_WITH_TIMEOUT((app = a11y_.application(program.pid()))
                                 .findRole(QStringLiteral("label"), QStringLiteral("Song")),
                             60000);
    QVERIFY(!app.findRole(QStringLiteral("push button"), QStringLiteral("播放")));
    // The page is gone, and so is its name, in the window and in the helper.
    QVERIFY(!app.findRole(QStringLiteral("panel"), QStringLiteral("网页台")));
    WALL_TRY_COMPARE(pageHelper(program.pid()).children.value(0).name, QStringLiteral("网页"), 10000);

    // Setting the slider's value, as a screen reader user does, sets the
    // player's volume.
    volume = app.findRole(QStringLiteral("slider"), QStringLiteral("音量"));
    QVERIFY(volume);
    QVERIFY(a11y_.setValue(*volume, 40));
    QTRY_COMPARE_WITH_TIMEOUT(a11y_.read(volume->service, volume->path).value, 40.0, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(qAbs(mprisVolume() - 0.4) < 1e-9, 10000);

    // Mute pressed through its action: checked, and still named 静音.
    mute = app.findRole(QStringLiteral("check box"), QStringLiteral("静音"));
    QVERIFY(mute);
    QVERIFY2(a11y_.doAction(*mute, mute->actions.value(0)), qPrintable(mute->actions.join(',')));
    QTRY_VERIFY_WITH_TIMEOUT(a11y_.read(mute->service, mute->path).has(AtspiState::Checked), 10000);
    qInfo().noquote() << "While a stream plays:\n" << a11y_.application(program.pid()).dump();

    // The find window, a window of its own, with the station directory
    // down: its status line is read as the message it shows, not as a fixed
    // name.
    xdotool({"windowactivate", "--sync", program.window()});
    xdotool({"key", "ctrl+f"});
    WALL_TRY_VERIFY2((app = a11y_.application(program.pid())).findRole(QStringLiteral("frame"), QStringLiteral("找电台")),
                     qPrintable(app.dump()), 10000);
    xdotool({"type", "--delay", "50", "abc"});
    const QString down = QStringLiteral("无法连接电台目录，请检查网络后重试。");
    const auto message = [&] {
        return (app = a11y_.application(program.pid())).find([&](const AccessibleNode &n) {
            return n.role == QLatin1String("label") && n.name == down && n.description == QStringLiteral("状态");
        });
    };
    WALL_TRY_VERIFY2(message().size() == 1, qPrintable(app.dump()), 30000);
}

QTEST_GUILESS_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
