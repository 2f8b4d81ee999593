#include "tests/support/HttpResponder.h"

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

QByteArray HttpResponder::Request::header(const QByteArray& name) const
{
    for (const auto& [key, value] : headers) {
        if (key == name.toLower())
            return value;
    }
    return {};
}

HttpResponder::HttpResponder(Handler handler, QObject* parent)
    : QObject(parent)
    , m_handler(std::move(handler))
{
    connect(&m_server, &QTcpServer::newConnection, this, &HttpResponder::onConnection);
    m_server.listen(QHostAddress::LocalHost);
}

void HttpResponder::onConnection()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        auto buffer = std::make_shared<QByteArray>();
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
            buffer->append(socket->readAll());
            // One request per connection: every answer closes it.
            const qsizetype end = buffer->indexOf("\r\n\r\n");
            if (end < 0 || buffer->isEmpty())
                return;
            const QList<QByteArray> lines = buffer->left(end).split('\n');
            buffer->clear();
            Request request;
            const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
            request.method = first.value(0);
            request.target = first.value(1);
            for (qsizetype i = 1; i < lines.size(); ++i) {
                const qsizetype colon = lines[i].indexOf(':');
                if (colon > 0)
                    request.headers.append(
                        { lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed() });
            }
            const int index = static_cast<int>(m_requests.size());
            m_requests.append(request);
            const Response response = m_handler(request);
            emit requestReceived(index);
            if (response.silent)
                return;
            QPointer<QTcpSocket> guarded(socket);
            auto send = [this, guarded, response, index] {
                if (guarded && guarded->state() == QAbstractSocket::ConnectedState) {
                    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + " X\r\n";
                    head += "Content-Type: " + response.contentType + "\r\n";
                    head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
                    for (const auto& [name, value] : response.extraHeaders)
                        head += name + ": " + value + "\r\n";
                    head += "Connection: close\r\n\r\n";
                    guarded->write(head + response.body);
                    guarded->disconnectFromHost();
                }
                emit answered(index);
            };
            if (response.delayMs > 0)
                QTimer::singleShot(response.delayMs, this, send);
            else
                send();
        });
    }
}
