// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QString>

namespace kelvaro {

// What a recorded file is called and tagged with: made from the station,
// the stream's title and the time, and safe on every file system.

// The text as a file or folder name that every file system takes: the
// characters Windows forbids and control characters become "_", runs of
// white space one space, no leading dot or trailing dot or space, no name
// Windows keeps for devices, at most `maxBytes` bytes of UTF-8 (cut between
// characters). Never empty.
QString safeFileName(const QString &text, int maxBytes = 160);

// The file extension for the stream's own audio, by the engine's codec
// name: MP3 stays .mp3, AAC .aac (ADTS), Vorbis .ogg, Opus .opus, FLAC
// .flac; anything else goes into Matroska audio (.mka), which takes any.
QString recordingExtension(const QString &codec);

// "2026-12-09 20.05 <name>", the name made safe.
QString recordingBaseName(const QDateTime &start, const QString &name);

// `base` + ".ext" for the first file, `base (n).ext` for the n-th.
QString numberedFileName(const QString &base, int number, const QString &extension);

// What a recording is tagged with.
struct RecordingTags {
    QString title;
    QString artist;   // from "artist - title"; empty when the title says none
    QString album;    // the station
    QString date;     // YYYY-MM-DD
    QString comment;  // the station's address
    bool operator==(const RecordingTags &) const = default;
};

// The tags for a recording of `station` at `address` begun at `start`, under
// the stream's `title` (the station's name when the stream sends none). A
// title "artist - title" gives both; anything else is the title as it is.
RecordingTags recordingTags(const QString &title, const QString &station, const QString &address,
                            const QDateTime &start);

}  // namespace kelvaro
