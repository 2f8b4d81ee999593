#pragma once

#include <QByteArray>
#include <QColor>
#include <QHash>
#include <QImage>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include <functional>
#include <optional>

// A small HTTP/1.1 server on 127.0.0.1: it records each request and answers it as the test's
// handler decides, at once, when the test releases it, or never. It also serves as
// an HTTP proxy, since a proxied request is an ordinary request with an absolute target. Every
// answer closes its connection.
class HttpResponder : public QObject {
    Q_OBJECT

public:
    struct Request {
        QByteArray method;
        QByteArray target; // "/path?query", or "http://host:port/path?query" through a proxy
        QHash<QByteArray, QByteArray> headers; // names in lower case
    };

    struct Response {
        int status = 200;
        QByteArray contentType = "image/png";
        QByteArray body;
        QList<QPair<QByteArray, QByteArray>> extraHeaders;
        bool held = false; // kept back until release(index); never answered without it
        // The Content-Length sent: the body's size unless given; with sendLength false there is
        // none and the body ends with the connection.
        std::optional<qint64> announcedLength;
        bool sendLength = true;
        bool keepOpen = false; // the connection stays open after the body
        int trickleMs = 0; // the body goes out one byte each trickleMs, the connection stays open
    };
    // An answer that never comes: a server that takes the request and stays silent.
    [[nodiscard]] static Response silence()
    {
        Response r;
        r.held = true;
        return r;
    }

    // An answer of the image as PNG, or of a square of one colour, a map tile.
    [[nodiscard]] static Response png(const QImage& image);
    [[nodiscard]] static Response png(const QColor& colour, int side = 256);

    using Handler = std::function<Response(const Request&)>;

    explicit HttpResponder(Handler handler, QObject* parent = nullptr);

    [[nodiscard]] quint16 port() const { return m_server.serverPort(); }
    [[nodiscard]] QByteArray base() const { return "http://127.0.0.1:" + QByteArray::number(port()); }
    [[nodiscard]] const QList<Request>& requests() const { return m_requests; }
    // Off: requests are answered but not written down (a benchmark of memory over many requests).
    bool keepRequests = true;
    // Sends the held answer to request `index`.
    void release(int index);
    // The index of the first request whose target contains `part`, waiting up to `timeoutMs` for
    // it to arrive; -1 when none does.
    int waitForRequest(const QByteArray& part, int timeoutMs = 5000);

signals:
    void requestReceived(int index);

private:
    struct Pending {
        QPointer<QTcpSocket> socket;
        Response response;
    };
    void onConnection();

    QTcpServer m_server;
    Handler m_handler;
    QList<Request> m_requests;
    int m_received = 0;
    QHash<int, Pending> m_pending;
};
