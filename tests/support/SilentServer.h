#pragma once

#include <QLocalServer>
#include <QLocalSocket>

#include <memory>
#include <vector>

// A local socket that accepts every connection and never answers: a server that has stalled.
struct SilentServer {
    explicit SilentServer(const QString& path)
    {
        QLocalServer::removeServer(path);
        server.listen(path);
        QObject::connect(&server, &QLocalServer::newConnection, &server, [this] {
            while (QLocalSocket* client = server.nextPendingConnection())
                clients.emplace_back(client);
        });
    }
    QLocalServer server; // close() stops listening; the accepted connections stay open
    std::vector<std::unique_ptr<QLocalSocket>> clients; // clear() breaks them off
};
