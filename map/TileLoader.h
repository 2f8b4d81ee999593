#pragma once

#include <QCache>
#include <QHash>
#include <QImage>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

class QNetworkAccessManager;
class QNetworkDiskCache;
class QNetworkProxy;
class QNetworkReply;

// Loads map tiles for the view on the event loop, politely: at most two requests at once, a
// User-Agent that names the program and the station's contact, and a disk cache (bounded, honouring
// the servers' cache headers, tiles without them kept seven days, stale ones revalidated). When the
// network fails, a tile still on disk is shown whatever its age. A tile that can be neither loaded
// nor found on disk stays empty until the next view asks for it; nothing is retried by itself.
// Decoded tiles are kept in memory for painting.
class TileLoader : public QObject {
    Q_OBJECT

public:
    static constexpr int MaximumRunning = 2;
    static constexpr qint64 DiskCacheBytes = 500LL * 1024 * 1024;
    static constexpr int KeepWithoutHeadersDays = 7;
    // Bigger answers are not tiles; they are dropped unread.
    static constexpr qint64 MaximumTileBytes = 2 * 1024 * 1024;
    static constexpr int MaximumTileSide = 1024;
    static constexpr int MemoryTiles = 400;
    static constexpr int TransferTimeoutMs = 30000;

    // An empty cacheFolder means "tiles" under the user's cache folder.
    explicit TileLoader(const QString& cacheFolder = {}, QObject* parent = nullptr);
    ~TileLoader() override;

    // "Kessvenn/<version> (<contact>)", the contact left out when there is none.
    [[nodiscard]] static QByteArray userAgent(const QString& contact);
    void setContact(const QString& contact) { m_userAgent = userAgent(contact); }
    void setProxy(const QNetworkProxy& proxy);

    // The tiles of a new view, most wanted first. Tiles of the older view that are not in this one
    // are dropped, running requests included; tiles in memory are not asked again.
    void setView(const QList<QString>& urls);
    // The decoded tile, or nullptr when it is not in memory.
    [[nodiscard]] const QImage* tile(const QString& url) const { return m_memory.object(url); }
    [[nodiscard]] int running() const { return int(m_running.size()); }

signals:
    void tileLoaded(const QString& url);
    void tileFailed(const QString& url);
    // Nothing is running or waiting any more.
    void idle();

private:
    void startNext();
    void start(const QString& url, bool cacheOnly);
    void onFinished(QNetworkReply* reply, const QString& url, bool cacheOnly);
    void keepAtLeastAWeek(QNetworkReply* reply);
    [[nodiscard]] static QImage decode(const QByteArray& bytes);

    QNetworkAccessManager* m_network = nullptr;
    QNetworkDiskCache* m_disk = nullptr;
    QByteArray m_userAgent;
    QList<QString> m_waiting;
    QHash<QString, QNetworkReply*> m_running;
    QCache<QString, QImage> m_memory;
};
