#include "tools/DispatchSimulator.h"

#include "common/CodePage.h"
#include "link/Framing.h"
#include "link/MessageReceiver.h"

#include <QDateTime>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace {

QString shortened(const QString& text)
{
    constexpr qsizetype kShown = 160;
    return text.size() <= kShown ? text : text.left(kShown) + QStringLiteral(" …");
}

} // namespace

DispatchSimulator::DispatchSimulator(QObject* parent)
    : QObject(parent)
    , m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &DispatchSimulator::onNewConnection);
}

DispatchSimulator::~DispatchSimulator() = default;

bool DispatchSimulator::listen(const QHostAddress& address, quint16 port)
{
    return m_server->listen(address, port);
}

QString DispatchSimulator::errorString() const
{
    return m_server->errorString();
}

quint16 DispatchSimulator::port() const
{
    return m_server->serverPort();
}

void DispatchSimulator::setScenario(QList<ScenarioScript::Step> steps)
{
    m_scenario = std::move(steps);
}

void DispatchSimulator::sendToAll(const QString& message)
{
    if (m_monitors.empty())
        emit report(
            QStringLiteral("no monitor connected; not sent: %1").arg(shortened(ScenarioScript::escape(message))));
    for (auto& [socket, monitor] : m_monitors)
        send(socket, message);
}

void DispatchSimulator::onNewConnection()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        Monitor& monitor = m_monitors[socket];
        monitor.peer = QStringLiteral("%1:%2").arg(socket->peerAddress().toString()).arg(socket->peerPort());
        monitor.wait = new QTimer(socket);
        monitor.wait->setSingleShot(true);
        connect(monitor.wait, &QTimer::timeout, this, [this, socket] { playNext(socket); });
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            const auto it = m_monitors.find(socket);
            if (it == m_monitors.end())
                return;
            emit report(QStringLiteral("%1 disconnected").arg(it->second.peer));
            m_monitors.erase(it);
            socket->deleteLater();
        });
        emit report(QStringLiteral("%1 connected").arg(monitor.peer));
    }
}

void DispatchSimulator::onReadyRead(QTcpSocket* socket)
{
    const auto it = m_monitors.find(socket);
    if (it == m_monitors.end())
        return;
    QByteArray& buffer = it->second.received;
    buffer += socket->readAll();
    qsizetype end;
    while ((end = buffer.indexOf(Framing::FrameEnd)) >= 0) {
        const QByteArray piece = buffer.left(end);
        buffer.remove(0, end + Framing::FrameEnd.size());
        onFrame(socket, piece);
        if (!m_monitors.contains(socket))
            return;
    }
    if (buffer.size() > MessageReceiver::MaxPayloadBytes + Framing::FrameEnd.size()) {
        emit report(QStringLiteral("%1 sent more than 1 MiB without a terminator; dropped").arg(it->second.peer));
        buffer.clear();
    }
}

void DispatchSimulator::onFrame(QTcpSocket* socket, const QByteArray& piece)
{
    Monitor& monitor = m_monitors[socket];
    if (!piece.startsWith(Framing::FrameStart)) {
        emit report(QStringLiteral("%1 sent a frame without its start byte: %2")
                        .arg(monitor.peer, shortened(ScenarioScript::escape(CodePage::decode(piece)))));
        return;
    }
    const QString message = CodePage::decode(QByteArrayView(piece).sliced(1));
    const QStringList fields = message.split(QChar(Framing::FieldSeparator));
    if (fields.first() != QLatin1String("HIER_MEIN_NAME")) {
        emit report(QStringLiteral("%1 sent: %2").arg(monitor.peer, shortened(ScenarioScript::escape(message))));
        return;
    }
    QStringList shown;
    for (const QString& field : fields)
        shown.append(ScenarioScript::escape(field));
    emit report(QStringLiteral("registration from %1: %2").arg(monitor.peer, shown.join(QStringLiteral(" | "))));
    emit registrationReceived(fields);
    // Each new registration plays the scenario from its start.
    monitor.wait->stop();
    monitor.nextStep = 0;
    playNext(socket);
}

void DispatchSimulator::playNext(QTcpSocket* socket)
{
    const auto it = m_monitors.find(socket);
    if (it == m_monitors.end() || it->second.nextStep < 0)
        return;
    Monitor& monitor = it->second;
    while (monitor.nextStep < m_scenario.size()) {
        const ScenarioScript::Step& step = m_scenario[monitor.nextStep++];
        if (step.kind == ScenarioScript::Step::Kind::Wait) {
            monitor.wait->start(step.waitMs);
            return;
        }
        if (step.kind == ScenarioScript::Step::Kind::Message)
            send(socket, step.message);
    }
    if (!m_scenario.isEmpty()) {
        emit report(QStringLiteral("scenario played to %1; the connection stays open").arg(monitor.peer));
        monitor.nextStep = -1;
        emit scenarioFinished();
    }
}

void DispatchSimulator::send(QTcpSocket* socket, const QString& written)
{
    const QString message = ScenarioScript::stamp(written, QDateTime::currentDateTime());
    socket->write(MessageReceiver::frame(message));
    emit report(
        QStringLiteral("sent to %1: %2").arg(m_monitors[socket].peer, shortened(ScenarioScript::escape(message))));
}
