#pragma once

#include <QByteArray>
#include <QNetworkRequest>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

// One GET from a map, tile or search server that cannot outgrow its bounds. The body is read as it
// arrives and the request is stopped as soon as it holds more than its cap (or announces more);
// redirects are followed here, at most MaximumRedirects and only on the host first asked; a total
// time limit ends it however slowly the bytes trickle. finished() comes once, from the event loop,
// unless the request is deleted before; deleting it stops the request.
class BoundedGet : public QObject {
    Q_OBJECT

public:
    static constexpr int MaximumRedirects = 3;

    struct Limits {
        qint64 maximumBytes = 0;
        // The whole request, redirects included; 0: none.
        int totalMs = 0;
        // Nothing received for this long; 0: none.
        int idleMs = 0;
    };

    enum class Failure { None, Network, Status, OverCap, TimeLimit, TooManyRedirects, OtherHost };

    struct Result {
        Failure failure = Failure::None;
        // The body of an HTTP success; empty for every failure.
        QByteArray body;
        int status = 0;
        // The name of the network error (never Qt's error text, which quotes the whole address).
        QString networkError;
        // The host of a refused redirect.
        QString otherHost;
        QUrl finalUrl;
        bool fromCache = false;
        // The server sent Cache-Control or Expires.
        bool cacheHeaders = false;
        Limits limits;

        [[nodiscard]] bool ok() const { return failure == Failure::None; }
        // Why it failed, for the journal: no address, no key.
        [[nodiscard]] QString reason() const;
    };

    BoundedGet(
        QNetworkAccessManager* network, const QNetworkRequest& request, Limits limits, QObject* parent = nullptr);
    ~BoundedGet() override;

    // Stops the request; finished() does not come. Safe inside a slot of finished().
    void stop();
    // stop() and deleteLater() of `get` when there is one.
    static void drop(BoundedGet* get);

    // The host first asked.
    [[nodiscard]] QString host() const { return m_host; }

signals:
    void finished(const BoundedGet::Result& result);

private:
    void send(const QUrl& url);
    void onReadyRead();
    void onFinished();
    void finish(Failure failure);
    void dropReply();

    QNetworkAccessManager* m_network = nullptr;
    QNetworkRequest m_request;
    Limits m_limits;
    QString m_host;
    QPointer<QNetworkReply> m_reply;
    QTimer* m_total = nullptr;
    QByteArray m_body;
    Result m_result;
    int m_redirects = 0;
    bool m_done = false;
};
