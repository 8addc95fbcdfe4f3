// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "recording_names.h"

#include <QString>

namespace kelvaro {

// Tags a finished recording through TagLib: ID3v2.4 for MP3 and ADTS AAC,
// Vorbis comments for Ogg Vorbis, Opus and FLAC; Matroska is left as it
// is. The file is never changed in place: a tagged copy is written beside
// it, flushed and renamed over it, so a crash or a full disk leaves the
// untagged recording whole. False when the file was left untagged.
bool writeRecordingTags(const QString &path, const RecordingTags &tags);

// The tags read back (for checking a recording); empty when none.
RecordingTags readRecordingTags(const QString &path);

}  // namespace kelvaro
