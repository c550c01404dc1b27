#include "changefeed.h"

#include "apiclient.h"
#include "tokenmanager.h"
#include "synclog.h"
#include "wireprotocol.h"

#include <QJsonObject>
#include <QRandomGenerator>
#include <QUrlQuery>

namespace {
// Longer than the server's hold, which answers a quiet feed every 25 s.
constexpr int pollTimeoutMs = 60000;
} // namespace

ChangeFeed::ChangeFeed(VelmAccount::TokenManager *tokens, Cursor cursor, QObject *parent)
    : QObject(parent)
    , m_tokens(tokens)
    , m_cursor(std::move(cursor))
{
    m_retry.setSingleShot(true);
    m_settle.setSingleShot(true);
    // A device's own push moves its cursor too; its cycle's pull usually
    // catches up within this delay, and then there is nothing to tell.
    m_settle.setInterval(300);
    connect(&m_retry, &QTimer::timeout, this, &ChangeFeed::poll);
    connect(&m_settle, &QTimer::timeout, this, [this] {
        if (m_running && m_serverCursor > m_cursor())
            emit changesWaiting();
    });
}

ChangeFeed::~ChangeFeed() = default;

void ChangeFeed::setDelays(int firstRetryMs, int settleMs, int maxRetryMs)
{
    m_firstRetryMs = firstRetryMs;
    m_maxRetryMs = maxRetryMs;
    m_settle.setInterval(settleMs);
}

void ChangeFeed::start(const QUrl &syncBaseUrl)
{
    if (m_running && syncBaseUrl == m_baseUrl)
        return;
    stop();
    m_baseUrl = syncBaseUrl;
    m_running = true;
    m_failures = 0;
    m_serverCursor = 0;
    poll();
}

void ChangeFeed::stop()
{
    m_running = false;
    ++m_generation;
    m_retry.stop();
    m_settle.stop();
    // Destroying the client aborts its request; the answer is ignored by generation.
    m_api.reset();
    setLive(false);
}

void ChangeFeed::poll()
{
    if (!m_running || !m_tokens)
        return;
    if (!m_api) {
        m_api = std::make_unique<VelmAccount::ApiClient>(m_tokens.data());
        m_api->setBaseUrl(m_baseUrl);
        m_api->setTransferTimeout(pollTimeoutMs);
    }
    const quint64 generation = ++m_generation;
    // Until a poll was answered, ask for the server's cursor at once: that
    // tells the feed is there, and whether changes were missed meanwhile.
    // Below any cursor, so that an account without changes is answered too.
    const qint64 since = m_live ? std::max(m_serverCursor, m_cursor()) : -1;
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("since"), QString::number(since));
    m_api->get(QLatin1StringView(VelmWire::Path::feed), [this, generation](bool ok, int status, const QJsonObject &body) {
        answered(generation, ok, status, body.value(QLatin1String("cursor")).toInteger());
    }, query);
}

void ChangeFeed::answered(quint64 generation, bool ok, int status, qint64 cursor)
{
    if (generation != m_generation || !m_running)
        return;
    if (!ok) {
        setLive(false);
        const int delay = int(std::min<qint64>(m_maxRetryMs, qint64(m_firstRetryMs) << std::min(m_failures, 16)));
        ++m_failures;
        // Spread so that the devices a restarted server lost do not all return at once.
        const int jittered = int(delay * (0.8 + 0.4 * QRandomGenerator::global()->generateDouble()));
        qCInfo(lcSync) << "change feed unavailable, status" << status << "- retrying in" << jittered << "ms";
        m_retry.start(jittered);
        return;
    }
    m_failures = 0;
    setLive(true);
    m_serverCursor = std::max(m_serverCursor, cursor);
    if (m_serverCursor > m_cursor() && !m_settle.isActive())
        m_settle.start();
    poll();
}

void ChangeFeed::setLive(bool live)
{
    if (m_live == live)
        return;
    m_live = live;
    emit liveChanged(live);
}
