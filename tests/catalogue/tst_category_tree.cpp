// SPDX-License-Identifier: GPL-3.0-or-later
// Filling the category tree: every rule of the filling, the same rows into
// the widget-free tree the checker uses and into the program's tree widget.
#include "category_tree.h"
#include "station_list_check.h"
#include "tree_view.h"

#include <QApplication>
#include <QTest>

using namespace kelvaro;

namespace {

const QString S = kCategorySentinel;

// Rows as (name, address) pairs.
using Rows = QList<QPair<QString, QString>>;

StationTable tableOf(const Rows &rows)
{
    StationTable table;
    int n = 0;
    for (const auto &[name, address] : rows) {
        ++n;
        table.row(n).name = name;
        table.row(n).address = address;
        table.row(n).extra = QStringLiteral("extra %1").arg(n);
    }
    return table;
}

// "key=text[key=text,…];…" for a whole tree.
QString dump(const QList<PlainTree::Node> &nodes)
{
    QStringList categories;
    for (const auto &category : nodes) {
        QStringList stations;
        for (const auto &station : category.children)
            stations << station.key + QLatin1Char('=') + station.text;
        categories << category.key + QLatin1Char('=') + category.text + QLatin1Char('[')
                          + stations.join(QLatin1Char(',')) + QLatin1Char(']');
    }
    return categories.join(QLatin1Char(';'));
}

// The same for the widget; also checks the widget's own state on the way.
QString dump(const TreeView &tree, bool *allCollapsed, bool *twoLevels)
{
    *allCollapsed = true;
    *twoLevels = true;
    QStringList categories;
    for (int i = 0; i < tree.topLevelItemCount(); ++i) {
        const QTreeWidgetItem *category = tree.topLevelItem(i);
        *allCollapsed = *allCollapsed && !category->isExpanded();
        QStringList stations;
        for (int j = 0; j < category->childCount(); ++j) {
            const QTreeWidgetItem *station = category->child(j);
            *twoLevels = *twoLevels && station->childCount() == 0;
            stations << TreeView::keyOf(station) + QLatin1Char('=') + station->text(0);
        }
        categories << TreeView::keyOf(category) + QLatin1Char('=') + category->text(0) + QLatin1Char('[')
                          + stations.join(QLatin1Char(',')) + QLatin1Char(']');
    }
    return categories.join(QLatin1Char(';'));
}

QStringList summary(const QList<FillProblem> &problems)
{
    QStringList out;
    for (const FillProblem &p : problems) {
        const char *kind = p.kind == FillProblem::Kind::StationBeforeCategory ? "before"
                           : p.kind == FillProblem::Kind::DuplicateKey       ? "duplicate"
                                                                             : "refused";
        out << QStringLiteral("%1:%2:%3").arg(p.row).arg(QLatin1String(kind)).arg(p.earlierRow);
    }
    return out;
}

}  // namespace

class TestCategoryTree : public QObject {
    Q_OBJECT
private slots:
    void fills_data();
    void fills();
    void fillsAllNineHundredRows();
    void treeRefusesBadKeys_data();
    void treeRefusesBadKeys();
};

void TestCategoryTree::fills_data()
{
    QTest::addColumn<Rows>("rows");
    QTest::addColumn<QString>("tree");
    QTest::addColumn<QStringList>("problems");

    QTest::newRow("category with two stations")
        << Rows{{"A", S}, {"s1", "u1"}, {"s2", "u2"}} << "A=A[u1=s1,u2=s2]" << QStringList{};
    QTest::newRow("categories and stations in file order, unsorted")
        << Rows{{"Z", S}, {"b", "u2"}, {"a", "u1"}, {"M", S}, {"y", "u9"}}
        << "Z=Z[u2=b,u1=a];M=M[u9=y]" << QStringList{};
    QTest::newRow("heading after heading gives an empty category")
        << Rows{{"A", S}, {"B", S}, {"s", "u"}} << "A=A[];B=B[u=s]" << QStringList{};
    QTest::newRow("station named like its address")
        << Rows{{"A", S}, {"http://x", "http://x"}} << "A=A[http://x=http://x]" << QStringList{};
    QTest::newRow("empty name stops filling")
        << Rows{{"A", S}, {"s", "u"}, {"", "v"}, {"t", "w"}, {"B", S}} << "A=A[u=s]" << QStringList{};
    QTest::newRow("empty name in row 1") << Rows{{"", S}, {"A", S}} << "" << QStringList{};
    QTest::newRow("empty table") << Rows{} << "" << QStringList{};
    QTest::newRow("look-alike markers are stations")
        << Rows{{"A", S}, {"x", "MMS://127.0.0.1"}, {"y", "mms://127.0.0.1/"}, {"z", " mms://127.0.0.1"}}
        << "A=A[MMS://127.0.0.1=x,mms://127.0.0.1/=y, mms://127.0.0.1=z]" << QStringList{};
    QTest::newRow("web page station is a plain node")
        << Rows{{"A", S}, {"p", "http://h/p.html#1"}} << "A=A[http://h/p.html#1=p]" << QStringList{};
    QTest::newRow("station before any category is skipped")
        << Rows{{"s", "u"}, {"A", S}, {"t", "v"}} << "A=A[v=t]" << QStringList{"1:before:0"};
    QTest::newRow("duplicate station address is skipped")
        << Rows{{"A", S}, {"s", "u"}, {"B", S}, {"t", "u"}, {"w", "x"}} << "A=A[u=s];B=B[x=w]"
        << QStringList{"4:duplicate:2"};
    QTest::newRow("station address equal to a category name is skipped")
        << Rows{{"A", S}, {"s", "A"}, {"t", "v"}} << "A=A[v=t]" << QStringList{"2:duplicate:1"};
    QTest::newRow("repeated heading joins the existing category")
        << Rows{{"A", S}, {"s", "u"}, {"B", S}, {"t", "v"}, {"A", S}, {"w", "x"}}
        << "A=A[u=s,x=w];B=B[v=t]" << QStringList{"5:duplicate:1"};
    QTest::newRow("heading named like a station address takes its stations down")
        << Rows{{"A", S}, {"s", "u"}, {"u", S}, {"t", "v"}, {"B", S}, {"r", "w"}}
        << "A=A[u=s];B=B[w=r]" << QStringList{"3:duplicate:2", "4:before:3"};
    QTest::newRow("empty addresses are keys too")
        << Rows{{"A", S}, {"s", ""}, {"t", ""}} << "A=A[=s]" << QStringList{"3:duplicate:2"};
}

void TestCategoryTree::fills()
{
    QFETCH(Rows, rows);
    const StationTable table = tableOf(rows);

    PlainTree plain;
    const auto plainProblems = fillCategoryTree(table, plain);
    QTEST(dump(plain.nodes()), "tree");
    QTEST(summary(plainProblems), "problems");

    TreeView widget;
    const auto widgetProblems = fillCategoryTree(table, widget);
    bool allCollapsed = false, twoLevels = false;
    QTEST(dump(widget, &allCollapsed, &twoLevels), "tree");
    QTEST(summary(widgetProblems), "problems");
    QVERIFY(allCollapsed);
    QVERIFY(twoLevels);
    QVERIFY(!widget.isSortingEnabled());
}

void TestCategoryTree::fillsAllNineHundredRows()
{
    Rows rows{{"A", S}};
    for (int i = 2; i <= 450; ++i)
        rows.append({QStringLiteral("s%1").arg(i), QStringLiteral("u%1").arg(i)});
    rows.append({"B", S});
    for (int i = 452; i <= StationTable::kRows; ++i)
        rows.append({QStringLiteral("s%1").arg(i), QStringLiteral("u%1").arg(i)});
    QCOMPARE(rows.size(), StationTable::kRows);

    TreeView widget;
    QVERIFY(fillCategoryTree(tableOf(rows), widget).isEmpty());
    QCOMPARE(widget.topLevelItemCount(), 2);
    QCOMPARE(widget.topLevelItem(0)->childCount(), 449);
    QCOMPARE(widget.topLevelItem(1)->childCount(), 449);
    QCOMPARE(TreeView::keyOf(widget.topLevelItem(1)->child(448)), QStringLiteral("u900"));
    QCOMPARE(widget.nodeByKey(QStringLiteral("u900"))->text(0), QStringLiteral("s900"));
}

void TestCategoryTree::treeRefusesBadKeys_data()
{
    QTest::addColumn<QString>("operation");  // "top KEY" or "child PARENT KEY"
    QTest::addColumn<bool>("accepted");
    // Both trees start with category C holding station k.
    QTest::newRow("new category") << "top D" << true;
    QTest::newRow("category key taken by a category") << "top C" << false;
    QTest::newRow("category key taken by a station") << "top k" << false;
    QTest::newRow("new station") << "child C m" << true;
    QTest::newRow("station key taken by a station") << "child C k" << false;
    QTest::newRow("station key taken by a category") << "child C C" << false;
    QTest::newRow("missing parent") << "child X m" << false;
    QTest::newRow("empty parent key") << "child  m" << false;
    QTest::newRow("station as parent: two levels only") << "child k m" << false;
}

void TestCategoryTree::treeRefusesBadKeys()
{
    QFETCH(QString, operation);
    QFETCH(bool, accepted);
    const QStringList parts = operation.split(QLatin1Char(' '));

    PlainTree plain;
    TreeView widget;
    for (CategoryTree *tree : {static_cast<CategoryTree *>(&plain), static_cast<CategoryTree *>(&widget)}) {
        QVERIFY(tree->addTopLevel(QStringLiteral("C"), QStringLiteral("C")));
        QVERIFY(tree->addChild(QStringLiteral("C"), QStringLiteral("k"), QStringLiteral("station")));
        const bool result = parts[0] == QLatin1String("top")
                                ? tree->addTopLevel(parts[1], parts[1])
                                : tree->addChild(parts[1], parts[2], QStringLiteral("new"));
        QCOMPARE(result, accepted);
    }
    const QString before = QStringLiteral("C=C[k=station]");
    bool allCollapsed = false, twoLevels = false;
    const QString widgetDump = dump(widget, &allCollapsed, &twoLevels);
    QCOMPARE(widgetDump, dump(plain.nodes()));
    if (!accepted)
        QCOMPARE(widgetDump, before);  // a refused call adds nothing
    else
        QVERIFY(widgetDump != before);
    QVERIFY(twoLevels);
}

QTEST_MAIN(TestCategoryTree)
#include "tst_category_tree.moc"
