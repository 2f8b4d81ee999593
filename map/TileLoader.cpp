#include "map/TileLoader.h"

#include "map/PictureBytes.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QNetworkAccessManager>
#include <QNetworkDiskCache>
#include <QNetworkProxy>
#include <QPromise>
#include <QStandardPaths>

#include <algorithm>
#include <functional>
#include <memory>

// The disk cache, which makes sure of its folder before each write. Qt's own cache would print a
// line of its own (outside the map's category) for every tile it cannot store; here an unusable
// folder only means that nothing is stored, and the loader logs it once.
class TileDiskCache : public QNetworkDiskCache {
public:
    using QNetworkDiskCache::QNetworkDiskCache;
    std::function<void()> unusable;

    QIODevice* prepare(const QNetworkCacheMetaData& metaData) override
    {
        // Qt writes a tile into "prepared" first, then moves it to its place beside it.
        const QString prepared = QDir(cacheDirectory()).filePath(QStringLiteral("prepared"));
        if (cacheDirectory().isEmpty() || !QDir().mkpath(prepared) || !QFileInfo(prepared).isWritable()
            || !QFileInfo(cacheDirectory()).isWritable()) {
            unusable();
            return nullptr;
        }
        return QNetworkDiskCache::prepare(metaData);
    }
};

TileLoader::TileLoader(const QString& cacheFolder, QObject* parent)
    : QObject(parent)
    , m_network(new QNetworkAccessManager(this))
    , m_disk(new TileDiskCache(this))
    , m_userAgent(userAgent({}))
    , m_memory(MemoryTiles)
{
    m_decoders.setMaxThreadCount(MaximumRunning); // as many as tiles come in at once
    m_network->setProxy(QNetworkProxy(QNetworkProxy::NoProxy));
    const QString folder = cacheFolder.isEmpty()
        ? QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/tiles")
        : cacheFolder;
    m_disk->unusable = [this, folder] {
        m_log.failed(QStringLiteral("Tile cache in ") + folder, QStringLiteral("the folder cannot be written"));
    };
    m_disk->setCacheDirectory(folder);
    m_disk->setMaximumCacheSize(DiskCacheBytes);
    m_network->setCache(m_disk);
}

TileLoader::~TileLoader()
{
    for (BoundedGet* get : std::as_const(m_running))
        get->stop();
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
        BoundedGet::drop(it.value());
        it = m_running.erase(it);
    }
    // A decoding still running finishes in its worker; its tile is not wanted any more.
    for (auto it = m_decoding.begin(); it != m_decoding.end();) {
        if (wanted.contains(it.key())) {
            ++it;
            continue;
        }
        it.value()->disconnect(this);
        it.value()->deleteLater();
        it = m_decoding.erase(it);
    }
    m_memory.setMaxCost(
        int(m_viewOnly ? std::max<qsizetype>(1, urls.size()) : std::max<qsizetype>(MemoryTiles, 2 * urls.size())));
    m_waiting.clear();
    for (const QString& url : urls) {
        // A tile of the view already in memory becomes the most recently used, so that the tiles
        // this view still loads push out older views' tiles, never its own.
        if (!m_memory.object(url) && !m_running.contains(url) && !m_decoding.contains(url) && !m_waiting.contains(url))
            m_waiting.append(url);
    }
    startNext();
}

void TileLoader::startNext()
{
    while (m_running.size() < MaximumRunning && !m_waiting.isEmpty())
        start(m_waiting.takeFirst(), false);
    if (m_running.isEmpty() && m_decoding.isEmpty() && m_waiting.isEmpty())
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
    auto* get = new BoundedGet(m_network, request, { MaximumTileBytes, m_timeLimitMs, 0 }, this);
    m_running.insert(url, get);
    connect(get, &BoundedGet::finished, this,
        [this, url, cacheOnly](const BoundedGet::Result& result) { onFinished(url, cacheOnly, result); });
}

void TileLoader::keepAtLeastAWeek(const BoundedGet::Result& result)
{
    if (result.fromCache || result.cacheHeaders)
        return;
    QNetworkCacheMetaData meta = m_disk->metaData(result.finalUrl);
    if (!meta.isValid() || !meta.saveToDisk())
        return;
    const QDateTime week = QDateTime::currentDateTimeUtc().addDays(KeepWithoutHeadersDays);
    if (meta.expirationDate().isValid() && meta.expirationDate() >= week)
        return;
    meta.setExpirationDate(week);
    m_disk->updateMetaData(meta);
}

QImage TileLoader::decode(const QByteArray& bytes)
{
    QImage image = PictureBytes::decode(bytes, MaximumTileSide);
    if (image.isNull())
        return {};
    if (image.size() != QSize(256, 256))
        image = image.scaled(256, 256, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

void TileLoader::onFinished(const QString& url, bool cacheOnly, const BoundedGet::Result& result)
{
    if (BoundedGet* get = m_running.take(url))
        get->deleteLater();
    if (!result.ok()) {
        m_log.failed(QStringLiteral("Tile from ") + QUrl(url).host(), result.reason());
        return fail(url, cacheOnly, result.fromCache);
    }
    if (PictureBytes::format(result.body).isEmpty()) {
        m_log.failed(
            QStringLiteral("Tile from ") + QUrl(url).host(), QStringLiteral("not a PNG, JPEG or WebP picture"));
        m_disk->remove(result.finalUrl); // not a tile: nothing to keep
        return fail(url, cacheOnly, result.fromCache);
    }
    auto* watcher = new QFutureWatcher<QImage>(this);
    m_decoding.insert(url, watcher);
    connect(watcher, &QFutureWatcher<QImage>::finished, this, [this, url, result, watcher] {
        watcher->deleteLater();
        m_decoding.remove(url);
        onDecoded(url, result, watcher->result());
    });
    auto promise = std::make_shared<QPromise<QImage>>();
    watcher->setFuture(promise->future());
    promise->start();
    m_decoders.start([promise, bytes = result.body] {
        promise->addResult(decode(bytes));
        promise->finish();
    });
    startNext();
}

void TileLoader::onDecoded(const QString& url, const BoundedGet::Result& result, const QImage& image)
{
    if (image.isNull()) {
        m_log.failed(QStringLiteral("Tile from ") + QUrl(url).host(), QStringLiteral("not a usable picture"));
        m_disk->remove(result.finalUrl);
        emit tileFailed(url);
    } else {
        keepAtLeastAWeek(result);
        m_memory.insert(url, new QImage(image));
        emit tileLoaded(url);
    }
    startNext();
}

void TileLoader::fail(const QString& url, bool cacheOnly, bool fromCache)
{
    if (!cacheOnly && !fromCache && m_disk->metaData(QUrl(url)).isValid()) {
        // Offline or refused: the copy on disk, however old, is better than an empty square.
        start(url, true);
        return;
    }
    emit tileFailed(url);
    startNext();
}
