// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station_probe.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>

namespace kelvaro {

class PlayerSession;

// Opens one stream address at a time through a PlayerSession on its own
// MpvEngine (no sound device) and tells whether it plays: the session
// reaching Playing within the timeout. The session is made on first use and
// reused for the next address.
//
// Runs in a probe worker process of its own: the engine library sends the
// network layer's messages, which name why an open failed, to the first
// engine made in a process only, so engines that run side by side each
// need a process.
class StreamCheck : public QObject {
    Q_OBJECT
public:
    // After the first decoded audio, how long to wait for a title when the
    // stream has not sent one yet (never past the timeout).
    static constexpr std::chrono::milliseconds kTitleWait{1000};

    explicit StreamCheck(QObject *parent = nullptr);
    ~StreamCheck() override;

    bool busy() const { return m_busy; }
    // Makes the session and lets its engine start in the background, before
    // the first address comes.
    void warmUp();
    // Starts checking `address`; done() follows, also for a refused address.
    void check(const QString &address, std::chrono::milliseconds timeout);
    // Closes whatever is open, without a result.
    void cancel();

signals:
    void done(const kelvaro::ProbeResult &result);

private:
    void ensureSession();
    void onState(int state);
    void onTitle(const QString &title);
    void onDeadline();
    void fail(PlayerFailure failure);
    void finish();
    void close();

    PlayerSession *m_session = nullptr;
    QTimer m_deadline;
    QTimer m_titleWait;
    QElapsedTimer m_clock;
    ProbeResult m_result;
    bool m_busy = false;
    bool m_opening = false;
};

// The probe worker: `kelvaro-check --probe-worker --timeout S` reads one
// stream address per line on standard input, checks each in turn and
// writes one result line per address; it ends when its input ends. Ctrl-C
// is left to the parent, which stops its workers itself.
int runProbeWorker(std::chrono::milliseconds timeout);

// One result as the worker writes it and the parent reads it back.
QByteArray encodeWorkerResult(const ProbeResult &result);
bool decodeWorkerResult(const QByteArray &line, ProbeResult &result);

}  // namespace kelvaro
