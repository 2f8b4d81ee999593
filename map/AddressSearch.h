#pragma once

#include "map/MapFailureLog.h"
#include "net/BoundedGet.h"

#include <QByteArray>
#include <QCache>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QNetworkProxy>
#include <QObject>
#include <QPointer>
#include <QString>

#include <optional>

class QNetworkAccessManager;
class QTimer;

// Address search against a Nominatim server: "/search?format=jsonv2&limit=1&q=…&countrycodes=…".
// At most one request a second (a search asked for sooner waits for its turn); the answers the
// server gave are kept, the KeptAnswers most recently used, so that the same address is not asked
// twice and months of alarms do not fill the memory. A newer search replaces a running or waiting
// one, which then answers nothing. Each search answers within its time limit at the latest. Every
// failed search is logged under kessvenn.map, a repeated one once a minute.
class AddressSearch : public QObject {
    Q_OBJECT

public:
    static constexpr int MinimumSpacingMs = 1000;
    static constexpr qint64 MaximumAnswerBytes = 1024 * 1024;
    static constexpr int KeptAnswers = 1000;

    explicit AddressSearch(QObject* parent = nullptr);
    ~AddressSearch() override;

    // base + "/search?format=jsonv2&limit=1&q=" + the encoded address, then "&countrycodes=" and
    // the encoded codes when there are any.
    [[nodiscard]] static QString searchUrl(const QString& base, const QString& address, const QString& countrycodes);
    // The coordinate text of the first result of a jsonv2 answer; nothing for anything that is not
    // an array whose first object has a finite "lat" within ±90 and "lon" within ±180.
    [[nodiscard]] static std::optional<QString> firstLocation(const QByteArray& json);

    void setUserAgent(const QByteArray& agent) { m_userAgent = agent; }
    void setProxy(const QNetworkProxy& proxy);
    // Starts search `id` for `url`; answered(id, …) follows from the event loop.
    void start(quint64 id, const QString& url, int timeoutMs);

signals:
    // The coordinate text found, or nothing (not found, refused, bad answer, time limit).
    void answered(quint64 id, const std::optional<QString>& location);

private:
    void send();
    void finish(const std::optional<QString>& location);
    void dropReply();

    QNetworkAccessManager* m_network = nullptr;
    QByteArray m_userAgent;
    QCache<QString, std::optional<QString>> m_answers { KeptAnswers };
    QTimer* m_turn = nullptr; // waits for the one-a-second spacing
    QTimer* m_limit = nullptr;
    QElapsedTimer m_lastSent;
    QPointer<BoundedGet> m_reply;
    MapFailureLog m_log;
    quint64 m_id = 0;
    QString m_url;
    bool m_open = false; // search m_id has not answered yet
};
