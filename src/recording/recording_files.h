// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "recording_names.h"

#include <QString>

namespace kelvaro {

// The disk work of recording, each a blocking call made on the recorder's
// worker thread, never on the UI thread.

// Where recordings go when nothing else is set: "Kelvaro" in the user's
// music folder (the desktop's music directory; ~/Music when it names none).
QString defaultRecordingRoot();

// A new, empty file `<folder>/<base>.<ext>` (or " (n)" from `firstNumber`
// on) made with the folder, claimed so that nothing is ever overwritten.
struct ClaimedFile {
    QString path;     // empty on failure
    QString message;  // why not, for the listener
};
ClaimedFile claimRecordingFile(const QString &folder, const QString &base, int firstNumber,
                               const QString &extension);

// A recorded file whose end was cut (the song went on after it): renamed to
// say so, " (不完整)" before the extension, never over another file. The
// new path, or the old one when it could not be renamed.
QString markCut(const QString &path);

// Waits until nothing in this program has `path` open any more: the engine
// closes a recording a moment after it says so. False after `timeoutMs`.
bool waitUntilClosed(const QString &path, int timeoutMs);

// Why writing into `path` failed, in words for the listener.
QString recordingFailureMessage(const QString &path);

}  // namespace kelvaro
