// SPDX-License-Identifier: GPL-3.0-or-later
// Recording what plays, against real servers: the files hold the stations'
// own packets, in order, with nothing missing or doubled inside a file; a
// reconnect gives a new part; songs apart are named and tagged after their
// titles; a full disk ends the recording with the file still playable.

#include "listening.h"
#include "mpv_engine.h"
#include "page_server.h"
#include "player_test_support.h"
#include "recorder.h"
#include "recording_tags.h"

#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace kelvaro;
using namespace kelvaro::testing;
using namespace std::chrono_literals;

namespace {

// A tone whose pitch rises with time: every packet differs from every other,
// so a packet missing or doubled shows in the packet list.
bool makeChirp(const QString &path, double seconds, const QStringList &codecArgs)
{
    QProcess ffmpeg;
    QStringList args = {QStringLiteral("-nostdin"), QStringLiteral("-loglevel"), QStringLiteral("error"),
                        QStringLiteral("-y"), QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                        QStringLiteral("aevalsrc=0.5*sin(2*PI*(300+10*t)*t)|0.5*sin(2*PI*(500+10*t)*t):s=44100:d=%1")
                            .arg(seconds)};
    args << codecArgs << path;
    ffmpeg.start(QStringLiteral("ffmpeg"), args);
    return ffmpeg.waitForFinished(120000) && ffmpeg.exitCode() == 0;
}

// The audio packets of a file, as ffmpeg reads them without decoding: one
// hash each, in order; `seconds` gets the time they hold.
QStringList packets(const QString &path, double *seconds = nullptr)
{
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), {QStringLiteral("-nostdin"), QStringLiteral("-v"), QStringLiteral("error"),
                                            QStringLiteral("-i"), path, QStringLiteral("-map"), QStringLiteral("0:a"),
                                            QStringLiteral("-c"), QStringLiteral("copy"), QStringLiteral("-f"),
                                            QStringLiteral("framemd5"), QStringLiteral("-")});
    ffmpeg.waitForFinished(120000);
    QStringList hashes;
    double timeBase = 0, total = 0;
    for (const QByteArray &line : ffmpeg.readAllStandardOutput().split('\n')) {
        if (line.startsWith("#tb 0:")) {
            const QList<QByteArray> ratio = line.mid(6).trimmed().split('/');
            timeBase = ratio.value(0).toDouble() / ratio.value(1).toDouble();
        }
        if (line.startsWith('#') || line.trimmed().isEmpty())
            continue;
        // stream, dts, pts, duration, size, hash[, side data]
        const QList<QByteArray> fields = line.split(',');
        if (fields.size() >= 6) {
            hashes << QString::fromLatin1(fields.at(5).trimmed());
            total += fields.at(3).trimmed().toDouble() * timeBase;
        }
    }
    if (seconds)
        *seconds = total;
    return hashes;
}

// Where `part` lies in the looped `source` as one unbroken run; -1 when it
// does not (a packet missing, doubled or foreign).
qsizetype runIn(const QStringList &part, const QStringList &source)
{
    if (part.isEmpty() || source.isEmpty())
        return -1;
    const qsizetype start = source.indexOf(part.first());
    if (start < 0)
        return -1;
    for (qsizetype i = 0; i < part.size(); ++i) {
        if (part.at(i) != source.at((start + i) % source.size()))
            return -1;
    }
    return start;
}

// ffprobe's view of a file: its codec and duration; empty when unreadable.
QPair<QString, double> probe(const QString &path)
{
    QProcess ffprobe;
    ffprobe.start(QStringLiteral("ffprobe"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
                                              QStringLiteral("format=duration:stream=codec_name"), QStringLiteral("-of"),
                                              QStringLiteral("default=nw=1:nk=1"), path});
    ffprobe.waitForFinished(60000);
    const QStringList lines = QString::fromUtf8(ffprobe.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    if (ffprobe.exitCode() != 0 || lines.size() < 2)
        return {};
    return {lines.at(0), lines.at(1).toDouble()};
}

// Every file below `folder`, by name.
QStringList filesIn(const QString &folder)
{
    QStringList files;
    for (const QFileInfo &f : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden, QDir::Name))
        files << f.absoluteFilePath();
    return files;
}

// Listening on engines without a sound output: recording needs none.
std::unique_ptr<Listening> silentListening()
{
    return std::make_unique<Listening>(
        [](bool) -> PlaybackEngine * { return new MpvEngine(MpvEngine::Options{.audioOutput = false}); });
}

bool waitForPlaying(Listening &l, int ms = 30000)
{
    return QTest::qWaitFor([&] { return l.state() == PlayerSession::State::Playing; }, ms);
}

}  // namespace

class TestRecording : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void keepsTheStationsOwnPackets_data();
    void keepsTheStationsOwnPackets();
    void aReconnectStartsANewPart();
    void songsApart();
    void aFullDiskEndsTheRecording();

private:
    QTemporaryDir dir_;
    FaultServer faults_;
    IcecastServer icecast_;
    ChildProcess hlsWriter_;
    PageServer hlsServer_;
    QString mp3_, ogg_, aac_;
};

void TestRecording::initTestCase()
{
    QVERIFY(dir_.isValid());
    mp3_ = dir_.filePath(QStringLiteral("chirp.mp3"));
    ogg_ = dir_.filePath(QStringLiteral("chirp.ogg"));
    aac_ = dir_.filePath(QStringLiteral("chirp.aac"));
    // Whole MP3 frames only (no tag, no header frame): looped byte for byte
    // by the stream server, every loop is the same packets.
    QVERIFY(makeChirp(mp3_, 30, {QStringLiteral("-c:a"), QStringLiteral("libmp3lame"), QStringLiteral("-b:a"),
                                 QStringLiteral("128k"), QStringLiteral("-id3v2_version"), QStringLiteral("0"),
                                 QStringLiteral("-write_xing"), QStringLiteral("0")}));
    QVERIFY(makeChirp(ogg_, 30, {QStringLiteral("-c:a"), QStringLiteral("libvorbis"), QStringLiteral("-q:a"), QStringLiteral("8")}));
    QVERIFY(makeChirp(aac_, 60, {QStringLiteral("-c:a"), QStringLiteral("aac"), QStringLiteral("-b:a"), QStringLiteral("128k"),
                                 QStringLiteral("-f"), QStringLiteral("adts")}));
    QVERIFY(faults_.start(mp3_));
    QVERIFY(icecast_.start());
    QVERIFY(icecast_.startFileSource(QStringLiteral("/chirp.ogg"), ogg_, QStringLiteral("application/ogg"),
                                     QStringLiteral("ogg")));
    QVERIFY2(icecast_.waitForMount(QStringLiteral("/chirp.ogg")), qPrintable(icecast_.errorLog()));
    // Live HLS: ffmpeg cuts the AAC into 2-second segments at its real pace.
    const QString hls = dir_.filePath(QStringLiteral("hls"));
    QVERIFY(QDir().mkpath(hls));
    QVERIFY(hlsWriter_.start(
        QStringLiteral("python3"),
        {supportScript(QStringLiteral("tied_child.py")), QStringLiteral("ffmpeg"), QStringLiteral("-nostdin"),
         QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-re"), QStringLiteral("-i"), aac_,
         QStringLiteral("-c"), QStringLiteral("copy"), QStringLiteral("-f"), QStringLiteral("hls"),
         QStringLiteral("-hls_time"), QStringLiteral("2"), QStringLiteral("-hls_list_size"), QStringLiteral("4"),
         hls + QStringLiteral("/live.m3u8")}));
    QVERIFY(hlsServer_.start(hls));
    QVERIFY(QTest::qWaitFor([&] { return QFileInfo::exists(hls + QStringLiteral("/live.m3u8")); }, 30000));
}

// One recording of each kind of stream: the file holds the station's own
// packets (no ICY bytes, nothing encoded again), in one unbroken run, in
// the stream's own format, tagged, with the duration of what it holds.
void TestRecording::keepsTheStationsOwnPackets_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("codec");
    QTest::newRow("mp3 with titles") << QStringLiteral("mp3") << QStringLiteral("mp3");
    QTest::newRow("ogg vorbis") << QStringLiteral("ogg") << QStringLiteral("vorbis");
    QTest::newRow("hls segments") << QStringLiteral("hls") << QStringLiteral("aac");
}

void TestRecording::keepsTheStationsOwnPackets()
{
    QFETCH(QString, kind);
    QFETCH(QString, codec);
    QString address, source;
    if (kind == QLatin1String("mp3")) {
        address = faults_.url(QStringLiteral("/stream.mp3?title=%E6%AD%8C%E6%89%8B%20-%20%E4%B8%80|Two&every=2"));
        source = mp3_;
    } else if (kind == QLatin1String("ogg")) {
        address = icecast_.url(QStringLiteral("/chirp.ogg"));
        source = ogg_;
    } else {
        address = hlsServer_.url(QStringLiteral("live.m3u8"));
        source = aac_;
    }
    QTemporaryDir root;
    auto listening = silentListening();
    listening->recorder().setRoot(root.path());
    QVERIFY(listening->choose({address, QStringLiteral("测试台/一"), QStringLiteral("音乐")}));
    QVERIFY(waitForPlaying(*listening));
    listening->setRecording(true);
    QVERIFY(listening->recorder().isRecording());
    QSignalSpy saved(&listening->recorder(), &Recorder::fileSaved);
    // The file grows behind what is heard, by what the engine's writer holds.
    QTest::qWait(10000);
    QVERIFY2(listening->recorder().progressText().contains(QRegularExpression(QStringLiteral("^录音中 00:\\d\\d · \\d+\\.\\d MB$"))),
             qPrintable(listening->recorder().progressText()));
    listening->setRecording(false);
    QVERIFY(QTest::qWaitFor([&] { return !listening->recorder().isFinishing(); }, 30000));
    QCOMPARE(saved.size(), 1);
    const QString file = saved.at(0).at(0).toString();

    // Under the station's folder (its "/" made safe), named by the time.
    QCOMPARE(QFileInfo(file).absolutePath(), root.filePath(QStringLiteral("测试台_一")));
    QVERIFY2(QFileInfo(file).fileName().contains(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d\\.\\d\\d "))),
             qPrintable(file));
    QCOMPARE(filesIn(QFileInfo(file).absolutePath()), QStringList{file});  // no copy or claim left behind
    double held = 0;
    const QStringList got = packets(file, &held);
    const QStringList sent = packets(source);
    QVERIFY2(got.size() > 200, qPrintable(QString::number(got.size())));
    QVERIFY2(runIn(got, sent) >= 0, "the file is not one unbroken run of the station's packets");
    const auto [fileCodec, duration] = probe(file);
    QCOMPARE(fileCodec, codec);
    // The duration players show is that of the packets held (to 1 %).
    QVERIFY2(qAbs(duration - held) < 0.01 * held + 0.1,
             qPrintable(QStringLiteral("%1 s shown for %2 s held").arg(duration).arg(held)));
    const RecordingTags tags = readRecordingTags(file);
    QCOMPARE(tags.album, QStringLiteral("测试台/一"));
    QCOMPARE(tags.comment, address);
    QCOMPARE(tags.date, QDate::currentDate().toString(Qt::ISODate));
    if (kind == QLatin1String("mp3")) {
        // Named after the title at the start, split into artist and title.
        QVERIFY(tags.artist == QStringLiteral("歌手") || tags.title == QStringLiteral("Two"));
    }
}

// A dropped connection loses what the station sent meanwhile: the file ends
// and the recording goes on in a second part, each an unbroken run.
void TestRecording::aReconnectStartsANewPart()
{
    QTemporaryDir root;
    auto listening = silentListening();
    listening->recorder().setRoot(root.path());
    QVERIFY(listening->choose({faults_.url(QStringLiteral("/drop?after=8&down=0")), QStringLiteral("断线台"), {}}));
    QVERIFY(waitForPlaying(*listening));
    listening->setRecording(true);
    QSignalSpy saved(&listening->recorder(), &Recorder::fileSaved);
    // The drop, the reconnect, then some seconds of the second part.
    QVERIFY(saved.wait(30000));
    QVERIFY(waitForPlaying(*listening));
    QTest::qWait(4000);
    QVERIFY(listening->recorder().isRecording());
    listening->setRecording(false);
    QVERIFY(QTest::qWaitFor([&] { return saved.size() == 2; }, 30000));
    const QString first = saved.at(0).at(0).toString();
    const QString second = saved.at(1).at(0).toString();
    QCOMPARE(QFileInfo(second).completeBaseName(), QFileInfo(first).completeBaseName() + QStringLiteral(" (2)"));
    const QStringList sent = packets(mp3_);
    // The first part ends where the connection broke, maybe inside a frame.
    QVERIFY(runIn(packets(first).mid(0, packets(first).size() - 1), sent) >= 0);
    // The second part holds the new connection from its first packet.
    QCOMPARE(runIn(packets(second), sent), 0);
}

// Songs apart: each title starts a file named after it; the pieces join
// without a packet missing or doubled; the first and last, cut, are marked
// or dropped; tags say artist and title.
void TestRecording::songsApart()
{
    for (const bool keepCut : {true, false}) {
        QTemporaryDir root;
        auto listening = silentListening();
        Recorder &recorder = listening->recorder();
        recorder.setRoot(root.path());
        recorder.setSplitBySong(true);
        recorder.setKeepCutPieces(keepCut);
        recorder.setMinimumPiece(1s);
        const QString address =
            faults_.url(QStringLiteral("/stream.mp3?title=A%20-%20One|B%20-%20Two|C%20-%20Three|D%20-%20Four&every=3&k=%1").arg(keepCut));
        QVERIFY(listening->choose({address, QStringLiteral("点歌台"), {}}));
        QVERIFY(waitForPlaying(*listening));
        QVERIFY(QTest::qWaitFor([&] { return !listening->title().isEmpty(); }, 10000));
        listening->setRecording(true);
        QSignalSpy saved(&recorder, &Recorder::fileSaved);
        QSignalSpy titles(listening.get(), &Listening::titleChanged);
        QVERIFY2(QTest::qWaitFor([&] { return titles.size() >= 3; }, 30000),
                 qPrintable(QStringLiteral("keep %1: %2 titles").arg(keepCut).arg(titles.size())));
        QTest::qWait(2500);  // the last piece longer than the minimum
        listening->setRecording(false);
        QVERIFY(QTest::qWaitFor([&] { return !recorder.isFinishing(); }, 30000));
        QStringList files;
        for (const auto &args : saved)
            files << args.at(0).toString();
        // A file for each title heard; without the cut ones, two fewer.
        QVERIFY2(files.size() == int(titles.size()) + (keepCut ? 1 : -1),
                 qPrintable(QStringLiteral("%1 titles: ").arg(titles.size()) + files.join(QLatin1Char('\n'))));
        const QStringList sent = packets(mp3_);
        QStringList joined;
        for (const QString &f : files) {
            const QString name = QFileInfo(f).completeBaseName();
            const RecordingTags tags = readRecordingTags(f);
            QVERIFY2(name.endsWith(tags.title) || name.contains(tags.title + QStringLiteral(" (不完整)")),
                     qPrintable(name));
            QCOMPARE(tags.artist.size(), 1);
            QCOMPARE(tags.album, QStringLiteral("点歌台"));
            joined << packets(f);
        }
        const bool firstCut = QFileInfo(files.first()).completeBaseName().contains(QStringLiteral("(不完整)"));
        const bool lastCut = QFileInfo(files.last()).completeBaseName().contains(QStringLiteral("(不完整)"));
        QCOMPARE(firstCut, keepCut);
        QCOMPARE(lastCut, keepCut);
        for (qsizetype i = 1; i + 1 < files.size(); ++i)
            QVERIFY(!files.at(i).contains(QStringLiteral("(不完整)")));
        if (keepCut) {
            // Every piece kept: together, one unbroken run.
            QVERIFY2(runIn(joined, sent) >= 0, "a packet is missing or doubled where a song begins");
        }
        QCOMPARE(filesIn(root.filePath(QStringLiteral("点歌台"))).size(), files.size());
    }
}

// A disk that fills up ends the recording with a message; playing goes on,
// and what was written is a playable file. Needs a small file system of its
// own (tmpfs), which only root may mount.
void TestRecording::aFullDiskEndsTheRecording()
{
    QTemporaryDir mountPoint;
    QProcess mount;
    mount.start(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                          QStringLiteral("size=160k"), QStringLiteral("tmpfs"), mountPoint.path()});
    if (!mount.waitForFinished(10000) || mount.exitCode() != 0)
        QSKIP("a small tmpfs cannot be mounted here (not root)");
    const auto unmount = qScopeGuard([&] { QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), mountPoint.path()}); });
    auto listening = silentListening();
    listening->recorder().setRoot(mountPoint.path());
    QVERIFY(listening->choose({faults_.url(QStringLiteral("/stream.mp3")), QStringLiteral("满盘台"), {}}));
    QVERIFY(waitForPlaying(*listening));
    QSignalSpy failed(&listening->recorder(), &Recorder::failed);
    QSignalSpy saved(&listening->recorder(), &Recorder::fileSaved);
    listening->setRecording(true);
    QVERIFY(failed.wait(30000));
    QCOMPARE(failed.at(0).at(0).toString(), QStringLiteral("录音已停止：磁盘已满"));
    QVERIFY(!listening->recorder().isRecording());
    // The file may be saved while the message is still being delivered.
    QVERIFY(QTest::qWaitFor([&] { return !saved.isEmpty(); }, 10000));
    QTest::qWait(1000);
    QCOMPARE(listening->state(), PlayerSession::State::Playing);
    const QString file = saved.at(0).at(0).toString();
    // Whole up to the frame the disk had no room for.
    const QStringList kept = packets(file);
    QVERIFY(runIn(kept.mid(0, kept.size() - 1), packets(mp3_)) >= 0);
    QVERIFY2(probe(file).second > 5, qPrintable(QString::number(probe(file).second)));
    QCOMPARE(filesIn(QFileInfo(file).absolutePath()), QStringList{file});
}

QTEST_GUILESS_MAIN(TestRecording)
#include "tst_recording.moc"
