#include "map/MapClient.h"

#include "config/StationSettings.h"

#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QTimer>

MapClient::MapClient(QObject* parent)
    : QObject(parent)
    , m_network(new QNetworkAccessManager(this))
{
    m_network->setProxy(QNetworkProxy(QNetworkProxy::NoProxy));
}

MapClient::~MapClient() = default;

QNetworkProxy MapClient::proxyFor(const StationSettings& settings)
{
    if (!settings.UseProxy)
        return QNetworkProxy(QNetworkProxy::NoProxy);
    QNetworkProxy proxy(QNetworkProxy::HttpProxy, settings.ProxyServer, settings.ProxyPort);
    if (settings.ProxyAuthRequired) {
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

BoundedGet* MapClient::get(const QUrl& url, BoundedGet::Limits limits)
{
    QNetworkRequest request(url);
    // A cached copy is never shown without asking the service first.
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::PreferNetwork);
    return new BoundedGet(m_network, request, limits, this);
}

void MapClient::startMapRead(int number, const std::optional<QUrl>& url)
{
    m_latestMapRead = number;
    // The older answer would be dropped anyway; stopping it frees the connection for this one.
    BoundedGet::drop(m_mapRead);
    if (!url || !url->isValid())
        return;
    BoundedGet* read = get(*url, { MaximumImageBytes, 0, MapTransferTimeoutMs });
    m_mapRead = read;
    m_mapReadNumber = number;
    connect(read, &BoundedGet::finished, this, [this, read, number](const BoundedGet::Result& result) {
        read->deleteLater();
        std::optional<QByteArray> body = successBody("Map", read->host(), result);
        if (body && body->size() < MinimumImageBytes)
            body.reset();
        emit mapReadFinished(number, number == m_latestMapRead ? body : std::nullopt);
    });
}

void MapClient::cancelMapRead(int number)
{
    if (m_mapRead && m_mapReadNumber == number)
        BoundedGet::drop(m_mapRead);
}

std::optional<QByteArray> MapClient::successBody(
    const char* what, const QString& host, const BoundedGet::Result& result)
{
    // The host only: the request carries the station's key.
    if (!result.ok()) {
        m_log.failed(QLatin1String(what) + QLatin1String(" from ") + host, result.reason());
        return std::nullopt;
    }
    return result.body;
}

void MapClient::startLookup(quint64 id, const std::optional<QUrl>& url, int timeoutMs)
{
    m_lookupId = id;
    BoundedGet::drop(m_lookup);
    if (!url || !url->isValid()) {
        // Answered from the event loop, so that the caller has returned before it hears of it.
        QTimer::singleShot(0, this, [this, id] {
            if (id == m_lookupId)
                emit lookupAnswered(id, std::nullopt);
        });
        return;
    }
    BoundedGet* lookup = get(*url, { MaximumLookupBytes, timeoutMs, 0 });
    m_lookup = lookup;
    connect(lookup, &BoundedGet::finished, this, [this, lookup, id](const BoundedGet::Result& result) {
        lookup->deleteLater();
        emit lookupAnswered(id, successBody("Address lookup", lookup->host(), result));
    });
}
