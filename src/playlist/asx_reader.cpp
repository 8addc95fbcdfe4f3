// SPDX-License-Identifier: GPL-3.0-or-later
#include "asx_reader.h"

#include "text_decoding.h"

#include <QUrl>

namespace kelvaro {

bool isAsxAddress(const QString &address)
{
    const QString path = QUrl(address.trimmed(), QUrl::TolerantMode).path().toLower();
    return path.endsWith(QLatin1String(".asx")) || path.endsWith(QLatin1String(".wax"))
        || path.endsWith(QLatin1String(".wvx"));
}

namespace {

bool isSpace(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\r')
        || c == QLatin1Char('\n');
}

QString decodeEntities(const QString &in)
{
    if (!in.contains(QLatin1Char('&')))
        return in;
    QString out;
    out.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] != QLatin1Char('&')) {
            out += in[i];
            continue;
        }
        const qsizetype semi = in.indexOf(QLatin1Char(';'), i);
        if (semi < 0 || semi - i > 10) {  // a bare '&', kept as it is
            out += in[i];
            continue;
        }
        const QString name = in.mid(i + 1, semi - i - 1).toLower();
        char32_t code = 0;
        if (name == QLatin1String("amp")) code = '&';
        else if (name == QLatin1String("lt")) code = '<';
        else if (name == QLatin1String("gt")) code = '>';
        else if (name == QLatin1String("quot")) code = '"';
        else if (name == QLatin1String("apos")) code = '\'';
        else if (name.startsWith(QLatin1Char('#'))) {
            bool ok = false;
            const uint v = name.startsWith(QLatin1String("#x")) ? name.mid(2).toUInt(&ok, 16)
                                                                : name.mid(1).toUInt(&ok, 10);
            if (ok && v > 0 && v <= 0x10FFFF && (v < 0xD800 || v > 0xDFFF))
                code = v;
        }
        if (code == 0) {
            out += in[i];
            continue;
        }
        out += QString::fromUcs4(&code, 1);
        i = semi;
    }
    return out;
}

// Reads the attributes of one tag (text between the name and '>') and returns
// the value of the one called `wanted` (case-insensitive).
QString attributeValue(const QString &tag, const QString &wanted)
{
    qsizetype i = 0;
    const qsizetype n = tag.size();
    while (i < n) {
        while (i < n && (isSpace(tag[i]) || tag[i] == QLatin1Char('/')))
            ++i;
        const qsizetype nameStart = i;
        while (i < n && !isSpace(tag[i]) && tag[i] != QLatin1Char('=') && tag[i] != QLatin1Char('/'))
            ++i;
        const QString name = tag.mid(nameStart, i - nameStart);
        while (i < n && isSpace(tag[i]))
            ++i;
        QString value;
        if (i < n && tag[i] == QLatin1Char('=')) {
            ++i;
            while (i < n && isSpace(tag[i]))
                ++i;
            if (i < n && (tag[i] == QLatin1Char('"') || tag[i] == QLatin1Char('\''))) {
                const QChar quote = tag[i++];
                const qsizetype end = tag.indexOf(quote, i);
                const qsizetype stop = end < 0 ? n : end;
                value = tag.mid(i, stop - i);
                i = stop + 1;
            } else {
                const qsizetype start = i;
                while (i < n && !isSpace(tag[i]))
                    ++i;
                value = tag.mid(start, i - start);
                if (value.endsWith(QLatin1Char('/')))
                    value.chop(1);
            }
        }
        if (name.isEmpty())
            break;
        if (name.compare(wanted, Qt::CaseInsensitive) == 0)
            return decodeEntities(value.trimmed());
    }
    return {};
}

}  // namespace

QStringList parseAsxEntries(const QByteArray &data, const QString &baseUrl)
{
    QStringList entries;
    const QString text = decodeUtf8OrGb18030(data.left(kMaxAsxBytes));
    const QUrl base(baseUrl, QUrl::TolerantMode);
    qsizetype pos = 0;
    while (true) {
        const qsizetype open = text.indexOf(QLatin1Char('<'), pos);
        if (open < 0)
            break;
        if (text.mid(open, 4) == QLatin1String("<!--")) {
            const qsizetype end = text.indexOf(QLatin1String("-->"), open + 4);
            if (end < 0)
                break;
            pos = end + 3;
            continue;
        }
        const qsizetype close = text.indexOf(QLatin1Char('>'), open + 1);
        if (close < 0)
            break;
        const QString tag = text.mid(open + 1, close - open - 1);
        pos = close + 1;
        qsizetype nameEnd = 0;
        while (nameEnd < tag.size() && !isSpace(tag[nameEnd]) && tag[nameEnd] != QLatin1Char('/'))
            ++nameEnd;
        const QString name = tag.left(nameEnd);
        if (name.compare(QLatin1String("ref"), Qt::CaseInsensitive) != 0
            && name.compare(QLatin1String("entryref"), Qt::CaseInsensitive) != 0)
            continue;
        const QString href = attributeValue(tag.mid(nameEnd), QStringLiteral("href"));
        if (href.isEmpty())
            continue;
        const QUrl ref(href, QUrl::TolerantMode);
        if (ref.isRelative() && base.isValid() && !base.isRelative())
            entries << base.resolved(ref).toString();
        else
            entries << href;
    }
    return entries;
}

}  // namespace kelvaro
