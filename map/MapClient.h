#pragma once

#include "map/MapFailureLog.h"
#include "net/BoundedGet.h"

#include <QByteArray>
#include <QNetworkProxy>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <optional>

class QNetworkAccessManager;
struct StationSettings;

// The map control's reads from the map service, on the event loop. Only the answer to the latest
// map read counts, and only when it is an HTTP success of at least MinimumImageBytes; a newer read
// abandons the older one. A geocoding lookup ends after its time limit at the latest, and a newer
// lookup abandons the older one without an answer. An answer larger than its cap is never used,
// however fast it arrives (see BoundedGet). Every failure is logged under kessvenn.map, a repeated
// one once a minute.
class MapClient : public QObject {
    Q_OBJECT

public:
    // Smaller answers are the service's error pictures and texts, not maps.
    static constexpr qint64 MinimumImageBytes = 8000;
    // Answers beyond these sizes are not what the service sends; the read is stopped and the
    // answer counts as a failure.
    static constexpr qint64 MaximumImageBytes = 16 * 1024 * 1024;
    static constexpr qint64 MaximumLookupBytes = 1024 * 1024;
    // A map read that has received nothing for this long is given up.
    static constexpr int MapTransferTimeoutMs = 30000;

    explicit MapClient(QObject* parent = nullptr);
    ~MapClient() override;

    // The proxy of the settings when UseProxy is 1 (with login and password when
    // ProxyAuthRequired is 1), else a direct connection.
    [[nodiscard]] static QNetworkProxy proxyFor(const StationSettings& settings);
    void setProxy(const QNetworkProxy& proxy);

    // Read number `number` becomes the latest. Every earlier read is abandoned. Without a URL
    // nothing is sent, but the earlier reads are abandoned all the same.
    void startMapRead(int number, const std::optional<QUrl>& url);
    // Stops map read `number` if it is still running; its answer is not shown.
    void cancelMapRead(int number);
    [[nodiscard]] int latestMapRead() const { return m_latestMapRead; }

    // Starts lookup `id`, abandoning a running one (which then answers nothing). Without a URL
    // nothing is sent and the lookup answers "nothing" from the event loop.
    void startLookup(quint64 id, const std::optional<QUrl>& url, int timeoutMs);

signals:
    // A map read has ended (abandoned reads excepted). The body comes with it only for the latest
    // read and only when it is an HTTP success of at least MinimumImageBytes.
    void mapReadFinished(int number, const std::optional<QByteArray>& body);
    // The body of a lookup's HTTP success, or nothing (failure, error status, time limit).
    void lookupAnswered(quint64 id, const std::optional<QByteArray>& body);

private:
    BoundedGet* get(const QUrl& url, BoundedGet::Limits limits);
    // The body of an HTTP success; nothing, and a line in the journal, for anything else.
    [[nodiscard]] std::optional<QByteArray> successBody(
        const char* what, const QString& host, const BoundedGet::Result& result);

    QNetworkAccessManager* m_network = nullptr;
    MapFailureLog m_log;
    int m_latestMapRead = 0;
    QPointer<BoundedGet> m_mapRead;
    int m_mapReadNumber = 0;
    QPointer<BoundedGet> m_lookup;
    quint64 m_lookupId = 0;
};
