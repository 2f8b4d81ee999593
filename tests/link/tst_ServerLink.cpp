#include "tests/support/DataRows.h"
#include "tests/support/FakeDispatch.h"
#include "tests/support/RecordingHandlers.h"

#include "alarm/AlarmCore.h"
#include "announce/AnnouncementOutput.h"
#include "announce/AnnouncementQueue.h"
#include "config/StationSettings.h"
#include "link/Framing.h"
#include "link/ServerLink.h"

#include "common/AppContext.h"
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace {

// A link to a dispatch computer on 127.0.0.1 that answers, or that never answers a connect.
struct Rig {
    AppContext ctx;
    StationSettings settings;
    RecordingHandlers handlers;
    FakeDispatch dispatch;
    bool listening;
    ServerLink link { ctx, settings, handlers };
    QList<bool> statuses;

    explicit Rig(bool answering = true)
        : listening(answering ? dispatch.listen() : dispatch.listenUnanswering())
    {
        settings.ServerAddress = QStringLiteral("127.0.0.1");
        ctx.ServerPort = dispatch.port();
        QObject::connect(&link, &ServerLink::linkStatusChanged, [this](bool connected) { statuses.append(connected); });
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

// The loudspeakers, noting each sound among the messages handled.
struct HeardOutput : AnnouncementOutput {
    QStringList* events = nullptr;
    void PlayWave(const QString& path) override
    {
        events->append("heard " + QFileInfo(path).fileName());
        QMetaObject::invokeMethod(this, &AnnouncementOutput::stepEnded, Qt::QueuedConnection);
    }
    void RunSpeechProgram(const QString&, const QString&, const QString&, const QString&) override { }
    void StopStep() override { }
};

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
        rig.settings.ServerAddress = QStringLiteral("  ");
        rig.ctx.MonitorName = QStringLiteral("Wache Süd");
        for (int connection = 1; connection <= 2; ++connection) {
            rig.link.superviseTick();
            QCOMPARE(rig.dispatch.clientCount(), connection);
            QCOMPARE(keepAlive(rig.link.Winsock_Klein->socketDescriptor()), QList<int>({ 1, 20, 5, 4 }));
            QVERIFY(rig.dispatch.waitForReceived(registration.size()));
            QVERIFY(!rig.link.SendPending);
            rig.link.superviseTick();
            rig.link.superviseTick();
            rig.dispatch.send("er" + end + MessageReceiver::frame(QStringLiteral("VERSION\t2"))
                + MessageReceiver::frame(QStringLiteral("WACHALARM_DEL")) + "\x05WACHALARM\tB3\tFeu");
            QTRY_COMPARE(rig.handlers.calls.size(), connection);
            QCOMPARE(rig.dispatch.received(), registration);
            rig.dispatch.dropClient();
            QTRY_VERIFY(rig.link.LinkState() != ServerLink::State::Connected);
        }
        rig.link.superviseTick();
        QCOMPARE(rig.handlers.calls, (QStringList { "DeleteTicker:", "DeleteTicker:" }));
        QCOMPARE(rig.statuses, (QList<bool> { true, false, true, false }));
    }

    // A host that does not answer: the tick after a connect wait that ran out dials again at once,
    // before the event loop runs a single time. The end of the program ends the wait at once;
    // after it the link neither connects, sends nor reports.
    void unansweredConnectAndTheEnd()
    {
        Rig rig(false);
        QVERIFY(rig.listening);
        rig.link.superviseTick();
        QCOMPARE(rig.link.LinkState(), ServerLink::State::Connecting);
        QStringList steps;
        const auto recording = connect(rig.link.Winsock_Klein, &QAbstractSocket::stateChanged, this,
            [&](QAbstractSocket::SocketState state) { steps.append(QString::number(state)); });
        QMetaObject::invokeMethod(
            this, [&] { steps.append(QStringLiteral("events")); }, Qt::QueuedConnection);
        rig.link.superviseTick();
        disconnect(recording);
        // 1: looking up the host, the first step of a new attempt.
        QVERIFY2(steps.contains("1") && steps.indexOf("1") < steps.indexOf("events"), qPrintable(steps.join(' ')));
        QCOMPARE(rig.link.LinkState(), ServerLink::State::Connecting);

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
        QCOMPARE(rig.link.LinkState(), ServerLink::State::Closed);
        QCOMPARE(rig.link.Winsock_Klein->bytesToWrite(), 0);
        QCOMPARE(rig.statuses, QList<bool> {});
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

    // A flood and an alarm in one write: the alarm is heard before the first message in front of it
    // is handled, and shown in its turn after them, heard once. An alarm first in the read is shown
    // first, then heard.
    void alarmBehindAFlood_data()
    {
        columns<QStringList, QStringList>("stream", "expected");
        const QString alarm = QStringLiteral("WACHALARM\tBrand\tB3\tFeuer\tB1\t44135\tDortmund\tKampstraße\t12");
        QStringList answers, answered, statuses;
        for (int i = 0; i < 60; ++i) {
            answers << QStringLiteral("WACHALARM_MELDER\tP\t%1").arg(i) << QStringLiteral("WACHALARM_RM\t%1\t1").arg(i);
            answered += { "pager", "answer" };
            statuses << QStringLiteral("WACHALARM_STATUS\tFlorian %1\t2").arg(i);
        }
        const QStringList heard { "heard alarm.wav" }, statused(60, "status");
        row("answers, then a station alarm", answers << alarm, heard + answered << "alarm B1");
        row("statuses and a ticker line, then a unit alarm",
            statuses + QStringList { "WACHALARM_TICKER\tx", "WACHALARM_EM\tHLF\a" },
            heard + statused + QStringList { "ticker", "unit alarm HLF" });
        row("a station alarm, then statuses", QStringList { alarm } + statuses,
            QStringList { "alarm B1" } + heard + statused);
    }
    void alarmBehindAFlood()
    {
        auto [stream, expected] = fetch<QStringList, QStringList>("stream", "expected");
        QTemporaryDir dir;
        AppContext ctx;
        FakeDispatch dispatch;
        QVERIFY(dispatch.listen());
        StationSettings settings;
        settings.ServerAddress = QStringLiteral("127.0.0.1");
        ctx.ServerPort = dispatch.port();
        ctx.ProgramFolder = dir.path();
        ctx.LastAlarmPath = dir.filePath(QStringLiteral("last.dat"));
        settings.PlayAlarmWav = true;
        QStringList events;
        HeardOutput output;
        output.events = &events;
        AnnouncementQueue announcements(ctx, output);
        AlarmCore core(ctx, settings);
        core.setAnnouncements(&announcements);
        ServerLink link(ctx, settings, core);
        const auto note = [&](const char* event) { return [&events, event] { events.append(event); }; };
        connect(&core, &AlarmCore::pagerMessage, this, note("pager"));
        connect(&core, &AlarmCore::feedbackMessage, this, note("answer"));
        connect(&core, &AlarmCore::statusMessage, this, note("status"));
        connect(&core, &AlarmCore::tickerMessage, this, note("ticker"));
        connect(&core, &AlarmCore::stationAlarm, this,
            [&](const StationAlarmPlan& p) { events << "alarm " + p.fields[4]; });
        connect(
            &core, &AlarmCore::unitAlarm, this, [&](const UnitAlarmPlan& p) { events << "unit alarm " + p.units[0]; });
        link.superviseTick();
        QByteArray bytes;
        for (const QString& message : stream)
            bytes += MessageReceiver::frame(message);
        // Small enough to lie whole in the monitor's socket before its first read.
        QVERIFY(bytes.size() < 16 * 1024);
        dispatch.send(bytes);
        QVERIFY(dispatch.flush());
        QTRY_COMPARE(events, expected);
        QTRY_VERIFY(!announcements.busy());
        QCOMPARE(events, expected);
        QCOMPARE(link.LinkState(), ServerLink::State::Connected); // no error
    }
};

QTEST_MAIN(ServerLinkTest)
#include "tst_ServerLink.moc"
