// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QtGlobal>

namespace kelvaro {

// Where the heard engine keeps what it received of a live stream, so that a
// pause keeps the programme and the listener can go back in it: a folder of
// the engine's own under the cache location. The engine writes one file
// there per connection and deletes its name at once (the data stays while
// the file is open), so nothing remains after the program ends, however it
// ends; a crashed copy leaves only an empty folder, removed at the next
// start.
//
// The engine only ever appends to that file. What lies further back than
// the buffer keeps (two hours, or 256 MB, whichever is less) is given up:
// nothing may be played from there, and its bytes are freed on disk.
class TimeShiftDisk {
public:
    static constexpr double kMaxSeconds = 2 * 60 * 60;
    static constexpr qint64 kMaxBytes = qint64(256) << 20;

    TimeShiftDisk();   // names the folder; the engine makes it
    ~TimeShiftDisk();  // removes the folder, off the caller's thread
    TimeShiftDisk(const TimeShiftDisk &) = delete;
    TimeShiftDisk &operator=(const TimeShiftDisk &) = delete;

    QString folder() const { return m_folder; }

    // A new connection: a new file, nothing of it given up yet.
    void restart();
    // What the engine holds of the stream now: its file's size, the stream
    // time of the first packet in it, and of the oldest and newest it can
    // still play. Returns the oldest time that stays playable; when enough
    // lies before it, its bytes are freed (on a worker).
    double keep(qint64 fileBytes, double firstTime, double oldest, double newest);

    // The oldest playable time for a stream `bytesPerSecond` strong: the
    // bound in time or in bytes, whichever comes first.
    static double oldestKept(double oldest, double newest, double bytesPerSecond);
    // Bytes at the head of the file that hold only what lies before
    // `keepFrom`, with a margin for an uneven bitrate; 0 when none.
    static qint64 freeableBytes(qint64 fileBytes, double firstTime, double keepFrom, double newest);

    // Disk space the folder's open files take now (blocks in use).
    qint64 bytesOnDisk() const;
    // Folders left by copies of the program that no longer run; removed at
    // the first engine's start, on a worker.
    static void removeLeftovers();

private:
    QString m_folder;
    qint64 m_freed = 0;
};

// Platform parts (time_shift_disk_platform.cpp).
// Frees the first `bytes` of the open file in `folder` (it keeps its size).
bool freeHeadOfOpenFile(const QString &folder, qint64 bytes);
// Blocks in use by the files open in `folder`, in bytes.
qint64 openFilesDiskUse(const QString &folder);
bool processRuns(qint64 pid);

}  // namespace kelvaro
