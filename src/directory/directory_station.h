// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the station directory sends, read and made fit for this program. No
// network here: these run on a worker thread over an answer's bytes, and
// tests call them directly.

#include "directory_client.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>

#include <optional>

namespace kelvaro {

// One station object of the directory made fit for the station list:
// - name: one line (control characters dropped, line breaks and tabs made
//   spaces, unpaired bidirectional controls dropped, white space collapsed),
//   ";;" made "；" and no ";" at the end, so it fits a `name;;address;;note`
//   line; when nothing is left, the host of the address;
// - address: `url` when the player accepts it and a station line can hold
//   it, else `url_resolved` on the same terms;
// - country code upper case (empty unless two letters), tags as a list.
// No value when neither address is usable: the station is not offered.
std::optional<DirectoryStation> cleanStation(const QJsonObject &object);

// A page of search results.
struct StationPage {
    QList<DirectoryStation> stations;  // cleaned, in the directory's order, each once
    int received = 0;                  // stations the directory sent, usable or not
};

// Reads a search answer whole: nullopt when it is not JSON, or not a list of
// objects. A station that comes again (the same uuid or the same address) is
// kept once, where it first appears.
std::optional<StationPage> readStationPage(const QByteArray &json);

// Reads a countries, languages or tags answer whole: nullopt when it is not a
// JSON list of objects. Entries without a name (countries: without a
// two-letter code) or without stations are left out.
std::optional<QList<DirectoryFilter>> readFilterList(DirectoryClient::FilterKind kind, const QByteArray &json);

}  // namespace kelvaro
