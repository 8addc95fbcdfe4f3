// SPDX-License-Identifier: GPL-3.0-or-later
// The tree widget's node-click report and expansion under a real X server:
// mouse and keyboard, sent both as Qt test events and as real X input
// through xdotool.
#include "tree_view.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QToolTip>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

using namespace kelvaro;

namespace {

// Counts finished mouse clicks and key presses on a widget, so a test can
// wait until input sent from outside has been handled.
class InputCounter : public QObject {
public:
    int mouseReleases = 0;
    int keyReleases = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::MouseButtonRelease)
            ++mouseReleases;
        else if (event->type() == QEvent::KeyRelease && !static_cast<QKeyEvent *>(event)->isAutoRepeat())
            ++keyReleases;
        return false;
    }
};

bool xdotool(const QStringList &args)
{
    return QProcess::execute(QStringLiteral("xdotool"), args) == 0;
}

}  // namespace

class TestTreeViewInput : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void mouse_data();
    void mouse();
    void keyboard_data();
    void keyboard();
    void tooltipsOnlyForCutNames();

private:
    QPoint pointOf(const QString &where) const;

    TreeView *tree_ = nullptr;
    InputCounter counter_;
};

void TestTreeViewInput::init()
{
    tree_ = new TreeView;
    // Each test row puts the window somewhere else, so that clicks of two
    // rows in quick succession are never taken as one double click.
    static int rowNumber = 0;
    const int shift = 37 * (rowNumber++ % 20);
    tree_->setGeometry(40 + shift, 40 + shift / 2, 260, 240);
    QVERIFY(tree_->addTopLevel(QStringLiteral("新闻"), QStringLiteral("新闻")));
    QVERIFY(tree_->addChild(QStringLiteral("新闻"), QStringLiteral("http://h/1"), QStringLiteral("中国之声")));
    QVERIFY(tree_->addChild(QStringLiteral("新闻"), QStringLiteral("http://h/2"), QStringLiteral("经济之声")));
    QVERIFY(tree_->addTopLevel(QStringLiteral("空"), QStringLiteral("空")));
    tree_->viewport()->installEventFilter(&counter_);
    tree_->installEventFilter(&counter_);
    counter_.mouseReleases = counter_.keyReleases = 0;
    tree_->show();
    tree_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(tree_));
}

void TestTreeViewInput::cleanup()
{
    delete tree_;
    tree_ = nullptr;
}

// Viewport point of a place in the tree: "arrow" (the category's expand
// mark), or a node's text by its key.
QPoint TestTreeViewInput::pointOf(const QString &where) const
{
    if (where == QLatin1String("arrow")) {
        const QRect r = tree_->visualItemRect(tree_->topLevelItem(0));
        return {r.left() - tree_->indentation() / 2, r.center().y()};
    }
    const QRect r = tree_->visualItemRect(tree_->nodeByKey(where));
    return {r.left() + 12, r.center().y()};
}

void TestTreeViewInput::mouse_data()
{
    QTest::addColumn<QString>("via");         // "qtest" or "xdotool"
    QTest::addColumn<bool>("startExpanded");  // the category 新闻
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("clicks");
    QTest::addColumn<QStringList>("reports");  // "key|text" per report
    QTest::addColumn<bool>("expandedAfter");

    const QStringList category{QStringLiteral("新闻|新闻")};
    for (const QString &via : {QStringLiteral("qtest"), QStringLiteral("xdotool")}) {
        const QByteArray v = via.toLatin1() + ": ";
        QTest::newRow(v + "arrow expands, no report") << via << false << "arrow" << 1 << QStringList{} << true;
        QTest::newRow(v + "arrow collapses, no report") << via << true << "arrow" << 1 << QStringList{} << false;
        QTest::newRow(v + "category text expands and reports") << via << false << "新闻" << 1 << category << true;
        QTest::newRow(v + "category text collapses and reports") << via << true << "新闻" << 1 << category << false;
        QTest::newRow(v + "station text reports the station")
            << via << true << "http://h/2" << 1 << QStringList{QStringLiteral("http://h/2|经济之声")} << true;
        QTest::newRow(v + "empty category reports") << via << false << "空" << 1
                                                    << QStringList{QStringLiteral("空|空")} << false;
    }
    // A double click is one report and one change, not two that cancel out.
    QTest::newRow("xdotool: double click on category text")
        << QStringLiteral("xdotool") << false << "新闻" << 2 << category << true;
}

void TestTreeViewInput::mouse()
{
    QFETCH(QString, via);
    QFETCH(bool, startExpanded);
    QFETCH(QString, target);
    QFETCH(int, clicks);
    QFETCH(QStringList, reports);

    QTreeWidgetItem *category = tree_->topLevelItem(0);
    category->setExpanded(startExpanded);
    QSignalSpy spy(tree_, &TreeView::nodeClick);
    QSignalSpy expandedSpy(tree_, &QTreeWidget::itemExpanded);
    QSignalSpy collapsedSpy(tree_, &QTreeWidget::itemCollapsed);
    const QPoint point = pointOf(target);

    if (via == QLatin1String("qtest")) {
        QTest::mouseClick(tree_->viewport(), Qt::LeftButton, {}, point);
    } else {
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            QSKIP("xdotool is not installed");
        const QPoint global = tree_->viewport()->mapToGlobal(point);
        QVERIFY(xdotool({QStringLiteral("mousemove"), QString::number(global.x()), QString::number(global.y())}));
        QVERIFY(xdotool({QStringLiteral("click"), QStringLiteral("--repeat"), QString::number(clicks),
                         QStringLiteral("--delay"), QStringLiteral("60"), QStringLiteral("1")}));
        QTRY_COMPARE(counter_.mouseReleases, clicks);
        QTest::qWait(0);  // let queued work after the last release run
    }

    QStringList got;
    for (const auto &args : spy)
        got << args.at(0).toString() + QLatin1Char('|') + args.at(1).toString();
    QCOMPARE(got, reports);
    QTEST(category->isExpanded(), "expandedAfter");
    // Expansion changed at most once: a click on the arrow is not also taken
    // as a click on the text.
    QVERIFY(expandedSpy.size() + collapsedSpy.size() <= 1);
}

void TestTreeViewInput::keyboard_data()
{
    QTest::addColumn<QString>("via");
    QTest::addColumn<QString>("current");
    QTest::addColumn<QString>("key");  // xdotool key name
    QTest::addColumn<QStringList>("reports");
    QTest::addColumn<bool>("expandedAfter");

    for (const QString &via : {QStringLiteral("qtest"), QStringLiteral("xdotool")}) {
        const QByteArray v = via.toLatin1() + ": ";
        QTest::newRow(v + "Return on a station") << via << "http://h/1" << "Return"
                                                 << QStringList{QStringLiteral("http://h/1|中国之声")} << true;
        QTest::newRow(v + "Enter on a station") << via << "http://h/2" << "KP_Enter"
                                                << QStringList{QStringLiteral("http://h/2|经济之声")} << true;
        QTest::newRow(v + "Return on a category toggles it")
            << via << "新闻" << "Return" << QStringList{QStringLiteral("新闻|新闻")} << false;
        QTest::newRow(v + "Space reports nothing") << via << "http://h/1" << "space" << QStringList{} << true;
        QTest::newRow(v + "Down moves, reports nothing") << via << "http://h/1" << "Down" << QStringList{} << true;
    }
}

void TestTreeViewInput::keyboard()
{
    QFETCH(QString, via);
    QFETCH(QString, current);
    QFETCH(QString, key);
    QFETCH(QStringList, reports);

    QTreeWidgetItem *category = tree_->topLevelItem(0);
    category->setExpanded(true);
    tree_->setCurrentItem(tree_->nodeByKey(current));
    tree_->setFocus();
    QSignalSpy spy(tree_, &TreeView::nodeClick);

    if (via == QLatin1String("qtest")) {
        const Qt::Key qtKey = key == QLatin1String("Return")     ? Qt::Key_Return
                              : key == QLatin1String("KP_Enter") ? Qt::Key_Enter
                              : key == QLatin1String("space")    ? Qt::Key_Space
                                                                 : Qt::Key_Down;
        QTest::keyClick(tree_, qtKey, key == QLatin1String("KP_Enter") ? Qt::KeypadModifier : Qt::NoModifier);
    } else {
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            QSKIP("xdotool is not installed");
        QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("--window"),
                         QString::number(tree_->winId()), key}));
        QTRY_COMPARE(counter_.keyReleases, 1);
    }

    QStringList got;
    for (const auto &args : spy)
        got << args.at(0).toString() + QLatin1Char('|') + args.at(1).toString();
    QCOMPARE(got, reports);
    QTEST(category->isExpanded(), "expandedAfter");
}


// A name too long for the tree's width is cut short with "…"; hovering it
// shows the whole name. A name that fits shows no tooltip.
void TestTreeViewInput::tooltipsOnlyForCutNames()
{
    const QString longName = QStringLiteral("一个名字很长很长很长很长很长很长很长很长很长很长的电台");
    QVERIFY(tree_->addChild(QStringLiteral("新闻"), QStringLiteral("http://h/long"), longName));
    tree_->resize(217, 169);  // as in the window
    tree_->topLevelItem(0)->setExpanded(true);
    const auto hover = [this](const QString &key) {
        const QPoint at = pointOf(key);
        QHelpEvent help(QEvent::ToolTip, at, tree_->viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(tree_->viewport(), &help);
    };
    // The facts, from the font itself: one name is wider than its row, the
    // other is not.
    const auto widerThanRow = [this](const QString &key) {
        const QTreeWidgetItem *item = tree_->nodeByKey(key);
        return tree_->fontMetrics().horizontalAdvance(item->text(0)) > tree_->visualItemRect(item).width();
    };
    QVERIFY(widerThanRow(QStringLiteral("http://h/long")));
    QVERIFY(!widerThanRow(QStringLiteral("http://h/1")));

    hover(QStringLiteral("http://h/long"));
    QVERIFY(QToolTip::isVisible());
    QCOMPARE(QToolTip::text(), longName);
    hover(QStringLiteral("http://h/1"));
    QTRY_VERIFY(!QToolTip::isVisible());
    // Shown (or not) while the event is handled: no waiting needed.
    hover(QStringLiteral("新闻"));
    QVERIFY(!QToolTip::isVisible());

    // Wide enough for the whole name: no tooltip for it any more.
    tree_->resize(tree_->fontMetrics().horizontalAdvance(longName) + 120, 169);
    QVERIFY(!widerThanRow(QStringLiteral("http://h/long")));
    hover(QStringLiteral("http://h/long"));
    QVERIFY(!QToolTip::isVisible());
}

QTEST_MAIN(TestTreeViewInput)
#include "tst_tree_view_input.moc"
