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
            connect(peer, &QTcpSocket::readyRead, this, [this, peer, index] {
                m_received[index] += peer->readAll();
                emit bytesReceived();
            });
            emit clientConnected();
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

QByteArray FakeDispatch::received(qsizetype client) const
{
    if (m_received.isEmpty())
        return {};
    return m_received.at(client < 0 ? m_received.size() - 1 : client);
}

QTcpSocket* FakeDispatch::client(qsizetype index) const
{
    if (m_clients.isEmpty())
        return nullptr;
    return m_clients.at(index < 0 ? m_clients.size() - 1 : index);
}

bool FakeDispatch::waitForClient(int ms)
{
    return QTest::qWaitFor([this] { return !m_clients.isEmpty(); }, ms);
}

bool FakeDispatch::waitForReceived(qsizetype bytes, int ms)
{
    return QTest::qWaitFor([this, bytes] { return received().size() >= bytes; }, ms);
}

void FakeDispatch::send(const QByteArray& bytes)
{
    if (QTcpSocket* peer = client())
        peer->write(bytes);
}

void FakeDispatch::sendMessage(const QString& message)
{
    send(MessageReceiver::frame(message));
}

void FakeDispatch::dropClient()
{
    if (QTcpSocket* peer = client())
        peer->disconnectFromHost();
}
