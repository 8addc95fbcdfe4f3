// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringDecoder>

namespace kelvaro {

// How a station list is turned into text: UTF-8 when the bytes are valid
// UTF-8, otherwise GB18030, the superset of the Chinese Windows code page that
// station lists written there use.
enum class TextEncoding { Utf8, Gb18030 };

// Strict UTF-8 check: rejects overlong forms, surrogates and code points past
// U+10FFFF as well as truncated sequences.
bool isValidUtf8(const char *data, qsizetype size);
inline bool isValidUtf8(const QByteArray &bytes) { return isValidUtf8(bytes.constData(), bytes.size()); }

// Decodes independent pieces of text (lines) in one encoding. Invalid bytes
// become U+FFFD; nothing carries over from one piece to the next.
class TextDecoder {
public:
    explicit TextDecoder(TextEncoding encoding);
    QString decode(const QByteArray &bytes);

private:
    QStringDecoder decoder_;
};

QString decode(const QByteArray &bytes, TextEncoding encoding);

// Decodes bytes as UTF-8 when they are valid UTF-8, as GB18030 otherwise.
QString decodeUtf8OrGb18030(const QByteArray &bytes);

const char *encodingName(TextEncoding encoding);

// Text from outside (a stream's title, a station's name) made fit to show on
// one line and to send over the session bus: control characters (C0, DEL,
// C1) and noncharacters dropped, tabs and line breaks turned into spaces,
// runs of white space made one and the ends trimmed, and bidirectional
// embeddings, overrides and isolates kept only where they are closed again
// within the text, so a stray U+202E cannot turn the rest around.
QString singleLineText(const QString &text);

// A stream's title as its bytes came: UTF-8 when they are valid UTF-8,
// GB18030 when that decodes them with fewer faults than UTF-8 would, and
// UTF-8 otherwise; bytes that fit neither become U+FFFD (never private-use
// characters). Then made a single line as above.
QString titleFromBytes(const QByteArray &raw);

}  // namespace kelvaro
