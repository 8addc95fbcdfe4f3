// SPDX-License-Identifier: GPL-3.0-or-later
// Stations from playlist files: .pls with its titles, .m3u with #EXTINF,
// .asx; only addresses the player would open, each once; names from free
// text made fit for the station list.
#include "playlist_import.h"
#include "station_document.h"

#include <QTest>

using namespace kelvaro;

class TestPlaylistImport : public QObject {
    Q_OBJECT
private slots:
    void entries_data();
    void entries();
    void namesFitTheList();
};

void TestPlaylistImport::entries_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QStringList>("expected");  // "title|address"

    QTest::newRow("pls, titles by number, CR LF")
        << "a.pls"
        << QByteArray("[playlist]\r\nNumberOfEntries=3\r\nTitle2=Second\r\nFile1=http://127.0.0.1/one\r\n"
                      "File2=https://127.0.0.1/two\r\nTitle1=First\r\nFile3=file:///etc/passwd\r\n")
        << QStringList{"First|http://127.0.0.1/one", "Second|https://127.0.0.1/two"};
    QTest::newRow("m3u with #EXTINF and a byte-order mark")
        << "list.m3u8"
        << QByteArray("\xEF\xBB\xBF#EXTM3U\n#EXTINF:-1 tvg-id=\"x\",中国之声\nhttp://127.0.0.1/zgzs\n\n"
                      "# a comment\nhttp://127.0.0.1/bare\njavascript:alert(1)\nhttp://127.0.0.1/zgzs\n")
        << QStringList{"中国之声|http://127.0.0.1/zgzs", "|http://127.0.0.1/bare"};
    QTest::newRow("asx, told by its content")
        << "download"
        << QByteArray("<ASX version=3><Entry><Ref HREF=\"mms://127.0.0.1/a\"/></Entry>"
                      "<entry><ref href=http://127.0.0.1/b /></entry></ASX>")
        << QStringList{"|mms://127.0.0.1/a", "|http://127.0.0.1/b"};
    QTest::newRow("pls, told by its content") << "x.txt"
                                             << QByteArray("[Playlist]\nFile1=http://127.0.0.1/p\n")
                                             << QStringList{"|http://127.0.0.1/p"};
}

void TestPlaylistImport::entries()
{
    QFETCH(QString, fileName);
    QFETCH(QByteArray, data);
    QFETCH(QStringList, expected);
    QStringList got;
    for (const PlaylistEntry &e : parsePlaylist(data, fileName))
        got << e.title + QLatin1Char('|') + e.address;
    QCOMPARE(got, expected);
}

void TestPlaylistImport::namesFitTheList()
{
    const QString address = QStringLiteral("http://radio.example.org:8000/live");
    const QStringList titles = {QStringLiteral("  Jazz;;Blues\t\x01 FM;  "), QStringLiteral("a\r\nb;"),
                                QStringLiteral(" \x1b "), QStringLiteral("古典\u2028音乐")};
    const QStringList expected = {QStringLiteral("Jazz; Blues FM"), QStringLiteral("a b"),
                                  QStringLiteral("radio.example.org"), QStringLiteral("古典 音乐")};
    for (qsizetype i = 0; i < titles.size(); ++i) {
        const QString name = stationNameFrom(titles[i], address);
        QCOMPARE(name, expected[i]);
        QVERIFY2(StationDocument::nameProblem(name).isEmpty(), qPrintable(name));
    }
}

QTEST_GUILESS_MAIN(TestPlaylistImport)
#include "tst_playlist_import.moc"
