#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QTcpServer>
#include <QTcpSocket>

// A dispatch computer for tests: listens (by default on a free port of 127.0.0.1), keeps every
// byte each accepted monitor sent, and sends frames to the newest one.
class FakeDispatch : public QObject {
    Q_OBJECT

public:
    explicit FakeDispatch(QObject* parent = nullptr);

    [[nodiscard]] bool listen(quint16 port = 0, const QHostAddress& address = QHostAddress::LocalHost);
    // Listens on a free port of 127.0.0.1 with a full connect queue and never accepts: a monitor's
    // connection attempt gets no answer at all, as from a host that is switched off.
    [[nodiscard]] bool listenUnanswering();
    [[nodiscard]] quint16 port() const { return m_server.serverPort(); }
    [[nodiscard]] QTcpServer& server() { return m_server; }

    // Connections accepted so far, and what the newest of them sent.
    [[nodiscard]] qsizetype clientCount() const { return m_clients.size(); }
    [[nodiscard]] QByteArray received() const { return m_received.isEmpty() ? QByteArray() : m_received.last(); }
    // Runs the event loop until the newest client sent `bytes` bytes in all; false when `ms` ran out first.
    [[nodiscard]] bool waitForReceived(qsizetype bytes, int ms = 10000);

    // Raw bytes, or one framed message (Windows-1252), to the newest client.
    void send(const QByteArray& bytes);
    void sendMessage(const QString& message);
    // Waits until what was sent to the newest client has left; false when nothing was waiting.
    [[nodiscard]] bool flush();

    // Closes the newest client's connection from this side.
    void dropClient();

private:
    QTcpServer m_server;
    QList<QTcpSocket*> m_clients;
    QList<QByteArray> m_received;
};
