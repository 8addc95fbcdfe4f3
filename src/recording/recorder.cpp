// SPDX-License-Identifier: GPL-3.0-or-later
#include "recorder.h"

#include "recording_files.h"
#include "recording_tags.h"

#include <QFile>
#include <QFileInfo>

namespace kelvaro {

namespace {

// How long a file handed back may stay open in the engine before it is left
// as it is, untagged.
constexpr int kCloseTimeoutMs = 10000;

QString clockText(std::chrono::milliseconds time)
{
    const qint64 s = std::chrono::duration_cast<std::chrono::seconds>(time).count();
    if (s >= 3600)
        return QStringLiteral("%1:%2:%3").arg(s / 3600).arg(s / 60 % 60, 2, 10, QLatin1Char('0')).arg(s % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(s / 60, 2, 10, QLatin1Char('0')).arg(s % 60, 2, 10, QLatin1Char('0'));
}

QString sizeText(qint64 bytes)
{
    return QStringLiteral("%1 MB").arg(double(bytes) / (1024.0 * 1024.0), 0, 'f', 1);
}

std::chrono::milliseconds since(const QElapsedTimer &clock)
{
    return clock.isValid() ? std::chrono::milliseconds(clock.elapsed()) : std::chrono::milliseconds(0);
}

}  // namespace

Recorder::Recorder(PlayerSession &session, QObject *parent) : QObject(parent), session_(&session)
{
    // One thread, so that the disk work is done in the order it was asked for.
    disk_.setMaxThreadCount(1);
    disk_.setExpiryTimeout(-1);
    progress_.setInterval(kProgressInterval);
    connect(&progress_, &QTimer::timeout, this, &Recorder::measure);
    connect(&session, &PlayerSession::stateChanged, this, &Recorder::onStateChanged);
    connect(&session, &PlayerSession::titleChanged, this, &Recorder::onTitleChanged);
    connect(&session, &PlayerSession::recordClosed, this, &Recorder::onRecordClosed);
    connect(&session, &PlayerSession::recordFailed, this, &Recorder::onRecordFailed);
    // A connection's address goes to the engine after the session says
    // Connecting; a file given before would be ended by that load.
    connect(&session, &PlayerSession::addressOpened, this, [this] {
        loadIssued_ = true;
        if (current_ && deferred_ && session_) {
            deferred_ = false;
            session_->recordTo(current_->path);
        }
    });
    connect(&session, &PlayerSession::audioCodecKnown, this, [this] {
        if (armed_ && pendingOpen_ && session_ && PlayerSession::isPlaying(session_->state())) {
            const auto [cutStart, title] = *std::exchange(pendingOpen_, std::nullopt);
            openPiece(cutStart, title);
        }
    });
}

Recorder::~Recorder()
{
    progress_.stop();
    if (current_ && session_) {
        // The engine still has the file open: it ends it, untagged.
        session_->recordTo({});
    } else if (current_) {
        // The session (and with it the engine) ended first and closed the file.
        current_->length = since(pieceClock_);
        closing_.insert(current_->path, *current_);
    }
    if (!session_) {
        for (const Piece &piece : std::as_const(closing_))
            disk_.start([piece] { finishOnDisk(piece); });
    }
    disk_.waitForDone();
}

void Recorder::setSplitBySong(bool on)
{
    if (on == splitBySong_)
        return;
    splitBySong_ = on;
    emit splitBySongChanged(on);
}

bool Recorder::start(const Source &source)
{
    if (armed_)
        return true;
    if (!session_ || !(PlayerSession::isPlaying(session_->state()) || keptWhilePaused()))
        return false;
    armed_ = true;
    ++recording_;
    source_ = source;
    startedAt_ = QDateTime::currentDateTime();
    codec_ = session_->audioCodec();
    const QString title = session_->title().trimmed();
    startName_ = title.isEmpty() ? source.station : title;
    part_ = 0;
    elapsedClosed_ = std::chrono::milliseconds(0);
    bytesClosed_ = bytesOpen_ = 0;
    progress_.start();
    emit recordingChanged(true);
    emit progressChanged(progressText());
    openPiece(true, title);
    return true;
}

void Recorder::stop()
{
    if (!armed_)
        return;
    closeCurrent(true);
    dropReady();
    armed_ = false;
    pendingOpen_.reset();
    progress_.stop();
    emit recordingChanged(false);
    emit progressChanged({});
}

std::chrono::milliseconds Recorder::elapsed() const
{
    return elapsedClosed_ + (current_ ? since(pieceClock_) : std::chrono::milliseconds(0));
}

QString Recorder::progressText() const
{
    if (!armed_)
        return {};
    return QStringLiteral("录音中 %1 · %2").arg(clockText(elapsed()), sizeText(bytes()));
}

bool Recorder::isFinishing() const
{
    return !closing_.isEmpty() || finishing_ > 0;
}

// Claims the next file's name on the disk; the engine gets it once claimed.
void Recorder::openPiece(bool cutStart, const QString &title)
{
    if (!session_)
        return;
    // While a new connection opens its codec is not known yet: it is the
    // station's, as on the connection before.
    if (!session_->audioCodec().isEmpty())
        codec_ = session_->audioCodec();
    if (codec_.isEmpty()) {
        pendingOpen_ = {cutStart, title};
        return;
    }
    const quint64 generation = ++generation_;
    claiming_ = true;
    claimingTitle_ = title;
    Piece piece;
    piece.title = title;
    piece.start = QDateTime::currentDateTime();
    piece.cutStart = cutStart;
    piece.split = splitBySong_;
    piece.keepCut = keepCutPieces_;
    piece.minimum = minimumPiece_;
    piece.tags = recordingTags(splitBySong_ ? title : startName_, source_.station, source_.address, piece.start);
    QString base;
    int number = 1;
    if (splitBySong_) {
        base = recordingBaseName(piece.start, title.isEmpty() ? source_.station : title);
    } else {
        base = recordingBaseName(startedAt_, startName_);
        // The first part has the bare name; every later one the first free
        // " (n)" from 2 on (a part that never got audio leaves its number).
        number = part_++ == 0 ? 1 : 2;
    }
    const QString extension = recordingExtension(codec_);
    disk_.start([this, generation, piece, base, number, extension, root = root_,
                 station = safeFileName(source_.station)]() mutable {
        const QString folder = (root.isEmpty() ? defaultRecordingRoot() : root) + QLatin1Char('/') + station;
        const ClaimedFile claimed = claimRecordingFile(folder, base, number, extension);
        piece.path = claimed.path;
        QMetaObject::invokeMethod(
            this, [this, generation, piece, message = claimed.message] { pieceClaimed(generation, piece, message); },
            Qt::QueuedConnection);
    });
}

void Recorder::pieceClaimed(quint64 generation, Piece piece, const QString &message)
{
    using State = PlayerSession::State;
    const State state = session_ ? session_->state() : State::Idle;
    const bool wanted = PlayerSession::isPlaying(state) || state == State::Connecting || state == State::Reconnecting
        || keptWhilePaused();
    if (generation != generation_ || !armed_ || !wanted) {
        // No longer wanted (stopped, a newer title, a reconnect): the empty
        // file claimed for it goes again.
        if (!piece.path.isEmpty())
            disk_.start([path = piece.path] { QFile::remove(path); });
        return;
    }
    claiming_ = false;
    if (piece.path.isEmpty()) {
        stop();
        emit failed(message);
        return;
    }
    if (state == State::Reconnecting) {
        ready_ = piece;  // for the next connection, from its first packet
        return;
    }
    // The new file takes over at the packet where the one before ends.
    if (current_) {
        current_->cutEnd = piece.cutStart;
        current_->length = since(pieceClock_);
        elapsedClosed_ += current_->length;
        closing_.insert(current_->path, *current_);
    }
    engage(piece);
}

void Recorder::engage(const Piece &piece)
{
    current_ = piece;
    bytesOpen_ = 0;
    pieceClock_.start();
    deferred_ = session_->state() == PlayerSession::State::Connecting && !loadIssued_;
    if (!deferred_)
        session_->recordTo(piece.path);
}

void Recorder::dropReady()
{
    if (ready_)
        disk_.start([path = ready_->path] { QFile::remove(path); });
    ready_.reset();
}

void Recorder::closeCurrent(bool cutEnd)
{
    ++generation_;  // a claim under way is for a file no longer wanted
    claiming_ = false;
    if (!current_)
        return;
    current_->cutEnd = cutEnd;
    current_->length = since(pieceClock_);
    elapsedClosed_ += current_->length;
    closing_.insert(current_->path, *current_);
    current_.reset();
    bytesClosed_ += bytesOpen_;
    bytesOpen_ = 0;
    if (session_)
        session_->recordTo({});
}

void Recorder::onStateChanged(PlayerSession::State state)
{
    if (!armed_)
        return;
    using State = PlayerSession::State;
    if (state == State::Reconnecting) {
        // What the station sends meanwhile is missing: the part ends here.
        // The next one is claimed during the pause, so that it takes the
        // new connection from its first packet (a server's opening burst
        // is heard, so it is recorded too).
        closeCurrent(true);
        pendingOpen_.reset();
        if (!ready_)
            openPiece(true, session_->title());
    } else if (state == State::Connecting) {
        closeCurrent(true);
        pendingOpen_.reset();
        loadIssued_ = false;
        if (ready_)
            engage(*std::exchange(ready_, std::nullopt));
        else
            openPiece(true, session_->title());
    } else if (PlayerSession::isPlaying(state)) {
        if (!current_ && !claiming_ && !pendingOpen_)
            openPiece(true, session_->title());
    } else if (keptWhilePaused()) {
        // The station is still received while the listener pauses: the
        // recording takes what arrives, not what is heard.
    } else {
        stop();
    }
}

bool Recorder::keptWhilePaused() const
{
    return session_ && session_->state() == PlayerSession::State::Paused && session_->canTimeShift();
}

void Recorder::onTitleChanged(const QString &title)
{
    if (!armed_ || !splitBySong_ || title.trimmed().isEmpty())
        return;
    const QString now = claiming_ ? claimingTitle_ : current_ ? current_->title : QString();
    if (title.trimmed() == now || (!current_ && !claiming_))
        return;
    // The title is the one heard; behind live, the song changed that long
    // before in what arrives and is written, so the split is late: the new
    // piece misses its song's start and the piece before holds it. Both are
    // marked as cut.
    openPiece(session_ && session_->behindLive() > 0, title.trimmed());
}

void Recorder::onRecordClosed(const QString &path)
{
    const auto it = closing_.constFind(path);
    if (it == closing_.cend())
        return;
    const Piece piece = *it;
    closing_.erase(it);
    finish(piece);
}

void Recorder::onRecordFailed(const QString &failedPath)
{
    if (!current_ || current_->path != failedPath)
        return;
    const QString path = failedPath;  // stop() below may change what the reference names
    current_->writeFailed = true;
    stop();
    disk_.start([this, path] {
        const QString message = recordingFailureMessage(path);
        QMetaObject::invokeMethod(this, [this, message] { emit failed(message); }, Qt::QueuedConnection);
    });
}

void Recorder::finish(Piece piece)
{
    ++finishing_;
    disk_.start([this, piece] {
        const Finished done = finishOnDisk(piece);
        QMetaObject::invokeMethod(
            this,
            [this, path = done.path] {
                --finishing_;
                if (!path.isEmpty())
                    emit fileSaved(path);
            },
            Qt::QueuedConnection);
    });
}

// On the worker: drops, renames and tags one closed file.
Recorder::Finished Recorder::finishOnDisk(const Piece &piece)
{
    // The engine writes its last packets and the file's trailer a moment
    // after it said the file was done; nothing is moved or tagged before.
    if (!waitUntilClosed(piece.path, kCloseTimeoutMs))
        return {piece.path, QFileInfo(piece.path).size()};
    const qint64 size = QFileInfo(piece.path).size();
    const bool cut = piece.cutStart || piece.cutEnd;
    const bool dropped = size <= 0 || (piece.split && (piece.length < piece.minimum || (cut && !piece.keepCut)));
    if (dropped) {
        QFile::remove(piece.path);
        return {{}, size};
    }
    if (piece.writeFailed)
        return {piece.path, size};  // the disk took no more: left as written
    QString path = piece.path;
    if (piece.split && cut)
        path = markCut(path);
    writeRecordingTags(path, piece.tags);
    return {path, size};
}

void Recorder::measure()
{
    if (!current_) {
        emit progressChanged(progressText());
        return;
    }
    const quint64 recording = recording_;
    disk_.start([this, path = current_->path, recording] {
        const qint64 size = QFileInfo(path).size();
        QMetaObject::invokeMethod(
            this,
            [this, path, size, recording] {
                if (recording == recording_ && current_ && current_->path == path)
                    bytesOpen_ = size;
                emit progressChanged(progressText());
            },
            Qt::QueuedConnection);
    });
}

}  // namespace kelvaro
