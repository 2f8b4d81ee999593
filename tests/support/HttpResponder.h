#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTcpServer>

#include <functional>

// A small HTTP/1.1 server on 127.0.0.1 for the map tests: it records each request and answers it
// as the test's handler decides, at once, after a delay, or never. It also serves as an HTTP proxy,
// since a proxied request is an ordinary request with an absolute target.
class HttpResponder : public QObject {
    Q_OBJECT

public:
    struct Request {
        QByteArray method;
        QByteArray target; // "/path?query", or "http://host:port/path?query" through a proxy
        QList<QPair<QByteArray, QByteArray>> headers; // names in lower case
        [[nodiscard]] QByteArray header(const QByteArray& name) const;
    };

    struct Response {
        int status = 200;
        QByteArray contentType = "image/png";
        QByteArray body;
        QList<QPair<QByteArray, QByteArray>> extraHeaders;
        int delayMs = 0;
        bool silent = false; // keep the connection open and never answer
    };

    using Handler = std::function<Response(const Request&)>;

    explicit HttpResponder(Handler handler, QObject* parent = nullptr);

    [[nodiscard]] bool isListening() const { return m_server.isListening(); }
    [[nodiscard]] quint16 port() const { return m_server.serverPort(); }
    [[nodiscard]] QByteArray base() const { return "http://127.0.0.1:" + QByteArray::number(port()); }
    [[nodiscard]] const QList<Request>& requests() const { return m_requests; }
    void setHandler(Handler handler) { m_handler = std::move(handler); }

signals:
    void requestReceived(int index);
    // The answer to request `index` has been written (or its connection was gone by then).
    void answered(int index);

private:
    void onConnection();

    QTcpServer m_server;
    Handler m_handler;
    QList<Request> m_requests;
};
