// SPDX-License-Identifier: GPL-3.0-or-later
#include "station_list_store.h"

#include "station_list_writer.h"

#include <QFile>

namespace kelvaro {

namespace {

struct FileBytes {
    bool exists = false;
    QByteArray bytes;
    QString error;  // set when the file exists but cannot be read
};

FileBytes readWhole(const QString &path)
{
    FileBytes result;
    QFile file(path);
    if (!file.exists())
        return result;
    result.exists = true;
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = file.errorString();
        return result;
    }
    // Lists the document refuses to edit (over the reader's limit) need not
    // be read whole here.
    result.bytes = file.read(kMaxListBytes + 1);
    if (file.error() != QFileDevice::NoError)
        result.error = file.errorString();
    return result;
}

StationListStore::Outcome failed(const QString &message)
{
    return {StationListStore::Outcome::Kind::Failed, message, nullptr, false};
}

const QString kChangedOutside = QStringLiteral("电台列表已在程序外被修改，已重新读取，没有覆盖那些修改。请再做一次刚才的修改。");

}  // namespace

StationListStore::StationListStore(const QString &shownPath, const QString &ownPath,
                                   const QList<PlainTree::Node> &shown, QObject *parent)
    : QObject(parent), shownPath_(shownPath), ownPath_(ownPath), shown_(shown)
{
    worker_.setMaxThreadCount(1);  // edits in order, never two at once
    worker_.setExpiryTimeout(-1);
}

StationListStore::~StationListStore()
{
    worker_.waitForDone();
}

void StationListStore::post(std::function<Outcome()> job)
{
    worker_.start([this, job = std::move(job)] {
        Outcome outcome = job();
        QMetaObject::invokeMethod(
            this, [this, outcome = std::move(outcome)] { emit finished(outcome); }, Qt::QueuedConnection);
    });
}

std::optional<StationListStore::Outcome> StationListStore::loadAndCompare(bool &creating)
{
    const FileBytes own = readWhole(ownPath_);
    if (!own.error.isEmpty())
        return failed(QStringLiteral("无法读取电台列表 %1：%2").arg(ownPath_, own.error));
    creating = !own.exists;
    const std::optional<QByteArray> now = own.exists ? std::optional(own.bytes) : std::nullopt;
    if (document_ && now == onDisk_)
        return std::nullopt;

    // First edit, or the file changed since: read what there is now.
    QByteArray base = own.bytes;
    if (!own.exists && shownPath_ != ownPath_) {
        const FileBytes shown = readWhole(shownPath_);
        if (!shown.error.isEmpty())
            return failed(QStringLiteral("无法读取电台列表 %1：%2").arg(shownPath_, shown.error));
        base = shown.bytes;
    }
    const bool firstLook = !document_;
    document_.emplace(base);
    onDisk_ = now;
    if (firstLook && document_->tree() == shown_)
        return std::nullopt;
    history_.clear();
    return Outcome{Outcome::Kind::Reloaded, kChangedOutside, std::make_shared<StationDocument>(*document_), false};
}

StationListStore::Outcome StationListStore::write(const StationDocument &next, bool creating)
{
    const QString why = replaceFileAtomically(ownPath_, next.bytes(), onDisk_ ? &*onDisk_ : nullptr);
    if (!why.isEmpty())
        return failed(QStringLiteral("无法保存电台列表 %1：%2。列表没有改变。").arg(ownPath_, why));
    history_.append(document_->bytes());
    if (history_.size() > kUndoDepth)
        history_.removeFirst();
    document_ = next;
    onDisk_ = next.bytes();
    Outcome outcome{Outcome::Kind::Saved, {}, std::make_shared<StationDocument>(next), creating};
    if (creating)
        outcome.message = QStringLiteral("你的电台列表现在保存在 %1").arg(ownPath_);
    return outcome;
}

void StationListStore::apply(Edit edit)
{
    post([this, edit = std::move(edit)]() -> Outcome {
        bool creating = false;
        if (std::optional<Outcome> stop = loadAndCompare(creating))
            return *stop;
        StationDocument next = *document_;
        const StationEdit result = edit(next);
        if (!result.ok)
            return {Outcome::Kind::Refused, result.message, nullptr, false};
        Outcome outcome = write(next, creating);
        // What the edit has to say (an import's count) comes after where the list lives.
        if (outcome.kind == Outcome::Kind::Saved && !result.message.isEmpty())
            outcome.message += (outcome.message.isEmpty() ? QString() : QStringLiteral("\n")) + result.message;
        return outcome;
    });
}

void StationListStore::undo()
{
    post([this]() -> Outcome {
        bool creating = false;
        if (std::optional<Outcome> stop = loadAndCompare(creating))
            return *stop;
        if (history_.isEmpty())
            return {Outcome::Kind::Refused, QStringLiteral("没有可以撤销的修改。"), nullptr, false};
        const QByteArray earlier = history_.takeLast();
        Outcome outcome = write(StationDocument(earlier), creating);
        // Writing put the version just undone onto the history; it is not
        // one to come back to.
        if (outcome.kind == Outcome::Kind::Saved)
            history_.removeLast();
        else
            history_.append(earlier);
        return outcome;
    });
}

}  // namespace kelvaro
