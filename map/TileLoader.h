#pragma once

#include "map/MapFailureLog.h"
#include "net/BoundedGet.h"

#include <QCache>
#include <QHash>
#include <QImage>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QThreadPool>

template <typename T> class QFutureWatcher;
class QNetworkAccessManager;
class QNetworkProxy;
class TileDiskCache;

// Loads map tiles for the view on the event loop, politely: at most two requests at once, a
// User-Agent that names the program and the station's contact, and a disk cache (bounded, honouring
// the servers' cache headers, tiles without them kept seven days, stale ones revalidated). When the
// network fails, a tile still on disk is shown whatever its age. A tile that can be neither loaded
// nor found on disk stays empty until the next view asks for it; nothing is retried by itself.
//
// A tile server cannot hold the monitor up: each request has a total time limit however slowly
// its bytes come, a cap on its size, at most three redirects on its own host; only PNG, JPEG and
// (where Qt reads it) WebP are decoded, told by their first bytes, and decoding runs in a worker
// thread. Decoded tiles are kept in memory for painting, the most recently used ones only (see
// MemoryTiles), so that months of alarms all over the district do not fill the memory. Every
// failed tile and cache write is logged under kessvenn.map, a repeated one once a minute.
class TileLoader : public QObject {
    Q_OBJECT

public:
    static constexpr int MaximumRunning = 2;
    static constexpr qint64 DiskCacheBytes = 500LL * 1024 * 1024;
    static constexpr int KeepWithoutHeadersDays = 7;
    // Bigger answers are not tiles; they are stopped as soon as they pass it.
    static constexpr qint64 MaximumTileBytes = 2 * 1024 * 1024;
    static constexpr int MaximumTileSide = 1024;
    // Decoded tiles kept in memory (256 KiB each): this many, or twice the tiles of the view when
    // that is more, so that a view and the one before it are drawn without asking again.
    static constexpr int MemoryTiles = 48;
    static constexpr int DefaultTimeLimitMs = 15000;

    // An empty cacheFolder means "tiles" under the user's cache folder.
    explicit TileLoader(const QString& cacheFolder = {}, QObject* parent = nullptr);
    ~TileLoader() override;

    // "Kessvenn/<version> (<contact>)", the contact left out when there is none.
    [[nodiscard]] static QByteArray userAgent(const QString& contact);
    void setContact(const QString& contact) { m_userAgent = userAgent(contact); }
    void setProxy(const QNetworkProxy& proxy);
    // The whole time one tile request may take, redirects included.
    void setTimeLimitMs(int ms) { m_timeLimitMs = ms; }
    // Keeps in memory the tiles of the view alone, not those of the views before it: for a loader
    // whose tiles are drawn once into a page, so that each page at a new place does not add to
    // what stays in memory for months.
    void keepViewOnly() { m_viewOnly = true; }

    // The tiles of a new view, most wanted first. Tiles of the older view that are not in this one
    // are dropped, running requests and decodings included; tiles in memory are not asked again.
    void setView(const QList<QString>& urls);
    // The decoded tile, or nullptr when it is not in memory.
    [[nodiscard]] const QImage* tile(const QString& url) const { return m_memory.object(url); }
    // Tiles being loaded or decoded.
    [[nodiscard]] int running() const { return int(m_running.size() + m_decoding.size()); }

signals:
    void tileLoaded(const QString& url);
    void tileFailed(const QString& url);
    // Nothing is running or waiting any more.
    void idle();

private:
    void startNext();
    void start(const QString& url, bool cacheOnly);
    void onFinished(const QString& url, bool cacheOnly, const BoundedGet::Result& result);
    void onDecoded(const QString& url, const BoundedGet::Result& result, const QImage& image);
    void fail(const QString& url, bool cacheOnly, bool fromCache);
    void keepAtLeastAWeek(const BoundedGet::Result& result);
    // A tile of 256 × 256 pixels; null for anything that is not a usable picture.
    [[nodiscard]] static QImage decode(const QByteArray& bytes);

    QNetworkAccessManager* m_network = nullptr;
    TileDiskCache* m_disk = nullptr;
    QThreadPool m_decoders;
    MapFailureLog m_log;
    QByteArray m_userAgent;
    int m_timeLimitMs = DefaultTimeLimitMs;
    bool m_viewOnly = false;
    QList<QString> m_waiting;
    QHash<QString, BoundedGet*> m_running;
    QHash<QString, QFutureWatcher<QImage>*> m_decoding;
    QCache<QString, QImage> m_memory;
};
