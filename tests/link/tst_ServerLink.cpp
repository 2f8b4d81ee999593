#include "tests/support/FakeDispatch.h"
#include "tests/support/RecordingHandlers.h"

#include "common/AppContext.h"
#include "link/Framing.h"
#include "link/ServerLink.h"

#include <QTest>
#include <QTimer>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace {

// A link to a dispatch computer on 127.0.0.1 that answers, or that never answers a connect.
struct Rig {
    AppContext ctx;
    RecordingHandlers handlers;
    FakeDispatch dispatch;
    bool listening;
    ServerLink link { ctx, handlers };
    QList<int> statuses;

    explicit Rig(bool answering = true)
        : listening(answering ? dispatch.listen() : dispatch.listenUnanswering())
    {
        ctx.settings.ServerAddress = QStringLiteral("127.0.0.1");
        ctx.ServerPort = dispatch.port();
        QObject::connect(&link, &ServerLink::linkStatusChanged, [this](int status) { statuses.append(status); });
    }
};

// The socket's keepalive as the kernel has it: on, idle seconds, seconds between probes, probes.
QList<int> keepAlive(qintptr fd)
{
    QList<int> values;
    for (const auto& [level, name] : { std::pair { SOL_SOCKET, SO_KEEPALIVE }, { IPPROTO_TCP, TCP_KEEPIDLE },
             { IPPROTO_TCP, TCP_KEEPINTVL }, { IPPROTO_TCP, TCP_KEEPCNT } }) {
        int value = -1;
        socklen_t size = sizeof value;
        values << (::getsockopt(int(fd), level, name, &value, &size) == 0 ? value : -1);
    }
    return values;
}

} // namespace

class ServerLinkTest : public QObject {
    Q_OBJECT

private slots:
    // Each connection (a blank address is localhost) is registered in Windows-1252; the status
    // changes at the tick after a connection and at the one after it broke, and only then. Nothing
    // is answered, and half a frame left by a broken connection is not joined to the next one.
    void registersAndReconnects()
    {
        const QByteArray end = Framing::FrameEnd.toByteArray();
        const QByteArray registration = "\x05HIER_MEIN_NAME\tWache S\xfc\x64\tMONITOR\tMONITOR\t1" + end;
        Rig rig;
        QVERIFY(rig.listening);
        rig.ctx.settings.ServerAddress = QStringLiteral("  ");
        rig.ctx.MonitorName = QStringLiteral("Wache Süd");
        for (int connection = 1; connection <= 2; ++connection) {
            rig.link.superviseTick();
            QCOMPARE(rig.dispatch.clientCount(), connection);
            QCOMPARE(keepAlive(rig.link.Winsock_Klein->socketDescriptor()), QList<int>({ 1, 20, 5, 4 }));
            QVERIFY(rig.dispatch.waitForReceived(registration.size()));
            QCOMPARE(rig.link.SendPending, 0);
            rig.link.superviseTick();
            rig.link.superviseTick();
            rig.dispatch.send("er" + end + MessageReceiver::frame(QStringLiteral("VERSION\t2"))
                + MessageReceiver::frame(QStringLiteral("WACHALARM_DEL")) + "\x05WACHALARM\tB3\tFeu");
            QTRY_COMPARE(rig.handlers.calls.size(), connection);
            QCOMPARE(rig.dispatch.received(), registration);
            rig.dispatch.dropClient();
            QTRY_VERIFY(rig.link.LinkState() != 7);
        }
        rig.link.superviseTick();
        QCOMPARE(rig.handlers.calls, (QStringList { "DeleteTicker:", "DeleteTicker:" }));
        QCOMPARE(rig.statuses, (QList<int> { 1, 0, 1, 0 }));
    }

    // A host that does not answer: the tick after a connect wait that ran out dials again at once,
    // before the event loop runs a single time. The end of the program ends the wait at once;
    // after it the link neither connects, sends nor reports.
    void unansweredConnectAndTheEnd()
    {
        Rig rig(false);
        QVERIFY(rig.listening);
        rig.link.superviseTick();
        QCOMPARE(rig.link.LinkState(), 6);
        QStringList steps;
        const auto recording = connect(rig.link.Winsock_Klein, &QAbstractSocket::stateChanged, this,
            [&](QAbstractSocket::SocketState state) { steps.append(QString::number(state)); });
        QMetaObject::invokeMethod(
            this, [&] { steps.append(QStringLiteral("events")); }, Qt::QueuedConnection);
        rig.link.superviseTick();
        disconnect(recording);
        // 1: looking up the host, the first step of a new attempt.
        QVERIFY2(steps.contains("1") && steps.indexOf("1") < steps.indexOf("events"), qPrintable(steps.join(' ')));
        QCOMPARE(rig.link.LinkState(), 6);

        bool pumpedAfterTheEnd = false;
        QTimer::singleShot(0, &rig.link, [&] {
            rig.ctx.beginEnding();
            QTimer::singleShot(0, &rig.link, [&] { pumpedAfterTheEnd = true; });
        });
        rig.link.superviseTick();
        QVERIFY(!pumpedAfterTheEnd);
        rig.link.closeSocket();
        rig.link.superviseTick();
        rig.link.SendToServer(QStringLiteral("HIER_MEIN_NAME"));
        QCOMPARE(rig.link.LinkState(), 0);
        QCOMPARE(rig.link.Winsock_Klein->bytesToWrite(), 0);
        QCOMPARE(rig.statuses, QList<int> {});
    }

    // A handler that waits in the event loop sees the next alarm handled inside its wait.
    void secondAlarmInsideTheFirstHandlersWait()
    {
        Rig rig;
        QVERIFY(rig.listening);
        rig.handlers.insideNextStationAlarm = [&rig] {
            rig.dispatch.sendMessage(QStringLiteral("WACHALARM\tB2"));
            QVERIFY(QTest::qWaitFor([&rig] { return rig.handlers.calls.size() > 1; }));
            rig.handlers.calls.append(QStringLiteral("end of first wait"));
        };
        rig.link.superviseTick();
        rig.dispatch.sendMessage(QStringLiteral("WACHALARM\tB1"));
        QTRY_COMPARE(rig.handlers.calls,
            (QStringList {
                "HandleStationAlarm(0):WACHALARM\tB1", "HandleStationAlarm(0):WACHALARM\tB2", "end of first wait" }));
    }
};

QTEST_MAIN(ServerLinkTest)
#include "tst_ServerLink.moc"
