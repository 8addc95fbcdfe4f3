// SPDX-License-Identifier: GPL-3.0-or-later
// The main window as a whole, on a real X server with a window manager:
// its controls where they belong, what start-up does, the station list
// beside the executable, station choice, and the trip to the tray and back.
#include "directory_stand_in.h"
#include "find_window.h"
#include "form1.h"
#include "home_page.h"
#include "media_player.h"
#include "mini_controls.h"
#include "plain_controls.h"
#include "player_test_support.h"
#include "station_dialog.h"
#include "station_editor.h"
#include "sys_tray.h"
#include "tree_view.h"
#include "web_view.h"

#include <algorithm>

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QCursor>
#include <QDeadlineTimer>
#include <QDesktopServices>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <QWindow>

using namespace kelvaro;

namespace {

QString listPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/电台.ini");
}

void writeList(const QByteArray &bytes)
{
    QFile file(listPath());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

const QByteArray kList =
    "新闻;;mms://127.0.0.1;;\r\n"
    "中国之声;;http://127.0.0.1:9/zgzs;;note\r\n"
    "\r\n"
    "音乐;;mms://127.0.0.1;;\r\n"
    "音乐之声;;http://127.0.0.1:9/yyzs;;\r\n"
    "Page;;http://127.0.0.1:9/page.html#1;;\r\n";

// True once libmpv (the player's engine) is loaded into this process.
bool engineLoaded()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libmpv");
}

void xdotool(const QStringList &args)
{
    QProcess::execute(QStringLiteral("xdotool"), args);
}

// A user with no list of their own yet (an empty configuration folder), the
// sample list beside the program, and a local stream server.
struct UserWithStream {
    QTemporaryDir config;
    QTemporaryDir media;
    QString own;  // where the user's own list will be
    testing::FaultServer stream;

    bool start()
    {
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        own = config.filePath(QStringLiteral("kelvaro/电台.ini"));
        QFile list(listPath());
        if (!list.open(QIODevice::WriteOnly | QIODevice::Truncate) || list.write(kList) != kList.size())
            return false;
        const QString mp3 = media.filePath(QStringLiteral("tone.mp3"));
        return testing::makeTone(mp3, 440, 5, {QStringLiteral("-c:a"), QStringLiteral("libmp3lame")})
            && stream.start(mp3);
    }
};

// Types text as an input method hands it over: one key event a character,
// any character.
void typeText(QWidget *widget, const QString &text)
{
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

bool expectTray()
{
    return qgetenv("KELVARO_EXPECT_TRAY") == "1";
}

}  // namespace

// Stands in for the browser: records the addresses the program opens.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened.append(url); }
};

class TestForm1 : public QObject {
    Q_OBJECT
private slots:
    void cleanup()
    {
        QFile::remove(listPath());
        qunsetenv("XDG_CONFIG_HOME");
    }

    void controlsAsLaidOut();
    void keyboardReachesEverything();
    void startUpPreparesPlayerAndLoadsStations();
    void startsWithoutUsableList_data();
    void startsWithoutUsableList();
    void choosingStations();
    void minimiseToTray();
    void restoreFromTray();
    void trayMenuOpensAsSoonAsTheIconIsThere();
    void closingStopsPlayback();
    void editingStationsFromTheTree();
    void findingStations();
};

void TestForm1::controlsAsLaidOut()
{
    writeList(kList);
    Form1 form;
    QCOMPARE(form.windowTitle(), QStringLiteral("Kelvaro"));
    QCOMPARE(form.size(), QSize(254, 287));
    QCOMPARE(form.minimumSize(), form.maximumSize());
    QVERIFY(form.windowFlags() & Qt::WindowMinimizeButtonHint);
    QVERIFY(!(form.windowFlags() & Qt::WindowMaximizeButtonHint));
    // The icons are compiled in as pixels: they must be the installed ones'
    // (compared premultiplied: a transparent pixel has no colour).
    const auto pixels = [](const QImage &image) {
        const QImage i = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        return QByteArray(reinterpret_cast<const char *>(i.constBits()), i.sizeInBytes());
    };
    const QImage window(QStringLiteral(KELVARO_SOURCE_DIR "/data/icons/kelvaro-32.png"));
    const QImage tray(QStringLiteral(KELVARO_SOURCE_DIR "/data/icons/kelvaro-tray-16.png"));
    QVERIFY(!window.isNull() && !tray.isNull());
    QCOMPARE(form.windowIcon().availableSizes().value(0), QSize(32, 32));
    QCOMPARE(pixels(form.windowIcon().pixmap(32).toImage()), pixels(window));
    QCOMPARE(form.cSysTray1->trayicon().availableSizes().value(0), QSize(16, 16));
    QCOMPARE(pixels(form.cSysTray1->trayicon().pixmap(16).toImage()), pixels(tray));

    struct Expected {
        QWidget *widget;
        QWidget *container;
        QRect rect;
    };
    const Expected expected[] = {
        {form.Frame1, &form, {0, 208, 272, 77}},      {form.WebBrowser1, form.Frame1, {-944, -13, 1610, 1700}},
        {form.TreeView1, &form, {0, 32, 217, 169}},   {form.Line3, &form, {248, 32, 1, 169}},
        {form.Line2, &form, {224, 32, 1, 169}},       {form.Label2, &form, {232, 48, 17, 145}},
        {form.Label1, &form, {8, 8, 249, 17}},        {form.Wmp1, &form, {0, 208, 256, 77}},
    };
    for (const Expected &e : expected) {
        QCOMPARE(e.widget->parentWidget(), e.container);
        QCOMPARE(e.widget->geometry(), e.rect);
    }
    // Creation order is stacking order: the player lies above the frame.
    const QObjectList children = form.children();
    QVERIFY(children.indexOf(form.Frame1) < children.indexOf(form.TreeView1));
    QVERIFY(children.indexOf(form.Label1) < children.indexOf(form.Wmp1));
    QCOMPARE(children.indexOf(form.Wmp1), children.size() - 1);

    QCOMPARE(form.Frame1->title(), QStringLiteral("Frame1"));
    QCOMPARE(form.Label2->text(), QStringLiteral("展开列表后单击频道收听"));
    QVERIFY(form.Label1->text().startsWith(QStringLiteral("Kelvaro https://")));
    QCOMPARE(form.cSysTray1->traytip(), QStringLiteral("网络电台."));
    QVERIFY(!form.cSysTray1->intray());

    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const QImage shot = form.grab().toImage();
    const QColor background = form.palette().color(QPalette::Window);
    // The two lines are drawn top to bottom in the text colour.
    for (int x : {224, 248}) {
        for (int y : {33, 100, 199})
            QVERIFY2(shot.pixelColor(x, y) != background, qPrintable(QStringLiteral("line at %1,%2").arg(x).arg(y)));
    }
    // The hint reads down its column: ink near the top and near the bottom
    // of the label, all of it within the 17-pixel width.
    auto inkInRows = [&](int from, int to) {
        for (int y = from; y < to; ++y)
            for (int x = 232; x < 249; ++x)
                if (qGray(shot.pixel(x, y)) < 100)
                    return true;
        return false;
    };
    QVERIFY(inkInRows(48, 70));
    QVERIFY(inkInRows(170, 193));
    // Label1 fits on one line: nothing of it below its 17 pixels.
    for (int x = 8; x < 217; ++x)
        QVERIFY(qGray(shot.pixel(x, 27)) > 100);
    // Keyboard focus goes from the player to the home-page line, the tree,
    // then to the page; the hint and the lines never take it.
    QList<QWidget *> chain;
    for (QWidget *w = form.Wmp1; !chain.contains(w); w = w->nextInFocusChain())
        chain.append(w);
    QVERIFY(chain.indexOf(form.Label1) > 0);
    QVERIFY(chain.indexOf(form.TreeView1) > chain.indexOf(form.Label1));
    QVERIFY(chain.indexOf(form.WebBrowser1) > chain.indexOf(form.TreeView1));
    QCOMPARE(form.Label1->focusPolicy(), Qt::TabFocus);
    for (QWidget *w : {static_cast<QWidget *>(form.Label2), static_cast<QWidget *>(form.Line2),
                       static_cast<QWidget *>(form.Line3)})
        QCOMPARE(w->focusPolicy(), Qt::NoFocus);
}

void TestForm1::keyboardReachesEverything()
{
    writeList(kList);
    Form1 form;
    UrlRecorder browser;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &browser, "open");
    const auto unhandle = qScopeGuard([] { QDesktopServices::unsetUrlHandler(QStringLiteral("https")); });
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    // Activated as a user's click would (a window manager may keep the focus
    // from a new window that asks for it itself).
    xdotool({"windowactivate", "--sync", QString::number(form.winId())});
    QVERIFY(QTest::qWaitForWindowActive(&form, 30000));
    MiniControls *mini = form.Wmp1->miniControls();

    // Tab goes through the player's controls, then the home-page line, then
    // the tree.
    mini->playPauseButton()->setFocus(Qt::TabFocusReason);
    QList<QWidget *> visited;
    for (int i = 0; i < 6; ++i) {
        visited << QApplication::focusWidget();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    const QList<QWidget *> expected = {mini->playPauseButton(), mini->stopButton(), mini->muteButton(),
                                       mini->volumeSlider(),     form.Label1,        form.TreeView1};
    QCOMPARE(visited, expected);

    // Enter (either key) and Space press a focused button.
    QSignalSpy stops(mini, &MiniControls::stopClicked);
    mini->stopButton()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(mini->stopButton(), Qt::Key_Return);
    QCOMPARE(stops.size(), 1);
    QTest::keyClick(mini->stopButton(), Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(stops.size(), 2);
    QTest::keyClick(mini->stopButton(), Qt::Key_Space);
    QCOMPARE(stops.size(), 3);
    mini->muteButton()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(mini->muteButton(), Qt::Key_Return);
    QVERIFY(mini->muteButton()->isChecked());
    QVERIFY(form.Wmp1->settings().mute());
    QTest::keyClick(mini->muteButton(), Qt::Key_Space);
    QVERIFY(!form.Wmp1->settings().mute());

    // Enter on the home-page line opens the home page, as a click does; so
    // does Space.
    form.Label1->setFocus(Qt::TabFocusReason);
    QTest::keyClick(form.Label1, Qt::Key_Return);
    QCOMPARE(browser.opened, QList<QUrl>{QUrl(kHomePage)});
    QTest::keyClick(form.Label1, Qt::Key_Space);
    QCOMPARE(browser.opened.size(), 2);
    // The focused line shows a focus frame; without focus it is the plain
    // label it always was.
    const QImage focused = form.Label1->grab().toImage();
    form.TreeView1->setFocus(Qt::TabFocusReason);
    const QImage plain = form.Label1->grab().toImage();
    QVERIFY(focused != plain);
}

void TestForm1::startUpPreparesPlayerAndLoadsStations()
{
    writeList(kList);
    Form1 form;
    QVERIFY(!form.Wmp1->enableContextMenu());
    QCOMPARE(form.Wmp1->settings().volume(), 100);
    QVERIFY(form.Wmp1->URL().isEmpty());
    QVERIFY(form.Frame1->isHidden());
    QVERIFY(!form.Wmp1->isHidden());

    QCOMPARE(form.TreeView1->topLevelItemCount(), 2);
    QCOMPARE(form.TreeView1->topLevelItem(0)->text(0), QStringLiteral("新闻"));
    QCOMPARE(form.TreeView1->topLevelItem(1)->childCount(), 2);
    QVERIFY(!form.TreeView1->topLevelItem(1)->isExpanded());
    QCOMPARE(form.stations().row(2).extra, QStringLiteral("note"));
    QCOMPARE(form.stations().usedRows(), 5);
}

void TestForm1::startsWithoutUsableList_data()
{
    QTest::addColumn<bool>("present");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("categories");
    QTest::newRow("missing") << false << QByteArray() << 0;
    QTest::newRow("empty") << true << QByteArray() << 0;
    QByteArray garbage(64 * 1024, '\0');
    for (int i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<char>((i * 7919 + 13) % 251);
    QTest::newRow("binary garbage") << true << garbage << 0;
    QTest::newRow("partly good") << true << QByteArray("A;;mms://127.0.0.1;;\r\n\x01\x02\x03\r\n;;x;;\r\nB;;mms://127.0.0.1;;\r\n")
                                 << 1;
}

void TestForm1::startsWithoutUsableList()
{
    QFETCH(bool, present);
    QFETCH(QByteArray, bytes);
    if (present)
        writeList(bytes);
    Form1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QTEST(form.TreeView1->topLevelItemCount(), "categories");
}

void TestForm1::choosingStations()
{
    writeList(kList);
    Form1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    TreeView *tree = form.TreeView1;

    // A category: nothing changes but its expansion, and the player's
    // engine, not made at start-up, is made now for the station to come.
    QVERIFY(!engineLoaded());
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                      tree->visualItemRect(tree->topLevelItem(1)).center());
    QCOMPARE(form.windowTitle(), QStringLiteral("Kelvaro"));
    QVERIFY(tree->topLevelItem(1)->isExpanded());
    QTRY_VERIFY(engineLoaded());

    QTreeWidgetItem *station = tree->topLevelItem(1)->child(0);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(station).center());
    QCOMPARE(form.windowTitle(), QStringLiteral("正在收听音乐之声"));
    QCOMPARE(form.Wmp1->URL(), QStringLiteral("http://127.0.0.1:9/yyzs"));
    QVERIFY(!form.Wmp1->isHidden());
    QVERIFY(form.Frame1->isHidden());

    QTreeWidgetItem *page = tree->topLevelItem(1)->child(1);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(page).center());
    QCOMPARE(form.windowTitle(), QStringLiteral("正在收听Page"));
    QVERIFY(form.Wmp1->isHidden());
    QVERIFY(!form.Frame1->isHidden());
}

void TestForm1::minimiseToTray()
{
    writeList(kList);
    Form1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QTRY_COMPARE(SysTray::available(), expectTray());

    form.showMinimized();
    if (expectTray()) {
        QTRY_VERIFY(form.isHidden());
        QVERIFY(form.cSysTray1->intray());
    } else {
        // No notification area: the window stays, minimised, in the task bar.
        QTRY_VERIFY(form.isMinimized());
        QTest::qWait(200);
        QVERIFY(form.isVisible());
        QVERIFY(!form.cSysTray1->intray());
    }
}

void TestForm1::restoreFromTray()
{
    writeList(kList);
    Form1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    // Minimised by the window manager, as the title bar's button does: the
    // window is minimised (and then hidden) only once the window manager has
    // done it. (showMinimized() would call it minimised at once, and the
    // window manager's own minimise, coming later, would undo a restore made
    // in between, something a user cannot do.)
    xdotool({"windowminimize", QString::number(form.winId())});
    QTRY_VERIFY_WITH_TIMEOUT(form.isMinimized() || form.isHidden(), 30000);

    // The icon event may come twice (a double click): both restore.
    for (int i = 0; i < 2; ++i) {
        emit form.cSysTray1->iconEvent();
        QTRY_VERIFY(form.isVisible());
        QVERIFY(!form.isMinimized());
        QVERIFY(!form.cSysTray1->intray());
    }
    // It stays restored: no minimise echo sends it back.
    QTest::qWait(300);
    QVERIFY(form.isVisible());
    QVERIFY(!form.isMinimized());
}

void TestForm1::trayMenuOpensAsSoonAsTheIconIsThere()
{
    // The active window, minimised by the window manager, goes into the
    // notification area; a right click on the icon the moment it is there
    // opens its menu, and the menu stays open. The window's loss of the
    // focus is reported a moment after the window goes, and makes the
    // program inactive, which closes any popup menu: an icon shown before
    // that offered a menu that vanished before it was drawn.
    if (!expectTray())
        QSKIP("needs a notification area");
    writeList(kList);
    Form1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form, 30000));
    form.enableEditing();
    QMenu *menu = nullptr;
    for (QMenu *m : form.findChildren<QMenu *>()) {
        if (!m->actions().isEmpty() && m->actions().constLast()->text() == QStringLiteral("退出"))
            menu = m;
    }
    QVERIFY(menu);

    xdotool({"windowminimize", QString::number(form.winId())});
    // Looked at after every turn of the event loop: a click can come at any
    // moment once the icon is there.
    const QDeadlineTimer deadline(30000);
    while (!form.cSysTray1->shown() && !deadline.hasExpired())
        QTest::qWait(1);
    QVERIFY(form.cSysTray1->shown());
    QVERIFY(form.isHidden());
    // The events already there are handled (the window's loss of the focus
    // among them); then the program is kept busy a moment, as on a loaded
    // machine, while the user right-clicks the icon: back at its events, it
    // handles the press first, and the icon opens its menu. What was still
    // due from the window's going comes after that.
    QTest::qWait(30);
    QThread::msleep(200);
    menu->popup(QCursor::pos());
    QVERIFY(menu->isVisible());
    // Long past anything the window's going had still to bring.
    QTest::qWait(1000);
    QVERIFY(menu->isVisible());
    menu->close();
}

void TestForm1::closingStopsPlayback()
{
    writeList(kList);
    Form1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.Wmp1->setURL(QStringLiteral("http://127.0.0.1:9/yyzs"));
    QVERIFY(form.close());
    QVERIFY(!form.isVisible());
}

void TestForm1::editingStationsFromTheTree()
{
    // The list beside the program is shown; the first edit makes the user's own.
    UserWithStream user;
    QVERIFY(user.start());
    const QString &own = user.own;
    QTemporaryDir &media = user.media;
    testing::FaultServer &server = user.stream;
    const QString address = server.url(QStringLiteral("/stream.mp3"));

    Form1 form;
    form.show();
    // Keys go to the window that has the keyboard: Shift+F10 belongs to the
    // tree only once the window manager has made the window active (a window
    // just exposed may not be yet, when the machine is busy).
    QVERIFY(QTest::qWaitForWindowActive(&form, 30000));
    form.enableEditing();
    TreeView *tree = form.TreeView1;
    QSignalSpy edits(form.editor(), &StationEditor::editFinished);
    tree->setFocus();
    tree->setCurrentItem(tree->topLevelItem(0)->child(0));

    // Shift+F10 opens the tree's menu; 新建电台… opens the dialog, typed
    // into with the keyboard alone.
    QTest::keyClick(tree, Qt::Key_F10, Qt::ShiftModifier);
    QMenu *menu = form.editor()->contextMenu();
    QTRY_VERIFY(menu->isVisible());
    QAction *add = nullptr;
    for (QAction *a : menu->actions())
        add = a->text() == QStringLiteral("新建电台…") ? a : add;
    QVERIFY(add && add->isEnabled());
    bool filled = false;
    QTimer::singleShot(0, this, [&] {
        auto *dialog = qobject_cast<StationDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        QTest::keyClicks(dialog->focusWidget(), QStringLiteral("Local FM"));
        QTest::keyClick(dialog->focusWidget(), Qt::Key_Tab);
        QTest::keyClicks(dialog->focusWidget(), address);
        QTest::keyClick(dialog->focusWidget(), Qt::Key_Return);
        filled = dialog->result() == QDialog::Accepted;
    });
    menu->setActiveAction(add);
    QTest::keyClick(menu, Qt::Key_Return);
    QVERIFY(filled);
    QTRY_COMPARE(edits.size(), 1);
    QCOMPARE(edits.takeFirst().at(0).value<StationListStore::Outcome>().kind, StationListStore::Outcome::Kind::Saved);
    QFile list(own);
    QVERIFY(list.open(QIODevice::ReadOnly));
    const QByteArray saved = list.readAll();
    list.close();
    QVERIFY(saved.contains("中国之声;;http://127.0.0.1:9/zgzs;;note\r\nLocal FM;;" + address.toUtf8() + ";;\r\n\r\n"));

    // The first edit says once where the user's list now lives.
    QMessageBox *told = nullptr;
    QTRY_VERIFY((told = form.findChild<QMessageBox *>()) && told->isVisible());
    QVERIFY(told->text().contains(own));
    told->close();
    form.activateWindow();
    QTRY_VERIFY(form.isActiveWindow());
    tree->setFocus();

    // The new station plays: Enter on it hands its address to the player.
    QTreeWidgetItem *added = tree->nodeByKey(address);
    QVERIFY(added && added->parent() == tree->topLevelItem(0));
    QVERIFY(tree->topLevelItem(0)->isExpanded());
    tree->setCurrentItem(added);
    QTest::keyClick(tree, Qt::Key_Return);
    QCOMPARE(form.windowTitle(), QStringLiteral("正在收听Local FM"));
    QTRY_VERIFY(server.requests().contains(QStringLiteral("/stream.mp3")));

    // Dragged onto the lower half of 音乐之声: it moves there and plays on.
    const QModelIndex from = tree->indexFromItem(added);
    std::unique_ptr<QMimeData> drag(tree->model()->mimeData({from}));
    QTreeWidgetItem *music = tree->topLevelItem(1);
    music->setExpanded(true);
    tree->scrollToItem(music->child(0));
    const QRect onto = tree->visualItemRect(music->child(0));
    QVERIFY(tree->itemAt(onto.center()) == music->child(0));
    const QPoint lowerHalf(onto.center().x(), onto.bottom() - 1);
    QDragEnterEvent enter(lowerHalf, Qt::MoveAction, drag.get(), Qt::LeftButton, {});
    QCoreApplication::sendEvent(tree->viewport(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(lowerHalf, Qt::MoveAction, drag.get(), Qt::LeftButton, {});
    QCoreApplication::sendEvent(tree->viewport(), &drop);
    QTRY_COMPARE(edits.size(), 1);
    edits.clear();
    QCOMPARE(tree->nodeByKey(address)->parent(), tree->topLevelItem(1));
    QCOMPARE(tree->topLevelItem(1)->indexOfChild(tree->nodeByKey(address)), 1);
    QCOMPARE(form.Wmp1->URL(), address);
    const int requests = server.requests().size();

    // Delete takes it away; Ctrl+Z brings the list back byte for byte.
    QVERIFY(list.open(QIODevice::ReadOnly));
    const QByteArray beforeDelete = list.readAll();
    list.close();
    tree->setCurrentItem(tree->nodeByKey(address));
    QTest::keyClick(tree, Qt::Key_Delete);
    QTRY_COMPARE(edits.size(), 1);
    QVERIFY(!tree->nodeByKey(address));
    QTest::keyClick(tree, Qt::Key_Z, Qt::ControlModifier);
    QTRY_COMPARE(edits.size(), 2);
    QVERIFY(tree->nodeByKey(address));
    QVERIFY(list.open(QIODevice::ReadOnly));
    QCOMPARE(list.readAll(), beforeDelete);
    list.close();
    // None of it stopped what plays or opened the stream again.
    QCOMPARE(form.Wmp1->URL(), address);
    QCOMPARE(server.requests().size(), requests);

    // A playlist file dropped on the window: its new stations go into the
    // current category as one edit (one already there is left out); Ctrl+Z
    // takes the whole import back.
    const QString pls = media.filePath(QStringLiteral("more.pls"));
    QFile playlist(pls);
    QVERIFY(playlist.open(QIODevice::WriteOnly));
    playlist.write("[playlist]\nFile1=http://127.0.0.1:9/p1\nTitle1=One;;Two\nFile2=http://127.0.0.1:9/zgzs\n"
                   "File3=http://127.0.0.1:9/p3\n");
    playlist.close();
    tree->setCurrentItem(tree->topLevelItem(1));
    QMimeData dropped;
    dropped.setUrls({QUrl::fromLocalFile(pls)});
    const QPoint middle = form.rect().center();
    QDragEnterEvent enterWindow(middle, Qt::CopyAction, &dropped, Qt::LeftButton, {});
    QCoreApplication::sendEvent(&form, &enterWindow);
    QVERIFY(enterWindow.isAccepted());
    QDropEvent dropOnWindow(middle, Qt::CopyAction, &dropped, Qt::LeftButton, {});
    QCoreApplication::sendEvent(&form, &dropOnWindow);
    QTRY_COMPARE(edits.size(), 3);
    QTreeWidgetItem *one = tree->nodeByKey(QStringLiteral("http://127.0.0.1:9/p1"));
    QVERIFY(one && tree->nodeByKey(QStringLiteral("http://127.0.0.1:9/p3")));
    QCOMPARE(one->text(0), QStringLiteral("One; Two"));
    QCOMPARE(one->parent(), tree->topLevelItem(1));
    QTRY_VERIFY((told = form.findChild<QMessageBox *>()) && told->isVisible());
    QVERIFY2(told->text().contains(QStringLiteral("已把 2 个电台导入")), qPrintable(told->text()));
    told->close();
    form.activateWindow();
    QTRY_VERIFY(form.isActiveWindow());
    tree->setFocus();
    QTest::keyClick(tree, Qt::Key_Z, Qt::ControlModifier);
    QTRY_COMPARE(edits.size(), 4);
    QVERIFY(!tree->nodeByKey(QStringLiteral("http://127.0.0.1:9/p1")));
    QVERIFY(list.open(QIODevice::ReadOnly));
    QCOMPARE(list.readAll(), beforeDelete);
}

void TestForm1::findingStations()
{
    UserWithStream user;
    QVERIFY(user.start());
    const QString &own = user.own;
    testing::FaultServer &stream = user.stream;
    // The first server never answers in time; the second is the directory.
    testing::DirectoryStandIn slow;
    QVERIFY(slow.start({QStringLiteral("--delay"), QStringLiteral("30")}));
    testing::DirectoryStandIn directory;
    QVERIFY(directory.start({QStringLiteral("--stream-url"), stream.url(QStringLiteral("/stream.mp3")),
                             QStringLiteral("--extra"), QStringLiteral("150")}));
    qputenv("KELVARO_DIRECTORY_URL", (slow.url() + u',' + directory.url()).toUtf8());
    qputenv("KELVARO_DIRECTORY_TIMEOUT_MS", "1500");
    const auto unset = qScopeGuard([] {
        qunsetenv("KELVARO_DIRECTORY_URL");
        qunsetenv("KELVARO_DIRECTORY_TIMEOUT_MS");
    });

    Form1 form;
    form.show();
    // Active, not only on the screen: a window's shortcuts work in the
    // active window alone, and a loaded desktop activates it later.
    QVERIFY(QTest::qWaitForWindowActive(&form, 30000));
    form.enableEditing();

    // Ctrl+F opens the find window with the search field focused; nothing
    // has gone to the directory.
    QTest::keyClick(&form, Qt::Key_F, Qt::ControlModifier);
    FindWindow *finder = form.finder();
    QVERIFY(finder);
    QVERIFY(QTest::qWaitForWindowActive(finder));
    QLineEdit *field = finder->searchField();
    QTRY_VERIFY(field->hasFocus());
    QVERIFY(directory.lines(QStringLiteral("REQUEST ")).isEmpty());
    QVERIFY(slow.lines(QStringLiteral("REQUEST ")).isEmpty());

    // Pinyin initials find the user's own station at once, above the
    // directory's stations, which come after the pause in typing.
    QTreeWidget *results = finder->results();
    QSignalSpy shown(finder, &FindWindow::resultsShown);
    QTest::keyClicks(field, QStringLiteral("zgzs"));
    QTRY_COMPARE(results->topLevelItem(0)->childCount(), 1);
    QCOMPARE(results->topLevelItem(0)->child(0)->text(0), QStringLiteral("中国之声"));
    QVERIFY(shown.wait(20000));
    QCOMPARE(results->topLevelItem(1)->childCount(), 0);  // the directory has no such station
    QCOMPARE(directory.requests(QStringLiteral("/json/stations/search")).size(), 1);

    // "示例" finds directory stations, most listened first, the broken one hidden.
    field->clear();
    typeText(field, QStringLiteral("示例"));
    QVERIFY(shown.wait(20000));
    QTreeWidgetItem *found = results->topLevelItem(1);
    QStringList names;
    for (int i = 0; i < found->childCount(); ++i)
        names << found->child(i)->text(0);
    QCOMPARE(names, (QStringList{QStringLiteral("示例新闻台"), QStringLiteral("示例音乐台"),
                                 QStringLiteral("示例经济台"), QStringLiteral("示例交通台")}));
    QCOMPARE(found->child(1)->text(2), QStringLiteral("MP3 128k"));

    // Down goes into the results; Enter plays the station without adding it,
    // and the directory hears of the listener once.
    QTest::keyClick(field, Qt::Key_Down);
    QCOMPARE(results->currentItem(), found->child(0));
    QTest::keyClick(results, Qt::Key_Down);
    QTest::keyClick(results, Qt::Key_Return);
    QCOMPARE(form.windowTitle(), QStringLiteral("正在收听示例音乐台"));
    const QString address = found->child(1)->data(0, FindWindow::AddressRole).toString();
    QCOMPARE(form.Wmp1->URL(), address);
    QTRY_VERIFY(stream.requests().size() >= 1);
    QTRY_COMPARE(directory.lines(QStringLiteral("CLICK ")).size(), 1);
    QCOMPARE(directory.lines(QStringLiteral("CLICK ")).first(), found->child(1)->data(0, FindWindow::UuidRole).toString());
    QVERIFY(!QFile::exists(own));

    // Ctrl+D adds it to the user's list, into the category chosen (the
    // first at first), and the tree shows it there.
    QSignalSpy edits(form.editor(), &StationEditor::editFinished);
    QTest::keyClick(results, Qt::Key_D, Qt::ControlModifier);
    QTRY_COMPARE(edits.size(), 1);
    QCOMPARE(edits.first().at(0).value<StationListStore::Outcome>().kind, StationListStore::Outcome::Kind::Saved);
    const auto labels = finder->findChildren<QLabel *>();
    const auto status = std::find_if(labels.begin(), labels.end(),
                                     [](QLabel *l) { return l->accessibleDescription() == QStringLiteral("状态"); });
    QVERIFY(status != labels.end());
    const QString category = form.TreeView1->topLevelItem(0)->text(0);
    QCOMPARE((*status)->text(), QStringLiteral("已将“示例音乐台”添加到“%1”").arg(category));
    QFile list(own);
    QVERIFY(list.open(QIODevice::ReadOnly));
    QVERIFY(list.readAll().contains("中国之声;;http://127.0.0.1:9/zgzs;;note\r\n示例音乐台;;" + address.toUtf8() + ";;\r\n"));
    QTreeWidgetItem *added = form.TreeView1->nodeByKey(address);
    QVERIFY(added && added->parent() == form.TreeView1->topLevelItem(0));
    // The station now plays as one of the list.
    QCOMPARE(form.playingKey(), address);

    // The first edit made the user's own list, and a message over the find
    // window says where; closed, the find window has the keyboard again.
    QMessageBox *box = nullptr;
    QTRY_VERIFY((box = qobject_cast<QMessageBox *>(QApplication::activeWindow())));
    QCOMPARE(box->parentWidget(), finder);
    QVERIFY(box->text().contains(own));
    box->close();
    QTRY_VERIFY(finder->isActiveWindow());
    // Added again, it is refused (the list has it), and the find window
    // says nothing of an edit from the tree that was saved just before.
    (*status)->clear();
    form.editor()->apply([](StationDocument &d) { return d.addCategory(QStringLiteral("其他")); });
    QTest::keyClick(results, Qt::Key_D, Qt::ControlModifier);
    QTRY_COMPARE(edits.size(), 3);
    QCOMPARE(edits.at(1).at(0).value<StationListStore::Outcome>().kind, StationListStore::Outcome::Kind::Saved);
    QCOMPARE(edits.at(2).at(0).value<StationListStore::Outcome>().kind, StationListStore::Outcome::Kind::Refused);
    QVERIFY2((*status)->text().isEmpty(), qPrintable((*status)->text()));

    // All countries, and "测试" finds 150 stations: 100, then the rest when
    // the list is scrolled to its end.
    QComboBox *country = finder->findChild<QComboBox *>();
    country->setCurrentIndex(country->findData(QString()));
    field->clear();
    typeText(field, QStringLiteral("测试"));
    QVERIFY(shown.wait(20000));
    QCOMPARE(found->childCount(), 100);
    results->scrollToBottom();
    QVERIFY(shown.wait(20000));
    QCOMPARE(found->childCount(), 150);
    QCOMPARE(found->child(100)->text(0), QStringLiteral("测试电台 101"));
}

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
