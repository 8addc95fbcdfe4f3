// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station_document.h"

#include <QList>
#include <QObject>
#include <QThreadPool>

#include <functional>
#include <memory>
#include <optional>

namespace kelvaro {

// Edits the user's own station list on a worker thread, one edit at a time
// in the order asked, and tells the outcome on the owner's thread; the
// caller's thread never waits for the disk.
//
// Each edit first reads the file again. When it is not what the program last
// read or wrote (another editor, a sync tool), nothing is written: the new
// content is read instead and handed back, and the edit is to be made again
// on it. Otherwise the edit is applied to the document and the whole file is
// replaced atomically, keeping the previous version as `<file>.bak`. The
// first edit, when the user has no list of their own yet, makes it: a copy of
// the list shown, with the edit applied.
class StationListStore : public QObject {
    Q_OBJECT
public:
    struct Outcome {
        enum class Kind {
            Saved,     // the edit is on disk; `document` is the list now
            Refused,   // the edit makes no sense for the list; nothing written
            Reloaded,  // the file changed outside the program; `document` is what it holds now
            Failed,    // the file could not be read or written; nothing changed
        };
        Kind kind = Kind::Failed;
        QString message;  // for the user; empty when saved without news
        std::shared_ptr<const StationDocument> document;
        bool created = false;  // this save made the user's own list
    };

    // `shownPath`: the list the window shows; `ownPath`: the list edits go
    // to (the same path when the shown list is the user's own); `shown`: the
    // tree the window shows now, to tell a list changed since it was read.
    StationListStore(const QString &shownPath, const QString &ownPath, const QList<PlainTree::Node> &shown,
                     QObject *parent = nullptr);
    ~StationListStore() override;  // lets an edit in progress reach the disk

    const QString &ownPath() const { return ownPath_; }

    using Edit = std::function<StationEdit(StationDocument &)>;
    void apply(Edit edit);
    // Writes back the list as it was before the last saved edit (up to
    // kUndoDepth edits back).
    void undo();

    static constexpr int kUndoDepth = 20;

signals:
    void finished(const kelvaro::StationListStore::Outcome &outcome);

private:
    void post(std::function<Outcome()> job);
    // Worker side: what the file holds now, compared with what was last seen.
    std::optional<Outcome> loadAndCompare(bool &creating);
    Outcome write(const StationDocument &next, bool creating);

    const QString shownPath_;
    const QString ownPath_;
    const QList<PlainTree::Node> shown_;
    QThreadPool worker_;
    // Only touched by the worker's jobs, which run one at a time.
    std::optional<StationDocument> document_;
    std::optional<QByteArray> onDisk_;  // the file's bytes as last read or written; none: no file
    QList<QByteArray> history_;         // earlier versions, for undo
};

}  // namespace kelvaro

Q_DECLARE_METATYPE(kelvaro::StationListStore::Outcome)
