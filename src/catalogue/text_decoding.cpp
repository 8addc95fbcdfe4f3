// SPDX-License-Identifier: GPL-3.0-or-later
#include "text_decoding.h"

#include <QStringDecoder>

#include <string>
#include <utility>
#include <vector>

namespace kelvaro {

namespace {
// Each line stands alone, and a U+FEFF inside the text is kept as it is (the
// file's own byte-order mark is dropped before decoding).
constexpr auto kFlags = QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom;
}  // namespace

bool isValidUtf8(const char *data, qsizetype size)
{
    const auto *p = reinterpret_cast<const unsigned char *>(data);
    const auto *end = p + size;
    while (p < end) {
        const unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int trail;
        char32_t cp;
        if (c >= 0xC2 && c <= 0xDF) {
            trail = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            trail = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            trail = 3;
            cp = c & 0x07;
        } else {
            return false;  // stray continuation byte, C0/C1 or F5..FF
        }
        if (end - p <= trail)
            return false;
        for (int i = 1; i <= trail; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        if ((trail == 2 && cp < 0x800) || (trail == 3 && cp < 0x10000) || cp > 0x10FFFF
            || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        p += trail + 1;
    }
    return true;
}

TextDecoder::TextDecoder(TextEncoding encoding)
    : decoder_(encoding == TextEncoding::Utf8 ? "UTF-8" : "GB18030", kFlags)
{
    // GB18030 comes from the platform's converters (ICU on Linux). Where it is
    // missing, the system code page is the closest thing left.
    if (!decoder_.isValid())
        decoder_ = QStringDecoder(QStringDecoder::System, kFlags);
}

QString TextDecoder::decode(const QByteArray &bytes)
{
    QString text = decoder_.decode(bytes);
    decoder_.resetState();
    return text;
}

QString decode(const QByteArray &bytes, TextEncoding encoding)
{
    return TextDecoder(encoding).decode(bytes);
}

QString decodeUtf8OrGb18030(const QByteArray &bytes)
{
    return decode(bytes, isValidUtf8(bytes) ? TextEncoding::Utf8 : TextEncoding::Gb18030);
}

const char *encodingName(TextEncoding encoding)
{
    return encoding == TextEncoding::Utf8 ? "utf-8" : "gb18030";
}

namespace {

bool isLineBreakOrTab(char32_t c)
{
    return c == U'\t' || c == U'\n' || c == U'\v' || c == U'\f' || c == U'\r' || c == 0x85 || c == 0x2028
        || c == 0x2029;
}

bool isControl(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

enum class BidiKind { None, Opens, ClosesEmbedding, ClosesIsolate };

// LRE, RLE, LRO, RLO open an embedding or override that PDF closes; LRI,
// RLI, FSI open an isolate that PDI closes.
BidiKind bidiKind(char32_t c, bool *isolate)
{
    if (c >= 0x202A && c <= 0x202E && c != 0x202C) {
        *isolate = false;
        return BidiKind::Opens;
    }
    if (c >= 0x2066 && c <= 0x2068) {
        *isolate = true;
        return BidiKind::Opens;
    }
    if (c == 0x202C)
        return BidiKind::ClosesEmbedding;
    if (c == 0x2069)
        return BidiKind::ClosesIsolate;
    return BidiKind::None;
}

// Faults in a decoded text: replacement characters, and private-use
// characters (what GB18030 makes of bytes that were never Chinese text).
int decodingFaults(const QString &text)
{
    int faults = 0;
    for (char32_t c : text.toStdU32String())
        faults += c == 0xFFFD || QChar::category(c) == QChar::Other_PrivateUse;
    return faults;
}

}  // namespace

QString singleLineText(const QString &text)
{
    const std::u32string in = text.toStdU32String();
    std::u32string out;
    out.reserve(in.size());
    // Positions in `out` of the openers not closed yet, innermost last, and
    // whether each opens an isolate.
    std::vector<std::pair<size_t, bool>> open;
    for (char32_t c : in) {
        if (isLineBreakOrTab(c)) {
            out.push_back(U' ');
            continue;
        }
        if (isControl(c) || QChar::isNonCharacter(c))
            continue;
        bool isolate = false;
        switch (bidiKind(c, &isolate)) {
        case BidiKind::Opens:
            open.push_back({out.size(), isolate});
            break;
        case BidiKind::ClosesEmbedding:
        case BidiKind::ClosesIsolate:
            // Only a closer of the innermost open kind pairs; any other is dropped.
            if (open.empty() || open.back().second != (c == 0x2069))
                continue;
            open.pop_back();
            break;
        case BidiKind::None:
            break;
        }
        out.push_back(c);
    }
    // Openers never closed are dropped, innermost (furthest on) first.
    for (auto it = open.crbegin(); it != open.crend(); ++it)
        out.erase(it->first, 1);
    return QString::fromStdU32String(out).simplified();
}

QString titleFromBytes(const QByteArray &raw)
{
    if (isValidUtf8(raw))
        return singleLineText(QString::fromUtf8(raw));
    const QString asUtf8 = QString::fromUtf8(raw);  // U+FFFD for each invalid sequence
    const QString asGb = decode(raw, TextEncoding::Gb18030);
    if (decodingFaults(asGb) >= decodingFaults(asUtf8))
        return singleLineText(asUtf8);
    std::u32string chars = asGb.toStdU32String();
    for (char32_t &c : chars) {
        if (QChar::category(c) == QChar::Other_PrivateUse)
            c = QChar::ReplacementCharacter;
    }
    return singleLineText(QString::fromStdU32String(chars));
}

}  // namespace kelvaro
