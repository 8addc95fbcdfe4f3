// SPDX-License-Identifier: GPL-3.0-or-later
#include "directory_client.h"

#include "directory_servers.h"
#include "directory_station.h"

#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPromise>
#include <QThreadPool>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <array>
#include <limits>
#include <map>
#include <optional>
#include <utility>

// Each answer's parse time: QT_LOGGING_RULES="kelvaro.directory.debug=true".
Q_LOGGING_CATEGORY(lcDirectory, "kelvaro.directory", QtWarningMsg)

namespace kelvaro {

namespace {

// Real answers are far smaller (a page of 100 stations is about 100 KB);
// anything bigger is not read on.
constexpr qint64 kMaxAnswerBytes = 8 * 1024 * 1024;
constexpr qint64 kReadBufferBytes = 256 * 1024;
constexpr int kDefaultServerTimeoutMs = 6000;
constexpr int kMaxPageSize = 1000;

QString cannotConnectText()
{
    return QStringLiteral("无法连接电台目录，请检查网络后重试。");
}

QString unreadableText()
{
    return QStringLiteral("电台目录的回答无法读取，请稍后重试。");
}

// How long one server may take before the next is tried:
// KELVARO_DIRECTORY_TIMEOUT_MS for tests, else 6 s.
int serverTimeoutMs()
{
    bool ok = false;
    const int ms = qEnvironmentVariableIntValue("KELVARO_DIRECTORY_TIMEOUT_MS", &ok);
    return ok && ms > 0 && ms <= 600000 ? ms : kDefaultServerTimeoutMs;
}

bool isStationId(const QString &id)
{
    return !id.isEmpty() && id.size() <= 64 && std::all_of(id.cbegin(), id.cend(), [](QChar c) {
        return c.isDigit() || (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            || (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) || c == QLatin1Char('-');
    });
}

// Every value percent-encoded, '+' and '&' included: a name is sent as typed.
void addParameter(QByteArray &query, const char *key, const QString &value)
{
    if (!query.isEmpty())
        query += '&';
    query += key;
    query += '=';
    query += QUrl::toPercentEncoding(value);
}

// An answer as read on the worker.
struct Parsed {
    bool ok = false;
    StationPage page;
    QList<DirectoryFilter> filters;
    qint64 microseconds = 0;
};

}  // namespace

struct DirectoryClient::Private {
    enum class Kind { Search, Filters, Listen };

    // One request to the directory, tried on one server after another.
    struct Call {
        Kind kind = Kind::Search;
        int search = 0;
        FilterKind filterKind = FilterKind::Countries;
        int limit = 0;
        QString path;
        QByteArray query;  // percent-encoded
        int maxServers = 0;
        int firstServer = 0;
        int tried = 0;
        int server = -1;
        bool unreadable = false;  // some server's answer could not be read
        QNetworkReply *reply = nullptr;
        QByteArray body;  // the answer so far
        QTimer timer;
    };

    explicit Private(DirectoryClient *client);
    ~Private();

    quint64 start(std::unique_ptr<Call> call);
    Call *find(quint64 id) const;
    void begin(quint64 id);
    void serversFound(const QStringList &found);
    void attempt(quint64 id);
    void replyFinished(quint64 id);
    bool takeAnswer(quint64 id);  // false when the call is over or the answer too big
    void serverFailed(quint64 id, bool unreadable);
    void parse(quint64 id, const QByteArray &body);
    void parsed(quint64 id, const Parsed &result);
    void fail(quint64 id);
    std::unique_ptr<Call> end(quint64 id);
    void dropReply(Call *call);

    DirectoryClient *q;
    QNetworkAccessManager network;
    DirectoryServers discovery;
    const int timeoutMs = serverTimeoutMs();
    std::optional<QStringList> servers;  // known for the rest of the run once found
    bool discovering = false;
    int preferred = 0;  // the server to ask first: the last one that answered
    std::map<quint64, std::unique_ptr<Call>> calls;
    quint64 nextCall = 1;
    QList<quint64> waiting;  // calls waiting for the server list
    int lastSearch = 0;
    quint64 searchCall = 0;
    std::array<std::optional<QList<DirectoryFilter>>, 3> filterCache;
    std::array<quint64, 3> filterCall{};
};

DirectoryClient::Private::Private(DirectoryClient *client)
    : q(client)
{
    network.setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    servers = serversFromEnvironment();
    QObject::connect(&discovery, &DirectoryServers::found, q, [this](const QStringList &found) { serversFound(found); });
}

DirectoryClient::Private::~Private()
{
    for (auto &[id, call] : calls)
        dropReply(call.get());
}

quint64 DirectoryClient::Private::start(std::unique_ptr<Call> call)
{
    const quint64 id = nextCall++;
    Call *c = call.get();
    calls.emplace(id, std::move(call));
    c->timer.setSingleShot(true);
    QObject::connect(&c->timer, &QTimer::timeout, q, [this, id] { serverFailed(id, false); });
    // Started from the event loop, so that no signal ever comes from within
    // the call that asked.
    QMetaObject::invokeMethod(q, [this, id] { begin(id); }, Qt::QueuedConnection);
    return id;
}

DirectoryClient::Private::Call *DirectoryClient::Private::find(quint64 id) const
{
    const auto it = calls.find(id);
    return it == calls.end() ? nullptr : it->second.get();
}

void DirectoryClient::Private::begin(quint64 id)
{
    if (!find(id))
        return;
    if (servers) {
        attempt(id);
        return;
    }
    // The servers are looked up with the first request, not before.
    waiting.append(id);
    if (!discovering) {
        discovering = true;
        discovery.find(timeoutMs);
    }
}

void DirectoryClient::Private::serversFound(const QStringList &found)
{
    discovering = false;
    // None found: the next request looks again.
    if (!found.isEmpty())
        servers = found;
    const QList<quint64> ready = std::exchange(waiting, {});
    for (quint64 id : ready) {
        if (!find(id))
            continue;
        if (servers)
            attempt(id);
        else
            fail(id);
    }
}

void DirectoryClient::Private::attempt(quint64 id)
{
    Call *c = find(id);
    if (!c)
        return;
    const int count = int(servers->size());
    if (c->tried == 0)
        c->firstServer = count > 0 ? preferred % count : 0;
    if (c->tried >= std::min(count, c->maxServers)) {
        fail(id);
        return;
    }
    c->server = (c->firstServer + c->tried) % count;
    ++c->tried;

    QUrl url(servers->at(c->server) + c->path);
    if (!c->query.isEmpty())
        url.setQuery(QString::fromLatin1(c->query), QUrl::StrictMode);
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Kelvaro/" KELVARO_VERSION_TEXT));
    request.setRawHeader("Accept", "application/json");
    request.setMaximumRedirectsAllowed(5);
    // GET only: Qt starts a GET at once, so the read buffer size set below
    // reaches the network thread before the answer does (for a POST it
    // would be set before the request is handed over, and lost).
    c->reply = network.get(request);
    // The answer is taken from the reply as it comes, through a small read
    // buffer: a full buffer stops the reading from the socket, so an
    // oversized answer is cut off as soon as that is known (from the
    // announced length, else from what has come) and never read on.
    c->body.clear();
    c->reply->setReadBufferSize(kReadBufferBytes);
    QObject::connect(c->reply, &QNetworkReply::metaDataChanged, q, [this, id] {
        const Call *c = find(id);
        if (c && c->reply && c->reply->header(QNetworkRequest::ContentLengthHeader).toLongLong() > kMaxAnswerBytes)
            serverFailed(id, true);
    });
    QObject::connect(c->reply, &QNetworkReply::readyRead, q, [this, id] { takeAnswer(id); });
    QObject::connect(c->reply, &QNetworkReply::finished, q, [this, id] { replyFinished(id); });
    c->timer.start(timeoutMs);
}

void DirectoryClient::Private::replyFinished(quint64 id)
{
    Call *c = find(id);
    if (!c || !c->reply)
        return;
    c->timer.stop();
    QNetworkReply *reply = c->reply;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() != QNetworkReply::NoError || status < 200 || status > 299) {
        qCDebug(lcDirectory) << reply->url().toString() << "failed:" << status << reply->errorString();
        serverFailed(id, false);
        return;
    }
    if (!takeAnswer(id))
        return;
    dropReply(c);
    if (c->kind == Kind::Listen) {
        end(id);
        return;
    }
    parse(id, std::exchange(c->body, {}));
}

bool DirectoryClient::Private::takeAnswer(quint64 id)
{
    Call *c = find(id);
    if (!c || !c->reply)
        return false;
    c->body += c->reply->read(kMaxAnswerBytes + 1 - c->body.size());
    if (c->body.size() > kMaxAnswerBytes) {
        serverFailed(id, true);
        return false;
    }
    return true;
}

void DirectoryClient::Private::serverFailed(quint64 id, bool unreadable)
{
    Call *c = find(id);
    if (!c)
        return;
    dropReply(c);
    c->unreadable = c->unreadable || unreadable;
    // Later requests start with the next server rather than this one.
    if (servers && !servers->isEmpty() && preferred % servers->size() == c->server)
        preferred = (c->server + 1) % int(servers->size());
    attempt(id);
}

void DirectoryClient::Private::parse(quint64 id, const QByteArray &body)
{
    const Call *c = find(id);
    const Kind kind = c->kind;
    const FilterKind filterKind = c->filterKind;
    // Read on a worker thread; the result comes back through the watcher,
    // on this thread, and is dropped if the client is gone by then.
    auto promise = std::make_shared<QPromise<Parsed>>();
    auto *watcher = new QFutureWatcher<Parsed>(q);
    QObject::connect(watcher, &QFutureWatcherBase::finished, q, [this, id, watcher] {
        watcher->deleteLater();
        if (watcher->future().resultCount() > 0)
            parsed(id, watcher->future().result());
        else
            serverFailed(id, true);
    });
    watcher->setFuture(promise->future());
    QThreadPool::globalInstance()->start([promise, body, kind, filterKind] {
        promise->start();
        QElapsedTimer clock;
        clock.start();
        Parsed result;
        if (kind == Kind::Search) {
            std::optional<StationPage> page = readStationPage(body);
            result.ok = page.has_value();
            if (page)
                result.page = std::move(*page);
        } else {
            std::optional<QList<DirectoryFilter>> filters = readFilterList(filterKind, body);
            result.ok = filters.has_value();
            if (filters)
                result.filters = std::move(*filters);
        }
        result.microseconds = clock.nsecsElapsed() / 1000;
        promise->addResult(std::move(result));
        promise->finish();
    });
}

void DirectoryClient::Private::parsed(quint64 id, const Parsed &result)
{
    Call *c = find(id);
    if (!c)
        return;  // cancelled while it was read
    qCDebug(lcDirectory, "%s read in %lld us: %s", qPrintable(c->path), qlonglong(result.microseconds),
            result.ok ? "ok" : "refused");
    if (!result.ok) {
        serverFailed(id, true);
        return;
    }
    preferred = c->server;
    const std::unique_ptr<Call> done = end(id);
    if (done->kind == Kind::Search) {
        emit q->searchFinished(done->search, result.page.stations, result.page.received >= done->limit);
    } else {
        filterCache[int(done->filterKind)] = result.filters;
        emit q->filtersReady(done->filterKind, result.filters);
    }
}

void DirectoryClient::Private::fail(quint64 id)
{
    const std::unique_ptr<Call> done = end(id);
    if (!done)
        return;
    const QString message = done->unreadable ? unreadableText() : cannotConnectText();
    if (done->kind == Kind::Search)
        emit q->searchFailed(done->search, message);
    else if (done->kind == Kind::Filters)
        emit q->filtersFailed(done->filterKind, message);
}

std::unique_ptr<DirectoryClient::Private::Call> DirectoryClient::Private::end(quint64 id)
{
    const auto it = calls.find(id);
    if (it == calls.end())
        return nullptr;
    std::unique_ptr<Call> call = std::move(it->second);
    calls.erase(it);
    dropReply(call.get());
    call->timer.disconnect();
    waiting.removeAll(id);
    if (searchCall == id)
        searchCall = 0;
    for (quint64 &filter : filterCall) {
        if (filter == id)
            filter = 0;
    }
    return call;
}

void DirectoryClient::Private::dropReply(Call *call)
{
    call->timer.stop();
    QNetworkReply *reply = std::exchange(call->reply, nullptr);
    if (!reply)
        return;
    QObject::disconnect(reply, nullptr, q, nullptr);
    reply->abort();  // closes the connection if it is still open
    reply->deleteLater();
}

DirectoryClient::DirectoryClient(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>(this))
{
}

DirectoryClient::~DirectoryClient() = default;

int DirectoryClient::search(const DirectoryQuery &query)
{
    cancelSearch();
    auto call = std::make_unique<Private::Call>();
    call->kind = Private::Kind::Search;
    call->search = ++d->lastSearch;
    call->limit = query.limit > 0 ? std::min(query.limit, kMaxPageSize) : DirectoryQuery().limit;
    call->path = QStringLiteral("/json/stations/search");
    call->maxServers = std::numeric_limits<int>::max();
    addParameter(call->query, "order", QStringLiteral("clickcount"));  // the most listened to first
    addParameter(call->query, "reverse", QStringLiteral("true"));
    const auto addIfSet = [&call](const char *key, const QString &value) {
        if (!value.trimmed().isEmpty())
            addParameter(call->query, key, value.trimmed());
    };
    addIfSet("name", query.name);
    addIfSet("countrycode", query.countryCode.toUpper());
    addIfSet("language", query.language);
    addIfSet("tag", query.tag);
    addParameter(call->query, "hidebroken", query.hideBroken ? QStringLiteral("true") : QStringLiteral("false"));
    addParameter(call->query, "limit", QString::number(call->limit));
    addParameter(call->query, "offset", QString::number(std::max(0, query.offset)));
    const int id = call->search;
    d->searchCall = d->start(std::move(call));
    return id;
}

void DirectoryClient::cancelSearch()
{
    if (d->searchCall)
        d->end(d->searchCall);
}

void DirectoryClient::countListen(const QString &uuid)
{
    if (!isStationId(uuid))
        return;
    auto call = std::make_unique<Private::Call>();
    call->kind = Private::Kind::Listen;
    call->path = QStringLiteral("/json/url/") + uuid;
    call->maxServers = 1;  // one click, counted once
    d->start(std::move(call));
}

void DirectoryClient::requestFilters(FilterKind kind)
{
    const int index = int(kind);
    if (d->filterCache[index]) {
        QMetaObject::invokeMethod(this, [this, kind, index] {
            if (d->filterCache[index])
                emit filtersReady(kind, *d->filterCache[index]);
        }, Qt::QueuedConnection);
        return;
    }
    if (d->filterCall[index])
        return;  // asked already; its answer is for every asker
    auto call = std::make_unique<Private::Call>();
    call->kind = Private::Kind::Filters;
    call->filterKind = kind;
    call->maxServers = std::numeric_limits<int>::max();
    addParameter(call->query, "hidebroken", QStringLiteral("true"));
    switch (kind) {
    case FilterKind::Countries:
        call->path = QStringLiteral("/json/countries");
        addParameter(call->query, "order", QStringLiteral("name"));
        break;
    case FilterKind::Languages:
    case FilterKind::Tags:
        // Only the ones with most stations: the directory knows thousands.
        call->path = kind == FilterKind::Languages ? QStringLiteral("/json/languages") : QStringLiteral("/json/tags");
        addParameter(call->query, "order", QStringLiteral("stationcount"));
        addParameter(call->query, "reverse", QStringLiteral("true"));
        addParameter(call->query, "limit", QStringLiteral("200"));
        break;
    }
    d->filterCall[index] = d->start(std::move(call));
}

}  // namespace kelvaro
