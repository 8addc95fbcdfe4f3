// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "recorder.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <map>
#include <memory>

namespace kelvaro {

class Listening;
class PlayerSession;

// 定时录音 as it runs: each recording on a session of its own, in the
// background with no sound, beside whatever is heard (which it never
// touches), into files named and tagged as any recording. Several may run
// at once. A station that cannot be reached, or is lost for good, is tried
// again until the recording's end time. The background session keeps the
// computer awake while audio comes.
class BackgroundRecordings : public QObject {
    Q_OBJECT
public:
    // A station that failed is tried again after this pause.
    static constexpr std::chrono::seconds kRetry{10};

    explicit BackgroundRecordings(Listening &listening, QObject *parent = nullptr);
    ~BackgroundRecordings() override;

    // Where the files go; empty is the recorder's default folder.
    void setRoot(const QString &root) { root_ = root; }

    // Records the station at `address` (named `station`) until `endsAt`
    // (UTC), as recording `id`. The same id again is ignored while it runs.
    void start(qint64 id, const QString &station, const QString &address, const QDateTime &endsAt);
    // Ends recording `id` now.
    void stop(qint64 id);
    bool isRunning(qint64 id) const { return running_.count(id) > 0; }
    int count() const { return int(running_.size()); }

signals:
    // A recording's files are all finished and its session is gone.
    void finished(qint64 id);
    void fileSaved(const QString &path);

private:
    struct Running;
    void follow(Running &running);
    void end(qint64 id);
    void lookAtEnds();

    Listening &listening_;
    QString root_;
    std::map<qint64, std::unique_ptr<Running>> running_;
    QTimer clock_;  // looks at the wall clock for the end times
};

}  // namespace kelvaro
