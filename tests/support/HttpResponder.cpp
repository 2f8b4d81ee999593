#include "tests/support/HttpResponder.h"

#include <QBuffer>
#include <QSignalSpy>
#include <QTimer>

#include <memory>

HttpResponder::HttpResponder(Handler handler, QObject* parent)
    : QObject(parent)
    , m_handler(std::move(handler))
{
    connect(&m_server, &QTcpServer::newConnection, this, &HttpResponder::onConnection);
    m_server.listen(QHostAddress::LocalHost);
}

HttpResponder::Response HttpResponder::png(const QImage& image)
{
    Response r;
    QBuffer buffer(&r.body);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return r;
}

HttpResponder::Response HttpResponder::png(const QColor& colour, int side)
{
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(colour);
    return png(image);
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
            if (end < 0)
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
                    request.headers.insert(lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
            }
            const int index = m_received++;
            if (keepRequests)
                m_requests.append(request);
            const Response response = m_handler(request);
            m_pending.insert(index, { socket, response });
            emit requestReceived(index);
            if (!response.held)
                release(index);
        });
    }
}

void HttpResponder::release(int index)
{
    if (!m_pending.contains(index))
        return;
    const Pending pending = m_pending.take(index);
    const Response& response = pending.response;
    if (pending.socket && pending.socket->state() == QAbstractSocket::ConnectedState) {
        QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + " X\r\n";
        head += "Content-Type: " + response.contentType + "\r\n";
        if (response.sendLength)
            head += "Content-Length: " + QByteArray::number(response.announcedLength.value_or(response.body.size()))
                + "\r\n";
        for (const auto& [name, value] : response.extraHeaders)
            head += name + ": " + value + "\r\n";
        head += "Connection: close\r\n\r\n";
        QTcpSocket* socket = pending.socket;
        socket->write(response.trickleMs > 0 ? head : head + response.body);
        if (response.trickleMs > 0) {
            auto* timer = new QTimer(socket); // ends with the connection
            connect(timer, &QTimer::timeout, socket,
                [socket, body = response.body, sent = qsizetype(0)]() mutable { socket->write(body.mid(sent++, 1)); });
            timer->start(response.trickleMs);
        } else if (!response.keepOpen) {
            socket->disconnectFromHost();
        }
    }
}

int HttpResponder::waitForRequest(const QByteArray& part, int timeoutMs)
{
    QSignalSpy received(this, &HttpResponder::requestReceived);
    do {
        for (int i = 0; i < m_requests.size(); ++i) {
            if (m_requests.at(i).target.contains(part))
                return i;
        }
    } while (received.wait(timeoutMs));
    return -1;
}
