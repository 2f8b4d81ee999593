#include "tests/support/FakeDispatch.h"

#include "link/MessageReceiver.h"

#include <QTest>

FakeDispatch::FakeDispatch(QObject* parent)
    : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* peer = m_server.nextPendingConnection()) {
            const qsizetype index = m_clients.size();
            m_clients.append(peer);
            m_received.append(QByteArray());
            connect(peer, &QTcpSocket::readyRead, this, [this, peer, index] { m_received[index] += peer->readAll(); });
        }
    });
}

bool FakeDispatch::listen(quint16 port, const QHostAddress& address)
{
    return m_server.listen(address, port);
}

bool FakeDispatch::listenUnanswering()
{
    // The kernel queues one connection for a backlog of 0; the server takes none of them, so the
    // connection after the queued one stays unanswered.
    m_server.setListenBacklogSize(0);
    m_server.setMaxPendingConnections(0);
    if (!listen())
        return false;
    auto* queued = new QTcpSocket(this);
    queued->connectToHost(QHostAddress::LocalHost, port());
    return queued->waitForConnected(5000);
}

bool FakeDispatch::waitForReceived(qsizetype bytes, int ms)
{
    return QTest::qWaitFor([this, bytes] { return received().size() >= bytes; }, ms);
}

void FakeDispatch::send(const QByteArray& bytes)
{
    if (!m_clients.isEmpty())
        m_clients.last()->write(bytes);
}

void FakeDispatch::sendMessage(const QString& message)
{
    send(MessageReceiver::frame(message));
}

bool FakeDispatch::flush()
{
    return !m_clients.isEmpty() && m_clients.last()->waitForBytesWritten();
}

void FakeDispatch::dropClient()
{
    if (!m_clients.isEmpty())
        m_clients.last()->disconnectFromHost();
}
