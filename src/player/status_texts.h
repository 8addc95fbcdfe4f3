// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace kelvaro {

// Why a stream could not be opened or went away, as the status line tells it.
enum class PlayerFailure {
    None,
    AddressRefused,   // the scheme is not a stream protocol: never opened
    CannotConnect,    // connection refused, host unreachable
    HostNotFound,     // the name did not resolve
    NotFound,         // HTTP 404/410
    AccessDenied,     // HTTP 401/403
    ServerError,      // other HTTP errors, 5xx
    TimedOut,         // the server accepted but did not answer in time
    Unsupported,      // the data is not a format the player can decode
    PlaylistEmpty,    // a playlist without a usable entry
    Interrupted,      // a file kept breaking off before its end; retries gave up
};

// A short English word for the failure, for scripts and logs ("not-found").
const char *failureKeyword(PlayerFailure failure);

// The player's short status texts (Chinese; they are shown as they are).
namespace statustext {
QString ready();
QString stopped();
QString connecting();
QString buffering(int percent);
QString playing();
// A span of time as a clock shows it: "3:25", "1:02:03".
QString clockText(int seconds);
// Playing again on a new connection after one that broke while what it had
// kept was still to be heard: what was broadcast in between is not there.
QString playingAfterGap(int seconds);
QString paused();
QString reconnecting(int attempt, int seconds);   // waiting before an attempt
QString reconnectingNow(int attempt);             // the attempt itself
QString failure(PlayerFailure failure);
QString noSoundDevice();  // waiting for a sound output to appear
}  // namespace statustext

}  // namespace kelvaro
