// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "player_session.h"
#include "recording_names.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>

#include <chrono>
#include <optional>

namespace kelvaro {

// Records what a session plays: the stream's own audio, as it comes from the
// one connection that plays it, into files under
// <root>/<station>/<YYYY-MM-DD HH.MM> <title or station>.<ext>, tagged when
// each file is complete. A new connection (a reconnect, waking from sleep)
// ends the file and goes on in a new part, "… (2)"; stopping, a pause that
// ends the connection (where the station is not kept while paused), or the
// session failing ends the recording; a pause or a jump in a station kept
// as it comes does not. With splitBySong, every new title
// starts a new file named after it; pieces shorter than the minimum are
// dropped, and the first and last, which are cut, are marked " (不完整)" or
// dropped. Failing to write (disk full, folder gone or read-only) ends the
// recording with a message; what was written stays a playable file.
//
// All disk work runs on a worker thread of its own; the UI thread only hands
// names to the engine. Destroy the recorder after the session: the engine
// closes a file still open when it ends, and the recorder then finishes it.
class Recorder : public QObject {
    Q_OBJECT
public:
    struct Source {
        QString station;  // the station's name
        QString address;  // its address, for the tags
    };
    static constexpr std::chrono::seconds kDefaultMinimumPiece{30};
    static constexpr std::chrono::seconds kProgressInterval{1};

    explicit Recorder(PlayerSession &session, QObject *parent = nullptr);
    ~Recorder() override;  // finishes the files still to finish, and waits

    // Where recordings go; empty (the default) is defaultRecordingRoot().
    void setRoot(const QString &root) { root_ = root; }
    bool splitBySong() const { return splitBySong_; }
    void setSplitBySong(bool on);
    bool keepCutPieces() const { return keepCutPieces_; }
    void setKeepCutPieces(bool keep) { keepCutPieces_ = keep; }
    void setMinimumPiece(std::chrono::milliseconds length) { minimumPiece_ = length; }

    bool isRecording() const { return armed_; }
    // Starts recording what plays now; false when nothing plays.
    bool start(const Source &source);
    void stop();
    // This recording's running time and bytes written so far (all parts).
    std::chrono::milliseconds elapsed() const;
    qint64 bytes() const { return bytesClosed_ + bytesOpen_; }
    // "录音中 12:34 · 11.5 MB" while recording; empty otherwise.
    QString progressText() const;
    // Files of this recorder are still being closed or finished.
    bool isFinishing() const;

signals:
    void recordingChanged(bool recording);
    // The progress text changed (about every second while recording).
    void progressChanged(const QString &text);
    void splitBySongChanged(bool on);
    // A file is finished: complete, tagged, under its final name.
    void fileSaved(const QString &path);
    // The recording ended because it could not go on; in words for the listener.
    void failed(const QString &message);

private:
    struct Piece {
        QString path;
        QString title;  // the stream's title it was named after; empty for none
        QDateTime start;
        bool cutStart = true;
        bool cutEnd = true;
        bool writeFailed = false;
        std::chrono::milliseconds length{0};
        // How it is finished, fixed when it began (read on the worker).
        RecordingTags tags;
        bool split = false;
        bool keepCut = true;
        std::chrono::milliseconds minimum{0};
    };
    struct Finished {
        QString path;  // empty when dropped
        qint64 bytes = 0;
    };

    void openPiece(bool cutStart, const QString &title);
    void pieceClaimed(quint64 generation, Piece piece, const QString &message);
    void closeCurrent(bool cutEnd);
    void engage(const Piece &piece);
    void dropReady();
    void onStateChanged(PlayerSession::State state);
    void onTitleChanged(const QString &title);
    // Paused, but the station is still received (time-shift).
    bool keptWhilePaused() const;
    void onRecordClosed(const QString &path);
    void onRecordFailed(const QString &path);
    void finish(Piece piece);
    static Finished finishOnDisk(const Piece &piece);
    void measure();

    QPointer<PlayerSession> session_;
    QThreadPool disk_;
    QTimer progress_;
    QString root_;
    bool splitBySong_ = false;
    bool keepCutPieces_ = true;
    std::chrono::milliseconds minimumPiece_{kDefaultMinimumPiece};

    bool armed_ = false;
    Source source_;
    QDateTime startedAt_;
    QString startName_;  // what the first file is named after
    int part_ = 0;       // parts begun in this recording (without splitting)
    QString codec_;      // the stream's codec, kept across its reconnects
    quint64 generation_ = 0;  // bumped whenever a claim under way is no longer wanted
    bool claiming_ = false;
    QString claimingTitle_;
    std::optional<std::pair<bool, QString>> pendingOpen_;  // waiting for the codec
    std::optional<Piece> current_;
    std::optional<Piece> ready_;  // claimed during a reconnect's pause
    bool loadIssued_ = true;      // the session's address is with the engine
    bool deferred_ = false;       // current_ goes to the engine once it is
    QElapsedTimer pieceClock_;
    QHash<QString, Piece> closing_;  // handed back to the engine, not yet closed
    int finishing_ = 0;              // closed, being finished on the worker
    std::chrono::milliseconds elapsedClosed_{0};
    qint64 bytesClosed_ = 0;
    qint64 bytesOpen_ = 0;
    quint64 recording_ = 0;  // which recording the sizes coming back belong to
};

}  // namespace kelvaro
