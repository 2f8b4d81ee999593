#include "map/MapClient.h"

#include "common/AppContext.h"
#include "common/Log.h"

#include <QMetaEnum>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

MapClient::MapClient(QObject* parent)
    : QObject(parent)
    , m_network(new QNetworkAccessManager(this))
    , m_lookupTimer(new QTimer(this))
{
    m_network->setProxy(QNetworkProxy(QNetworkProxy::NoProxy));
    m_lookupTimer->setSingleShot(true);
    connect(m_lookupTimer, &QTimer::timeout, this, [this] {
        if (m_lookupReply)
            m_lookupReply->abort();
    });
}

MapClient::~MapClient()
{
    // Replies still running must not report into a half-destroyed client.
    for (QNetworkReply* reply : { m_mapReply.data(), m_lookupReply.data() }) {
        if (reply) {
            reply->disconnect(this);
            reply->abort();
        }
    }
}

QNetworkProxy MapClient::proxyFor(const Settings& settings)
{
    if (!isOn(settings.UseProxy))
        return QNetworkProxy(QNetworkProxy::NoProxy);
    QNetworkProxy proxy(QNetworkProxy::HttpProxy, settings.ProxyServer, static_cast<quint16>(settings.ProxyPort));
    if (isOn(settings.ProxyAuthRequired)) {
        proxy.setUser(settings.ProxyLogin);
        proxy.setPassword(settings.ProxyPassword);
    }
    return proxy;
}

void MapClient::setProxy(const QNetworkProxy& proxy)
{
    const QNetworkProxy current = m_network->proxy();
    if (current.type() == proxy.type() && current.hostName() == proxy.hostName() && current.port() == proxy.port()
        && current.user() == proxy.user() && current.password() == proxy.password())
        return;
    m_network->setProxy(proxy);
}

namespace {

// True when what the reply announces or already holds is beyond the cap.
bool overCap(QNetworkReply* reply, qint64 maximumBytes)
{
    const QVariant announced = reply->header(QNetworkRequest::ContentLengthHeader);
    if (announced.isValid() && announced.toLongLong() > maximumBytes)
        return true;
    return reply->bytesAvailable() > maximumBytes;
}

} // namespace

QNetworkReply* MapClient::get(const QUrl& url, qint64 maximumBytes)
{
    QNetworkRequest request(url);
    // A cached copy is never shown without asking the service first.
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::PreferNetwork);
    request.setTransferTimeout(MapTransferTimeoutMs);
    QNetworkReply* reply = m_network->get(request);
    // The reply keeps at most one byte beyond the cap: past that the network is not read on, and
    // the read is stopped as soon as the excess is seen.
    reply->setReadBufferSize(maximumBytes + 1);
    const auto stopWhenOverCap = [reply, maximumBytes] {
        if (reply->isRunning() && overCap(reply, maximumBytes))
            reply->abort();
    };
    connect(reply, &QNetworkReply::metaDataChanged, reply, stopWhenOverCap);
    connect(reply, &QNetworkReply::readyRead, reply, stopWhenOverCap);
    // Bytes counted by the transfer itself, whatever the read buffer holds at the time.
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply, maximumBytes](qint64 received, qint64) {
        if (reply->isRunning() && received > maximumBytes)
            reply->abort();
    });
    return reply;
}

void MapClient::startMapRead(int number, const std::optional<QUrl>& url)
{
    m_latestMapRead = number;
    if (m_mapReply) {
        // The older answer would be dropped anyway; stopping it frees the connection for this one.
        QNetworkReply* old = m_mapReply;
        m_mapReply = nullptr;
        old->disconnect(this);
        old->abort();
        old->deleteLater();
    }
    if (!url || !url->isValid())
        return;
    QNetworkReply* reply = get(*url, MaximumImageBytes);
    m_mapReply = reply;
    m_mapReplyNumber = number;
    connect(reply, &QNetworkReply::finished, this, [this, reply, number] { onMapFinished(reply, number); });
}

void MapClient::cancelMapRead(int number)
{
    if (m_mapReply && m_mapReplyNumber == number) {
        QNetworkReply* reply = m_mapReply;
        m_mapReply = nullptr;
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

std::optional<QByteArray> MapClient::successBody(QNetworkReply* reply, qint64 maximumBytes)
{
    // The host only: the request carries the station's key.
    const QString host = reply->url().host();
    if (reply->error() == QNetworkReply::OperationCanceledError)
        return std::nullopt;
    if (reply->error() != QNetworkReply::NoError) {
        // Not the error text: it quotes the whole address, key included.
        qCWarning(lcMap).noquote() << "Map from" << host << "failed:"
                                   << QMetaEnum::fromType<QNetworkReply::NetworkError>().valueToKey(reply->error());
        return std::nullopt;
    }
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status < 200 || status > 299) {
        qCWarning(lcMap).noquote() << "Map from" << host << "answered HTTP status" << status;
        return std::nullopt;
    }
    // The whole answer may have arrived before any check above could run.
    if (overCap(reply, maximumBytes)) {
        qCWarning(lcMap).noquote() << "Map from" << host << "is larger than" << maximumBytes << "bytes; not shown";
        return std::nullopt;
    }
    QByteArray body = reply->read(maximumBytes + 1);
    if (body.size() > maximumBytes || reply->bytesAvailable() > 0)
        return std::nullopt;
    return body;
}

void MapClient::onMapFinished(QNetworkReply* reply, int number)
{
    reply->deleteLater();
    if (m_mapReply == reply)
        m_mapReply = nullptr;
    std::optional<QByteArray> body = number == m_latestMapRead ? successBody(reply, MaximumImageBytes) : std::nullopt;
    if (body && body->size() < MinimumImageBytes)
        body.reset();
    emit mapReadFinished(number, body);
}

void MapClient::startLookup(quint64 id, const std::optional<QUrl>& url, int timeoutMs)
{
    m_lookupId = id;
    m_lookupTimer->stop();
    if (m_lookupReply) {
        QNetworkReply* old = m_lookupReply;
        m_lookupReply = nullptr;
        old->disconnect(this);
        old->abort();
        old->deleteLater();
    }
    if (!url || !url->isValid()) {
        // Answered from the event loop, so that the caller has returned before it hears of it.
        QTimer::singleShot(0, this, [this, id] {
            if (id == m_lookupId)
                emit lookupAnswered(id, std::nullopt);
        });
        return;
    }
    QNetworkReply* reply = get(*url, MaximumLookupBytes);
    m_lookupReply = reply;
    connect(reply, &QNetworkReply::finished, this, [this, reply, id] { onLookupFinished(reply, id); });
    m_lookupTimer->start(timeoutMs);
}

void MapClient::onLookupFinished(QNetworkReply* reply, quint64 id)
{
    reply->deleteLater();
    if (m_lookupReply != reply || id != m_lookupId)
        return;
    m_lookupReply = nullptr;
    m_lookupTimer->stop();
    emit lookupAnswered(id, successBody(reply, MaximumLookupBytes));
}
