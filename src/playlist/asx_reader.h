// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace kelvaro {

// The largest .asx file the player downloads; real ones are a few hundred
// bytes, so anything bigger is not a playlist.
constexpr qint64 kMaxAsxBytes = 64 * 1024;

// True when the address names an ASX playlist (.asx, .wax, .wvx), which the
// playback engine cannot read itself.
bool isAsxAddress(const QString &address);

// The entry addresses of an ASX playlist, in order: the HREF of every <Ref>
// (and <EntryRef>) element. ASX files in the wild are rarely well-formed XML
// (mixed case, unquoted attributes, bare '&'), so this is a tolerant tag
// scanner rather than a strict XML parser. Relative entries are resolved
// against baseUrl.
QStringList parseAsxEntries(const QByteArray &data, const QString &baseUrl = {});

}  // namespace kelvaro
