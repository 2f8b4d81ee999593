#include "link/ServerLink.h"

#include "common/AppContext.h"
#include "config/StationSettings.h"
#include "link/Framing.h"

#include <QEventLoop>
#include <QScopedValueRollback>
#include <QTcpSocket>
#include <QTimer>

#include <chrono>
#include <utility>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

ServerLink::ServerLink(AppContext& ctx, const StationSettings& settings, MessageHandlers& handlers, QObject* parent)
    : QObject(parent)
    , Winsock_Klein(new QTcpSocket(this))
    , m_ctx(ctx)
    , m_settings(settings)
    , m_receiver(handlers)
{
    Winsock_Klein->setObjectName(QStringLiteral("Winsock_Klein"));
    connect(Winsock_Klein, &QTcpSocket::connected, this, &ServerLink::onConnected);
    connect(Winsock_Klein, &QTcpSocket::readyRead, this, &ServerLink::onReadyRead);
    connect(Winsock_Klein, &QTcpSocket::disconnected, this, &ServerLink::onDisconnected);
    connect(Winsock_Klein, &QTcpSocket::errorOccurred, this, [this] { m_errorSinceConnect = true; });
    connect(Winsock_Klein, &QTcpSocket::bytesWritten, this, [this] {
        if (Winsock_Klein->bytesToWrite() == 0)
            SendPending = false;
    });
}

ServerLink::~ServerLink() = default;

ServerLink::State ServerLink::LinkState() const
{
    if (m_errorSinceConnect)
        return State::Error;
    switch (Winsock_Klein->state()) {
    case QAbstractSocket::UnconnectedState:
        return State::Closed;
    case QAbstractSocket::BoundState:
    case QAbstractSocket::ListeningState:
        return State::Open;
    case QAbstractSocket::HostLookupState:
        return State::Resolving;
    case QAbstractSocket::ConnectingState:
        return State::Connecting;
    case QAbstractSocket::ConnectedState:
        return State::Connected;
    case QAbstractSocket::ClosingState:
        return State::Closing;
    }
    return State::Error;
}

QString ServerLink::ServerAddress() const
{
    if (!m_host.isEmpty())
        return m_host;
    const QString address = m_settings.ServerAddress.trimmed();
    return address.isEmpty() ? QStringLiteral("localhost") : address;
}

quint16 ServerLink::ServerPort() const
{
    return m_host.isEmpty() ? quint16(m_ctx.ServerPort) : m_port;
}

void ServerLink::setHost(const QString& host, quint16 port)
{
    m_host = host;
    m_port = port;
}

void ServerLink::retire()
{
    m_retired = true;
    SendPending = false;
    closeSocket();
}

void ServerLink::reconnect()
{
    if (LinkState() != State::Connected)
        return;
    qCWarning(lcLink).noquote() << "Connection to" << ServerAddress() << "port" << ServerPort()
                                << "dropped to be opened again";
    closeSocket();
}

QString ServerLink::registrationMessage() const
{
    const QChar sep(Framing::FieldSeparator);
    return QStringLiteral("HIER_MEIN_NAME") + sep + m_ctx.MonitorName + sep + QStringLiteral("MONITOR") + sep
        + QStringLiteral("MONITOR") + sep + QStringLiteral("1");
}

void ServerLink::superviseTick()
{
    // Qt's timer does not fire into its own running slot; a direct call while a step is running
    // (inside one of its waits) is ignored just the same.
    if (m_ctx.ist_ende() || m_inSupervision || m_retired)
        return;
    QScopedValueRollback<bool> running(m_inSupervision, true);

    bool status = false;
    switch (LinkState()) {
    case State::Closed:
    case State::Connecting:
    case State::Closing:
    case State::Error:
        // Connected or not, the status shows it from the next tick on.
        ConnectToServer(ServerAddress());
        break;
    case State::Connected:
        status = true;
        break;
    case State::Open:
    case State::Resolving:
        break;
    }
    if (m_ctx.ist_ende())
        return;
    if (status != m_linkStatus) {
        m_linkStatus = status;
        emit linkStatusChanged(status);
    }
}

void ServerLink::ConnectToServer(const QString& address)
{
    if (m_ctx.ist_ende())
        return;

    // Whole frames that came before the connection broke are still handled; a partial one is not.
    if (Winsock_Klein->bytesAvailable() > 0)
        m_received.append(Winsock_Klein->readAll());
    m_receiver.ReceiveChunk(std::exchange(m_received, QByteArray()));

    // Only a connection that is up has anything to close gracefully. A socket that is still
    // looking up the host or waiting for the peer's answer is given up at once: Qt merely marks its
    // close as pending, so waiting for it would sit out the whole close wait at every attempt.
    if (Winsock_Klein->state() == QAbstractSocket::ConnectedState) {
        Winsock_Klein->close();
        waitUntil([this] { return Winsock_Klein->state() == QAbstractSocket::UnconnectedState; }, CloseWaitMs);
    }
    if (Winsock_Klein->state() != QAbstractSocket::UnconnectedState)
        Winsock_Klein->abort();
    if (m_ctx.ist_ende() || m_retired)
        return;

    m_errorSinceConnect = false;
    m_received.clear();
    m_receiver.reset();
    Winsock_Klein->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    Winsock_Klein->connectToHost(address, ServerPort());
    // Ends early when the attempt has failed, so that the next tick tries again a second later.
    waitUntil(
        [this] {
            const auto state = Winsock_Klein->state();
            return state == QAbstractSocket::ConnectedState || state == QAbstractSocket::UnconnectedState;
        },
        ConnectWaitMs);
    if (Winsock_Klein->state() != QAbstractSocket::ConnectedState && !m_ctx.ist_ende())
        logFailedAttempt(address);
}

void ServerLink::logFailedAttempt(const QString& address)
{
    const QString reason = m_errorSinceConnect ? Winsock_Klein->errorString()
                                               : QStringLiteral("no answer within %1 ms").arg(ConnectWaitMs);
    int leftOut = 0;
    if (!m_failedAttempts.failure(Log::RepeatLimit::Clock::now(), &leftOut))
        return;
    if (leftOut == 0)
        qCWarning(lcLink).noquote() << "Connection to" << address << "port" << ServerPort() << "failed:" << reason;
    else
        qCWarning(lcLink).noquote() << "Connection to" << address << "port" << ServerPort() << "still failing,"
                                    << leftOut << "more failed attempts since the last report:" << reason;
}

void ServerLink::onDisconnected()
{
    if (!std::exchange(m_up, false))
        return;
    const QString reason = m_errorSinceConnect ? Winsock_Klein->errorString() : QStringLiteral("connection closed");
    qCWarning(lcLink).noquote() << "Link down:" << reason;
}

void ServerLink::onConnected()
{
    // A new connection never continues the text of an old one.
    m_received.clear();
    m_receiver.reset();
    enableKeepAlive();
    m_up = true;
    m_failedAttempts.success();
    qCInfo(lcLink).noquote() << "Link up to" << Winsock_Klein->peerName() << "port" << Winsock_Klein->peerPort();
    if (m_ctx.ist_ende())
        return;
    waitUntil([this] { return Winsock_Klein->state() == QAbstractSocket::ConnectedState; }, RegistrationWaitMs);
    SendToServer(registrationMessage());
    if (LinkState() == State::Connected && Winsock_Klein->bytesToWrite() == 0)
        qCInfo(lcLink).noquote() << "Registered as" << m_ctx.MonitorName;
}

void ServerLink::SendToServer(const QString& message)
{
    if (LinkState() != State::Connected)
        return;
    SendPending = true;
    Winsock_Klein->write(MessageReceiver::frame(message));
    // Bounded: the timer that drives the link does not fire while this wait runs, so a send that
    // never completes must not keep the link from being reopened.
    waitUntil([this] { return !SendPending; }, SendWaitMs);
    SendPending = false;
}

void ServerLink::closeSocket()
{
    if (LinkState() == State::Closed)
        return;
    // A connection attempt in progress would only be marked for closing; it is given up instead.
    if (Winsock_Klein->state() == QAbstractSocket::ConnectedState)
        Winsock_Klein->close();
    else
        Winsock_Klein->abort();
    m_errorSinceConnect = false;
}

void ServerLink::onReadyRead()
{
    // Whatever came is cut into messages at once, so that an alarm behind a flood is heard before
    // anything else the event loop has to do; announcing ahead never waits in the event loop.
    m_received.append(Winsock_Klein->readAll());
    m_receiver.take(std::exchange(m_received, QByteArray()));
    queueDelivery();
}

void ServerLink::queueDelivery()
{
    // The socket does not announce new data while a readyRead slot is running, so the messages are
    // dispatched outside of it: a handler that waits in the event loop still sees the next alarm.
    if (!m_deliveryQueued) {
        m_deliveryQueued = true;
        QMetaObject::invokeMethod(this, &ServerLink::deliverReceived, Qt::QueuedConnection);
    }
}

void ServerLink::deliverReceived()
{
    m_deliveryQueued = false;
    // The messages are dispatched a slice at a time, and before each the socket is read of all
    // that has come since: a flood is read in as fast as it comes, and an alarm behind it with it.
    readWaitingBytes();
    if (m_receiver.dispatchUntil(MessageReceiver::Clock::now() + std::chrono::milliseconds(DispatchSliceMs)))
        queueDelivery();
}

void ServerLink::readWaitingBytes()
{
    // Only when bytes are there: a wait that finds none reports a time-out as the socket's error.
    int waiting = 0;
    const qintptr fd = Winsock_Klein->socketDescriptor();
    if (Winsock_Klein->state() == QAbstractSocket::ConnectedState && fd >= 0
        && ::ioctl(static_cast<int>(fd), FIONREAD, &waiting) == 0 && waiting > 0)
        Winsock_Klein->waitForReadyRead(0);
}

void ServerLink::enableKeepAlive()
{
    const qintptr fd = Winsock_Klein->socketDescriptor();
    if (fd < 0)
        return;
    const int on = 1;
    const int idle = KeepAliveIdleSeconds;
    const int interval = KeepAliveIntervalSeconds;
    const int probes = KeepAliveProbes;
    const unsigned int unacknowledged = UnacknowledgedLimitMs;
    const int s = static_cast<int>(fd);
    // A failure leaves the system's defaults in place; the link works without them.
    ::setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(s, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(s, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(s, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
    ::setsockopt(s, IPPROTO_TCP, TCP_USER_TIMEOUT, &unacknowledged, sizeof unacknowledged);
}

void ServerLink::waitUntil(const std::function<bool()>& done, int limitMs)
{
    if (done() || m_ctx.ist_ende())
        return;
    QScopedValueRollback<int> waiting(m_waits, m_waits + 1);
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(&m_ctx, &AppContext::ending, &loop, &QEventLoop::quit);
    const auto check = [&] {
        if (done())
            loop.quit();
    };
    connect(Winsock_Klein, &QTcpSocket::stateChanged, &loop, check);
    connect(Winsock_Klein, &QTcpSocket::bytesWritten, &loop, check);
    connect(Winsock_Klein, &QTcpSocket::errorOccurred, &loop, check);
    limit.start(limitMs);
    loop.exec();
}
