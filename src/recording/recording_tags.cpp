// SPDX-License-Identifier: GPL-3.0-or-later
#include "recording_tags.h"

#include "recording_tags_platform.h"

#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
#include <taglib/tpropertymap.h>
#include <taglib/vorbisfile.h>

#include <filesystem>
#include <memory>

namespace kelvaro {

namespace {

// Room left on the disk beyond the copy, so that tagging never fills it.
constexpr qint64 kSpareBytes = 4 * 1024 * 1024;

TagLib::String taglibString(const QString &text)
{
    return TagLib::String(text.toUtf8().constData(), TagLib::String::UTF8);
}

QString qtString(const TagLib::String &text)
{
    return QString::fromUtf8(text.toCString(true));
}

TagLib::PropertyMap propertiesFor(const RecordingTags &tags)
{
    TagLib::PropertyMap map;
    const auto put = [&map](const char *key, const QString &value) {
        if (!value.isEmpty())
            map.insert(key, TagLib::StringList(taglibString(value)));
    };
    put("TITLE", tags.title);
    put("ARTIST", tags.artist);
    put("ALBUM", tags.album);
    put("DATE", tags.date);
    put("COMMENT", tags.comment);
    return map;
}

// The file as TagLib opens it, by its extension. AAC in ADTS frames takes an
// ID3v2 tag at its start, which decoders skip; TagLib's MPEG file writes
// exactly that.
std::unique_ptr<TagLib::File> openTagged(const QString &path)
{
    const QString extension = QFileInfo(path).suffix().toLower();
    const TagLib::FileName name = taglibFileName(path);
    std::unique_ptr<TagLib::File> file;
    if (extension == QLatin1String("mp3") || extension == QLatin1String("aac"))
        file = std::make_unique<TagLib::MPEG::File>(name, false);
    else if (extension == QLatin1String("ogg"))
        file = std::make_unique<TagLib::Ogg::Vorbis::File>(name, false);
    else if (extension == QLatin1String("opus"))
        file = std::make_unique<TagLib::Ogg::Opus::File>(name, false);
    else if (extension == QLatin1String("flac"))
        file = std::make_unique<TagLib::FLAC::File>(name, false);
    if (file && (!file->isOpen() || !file->tag()))
        file.reset();
    return file;
}

bool saveTags(TagLib::File &file, const RecordingTags &tags)
{
    if (auto *mpeg = dynamic_cast<TagLib::MPEG::File *>(&file)) {
        // One ID3v2.4 tag in UTF-8 at the start (Chinese titles whole). The
        // end of the file is left alone: audio bytes there can look like an
        // ID3v1 or APE tag, and stripping "other tags" would cut a frame.
        TagLib::ID3v2::Tag *id3 = mpeg->ID3v2Tag(true);
        id3->setProperties(propertiesFor(tags));
        return mpeg->save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone, TagLib::ID3v2::v4);
    }
    file.setProperties(propertiesFor(tags));
    return file.save();
}

}  // namespace

bool writeRecordingTags(const QString &path, const RecordingTags &tags)
{
    TagLib::ID3v2::FrameFactory::instance()->setDefaultTextEncoding(TagLib::String::UTF8);
    if (!openTagged(path))
        return false;
    const QFileInfo info(path);
    const QStorageInfo disk(info.absolutePath());
    if (disk.bytesAvailable() < info.size() + kSpareBytes)
        return false;
    // The copy is a hidden file beside the recording, with its extension
    // (which says its format), renamed over it once whole.
    const QString copy = info.absolutePath() + QStringLiteral("/.") + info.completeBaseName()
        + QStringLiteral(".tagging.") + info.suffix();
    QFile::remove(copy);
    if (!QFile::copy(path, copy))
        return false;
    bool saved = false;
    {
        std::unique_ptr<TagLib::File> file = openTagged(copy);
        saved = file && saveTags(*file, tags);
    }
    if (saved) {
        QFile written(copy);
        saved = written.open(QIODevice::ReadWrite) && written.flush() && syncFile(written);
    }
    std::error_code error;
    if (saved)
        std::filesystem::rename(std::filesystem::path(copy.toStdU16String()),
                                std::filesystem::path(path.toStdU16String()), error);
    if (!saved || error) {
        QFile::remove(copy);
        return false;
    }
    return true;
}

RecordingTags readRecordingTags(const QString &path)
{
    RecordingTags tags;
    std::unique_ptr<TagLib::File> file = openTagged(path);
    if (!file)
        return tags;
    const TagLib::PropertyMap map = file->properties();
    const auto get = [&map](const char *key) {
        const auto it = map.find(key);
        return it == map.end() || it->second.isEmpty() ? QString() : qtString(it->second.front());
    };
    tags.title = get("TITLE");
    tags.artist = get("ARTIST");
    tags.album = get("ALBUM");
    tags.date = get("DATE");
    tags.comment = get("COMMENT");
    return tags;
}

}  // namespace kelvaro
