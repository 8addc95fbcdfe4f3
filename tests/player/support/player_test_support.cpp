// SPDX-License-Identifier: GPL-3.0-or-later
#include "player_test_support.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>
#include <QUrl>
#include <QUrlQuery>

#include <algorithm>
#include <cmath>
#include <vector>

#include <csignal>

namespace kelvaro::testing {

QString supportScript(const QString &name)
{
    return QStringLiteral(KELVARO_SOURCE_DIR "/tests/player/support/") + name;
}

quint16 freePort()
{
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0))
        return 0;
    const quint16 port = server.serverPort();
    server.close();
    return port;
}

bool portAcceptsConnections(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    const bool ok = socket.waitForConnected(1000);
    socket.abort();
    return ok;
}

// ---- ChildProcess ----------------------------------------------------------

bool ChildProcess::start(const QString &program, const QStringList &args, const QProcessEnvironment &env)
{
    stop();
    m_output.clear();
    m_process = std::make_unique<QProcess>();
    if (!env.isEmpty())
        m_process->setProcessEnvironment(env);
    m_process->setProcessChannelMode(QProcess::SeparateChannels);
    m_process->setStandardErrorFile(QProcess::nullDevice());
    m_process->start(program, args);
    return m_process->waitForStarted(30000);
}

void ChildProcess::stop()
{
    if (!m_process)
        return;
    if (m_process->state() != QProcess::NotRunning) {
        m_process->terminate();  // SIGTERM to this PID only
        if (!m_process->waitForFinished(5000)) {
            m_process->kill();
            m_process->waitForFinished(5000);
        }
    }
    m_process.reset();
}

QByteArray ChildProcess::output()
{
    if (m_process)
        m_output += m_process->readAllStandardOutput();
    return m_output;
}

bool makeTone(const QString &path, int frequency, double seconds, const QStringList &codecArgs)
{
    QProcess ffmpeg;
    QStringList args = {QStringLiteral("-nostdin"), QStringLiteral("-loglevel"), QStringLiteral("error"),
                        QStringLiteral("-y"), QStringLiteral("-f"), QStringLiteral("lavfi"),
                        QStringLiteral("-i"),
                        QStringLiteral("sine=frequency=%1:sample_rate=44100:duration=%2")
                            .arg(frequency).arg(seconds),
                        QStringLiteral("-ac"), QStringLiteral("2")};
    args << codecArgs << path;
    ffmpeg.start(QStringLiteral("ffmpeg"), args);
    return ffmpeg.waitForFinished(120000) && ffmpeg.exitCode() == 0 && QFileInfo(path).size() > 0;
}

// ---- FaultServer -----------------------------------------------------------

bool FaultServer::start(const QString &mp3Path, const QString &filesDir)
{
    QStringList args = {supportScript(QStringLiteral("fault_server.py")), QStringLiteral("--mp3"), mp3Path};
    if (!filesDir.isEmpty())
        args << QStringLiteral("--files") << filesDir;
    if (!m_process.start(QStringLiteral("python3"), args))
        return false;
    QDeadlineTimer deadline(30000);
    while (!deadline.hasExpired()) {
        m_process.process()->waitForReadyRead(200);
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("PORT (\\d+)")).match(QString::fromLatin1(m_process.output()));
        if (m.hasMatch()) {
            m_port = m.captured(1).toUShort();
            return true;
        }
    }
    return false;
}

QString FaultServer::url(const QString &pathAndQuery) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(pathAndQuery);
}

QStringList FaultServer::requests()
{
    QStringList out;
    for (const QByteArray &line : m_process.output().split('\n'))
        if (line.startsWith("REQUEST "))
            out << QString::fromUtf8(line.mid(8));
    return out;
}

int FaultServer::activeStreams()
{
    int active = 0;
    for (const QByteArray &line : m_process.output().split('\n'))
        if (line.startsWith("ACTIVE "))
            active = line.mid(7).toInt();
    return active;
}

// ---- IcecastServer ---------------------------------------------------------

bool IcecastServer::start()
{
    if (!m_dir.isValid())
        return false;
    m_port = freePort();
    const QString logDir = m_dir.filePath(QStringLiteral("log"));
    QDir().mkpath(logDir);
    // As root Icecast drops to `nobody`, which must be able to reach and
    // write its log folder.
    const bool root = QProcess::execute(QStringLiteral("sh"),
                                        {QStringLiteral("-c"), QStringLiteral("test \"$(id -u)\" -eq 0")}) == 0;
    QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                            | QFileDevice::ExeOwner | QFileDevice::ReadOther
                                            | QFileDevice::ExeOther | QFileDevice::ReadGroup
                                            | QFileDevice::ExeGroup);
    QString security = QStringLiteral("<chroot>0</chroot>");
    if (root) {
        QProcess::execute(QStringLiteral("chown"), {QStringLiteral("nobody:nogroup"), logDir});
        security += QStringLiteral("<changeowner><user>nobody</user><group>nogroup</group></changeowner>");
    }
    const QString config = QStringLiteral(R"(<icecast>
  <location>test</location><admin>test@localhost</admin>
  <limits><clients>20</clients><sources>5</sources><queue-size>524288</queue-size>
    <client-timeout>30</client-timeout><header-timeout>15</header-timeout>
    <source-timeout>10</source-timeout><burst-on-connect>1</burst-on-connect>
    <burst-size>65535</burst-size></limits>
  <authentication><source-password>%1</source-password><relay-password>kelvaro-relay</relay-password>
    <admin-user>admin</admin-user><admin-password>kelvaro-admin</admin-password></authentication>
  <hostname>127.0.0.1</hostname>
  <listen-socket><port>%2</port><bind-address>127.0.0.1</bind-address></listen-socket>
  <mount><mount-name>/tone.mp3</mount-name><charset>UTF-8</charset></mount>
  <fileserve>1</fileserve>
  <paths><basedir>/usr/share/icecast2</basedir><logdir>%3</logdir>
    <webroot>/usr/share/icecast2/web</webroot><adminroot>/usr/share/icecast2/admin</adminroot></paths>
  <logging><accesslog>access.log</accesslog><errorlog>error.log</errorlog><loglevel>3</loglevel></logging>
  <security>%4</security>
</icecast>
)")
                               .arg(sourcePassword())
                               .arg(m_port)
                               .arg(logDir, security);
    const QString configPath = m_dir.filePath(QStringLiteral("icecast.xml"));
    QFile f(configPath);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.write(config.toUtf8());
    f.close();
    QFile::setPermissions(configPath, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther
                                          | QFileDevice::ReadGroup);
    if (!m_server.start(QStringLiteral("python3"), {supportScript(QStringLiteral("tied_child.py")),
                                                    QStringLiteral("icecast2"), QStringLiteral("-c"), configPath}))
        return false;
    QDeadlineTimer deadline(30000);
    while (!deadline.hasExpired() && m_server.isRunning()) {
        if (portAcceptsConnections(m_port))
            return true;
        QThread::msleep(100);
    }
    return false;
}

QString IcecastServer::url(const QString &mount) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(mount);
}

QString IcecastServer::errorLog() const
{
    QFile f(m_dir.filePath(QStringLiteral("log/error.log")));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

bool IcecastServer::startMp3Source(const QString &mount, int frequency)
{
    return startMp3Source(m_source, mount, QStringLiteral("sine=frequency=%1:sample_rate=44100").arg(frequency));
}

bool IcecastServer::startMp3Source(ChildProcess &source, const QString &mount, const QString &lavfi)
{
    return source.start(
        QStringLiteral("python3"),
        {supportScript(QStringLiteral("tied_child.py")), QStringLiteral("ffmpeg"), QStringLiteral("-nostdin"), QStringLiteral("-loglevel"), QStringLiteral("error"),
         QStringLiteral("-re"), QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
         lavfi, QStringLiteral("-ac"),
         QStringLiteral("2"), QStringLiteral("-c:a"), QStringLiteral("libmp3lame"), QStringLiteral("-b:a"),
         QStringLiteral("128k"), QStringLiteral("-content_type"), QStringLiteral("audio/mpeg"),
         QStringLiteral("-f"), QStringLiteral("mp3"),
         QStringLiteral("icecast://source:%1@127.0.0.1:%2%3").arg(sourcePassword()).arg(m_port).arg(mount)});
}

bool IcecastServer::startFileSource(const QString &mount, const QString &path, const QString &contentType,
                                    const QString &format)
{
    return m_source.start(
        QStringLiteral("python3"),
        {supportScript(QStringLiteral("tied_child.py")), QStringLiteral("ffmpeg"), QStringLiteral("-nostdin"),
         QStringLiteral("-loglevel"), QStringLiteral("error"), QStringLiteral("-re"), QStringLiteral("-stream_loop"),
         QStringLiteral("-1"), QStringLiteral("-i"), path, QStringLiteral("-c"), QStringLiteral("copy"),
         QStringLiteral("-content_type"), contentType, QStringLiteral("-f"), format,
         QStringLiteral("icecast://source:%1@127.0.0.1:%2%3").arg(sourcePassword()).arg(m_port).arg(mount)});
}

namespace {
// HTTP status of a GET (curl, at most ~2 s; a live mount is cut off).
int httpStatus(const QString &url)
{
    QProcess curl;
    curl.start(QStringLiteral("curl"), {QStringLiteral("-s"), QStringLiteral("-o"), QStringLiteral("/dev/null"),
                                        QStringLiteral("-w"), QStringLiteral("%{http_code}"),
                                        QStringLiteral("--max-time"), QStringLiteral("2"), url});
    curl.waitForFinished(10000);
    return curl.readAllStandardOutput().trimmed().toInt();
}
}  // namespace

bool IcecastServer::waitForMount(const QString &mount, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (httpStatus(url(mount)) == 200)
            return true;
        QThread::msleep(200);
    }
    return false;
}

bool IcecastServer::setTitle(const QString &mount, const QString &title)
{
    QUrl admin(QStringLiteral("http://127.0.0.1:%1/admin/metadata").arg(m_port));
    QUrlQuery q;
    q.addQueryItem(QStringLiteral("mount"), mount);
    q.addQueryItem(QStringLiteral("mode"), QStringLiteral("updinfo"));
    q.addQueryItem(QStringLiteral("charset"), QStringLiteral("UTF-8"));
    q.addQueryItem(QStringLiteral("song"), title);
    admin.setQuery(q);
    QProcess curl;
    curl.start(QStringLiteral("curl"), {QStringLiteral("-s"), QStringLiteral("-o"), QStringLiteral("/dev/null"),
                                        QStringLiteral("-w"), QStringLiteral("%{http_code}"),
                                        QStringLiteral("-u"), QStringLiteral("admin:kelvaro-admin"),
                                        QString::fromLatin1(admin.toEncoded())});
    curl.waitForFinished(10000);
    return curl.readAllStandardOutput().trimmed() == "200";
}

// ---- AlsaCapture -----------------------------------------------------------

bool AlsaCapture::setUp()
{
    if (!m_dir.isValid())
        return false;
    const QString conf = QStringLiteral(R"(pcm.!default {
  type plug
  slave { pcm "kelvarocapture"; format S16_LE; rate 44100; channels 2 }
}
pcm.kelvarocapture {
  type file
  slave.pcm "null"
  file "%1"
  format "raw"
}
pcm.null { type null }
)").arg(path());
    const QString confPath = m_dir.filePath(QStringLiteral("asound.conf"));
    QFile f(confPath);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.write(conf.toUtf8());
    f.close();
    qputenv("ALSA_CONFIG_PATH", QFile::encodeName(confPath));
    // No sound server in the test: the engine goes on to ALSA.
    qputenv("PULSE_SERVER", "127.0.0.1:1");
    qputenv("PIPEWIRE_REMOTE", "kelvaro-no-such-server");
    return true;
}

QString AlsaCapture::path() const
{
    return m_dir.filePath(QStringLiteral("captured.raw"));
}

qint64 AlsaCapture::size() const
{
    return QFileInfo(path()).size();
}

bool AlsaCapture::waitForAudio(qint64 from, qint64 bytes, int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    qint64 base = from;
    while (!deadline.hasExpired()) {
        const qint64 now = size();
        // Each time the engine opens the device the plugin starts the file
        // afresh: count from there.
        if (now < base)
            base = 0;
        if (now - base >= bytes)
            return true;
        QTest::qWait(100);
    }
    return false;
}

double AlsaCapture::recentFrequency(double seconds) const
{
    QFile f(path());
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const qint64 want = qint64(seconds * kRate) * kBytesPerFrame;
    const qint64 start = std::max<qint64>(0, f.size() - want) / kBytesPerFrame * kBytesPerFrame;
    f.seek(start);
    const QByteArray data = f.read(want);
    const auto *frames = reinterpret_cast<const qint16 *>(data.constData());
    const qsizetype count = data.size() / kBytesPerFrame;
    const qsizetype block = kRate / 20;  // 50 ms
    std::vector<double> estimates;
    for (qsizetype b = 0; b + block <= count; b += block) {
        double energy = 0;
        for (qsizetype i = b; i < b + block; ++i)
            energy += double(frames[2 * i]) * frames[2 * i];
        const double rms = std::sqrt(energy / block);
        if (rms < 30)
            continue;  // silence
        // Zero crossings with a small dead band against noise.
        const double band = rms * 0.2;
        int crossings = 0;
        int sign = 0;
        for (qsizetype i = b; i < b + block; ++i) {
            const double v = frames[2 * i];
            const int s = v > band ? 1 : (v < -band ? -1 : 0);
            if (s != 0 && sign != 0 && s != sign)
                ++crossings;
            if (s != 0)
                sign = s;
        }
        estimates.push_back(crossings / 2.0 / (double(block) / kRate));
    }
    if (estimates.empty())
        return 0;
    std::nth_element(estimates.begin(), estimates.begin() + estimates.size() / 2, estimates.end());
    return estimates[estimates.size() / 2];
}

QString PulseServer::address() const
{
    return QStringLiteral("unix:") + m_dir.filePath(QStringLiteral("native"));
}

bool PulseServer::start()
{
    if (!m_dir.isValid())
        return false;
    // Its runtime and state folders are its own, so it never meets a
    // desktop's server or another test's.
    QDir(m_dir.path()).mkpath(QStringLiteral("runtime"));
    QDir(m_dir.path()).mkpath(QStringLiteral("state"));
    QFile::setPermissions(m_dir.filePath(QStringLiteral("runtime")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PULSE_RUNTIME_PATH"), m_dir.filePath(QStringLiteral("runtime")));
    env.insert(QStringLiteral("PULSE_STATE_PATH"), m_dir.filePath(QStringLiteral("state")));
    env.remove(QStringLiteral("PULSE_SERVER"));
    const QString socket = m_dir.filePath(QStringLiteral("native"));
    if (!m_server.start(QStringLiteral("pulseaudio"),
                        {QStringLiteral("-n"), QStringLiteral("--daemonize=no"), QStringLiteral("--exit-idle-time=-1"),
                         QStringLiteral("--use-pid-file=no"), QStringLiteral("--log-target=stderr"),
                         QStringLiteral("-L"),
                         QStringLiteral("module-native-protocol-unix socket=%1 auth-anonymous=1").arg(socket),
                         QStringLiteral("-L"), QStringLiteral("module-null-sink sink_name=kelvaro_null")},
                        env))
        return false;
    QDeadlineTimer deadline(30000);
    while (!deadline.hasExpired()) {
        if (!m_server.isRunning())
            return false;
        if (QFile::exists(socket) && pactl({QStringLiteral("info")}))
            return true;
        QThread::msleep(100);
    }
    return false;
}

bool PulseServer::pactl(const QStringList &args, QByteArray *output)
{
    QProcess p;
    p.setStandardErrorFile(QProcess::nullDevice());
    p.start(QStringLiteral("pactl"), QStringList{QStringLiteral("-s"), address()} + args);
    if (!p.waitForFinished(15000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return false;
    if (output)
        *output = p.readAllStandardOutput();
    return true;
}

bool PulseServer::removeSinks()
{
    QByteArray modules;
    if (!pactl({QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("modules")}, &modules))
        return false;
    for (const QByteArray &line : modules.split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() >= 2 && fields[1] == "module-null-sink"
            && !pactl({QStringLiteral("unload-module"), QString::fromLatin1(fields[0])}))
            return false;
    }
    return true;
}

bool PulseServer::addSink()
{
    return pactl({QStringLiteral("load-module"), QStringLiteral("module-null-sink"),
                  QStringLiteral("sink_name=kelvaro_null")});
}

int PulseServer::playingStreams()
{
    QByteArray inputs;
    if (!pactl({QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("sink-inputs")}, &inputs))
        return -1;
    return int(inputs.trimmed().isEmpty() ? 0 : inputs.trimmed().split('\n').size());
}

bool PulseServer::freeze(bool frozen)
{
    return m_server.isRunning() && ::kill(pid_t(m_server.pid()), frozen ? SIGSTOP : SIGCONT) == 0;
}

}  // namespace kelvaro::testing
