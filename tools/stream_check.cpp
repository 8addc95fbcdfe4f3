// SPDX-License-Identifier: GPL-3.0-or-later
#include "stream_check.h"

#include "address_check.h"
#include "mpv_engine.h"
#include "player_session.h"
#include "probe_report.h"

#include <QCoreApplication>
#include <QUrl>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>
#include <thread>

namespace kelvaro {

StreamCheck::StreamCheck(QObject *parent) : QObject(parent)
{
    m_deadline.setSingleShot(true);
    m_deadline.setTimerType(Qt::PreciseTimer);  // a coarse timer may fire 5% early
    connect(&m_deadline, &QTimer::timeout, this, &StreamCheck::onDeadline);
    m_titleWait.setSingleShot(true);
    connect(&m_titleWait, &QTimer::timeout, this, &StreamCheck::finish);
}

StreamCheck::~StreamCheck()
{
    cancel();
}

void StreamCheck::check(const QString &address, std::chrono::milliseconds timeout)
{
    cancel();
    m_busy = true;
    m_result = {};
    if (isAllowedStreamAddress(address))
        ensureSession();
    m_clock.start();
    if (!isAllowedStreamAddress(address)) {
        m_result.outcome = ProbeResult::Outcome::Refused;
        m_result.failure = PlayerFailure::AddressRefused;
        finish();
        return;
    }
    m_deadline.start(timeout);
    m_opening = true;
    m_session->setUrl(address);  // stops the previous address, plays this one
    m_opening = false;
}

void StreamCheck::ensureSession()
{
    if (m_session)
        return;
    // Made at once (this is a worker process, not a window): the station's
    // time and deadline must not include loading libmpv.
    auto *engine = new MpvEngine(MpvEngine::Options{.audioOutput = false});
    engine->ensureStarted();
    m_session = new PlayerSession(engine, this);
    connect(m_session, &PlayerSession::stateChanged, this,
            [this](PlayerSession::State state) { onState(int(state)); });
    connect(m_session, &PlayerSession::titleChanged, this, &StreamCheck::onTitle);
}

void StreamCheck::warmUp()
{
    ensureSession();
    m_session->warmUp();
}

void StreamCheck::cancel()
{
    m_busy = false;
    close();
}

void StreamCheck::onState(int value)
{
    if (!m_busy || m_result.outcome == ProbeResult::Outcome::Plays)
        return;
    using State = PlayerSession::State;
    switch (State(value)) {
    case State::Playing:
        m_result.outcome = ProbeResult::Outcome::Plays;
        m_result.msToAudio = m_clock.elapsed();
        m_result.title = m_session->title();
        if (!m_result.title.isEmpty())
            finish();
        else
            m_titleWait.start(std::min(kTitleWait, std::chrono::milliseconds(m_deadline.remainingTime())));
        break;
    case State::Failed:
        fail(m_session->lastFailure());
        break;
    case State::Reconnecting:
        // A first failure is final in the session; should one still be
        // retried before any audio, its cause is the station's result.
        fail(m_session->lastFailure() == PlayerFailure::None ? PlayerFailure::Interrupted
                                                             : m_session->lastFailure());
        break;
    case State::Stopped:
    case State::Idle:
        // The stop that setUrl() makes before opening is our own.
        if (!m_opening)
            fail(PlayerFailure::Unsupported);
        break;
    case State::Connecting:
    case State::Buffering:
    case State::Paused:
    case State::NoSoundDevice:  // not with the check's silent output
        break;
    }
}

void StreamCheck::onTitle(const QString &title)
{
    if (!m_busy || title.isEmpty())
        return;
    m_result.title = title;
    if (m_result.outcome == ProbeResult::Outcome::Plays)
        finish();
}

void StreamCheck::onDeadline()
{
    if (!m_busy)
        return;
    if (m_result.outcome == ProbeResult::Outcome::Plays)
        finish();
    else
        fail(PlayerFailure::TimedOut);  // still connecting or buffering
}

void StreamCheck::fail(PlayerFailure failure)
{
    m_result.outcome = ProbeResult::Outcome::Fails;
    m_result.failure = failure == PlayerFailure::None ? PlayerFailure::Unsupported : failure;
    finish();
}

void StreamCheck::finish()
{
    if (!m_busy)
        return;
    m_busy = false;
    close();
    emit done(m_result);
}

void StreamCheck::close()
{
    m_deadline.stop();
    m_titleWait.stop();
    if (m_session)
        m_session->stop();  // closes the connection now
}

// ---- the worker process ----------------------------------------------------

QByteArray encodeWorkerResult(const ProbeResult &r)
{
    // RESULT <outcome> <failure> <ms to audio> <title, percent-encoded>
    QByteArray line = "RESULT ";
    line += outcomeKeyword(r.outcome);
    line += ' ';
    line += failureKeyword(r.failure);
    line += ' ' + QByteArray::number(r.msToAudio) + ' ';
    // "-" stands for no title, so a title's own "-" is always encoded.
    line += r.title.isEmpty() ? QByteArray("-") : QUrl::toPercentEncoding(r.title, {}, "-");
    return line + '\n';
}

bool decodeWorkerResult(const QByteArray &line, ProbeResult &r)
{
    const QList<QByteArray> parts = line.trimmed().split(' ');
    if (parts.size() != 5 || parts[0] != "RESULT")
        return false;
    r = {};
    bool outcomeKnown = false;
    for (int o = int(ProbeResult::Outcome::NotProbed); o <= int(ProbeResult::Outcome::Page); ++o) {
        if (parts[1] == outcomeKeyword(ProbeResult::Outcome(o))) {
            r.outcome = ProbeResult::Outcome(o);
            outcomeKnown = true;
        }
    }
    if (!outcomeKnown)
        return false;
    bool known = false;
    for (int f = int(PlayerFailure::None); f <= int(PlayerFailure::Interrupted); ++f) {
        if (parts[2] == failureKeyword(PlayerFailure(f))) {
            r.failure = PlayerFailure(f);
            known = true;
        }
    }
    bool number = false;
    r.msToAudio = parts[3].toLongLong(&number);
    if (!known || !number)
        return false;
    if (parts[4] != "-")
        r.title = QString::fromUtf8(QByteArray::fromPercentEncoding(parts[4]));
    return true;
}

int runProbeWorker(std::chrono::milliseconds timeout)
{
    // Ctrl-C in a terminal reaches the whole process group; the parent
    // decides what happens and ends its workers itself.
    std::signal(SIGINT, SIG_IGN);

    StreamCheck check;
    check.warmUp();
    QObject::connect(&check, &StreamCheck::done, [](const ProbeResult &result) {
        const QByteArray line = encodeWorkerResult(result);
        std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
        std::fflush(stdout);
    });
    // Standard input is read by a thread of its own (a pipe cannot be
    // watched by the event loop on every platform); each line is handed to
    // the event loop. The parent sends the next address only after the
    // result of the last one.
    QObject *app = QCoreApplication::instance();
    std::thread reader([app, &check, timeout] {
        std::string line;
        while (std::getline(std::cin, line)) {
            const QString address = QString::fromUtf8(line.data(), qsizetype(line.size())).trimmed();
            QMetaObject::invokeMethod(&check, [&check, address, timeout] { check.check(address, timeout); },
                                      Qt::QueuedConnection);
        }
        QMetaObject::invokeMethod(app, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    const int code = QCoreApplication::exec();
    check.cancel();
    reader.join();
    return code;
}

}  // namespace kelvaro
