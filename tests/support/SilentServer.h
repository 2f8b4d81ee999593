#pragma once

#include <QLocalServer>
#include <QLocalSocket>
#include <QString>

#include <memory>
#include <vector>

// A local socket that accepts every connection and never answers: a server that has stalled.
// The connections stay open until dropClients().
class SilentServer {
public:
    explicit SilentServer(const QString& path)
    {
        QLocalServer::removeServer(path);
        m_server.listen(path);
        QObject::connect(&m_server, &QLocalServer::newConnection, &m_server, [this] {
            while (QLocalSocket* client = m_server.nextPendingConnection())
                m_clients.emplace_back(client);
        });
    }
    [[nodiscard]] bool listening() const { return m_server.isListening(); }
    [[nodiscard]] size_t connections() const { return m_clients.size(); }
    // Stops listening (the socket file goes); accepted connections stay open.
    void close() { m_server.close(); }
    void dropClients() { m_clients.clear(); }

private:
    QLocalServer m_server;
    std::vector<std::unique_ptr<QLocalSocket>> m_clients;
};
