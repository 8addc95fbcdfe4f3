// SPDX-License-Identifier: GPL-3.0-or-later
// Finding the user's own stations by name and by pinyin.
#include "station_search.h"

#include <QtTest>

using namespace kelvaro;

class TestStationSearch : public QObject {
    Q_OBJECT

private:
    static StationSearch sample()
    {
        PlainTree tree;
        tree.addTopLevel(QStringLiteral("央广"), QStringLiteral("央广"));
        tree.addChild(QStringLiteral("央广"), QStringLiteral("http://a/zgzs"), QStringLiteral("中国之声"));
        tree.addChild(QStringLiteral("央广"), QStringLiteral("http://a/jjzs"), QStringLiteral("经济之声"));
        tree.addTopLevel(QStringLiteral("地方"), QStringLiteral("地方"));
        tree.addChild(QStringLiteral("地方"), QStringLiteral("http://b/cq"), QStringLiteral("重庆交通广播"));
        tree.addChild(QStringLiteral("地方"), QStringLiteral("http://b/bbc"), QStringLiteral("BBC Radio 4"));
        tree.addChild(QStringLiteral("地方"), QStringLiteral("http://b/gz"), QStringLiteral("广州之声 zgzs"));
        return StationSearch::index(tree.nodes());
    }

    static QStringList names(const QList<StationSearch::Station> &found)
    {
        QStringList out;
        for (const auto &station : found)
            out << station.name;
        return out;
    }

private slots:
    void findsByNameAndPinyin_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QStringList>("expected");
        const QString zgzs = QStringLiteral("中国之声");
        QTest::newRow("initials") << "zgzs" << QStringList{QStringLiteral("广州之声 zgzs"), zgzs};
        QTest::newRow("full pinyin, part of the name") << "zhongguo" << QStringList{zgzs};
        QTest::newRow("initials and syllables mixed, upper case") << "ZG zhiSheng" << QStringList{zgzs};
        QTest::newRow("apostrophe between syllables") << "zhong'guo" << QStringList{zgzs};
        QTest::newRow("syllables from the middle") << "zhisheng"
            << QStringList{zgzs, QStringLiteral("经济之声"), QStringLiteral("广州之声 zgzs")};
        QTest::newRow("a name read as a name") << "chongqing" << QStringList{QStringLiteral("重庆交通广播")};
        QTest::newRow("Chinese as written") << "之声"
            << QStringList{zgzs, QStringLiteral("经济之声"), QStringLiteral("广州之声 zgzs")};
        QTest::newRow("Latin words in a name") << "bbc r4" << QStringList{QStringLiteral("BBC Radio 4")};
        QTest::newRow("syllables skipped do not match") << "zhongsheng" << QStringList{};
        QTest::newRow("a letter no syllable has") << "zgzsv" << QStringList{};
        QTest::newRow("category names are not station names") << "yangguang" << QStringList{};
        QTest::newRow("punctuation is not pinyin") << "zg-zs" << QStringList{};
        QTest::newRow("nothing typed") << "   " << QStringList{};
    }
    void findsByNameAndPinyin()
    {
        QFETCH(QString, query);
        QFETCH(QStringList, expected);
        static const StationSearch search = sample();
        QCOMPARE(search.size(), 5);
        QCOMPARE(names(search.find(query, 10)), expected);
    }

    void keepsToTheLimitAndCategories()
    {
        const StationSearch search = sample();
        const auto found = search.find(QStringLiteral("zs"), 1);
        QCOMPARE(found.size(), 1);
        QCOMPARE(found[0].category, QStringLiteral("地方"));  // the name match comes first
        QCOMPARE(found[0].address, QStringLiteral("http://b/gz"));
    }
};

QTEST_GUILESS_MAIN(TestStationSearch)
#include "tst_station_search.moc"
