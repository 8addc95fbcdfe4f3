// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Helpers for the player's tests: servers started and stopped by the test
// (by PID, on free 127.0.0.1 ports) and an ALSA device that writes the
// played audio to a file, so a test can check what was heard.

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace kelvaro::testing {

// A free TCP port on 127.0.0.1 (bound and released again).
quint16 freePort();
// True once something accepts TCP connections on 127.0.0.1:port.
bool portAcceptsConnections(quint16 port);

// A child process stopped by its PID when the object goes.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess() { stop(); }
    // `env`: the child's environment when not empty, else this process's.
    bool start(const QString &program, const QStringList &args, const QProcessEnvironment &env = {});
    void stop();
    bool isRunning() const { return m_process && m_process->state() == QProcess::Running; }
    qint64 pid() const { return m_process ? m_process->processId() : 0; }
    // All stdout so far (reads what is available).
    QByteArray output();
    QProcess *process() const { return m_process.get(); }

private:
    std::unique_ptr<QProcess> m_process;
    QByteArray m_output;
};

// Creates test audio with ffmpeg: a stereo 44.1 kHz sine tone.
bool makeTone(const QString &path, int frequency, double seconds, const QStringList &codecArgs);

// python3 tests/player/support/fault_server.py
class FaultServer {
public:
    bool start(const QString &mp3Path, const QString &filesDir = {});
    QString url(const QString &pathAndQuery) const;
    quint16 port() const { return m_port; }
    QStringList requests();  // paths requested so far, in order
    int activeStreams();     // stream responses currently being sent
    ChildProcess &process() { return m_process; }

private:
    ChildProcess m_process;
    quint16 m_port = 0;
};

// A real Icecast server with a config of its own in a temporary folder.
class IcecastServer {
public:
    bool start();
    quint16 port() const { return m_port; }
    QString url(const QString &mount) const;
    QString sourcePassword() const { return QStringLiteral("kelvaro-src"); }
    // Feeds `mount` with an endless MP3 sine tone from ffmpeg.
    bool startMp3Source(const QString &mount, int frequency);
    // Feeds `mount` with MP3 made from an ffmpeg lavfi source, as `source`.
    bool startMp3Source(ChildProcess &source, const QString &mount, const QString &lavfi);
    // Feeds `mount` with a file's own packets, looped at its real pace,
    // without encoding again (what a listener gets is known packet by packet).
    bool startFileSource(const QString &mount, const QString &path, const QString &contentType,
                         const QString &format);
    // Waits (polling) until `mount` serves listeners.
    bool waitForMount(const QString &mount, int timeoutMs = 60000);
    // Sets the ICY title of a running MP3 mount through the admin interface.
    // The mount "/tone.mp3" sends its titles in UTF-8 (Icecast's default
    // for MP3 mounts is ISO 8859-1, which cannot carry Chinese).
    bool setTitle(const QString &mount, const QString &title);
    ChildProcess &source() { return m_source; }
    QString errorLog() const;

private:
    QTemporaryDir m_dir;
    ChildProcess m_server;
    ChildProcess m_source;
    quint16 m_port = 0;
};

// ALSA's `file` plugin behind a `plug` converter: whatever the engine plays
// on the default device ends up in a raw file as S16LE, 44.1 kHz, stereo.
// Must be set up before the first player is created (ALSA reads its
// configuration once per process).
class AlsaCapture {
public:
    bool setUp();
    QString path() const;
    qint64 size() const;
    // Waits until at least `bytes` more than `from` are captured (the file
    // starts afresh whenever a player opens the device).
    bool waitForAudio(qint64 from, qint64 bytes, int timeoutMs = 60000) const;
    // The tone frequency of the last `seconds` captured (median over 50 ms
    // blocks that are not silent); 0 when there is no tone.
    double recentFrequency(double seconds = 1.0) const;
    static constexpr int kRate = 44100;
    static constexpr int kBytesPerFrame = 4;

private:
    QTemporaryDir m_dir;
};

// A PulseAudio server of the test's own: a private runtime folder, no
// default configuration (-n), never leaving when idle, and one null sink as
// its only output. Stopped by its PID.
class PulseServer {
public:
    // Where clients reach it ("unix:<socket>"), known before it starts, so a
    // test can point the player at a server that is not there yet.
    QString address() const;
    // Starts the server and waits until it answers.
    bool start();
    void stop() { m_server.stop(); }
    // pactl against this server; false when it fails.
    bool pactl(const QStringList &args, QByteArray *output = nullptr);
    // Unloads every sink: the server stays, with nothing to play on.
    bool removeSinks();
    bool addSink();
    // Streams playing into the server now; -1 when it does not answer.
    int playingStreams();
    // Stops the server's process where it is (SIGSTOP), or lets it run on:
    // a sound server that takes no more audio, its streams left open.
    bool freeze(bool frozen);

private:
    QTemporaryDir m_dir;
    ChildProcess m_server;
};

QString supportScript(const QString &name);

}  // namespace kelvaro::testing
