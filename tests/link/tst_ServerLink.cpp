#include "tests/support/RecordingHandlers.h"

#include "common/AppContext.h"
#include "link/ServerLink.h"

#include <QEventLoop>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <memory>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace {

const QByteArray kEnd("\x02\x02\x02\x03\x03\x03\x04\x04\x04\x04", 10);

QByteArray frame(const QByteArray& payload)
{
    return '\x05' + payload + kEnd;
}

// A dispatch computer on 127.0.0.1 that keeps what each accepted connection sent.
class Dispatch : public QObject {
public:
    QTcpServer server;
    QList<QTcpSocket*> peers;
    QList<QByteArray> received;

    bool listen(quint16 port = 0)
    {
        if (!server.listen(QHostAddress::LocalHost, port))
            return false;
        connect(&server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* peer = server.nextPendingConnection()) {
                const qsizetype index = peers.size();
                peers.append(peer);
                received.append(QByteArray());
                connect(
                    peer, &QTcpSocket::readyRead, this, [this, peer, index] { received[index] += peer->readAll(); });
            }
        });
        return true;
    }
    quint16 port() const { return server.serverPort(); }
};

// A port on 127.0.0.1 where nothing listens (taken and given back at once).
quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// Lets the event loop run for a while.
void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

int socketOption(const QTcpSocket& socket, int level, int name)
{
    int value = -1;
    socklen_t size = sizeof value;
    if (::getsockopt(static_cast<int>(socket.socketDescriptor()), level, name, &value, &size) != 0)
        return -1;
    return value;
}

} // namespace

class ServerLinkTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<AppContext> m_ctx;
    std::unique_ptr<RecordingHandlers> m_handlers;
    std::unique_ptr<ServerLink> m_link;

    void makeLink(quint16 port, const QString& address = QStringLiteral("127.0.0.1"))
    {
        m_ctx = std::make_unique<AppContext>();
        m_ctx->settings.ServerAddress = address;
        m_ctx->ServerPort = port;
        m_ctx->MonitorName = QStringLiteral("WACHE-NORD");
        m_handlers = std::make_unique<RecordingHandlers>();
        m_link = std::make_unique<ServerLink>(*m_ctx, *m_handlers);
    }

private slots:
    void cleanup()
    {
        m_link.reset();
        m_handlers.reset();
        m_ctx.reset();
    }

    void registrationBytes_data()
    {
        QTest::addColumn<QString>("address");
        QTest::newRow("address from the settings") << QStringLiteral("127.0.0.1");
        QTest::newRow("no address: localhost") << QString();
        QTest::newRow("blanks only: localhost") << QStringLiteral("  ");
    }

    // The first tick connects and registers; the status turns to connected at the next tick.
    void registrationBytes()
    {
        QFETCH(QString, address);
        Dispatch dispatch;
        QVERIFY(dispatch.listen());
        makeLink(dispatch.port(), address);
        if (address.trimmed().isEmpty())
            QCOMPARE(m_link->ServerAddress(), QStringLiteral("localhost"));

        m_link->superviseTick();
        QCOMPARE(m_link->LinkState(), 7);
        QCOMPARE(m_link->LinkStatus(), 0);
        QTRY_COMPARE(
            dispatch.received.value(0), QByteArray("\x05HIER_MEIN_NAME\tWACHE-NORD\tMONITOR\tMONITOR\t1") + kEnd);
        QCOMPARE(m_link->SendPending, 0);

        m_link->superviseTick();
        QCOMPARE(m_link->LinkStatus(), 1);
        QCOMPARE(dispatch.peers.size(), 1);
    }

    void registrationInWindows1252()
    {
        Dispatch dispatch;
        QVERIFY(dispatch.listen());
        makeLink(dispatch.port());
        m_ctx->MonitorName = QStringLiteral("Wache Süd");
        m_link->superviseTick();
        QTRY_COMPARE(dispatch.received.value(0),
            QByteArray("\x05HIER_MEIN_NAME\tWache S\xfc"
                       "d\tMONITOR\tMONITOR\t1")
                + kEnd);
    }

    // The status is reported only when it changes: not at every tick, and again when the link
    // drops and comes back.
    void statusOnlyOnChange()
    {
        Dispatch dispatch;
        QVERIFY(dispatch.listen());
        makeLink(dispatch.port());
        QSignalSpy spy(m_link.get(), &ServerLink::linkStatusChanged);

        m_link->superviseTick();
        QCOMPARE(spy.count(), 0);
        for (int i = 0; i < 3; ++i)
            m_link->superviseTick();
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toInt(), 1);

        QTRY_COMPARE(dispatch.peers.size(), 1);
        dispatch.peers[0]->disconnectFromHost();
        QTRY_COMPARE(m_link->LinkState(), 9);
        m_link->superviseTick(); // reconnects; shown from the next tick on
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy.at(1).at(0).toInt(), 0);
        m_link->superviseTick();
        m_link->superviseTick();
        QCOMPARE(spy.count(), 3);
        QCOMPARE(spy.at(2).at(0).toInt(), 1);
    }

    // The dispatch computer closes the connection: the next tick reopens it and registers again.
    void reconnectsAndRegistersAgain()
    {
        Dispatch dispatch;
        QVERIFY(dispatch.listen());
        makeLink(dispatch.port());
        m_link->superviseTick();
        QTRY_COMPARE(dispatch.received.size(), 1);
        QTRY_VERIFY(!dispatch.received[0].isEmpty());

        dispatch.peers[0]->close();
        QTRY_VERIFY(m_link->LinkState() != 7);
        m_link->superviseTick();
        QTRY_COMPARE(dispatch.peers.size(), 2);
        QTRY_COMPARE(dispatch.received[1], dispatch.received[0]);
        QCOMPARE(m_link->LinkState(), 7);
    }

    // The dispatch computer is down at start: each tick tries once and returns soon, the status
    // stays "not connected"; once it is up, the next tick connects.
    void serverDownAtStartComesUpLater()
    {
        const quint16 port = closedPort();
        makeLink(port);
        QSignalSpy spy(m_link.get(), &ServerLink::linkStatusChanged);
        for (int i = 0; i < 3; ++i) {
            QElapsedTimer attempt;
            attempt.start();
            m_link->superviseTick();
            QVERIFY2(attempt.elapsed() < ServerLink::ConnectWaitMs, "a refused attempt waits for nothing");
            QVERIFY(m_link->LinkState() == 9 || m_link->LinkState() == 0);
        }
        QCOMPARE(spy.count(), 0);

        Dispatch dispatch;
        QVERIFY(dispatch.listen(port));
        m_link->superviseTick();
        QTRY_VERIFY(!dispatch.received.value(0).isEmpty());
        m_link->superviseTick();
        QCOMPARE(spy.count(), 1);
        QCOMPARE(m_link->LinkStatus(), 1);
    }

    // What the dispatch computer sends reaches the handlers, also in small pieces.
    void messagesReachTheHandlers()
    {
        Dispatch dispatch;
        QVERIFY(dispatch.listen());
        makeLink(dispatch.port());
        m_link->superviseTick();
        QTRY_COMPARE(dispatch.peers.size(), 1);
        QTcpSocket* peer = dispatch.peers[0];

        const QByteArray stream = frame("WACHALARM\tB3\tFeuer\tHauptstra\xdf"
                                        "e 1")
            + frame("VERSION\t2") + frame("WACHALARM_STATUS\tFlorian 1\t3");
        for (qsizetype at = 0; at < stream.size(); at += 7) {
            peer->write(stream.mid(at, 7));
            peer->flush();
            runFor(2);
        }
        QTRY_COMPARE(m_handlers->calls.size(), 2);
        QCOMPARE(m_handlers->calls[0], QStringLiteral("HandleStationAlarm(0):WACHALARM\tB3\tFeuer\tHauptstraße 1"));
        QCOMPARE(m_handlers->calls[1], QStringLiteral("InsertStatusRow:WACHALARM_STATUS\tFlorian 1\t3"));
        // Nothing answers "VERSION" or anything else: the registration is all the monitor sent.
        runFor(100);
        QCOMPARE(dispatch.received[0], MessageReceiver::frame(m_link->registrationMessage()));
    }

    // Half a frame left by a broken connection is not glued to the first frame of the next one.
    void newConnectionStartsWithAnEmptyBuffer()
    {
        Dispatch dispatch;
        QVERIFY(dispatch.listen());
        makeLink(dispatch.port());
        m_link->superviseTick();
        QTRY_COMPARE(dispatch.peers.size(), 1);
        dispatch.peers[0]->write(frame("WACHALARM_DEL") + "\x05WACHALARM\tB3\tFeu");
        dispatch.peers[0]->flush();
        QTRY_COMPARE(m_handlers->calls.size(), 1);
        dispatch.peers[0]->close();
        QTRY_VERIFY(m_link->LinkState() != 7);

        m_link->superviseTick();
        QTRY_COMPARE(dispatch.peers.size(), 2);
        // Bytes without a start byte: appended to the old half frame they would complete a frame.
        dispatch.peers[1]->write("er" + kEnd + frame("WACHALARM_EM\tRTW 1\x07"));
        QTRY_COMPARE(m_handlers->calls.size(), 2);
        QCOMPARE(m_handlers->calls, (QStringList { "DeleteTicker:", "HandleUnitAlarm:WACHALARM_EM\tRTW 1\x07" }));
    }

    // A handler that waits in the event loop (as the speech output does) sees the next alarm
    // handled inside its wait.
    void secondAlarmInsideTheFirstHandlersWait()
    {
        struct Waiting : RecordingHandlers {
            void HandleStationAlarm(const QString& message, int replay) override
            {
                RecordingHandlers::HandleStationAlarm(message, replay);
                if (calls.size() > 1)
                    return;
                QEventLoop speech;
                QTimer limit;
                limit.setSingleShot(true);
                QObject::connect(&limit, &QTimer::timeout, &speech, &QEventLoop::quit);
                QTimer poll;
                QObject::connect(&poll, &QTimer::timeout, &speech, [&] {
                    if (calls.size() > 1)
                        speech.quit();
                });
                limit.start(5000);
                poll.start(10);
                speech.exec();
                calls.append(QStringLiteral("end of first wait"));
            }
        };
        Dispatch dispatch;
        QVERIFY(dispatch.listen());
        m_ctx = std::make_unique<AppContext>();
        m_ctx->settings.ServerAddress = QStringLiteral("127.0.0.1");
        m_ctx->ServerPort = dispatch.port();
        Waiting handlers;
        ServerLink link(*m_ctx, handlers);
        link.superviseTick();
        QTRY_COMPARE(dispatch.peers.size(), 1);
        QTcpSocket* peer = dispatch.peers[0];
        peer->write(frame("WACHALARM\tB1"));
        QTimer::singleShot(300, peer, [peer] { peer->write(frame("WACHALARM\tB2")); });
        QTRY_COMPARE(handlers.calls.size(), 3);
        QCOMPARE(handlers.calls,
            (QStringList {
                "HandleStationAlarm(0):WACHALARM\tB1", "HandleStationAlarm(0):WACHALARM\tB2", "end of first wait" }));
    }

    // A link that died without being closed is dropped within 60 s.
    void keepAliveOnTheSocket()
    {
        Dispatch dispatch;
        QVERIFY(dispatch.listen());
        makeLink(dispatch.port());
        m_link->superviseTick();
        QCOMPARE(m_link->LinkState(), 7);
        const QTcpSocket& socket = *m_link->Winsock_Klein;
        QCOMPARE(socketOption(socket, SOL_SOCKET, SO_KEEPALIVE), 1);
        const int idle = socketOption(socket, IPPROTO_TCP, TCP_KEEPIDLE);
        const int interval = socketOption(socket, IPPROTO_TCP, TCP_KEEPINTVL);
        const int probes = socketOption(socket, IPPROTO_TCP, TCP_KEEPCNT);
        const int unacknowledged = socketOption(socket, IPPROTO_TCP, TCP_USER_TIMEOUT);
        QCOMPARE(idle, ServerLink::KeepAliveIdleSeconds);
        QCOMPARE(interval, ServerLink::KeepAliveIntervalSeconds);
        QCOMPARE(probes, ServerLink::KeepAliveProbes);
        QVERIFY(idle + interval * probes <= 60);
        QVERIFY(unacknowledged > 0 && unacknowledged <= 60000);
    }

    // Sending needs a connection; nothing is written without one.
    void sendWithoutConnection()
    {
        makeLink(closedPort());
        m_link->SendToServer(QStringLiteral("HIER_MEIN_NAME"));
        QCOMPARE(m_link->Winsock_Klein->bytesToWrite(), 0);
        QCOMPARE(m_link->SendPending, 0);
    }

    // Once the program is ending, the link neither connects nor reports.
    void nothingAfterTheEnd()
    {
        Dispatch dispatch;
        QVERIFY(dispatch.listen());
        makeLink(dispatch.port());
        QSignalSpy spy(m_link.get(), &ServerLink::linkStatusChanged);
        m_link->superviseTick();
        m_ctx->beginEnding();
        m_link->closeSocket();
        QCOMPARE(m_link->LinkState(), 0);
        m_link->superviseTick();
        runFor(100);
        QCOMPARE(m_link->LinkState(), 0);
        QCOMPARE(spy.count(), 0);
        QCOMPARE(dispatch.peers.size(), 1);
    }

    // The end of the program ends a wait at once: the registration's wait for a connection that
    // a tick inside it would need is not sat out.
    void endingEndsTheConnectWait()
    {
        makeLink(closedPort(), QStringLiteral("localhost"));
        QTimer::singleShot(0, m_ctx.get(), [this] { m_ctx->beginEnding(); });
        QElapsedTimer clock;
        clock.start();
        m_link->ConnectToServer(QStringLiteral("localhost"));
        QVERIFY(clock.elapsed() < ServerLink::ConnectWaitMs);
    }
};

QTEST_GUILESS_MAIN(ServerLinkTest)
#include "tst_ServerLink.moc"
