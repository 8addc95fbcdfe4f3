// SPDX-License-Identifier: GPL-3.0-or-later
#include "station_probe.h"

#include "address_check.h"
#include "category_tree.h"
#include "page_address.h"
#include "station_list_check.h"
#include "stream_check.h"

#include <QCoreApplication>
#include <QHash>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QProcess>
#include <QSet>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace kelvaro {

QList<ProbeTarget> probeTargets(const StationListRead &read)
{
    QList<ProbeTarget> targets;
    if (!read.opened)
        return targets;
    // The same filling as the program's tree; the rows it skips are not shown
    // and so not probed.
    PlainTree tree;
    QSet<int> skipped;
    for (const FillProblem &p : fillCategoryTree(read.table, tree))
        skipped.insert(p.row);
    QHash<QString, int> categoryOrder;
    for (const PlainTree::Node &category : tree.nodes())
        categoryOrder.insert(category.key, int(categoryOrder.size()));

    QString category;
    const int used = read.table.usedRows();
    for (int row = 1; row <= used; ++row) {
        const StationRecord &record = read.table.row(row);
        if (record.address == kCategorySentinel) {
            category = record.name;
            continue;
        }
        if (skipped.contains(row))
            continue;
        targets.append({row, read.rowLine[size_t(row)], category, record.name, record.address,
                        record.address.contains(kWebPageMarker)});
    }
    // A category whose heading appears twice gathers its stations in one
    // place in the tree.
    std::stable_sort(targets.begin(), targets.end(), [&](const ProbeTarget &a, const ProbeTarget &b) {
        return categoryOrder.value(a.category) < categoryOrder.value(b.category);
    });
    return targets;
}

// One place for an open station: a stream goes to this slot's worker
// process (started on first use, then reused), a page is fetched here. The
// slot holds the station's deadline.
class StationProbe::Slot : public QObject {
public:
    Slot(StationProbe *probe, QNetworkAccessManager *network) : m_probe(probe), m_network(network)
    {
        m_deadline.setSingleShot(true);
        m_deadline.setTimerType(Qt::PreciseTimer);  // a coarse timer may fire 5% early
        connect(&m_deadline, &QTimer::timeout, this, &Slot::onDeadline);
    }
    ~Slot() override { abandon(); }

    bool busy() const { return m_index >= 0; }

    void begin(int index, const ProbeTarget &target, const Options &options)
    {
        m_index = index;
        m_result = {};
        m_options = options;
        if (target.page)
            beginPage(target.address);
        else
            beginStream(target.address);
    }

    // Closes whatever is open, without a result; the worker is ended.
    void abandon()
    {
        m_index = -1;
        closePage();
        m_deadline.stop();
        endWorker();
    }

private:
    void refuse()
    {
        m_result.outcome = ProbeResult::Outcome::Refused;
        m_result.failure = PlayerFailure::AddressRefused;
        finish();
    }

    void beginStream(const QString &address)
    {
        // Checked here as well, so that nothing but a plain address (no line
        // break) ever goes to the worker.
        if (!isAllowedStreamAddress(address)) {
            refuse();
            return;
        }
        if (!m_worker && !startWorker()) {
            m_result.outcome = ProbeResult::Outcome::Fails;
            m_result.failure = PlayerFailure::Unsupported;
            finish();
            return;
        }
        m_worker->write(normalizedStreamAddress(address).toUtf8() + '\n');
        // The worker gives up at the timeout itself; this only catches a
        // worker that stopped answering.
        m_deadline.start(m_options.timeout + kWorkerGrace);
    }

    bool startWorker()
    {
        auto *worker = new QProcess(this);
        worker->setStandardErrorFile(QProcess::nullDevice());
        connect(worker, &QProcess::readyReadStandardOutput, this, [this, worker] { onWorkerOutput(worker); });
        connect(worker, &QProcess::finished, this, [this, worker] { onWorkerEnded(worker); });
        worker->start(m_options.workerProgram,
                      {QStringLiteral("--probe-worker"), QStringLiteral("--timeout"),
                       QString::number(m_options.timeout.count() / 1000.0, 'f', 3)});
        if (!worker->waitForStarted(10000)) {
            worker->disconnect(this);
            delete worker;
            return false;
        }
        m_worker = worker;
        return true;
    }

    void endWorker()
    {
        if (QProcess *worker = m_worker) {
            m_worker = nullptr;
            worker->disconnect(this);
            worker->closeWriteChannel();  // the worker ends when its input ends
            worker->kill();               // and at once: it may be mid-connect
            worker->waitForFinished(5000);
            delete worker;
        }
    }

    void onWorkerOutput(QProcess *worker)
    {
        while (worker == m_worker && worker->canReadLine()) {
            const QByteArray line = worker->readLine();
            ProbeResult result;
            if (busy() && decodeWorkerResult(line, result)) {
                m_result = result;
                finish();
            }
        }
    }

    void onWorkerEnded(QProcess *worker)
    {
        if (worker != m_worker)
            return;
        m_worker = nullptr;
        worker->deleteLater();
        if (!busy())
            return;
        // The engine went down with this station: it cannot be played.
        m_result.outcome = ProbeResult::Outcome::Fails;
        m_result.failure = PlayerFailure::Unsupported;
        finish();
    }

    void beginPage(const QString &address)
    {
        if (!isAllowedPageAddress(address)) {
            refuse();
            return;
        }
        m_result.outcome = ProbeResult::Outcome::Page;
        // The web view navigates to the address unchanged; the page marker is
        // in the fragment, which never goes on the wire.
        QNetworkRequest request{QUrl(address)};
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
        request.setMaximumRedirectsAllowed(5);
        QNetworkReply *reply = m_network->get(request);
        m_reply = reply;
        // The status is all that is wanted: the body is never read.
        connect(reply, &QNetworkReply::readyRead, this, [this, reply] { onPageReply(reply, false); });
        connect(reply, &QNetworkReply::finished, this, [this, reply] { onPageReply(reply, true); });
        m_deadline.start(m_options.timeout);
    }

    void onPageReply(QNetworkReply *reply, bool done)
    {
        if (reply != m_reply)
            return;
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (!done && (status == 0 || (status >= 300 && status < 400)))
            return;  // wait for the final answer
        m_result.httpStatus = status;
        if (status == 0) {
            switch (reply->error()) {
            case QNetworkReply::HostNotFoundError: m_result.failure = PlayerFailure::HostNotFound; break;
            case QNetworkReply::TimeoutError: m_result.failure = PlayerFailure::TimedOut; break;
            case QNetworkReply::InsecureRedirectError:
            case QNetworkReply::ProtocolUnknownError: m_result.failure = PlayerFailure::AddressRefused; break;
            default: m_result.failure = PlayerFailure::CannotConnect; break;
            }
        }
        finish();
    }

    void closePage()
    {
        if (QNetworkReply *reply = m_reply) {
            m_reply = nullptr;
            reply->disconnect(this);
            // Not from inside the reply's own signal: it may still be
            // reporting its answer.
            QMetaObject::invokeMethod(reply, &QNetworkReply::abort, Qt::QueuedConnection);
            reply->deleteLater();
        }
    }

    void onDeadline()
    {
        if (!busy())
            return;
        if (m_result.outcome == ProbeResult::Outcome::Page) {
            m_result.failure = PlayerFailure::TimedOut;
        } else {
            // The worker did not answer: it is replaced for the next station.
            endWorker();
            m_result.outcome = ProbeResult::Outcome::Fails;
            m_result.failure = PlayerFailure::TimedOut;
        }
        finish();
    }

    void finish()
    {
        if (!busy())
            return;
        const int index = std::exchange(m_index, -1);
        m_deadline.stop();
        closePage();
        m_probe->complete(this, index, m_result);
    }

    static constexpr std::chrono::seconds kWorkerGrace{5};

    StationProbe *m_probe;
    QNetworkAccessManager *m_network;
    Options m_options;
    QPointer<QProcess> m_worker;
    QPointer<QNetworkReply> m_reply;
    QTimer m_deadline;
    ProbeResult m_result;
    int m_index = -1;
};

StationProbe::StationProbe(QList<ProbeTarget> targets, Options options, QObject *parent)
    : QObject(parent), m_targets(std::move(targets)), m_options(options), m_results(size_t(m_targets.size()))
{
    m_options.jobs = std::max(1, m_options.jobs);
    if (m_options.workerProgram.isEmpty())
        m_options.workerProgram = QCoreApplication::applicationFilePath();
}

StationProbe::~StationProbe()
{
    for (const auto &slot : m_slots)
        slot->abandon();
}

void StationProbe::start()
{
    if (m_running || m_stopped)
        return;
    m_running = true;
    auto *network = new QNetworkAccessManager(this);
    const int count = int(std::min<qsizetype>(m_options.jobs, m_targets.size()));
    for (int i = 0; i < count; ++i)
        m_slots.push_back(std::make_unique<Slot>(this, network));
    for (const auto &slot : m_slots)
        QMetaObject::invokeMethod(this, [this, s = slot.get()] { startNext(s); }, Qt::QueuedConnection);
    if (m_slots.empty())
        QMetaObject::invokeMethod(this, &StationProbe::checkDone, Qt::QueuedConnection);
}

void StationProbe::startNext(Slot *slot)
{
    if (m_stopped || slot->busy())
        return;
    if (m_next >= m_targets.size()) {
        checkDone();
        return;
    }
    const int index = m_next++;
    slot->begin(index, m_targets[index], m_options);
}

void StationProbe::complete(Slot *slot, int index, const ProbeResult &result)
{
    m_results[size_t(index)] = result;
    ++m_finished;
    emit stationFinished(index);
    // The next station starts from the event loop, not from inside the
    // handler that finished this one.
    QMetaObject::invokeMethod(this, [this, slot] { startNext(slot); }, Qt::QueuedConnection);
}

void StationProbe::checkDone()
{
    if (!m_running)
        return;
    for (const auto &slot : m_slots)
        if (slot->busy())
            return;
    if (!m_stopped && m_next < m_targets.size())
        return;
    m_running = false;
    emit finished();
}

void StationProbe::stop()
{
    if (m_stopped)
        return;
    m_stopped = true;
    for (const auto &slot : m_slots)
        slot->abandon();
    if (m_running)
        QMetaObject::invokeMethod(this, &StationProbe::checkDone, Qt::QueuedConnection);
}

}  // namespace kelvaro
