// SPDX-License-Identifier: GPL-3.0-or-later
#include "text_decoding.h"

#include <QStringDecoder>

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

}  // namespace kelvaro
