#include "station/ControlServer.h"

#include "common/Log.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStringList>
#include <QTimer>

#include <memory>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// The most of an answer a client reads: the paths' states are a few lines.
constexpr qint64 kMostAnswerBytes = 64 * 1024;

QString socketPath(const QString& dataFolder)
{
    return QDir(dataFolder).filePath(ControlServer::FileName);
}

// The request's name: printable ASCII only, so that nothing else reaches a handler or the journal.
bool plainName(const QByteArray& name)
{
    for (const char c : name) {
        if (c < 0x21 || c > 0x7e)
            return false;
    }
    return !name.isEmpty();
}

} // namespace

ControlServer::ControlServer(QObject* parent)
    : QObject(parent)
{
}

ControlServer::~ControlServer()
{
    if (m_server && m_server->isListening()) {
        const QString path = m_server->fullServerName();
        m_server->close();
        QFile::remove(path);
    }
}

void ControlServer::handle(const QString& name, std::function<ControlAnswer()> answer)
{
    m_requests.insert(name, std::move(answer));
}

QString ControlServer::path() const
{
    return m_server && m_server->isListening() ? m_server->fullServerName() : QString();
}

bool ControlServer::listen(const QString& dataFolder)
{
    // Whoever may write to the folder could put a socket of their own in the monitor's place.
    struct stat folder { };
    const QByteArray encoded = QFile::encodeName(dataFolder);
    if (::stat(encoded.constData(), &folder) != 0 || folder.st_uid != ::geteuid()
        || (folder.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        qCWarning(lcFiles).noquote() << "No control socket: the data folder" << dataFolder
                                     << "is not its owner's alone; kessvenn --test-alarm and --status do not "
                                        "reach this monitor";
        return false;
    }
    delete m_server;
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    m_server->setMaxPendingConnections(kMostClients);
    const QString path = socketPath(dataFolder);
    // The data folder's lock is held: a socket there is one that a monitor that died left behind.
    QLocalServer::removeServer(path);
    if (!m_server->listen(path)) {
        qCWarning(lcFiles).noquote() << "No control socket" << path << ":" << m_server->errorString();
        delete m_server;
        m_server = nullptr;
        return false;
    }
    ::chmod(QFile::encodeName(path).constData(), S_IRUSR | S_IWUSR);
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* client = m_server->nextPendingConnection())
            take(client);
    });
    return true;
}

void ControlServer::take(QLocalSocket* client)
{
    connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
    if (m_clients >= kMostClients) {
        client->abort();
        client->deleteLater();
        return;
    }
    ++m_clients;
    connect(client, &QObject::destroyed, this, [this] { --m_clients; });
    auto request = std::make_shared<QByteArray>();
    QTimer::singleShot(kRequestTime, client, [this, client] {
        answer(client,
            { false,
                QStringLiteral("Keine vollständige Anfrage innerhalb von %1 s").arg(kRequestTime.count() / 1000) });
    });
    const auto read = [this, client, request] {
        if (client->property("answered").toBool()) {
            client->readAll();
            return;
        }
        request->append(client->read(kMostRequestBytes + 1 - request->size()));
        const qsizetype end = request->indexOf('\n');
        if (end < 0) {
            if (request->size() > kMostRequestBytes)
                answer(client, { false, QStringLiteral("Anfrage zu lang") });
            return;
        }
        QByteArray name = request->left(end);
        if (name.endsWith('\r'))
            name.chop(1);
        const QString key = QString::fromLatin1(name);
        const auto found = m_requests.constFind(key);
        if (!plainName(name) || found == m_requests.constEnd()) {
            QStringList known = m_requests.keys();
            known.sort();
            answer(client,
                { false,
                    QStringLiteral("Unbekannte Anfrage; bekannt sind: %1").arg(known.join(QStringLiteral(", "))) });
            return;
        }
        qCInfo(lcFiles).noquote() << "Control socket:" << key;
        answer(client, (*found)());
    };
    connect(client, &QLocalSocket::readyRead, client, read);
    // What came with the connection, before readyRead was connected.
    QMetaObject::invokeMethod(client, read, Qt::QueuedConnection);
}

void ControlServer::answer(QLocalSocket* client, const ControlAnswer& answer)
{
    if (client->property("answered").toBool())
        return;
    client->setProperty("answered", true);
    const QString text = (answer.ok ? QStringLiteral("ok\n") : QStringLiteral("fehler\n")) + answer.text;
    client->write(text.toUtf8() + '\n');
    // The answer is written before the connection closes.
    client->disconnectFromServer();
}

std::optional<ControlAnswer> ControlServer::ask(
    const QString& dataFolder, const QString& request, std::chrono::milliseconds bound)
{
    const QDeadlineTimer deadline(bound);
    QLocalSocket socket;
    socket.connectToServer(socketPath(dataFolder));
    if (!socket.waitForConnected(int(deadline.remainingTime())))
        return std::nullopt;
    socket.write(request.toUtf8() + '\n');
    QByteArray bytes;
    while (bytes.size() <= kMostAnswerBytes && !deadline.hasExpired()) {
        if (socket.bytesAvailable() == 0 && socket.state() != QLocalSocket::ConnectedState)
            break;
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(int(deadline.remainingTime())))
            continue;
        bytes += socket.read(kMostAnswerBytes + 1 - bytes.size());
    }
    const QString text = QString::fromUtf8(bytes);
    if (!text.endsWith(QLatin1Char('\n')))
        return ControlAnswer { false,
            QStringLiteral("Der Monitor hat nicht innerhalb von %1 s geantwortet").arg(bound.count() / 1000) };
    const qsizetype firstEnd = text.indexOf(QLatin1Char('\n'));
    QString rest = text.mid(firstEnd + 1);
    rest.chop(1);
    return ControlAnswer { text.left(firstEnd) == QLatin1String("ok"), rest };
}
