#include "map/TileLoader.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QImageReader>
#include <QNetworkAccessManager>
#include <QNetworkDiskCache>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QStandardPaths>

TileLoader::TileLoader(const QString& cacheFolder, QObject* parent)
    : QObject(parent)
    , m_network(new QNetworkAccessManager(this))
    , m_disk(new QNetworkDiskCache(this))
    , m_userAgent(userAgent({}))
    , m_memory(MemoryTiles)
{
    m_network->setProxy(QNetworkProxy(QNetworkProxy::NoProxy));
    const QString folder = cacheFolder.isEmpty()
        ? QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/tiles")
        : cacheFolder;
    m_disk->setCacheDirectory(folder);
    m_disk->setMaximumCacheSize(DiskCacheBytes);
    m_network->setCache(m_disk);
}

TileLoader::~TileLoader()
{
    for (QNetworkReply* reply : std::as_const(m_running)) {
        reply->disconnect(this);
        reply->abort();
    }
}

QByteArray TileLoader::userAgent(const QString& contact)
{
    QByteArray agent = QByteArrayLiteral("Kessvenn/") + QByteArray::number(KESSVENN_VERSION_MAJOR) + '.'
        + QByteArray::number(KESSVENN_VERSION_MINOR) + '.' + QByteArray::number(KESSVENN_VERSION_PATCH);
    // Only printable ASCII may go into a header; anything else in the contact is left out.
    QByteArray cleaned;
    for (const QChar c : contact) {
        if (c.unicode() >= 0x20 && c.unicode() < 0x7F && c != QLatin1Char('(') && c != QLatin1Char(')'))
            cleaned += char(c.unicode());
    }
    cleaned = cleaned.trimmed();
    if (!cleaned.isEmpty())
        agent += " (" + cleaned + ')';
    return agent;
}

void TileLoader::setProxy(const QNetworkProxy& proxy)
{
    if (m_network->proxy() != proxy)
        m_network->setProxy(proxy);
}

void TileLoader::setView(const QList<QString>& urls)
{
    const QSet<QString> wanted(urls.cbegin(), urls.cend());
    for (auto it = m_running.begin(); it != m_running.end();) {
        if (wanted.contains(it.key())) {
            ++it;
            continue;
        }
        QNetworkReply* reply = it.value();
        it = m_running.erase(it);
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
    m_waiting.clear();
    for (const QString& url : urls) {
        if (!m_memory.contains(url) && !m_running.contains(url) && !m_waiting.contains(url))
            m_waiting.append(url);
    }
    startNext();
}

void TileLoader::startNext()
{
    while (m_running.size() < MaximumRunning && !m_waiting.isEmpty())
        start(m_waiting.takeFirst(), false);
    if (m_running.isEmpty() && m_waiting.isEmpty())
        emit idle();
}

void TileLoader::start(const QString& url, bool cacheOnly)
{
    const QUrl parsed(url);
    if (!parsed.isValid() || (parsed.scheme() != QLatin1String("http") && parsed.scheme() != QLatin1String("https"))) {
        emit tileFailed(url);
        return;
    }
    QNetworkRequest request(parsed);
    request.setHeader(QNetworkRequest::UserAgentHeader, m_userAgent);
    // A fresh tile on disk is used without asking; a stale one is revalidated. Without the
    // network, the copy on disk is taken whatever its age.
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
        cacheOnly ? QNetworkRequest::AlwaysCache : QNetworkRequest::PreferNetwork);
    request.setTransferTimeout(TransferTimeoutMs);
    QNetworkReply* reply = m_network->get(request);
    reply->setReadBufferSize(MaximumTileBytes + 1);
    connect(reply, &QNetworkReply::metaDataChanged, reply, [reply] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > MaximumTileBytes)
            reply->abort();
    });
    connect(reply, &QNetworkReply::readyRead, reply, [reply] {
        if (reply->bytesAvailable() > MaximumTileBytes)
            reply->abort();
    });
    m_running.insert(url, reply);
    connect(
        reply, &QNetworkReply::finished, this, [this, reply, url, cacheOnly] { onFinished(reply, url, cacheOnly); });
}

void TileLoader::keepAtLeastAWeek(QNetworkReply* reply)
{
    if (reply->attribute(QNetworkRequest::SourceIsFromCacheAttribute).toBool())
        return;
    QNetworkCacheMetaData meta = m_disk->metaData(reply->url());
    if (!meta.isValid() || !meta.saveToDisk())
        return;
    const QDateTime week = QDateTime::currentDateTimeUtc().addDays(KeepWithoutHeadersDays);
    if (meta.expirationDate().isValid() && meta.expirationDate() >= week)
        return;
    const bool noHeaders = !reply->hasRawHeader("Cache-Control") && !reply->hasRawHeader("Expires");
    if (noHeaders) {
        meta.setExpirationDate(week);
        m_disk->updateMetaData(meta);
    }
}

QImage TileLoader::decode(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > MaximumTileSide || size.height() > MaximumTileSide)
        return {};
    QImage image = reader.read();
    if (image.isNull())
        return {};
    if (image.size() != QSize(256, 256))
        image = image.scaled(256, 256, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

void TileLoader::onFinished(QNetworkReply* reply, const QString& url, bool cacheOnly)
{
    reply->deleteLater();
    if (m_running.value(url) != reply)
        return;
    m_running.remove(url);
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    QImage image;
    if (reply->error() == QNetworkReply::NoError && status >= 200 && status <= 299
        && reply->bytesAvailable() <= MaximumTileBytes) {
        image = decode(reply->readAll());
        if (!image.isNull())
            keepAtLeastAWeek(reply);
        else // not a tile: nothing to keep
            m_disk->remove(reply->url());
    }
    if (!image.isNull()) {
        m_memory.insert(url, new QImage(std::move(image)));
        emit tileLoaded(url);
    } else if (!cacheOnly && !reply->attribute(QNetworkRequest::SourceIsFromCacheAttribute).toBool()
        && m_disk->metaData(QUrl(url)).isValid()) {
        // Offline or refused: the copy on disk, however old, is better than an empty square.
        start(url, true);
        return;
    } else {
        emit tileFailed(url);
    }
    startNext();
}
