// SPDX-License-Identifier: GPL-3.0-or-later
#include "listening_memory.h"

#include "listening.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace kelvaro {

namespace {

ListenerSettings load(const QString &path)
{
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return {};
    // A settings file is a few lines; anything much larger is not ours.
    return readSettings(file.read(64 * 1024));
}

void save(const QString &path, const QByteArray &text)
{
    QDir().mkpath(QFileInfo(path).path());
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(text) == text.size())
        file.commit();  // flushed to the disk, then renamed over the old file
}

}  // namespace

ListeningMemory::ListeningMemory(const QString &path, QObject *parent)
    : QObject(parent), path_(path), read_(std::async(std::launch::async, load, path))
{
    writer_.setMaxThreadCount(1);
    writeSoon_.setSingleShot(true);
    writeSoon_.setInterval(kWriteDelayMs);
    connect(&writeSoon_, &QTimer::timeout, this, &ListeningMemory::write);
}

ListeningMemory::~ListeningMemory()
{
    if (writeSoon_.isActive()) {
        writeSoon_.stop();
        write();
    }
    writer_.waitForDone();
}

void ListeningMemory::restore(Listening &listening)
{
    if (read_.valid())
        settings_ = read_.get();
    listening_ = &listening;
    listening.setVolume(settings_.volume);
    listening.setMute(settings_.mute);
    listening.recorder().setSplitBySong(settings_.splitBySong);
    connect(&listening.recorder(), &Recorder::splitBySongChanged, this, &ListeningMemory::changed);
    connect(&listening, &Listening::volumeChanged, this, &ListeningMemory::changed);
    connect(&listening, &Listening::muteChanged, this, &ListeningMemory::changed);
    connect(&listening, &Listening::stationChosen, this, &ListeningMemory::changed);
}

void ListeningMemory::playLastIfWanted()
{
    if (listening_ && settings_.playLastAtStart && listening_->station().address.isEmpty())
        listening_->chooseListed(settings_.lastStation);
}

void ListeningMemory::setPlayLastAtStart(bool on)
{
    settings_.playLastAtStart = on;
    changed();
}

void ListeningMemory::setSleepTimeShown(bool on)
{
    settings_.sleepTimeShown = on;
    changed();
}

void ListeningMemory::setAutostartOffered(bool on)
{
    settings_.autostartOffered = on;
    changed();
}

void ListeningMemory::changed()
{
    if (path_.isEmpty())
        return;
    if (listening_) {
        settings_.volume = listening_->volume();
        settings_.mute = listening_->mute();
        settings_.splitBySong = listening_->recorder().splitBySong();
        if (!listening_->station().address.isEmpty())
            settings_.lastStation = listening_->station().address;
    }
    writeSoon_.start();
}

void ListeningMemory::write()
{
    writer_.start([path = path_, text = writeSettings(settings_)] { save(path, text); });
}

}  // namespace kelvaro
