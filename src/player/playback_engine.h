// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "status_texts.h"

#include <QByteArray>
#include <QObject>
#include <QString>

namespace kelvaro {

// How a load ended, as the engine knows it.
enum class EndOutcome {
    Finished,  // a file with a known size played to its end
    Dropped,   // audio had played, then the stream went away
    Failed,    // nothing ever played: every address the load reached failed
    // No sound output could be opened (none there, or the one in use went
    // away): the stream itself may be fine.
    NoSoundOutput,
};

// What the player needs from a playback engine: one address at a time,
// transport and volume, and a few typed events. Every call returns at once;
// events come back on the Qt event loop.
//
// After load() or stop(), the engine reports nothing more of what it played
// before: every event after load() is about that load.
class PlaybackEngine : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Replaces whatever plays with `address` (already checked by the caller).
    virtual void load(const QString &address) = 0;
    virtual void stop() = 0;
    virtual void setPaused(bool paused) = 0;
    virtual void setVolume(int volume) = 0;  // 0..100
    virtual void setMute(bool mute) = 0;
    // Asks for the playback time; answered by playbackTime().
    virtual void requestPlaybackTime() = 0;
    // Opens the sound output afresh and plays on from where playback is.
    // After the program did not run for a while (the computer slept), the
    // sound server may hold a gap as long as that time, heard as silence,
    // before the audio it is given; a new output has none.
    virtual void restartSoundOutput() = 0;
    // Gets ready ahead of the first load where that takes time.
    virtual void warmUp() {}
    // Looks whether a sound output can be opened now, without any station;
    // answered by soundOutputChecked(). Replaces whatever plays, like load().
    virtual void checkSoundOutput() = 0;
    // Writes the audio of what plays to `path`, packet by packet as it comes
    // from the one connection that plays it, without decoding: the file's
    // name says the container (.mp3, .aac, .ogg, .opus, .flac, .mka). A new
    // path ends the file before and starts the next one at the packet
    // where the last one stopped; empty ends the file. Every load or stop
    // ends the file too. recordClosed() says when a file is complete on disk.
    virtual void recordTo(const QString &path) { Q_UNUSED(path); }
    // Goes to `seconds` on the stream's clock, within what received() said
    // is kept; a live stream keeps playing from its one connection.
    virtual void seekTo(double seconds) { Q_UNUSED(seconds); }
    // Goes `seconds` from where playback is (negative: back), as exactly as
    // the audio allows; the caller keeps it within what is kept.
    virtual void seekBy(double seconds) { Q_UNUSED(seconds); }

signals:
    // The engine opens an address of its own accord (a playlist entry).
    void opening(const QString &address);
    // A playlist entry with a scheme outside the allowed list; not opened.
    void entryRefused(const QString &address);
    // The stream is open and decoding is about to start. `sized`: it has a
    // known length (a file); a live stream has none.
    void loaded(bool sized);
    // Audio plays: for the first time after loaded(), or again after a wait
    // for data.
    void playing();
    // Waiting for data after audio has played; percent of the wanted buffer.
    void buffering(int percent);
    // The stream's current title as the bytes came (ICY or tags); empty when none.
    void titleChanged(const QByteArray &rawTitle);
    // The load is over. `failure` says why when the outcome is Failed.
    void ended(kelvaro::EndOutcome outcome, kelvaro::PlayerFailure failure);
    void playbackTime(double seconds);
    // What is kept of a live stream's audio to go back to, on the same
    // clock as playbackTime(): from `oldest` to the newest received.
    // Sent just before playbackTime() by an engine that keeps it.
    // `complete`: the connection has ended, nothing more will arrive.
    void received(double oldest, double newest, bool complete);
    // The answer to checkSoundOutput(): false only when the engine said that
    // it could not open a sound output.
    void soundOutputChecked(bool available);
    // The audio codec of what plays ("mp3", "aac", "vorbis", "opus"…),
    // once decoding has started.
    void audioCodecKnown(const QString &codec);
    // A file given to recordTo() is closed and complete.
    void recordClosed(const QString &path);
    // Writing the file given to recordTo() failed (disk full, folder gone or
    // read-only); what was written stays. Reported once per file.
    void recordFailed(const QString &path);
};

}  // namespace kelvaro
