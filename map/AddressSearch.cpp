#include "map/AddressSearch.h"

#include "common/GeoPoint.h"
#include "map/MapUrls.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QTimer>

#include <cmath>

AddressSearch::AddressSearch(QObject* parent)
    : QObject(parent)
    , m_network(new QNetworkAccessManager(this))
    , m_turn(new QTimer(this))
    , m_limit(new QTimer(this))
{
    m_network->setProxy(QNetworkProxy(QNetworkProxy::NoProxy));
    m_turn->setSingleShot(true);
    m_limit->setSingleShot(true);
    connect(m_turn, &QTimer::timeout, this, &AddressSearch::send);
    connect(m_limit, &QTimer::timeout, this, [this] {
        if (m_reply)
            m_log.failed(QStringLiteral("Address search from ") + m_reply->host(),
                QStringLiteral("no whole answer within %1 s").arg(m_limit->interval() / 1000.0));
        dropReply();
        m_turn->stop();
        finish(std::nullopt);
    });
}

AddressSearch::~AddressSearch()
{
    dropReply();
}

QString AddressSearch::searchUrl(const QString& base, const QString& address, const QString& countrycodes)
{
    QString url = base + QStringLiteral("/search?format=jsonv2&limit=1&q=") + MapUrls::UrlEncodeText(address);
    if (!countrycodes.isEmpty())
        url += QStringLiteral("&countrycodes=") + MapUrls::UrlEncodeText(countrycodes);
    return url;
}

std::optional<QString> AddressSearch::firstLocation(const QByteArray& json)
{
    const QJsonDocument doc = QJsonDocument::fromJson(json);
    if (!doc.isArray() || doc.array().isEmpty() || !doc.array().first().isObject())
        return std::nullopt;
    const QJsonObject first = doc.array().first().toObject();
    // jsonv2 writes the coordinates as strings; numbers are taken too.
    const auto read = [&first](const char* name, double limit) -> std::optional<double> {
        const QJsonValue value = first.value(QLatin1String(name));
        bool ok = value.isDouble();
        const double number = ok ? value.toDouble() : value.toString().toDouble(&ok);
        if (!ok || !std::isfinite(number) || std::fabs(number) > limit)
            return std::nullopt;
        return number;
    };
    const std::optional<double> lat = read("lat", 90);
    const std::optional<double> lon = read("lon", 180);
    if (!lat || !lon)
        return std::nullopt;
    return GeoPoint { float(*lat), float(*lon) }.text();
}

void AddressSearch::setProxy(const QNetworkProxy& proxy)
{
    if (m_network->proxy() != proxy)
        m_network->setProxy(proxy);
}

void AddressSearch::start(quint64 id, const QString& url, int timeoutMs)
{
    dropReply();
    m_turn->stop();
    m_id = id;
    m_url = url;
    m_open = true;
    const QUrl parsed(url);
    const bool usable
        = parsed.isValid() && (parsed.scheme() == QLatin1String("http") || parsed.scheme() == QLatin1String("https"));
    if (!usable || m_answers.contains(url)) {
        // Answered from the event loop, so that the caller has returned before it hears of it.
        const std::optional<QString> known = usable ? *m_answers.object(url) : std::nullopt;
        m_limit->stop();
        QTimer::singleShot(0, this, [this, id, known] {
            if (id == m_id)
                finish(known);
        });
        return;
    }
    m_limit->start(timeoutMs);
    const qint64 since = m_lastSent.isValid() ? m_lastSent.elapsed() : MinimumSpacingMs;
    m_turn->start(int(std::max<qint64>(0, MinimumSpacingMs - since)));
}

void AddressSearch::send()
{
    QNetworkRequest request { QUrl(m_url) };
    request.setHeader(QNetworkRequest::UserAgentHeader, m_userAgent);
    m_lastSent.start();
    BoundedGet* get = new BoundedGet(m_network, request, { MaximumAnswerBytes, 0, 0 }, this);
    m_reply = get;
    const QString url = m_url;
    connect(get, &BoundedGet::finished, this, [this, get, url](const BoundedGet::Result& result) {
        get->deleteLater();
        m_reply = nullptr;
        if (!result.ok()) {
            m_log.failed(QStringLiteral("Address search from ") + get->host(), result.reason());
            finish(std::nullopt);
            return;
        }
        const std::optional<QString> location = firstLocation(result.body);
        m_answers.insert(url, new std::optional<QString>(location));
        finish(location);
    });
}

void AddressSearch::finish(const std::optional<QString>& location)
{
    if (!m_open)
        return;
    m_open = false;
    m_limit->stop();
    emit answered(m_id, location);
}

void AddressSearch::dropReply()
{
    BoundedGet::drop(m_reply);
    m_reply = nullptr;
}
