// SPDX-License-Identifier: GPL-3.0-or-later
// Where the station list is looked up: the personal list in the config
// folder when that file exists, else the list beside the executable.
#include "station_file.h"
#include "station_list_location.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace kelvaro;

class TestStationListLocation : public QObject {
    Q_OBJECT
private slots:
    void personalListFollowsTheConfigFolder();
    void personalListWinsOnlyWhenItIsAFile();
};

void TestStationListLocation::personalListFollowsTheConfigFolder()
{
    QTemporaryDir home;
    QVERIFY(home.isValid());
    qputenv("HOME", QFile::encodeName(home.path()));

    qputenv("XDG_CONFIG_HOME", "/somewhere/config");
    QCOMPARE(personalStationListPath(), QStringLiteral("/somewhere/config/kelvaro/电台.ini"));
    // Unset, empty or relative: ~/.config.
    const QString fallback = home.path() + QStringLiteral("/.config/kelvaro/电台.ini");
    qputenv("XDG_CONFIG_HOME", "relative/config");
    QCOMPARE(personalStationListPath(), fallback);
    qputenv("XDG_CONFIG_HOME", "");
    QCOMPARE(personalStationListPath(), fallback);
    qunsetenv("XDG_CONFIG_HOME");
    QCOMPARE(personalStationListPath(), fallback);
}

void TestStationListLocation::personalListWinsOnlyWhenItIsAFile()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString config = root.filePath(QStringLiteral("config"));
    const QString program = root.filePath(QStringLiteral("program"));
    QVERIFY(QDir().mkpath(program));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
    const QString beside = program + QStringLiteral("/电台.ini");
    const QString personal = config + QStringLiteral("/kelvaro/电台.ini");

    // No personal list (and no folder for it): the list beside the program,
    // whether that exists or not; the lookup creates nothing.
    StationListLocation where = lookUpStationList(program);
    QCOMPARE(where.path, beside);
    QVERIFY(!where.personal);
    QVERIFY(!QFileInfo::exists(config));

    // A folder where the list should be is not a list.
    QVERIFY(QDir().mkpath(personal));
    where = lookUpStationList(program);
    QCOMPARE(where.path, beside);
    QVERIFY(QDir().rmdir(personal));

    QFile file(personal);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("个人;;mms://127.0.0.1;;\n");
    file.close();
    where = lookUpStationList(program);
    QCOMPARE(where.path, personal);
    QVERIFY(where.personal);
    QCOMPARE(readStationList(where.path).table.row(1).name, QStringLiteral("个人"));
}

QTEST_GUILESS_MAIN(TestStationListLocation)
#include "tst_station_list_location.moc"
