#include "tests/support/RecordingHandlers.h"

#include "common/AppContext.h"
#include "config/StationSettings.h"
#include "link/ServerLink.h"
#include "tools/DispatchSimulator.h"
#include "tools/ScenarioScript.h"

#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

class DispatchSimulatorTest : public QObject {
    Q_OBJECT

private slots:
    // A monitor registers with the simulator and receives the scenario, escapes and waits
    // included; a new registration plays it again.
    void monitorReceivesTheScenario()
    {
        DispatchSimulator simulator;
        QVERIFY(simulator.listen(QHostAddress::LocalHost, 0));
        QStringList errors;
        simulator.setScenario(ScenarioScript::parseScript(
            QStringLiteral("WACHALARM_DEL\r\nwait 0.2\n# comment\nWACHALARM\tB3\\tHauptstraße 1\tZeile 1\\nZeile 2\n"
                           "WACHALARM_EM\tELW 1\\7DLK 23(D)\\7\nWACHALARM_RM\t\\x00\\x80\\\\\n"),
            &errors));
        QCOMPARE(errors, QStringList {});
        QSignalSpy registrations(&simulator, &DispatchSimulator::registrationReceived);
        QSignalSpy finished(&simulator, &DispatchSimulator::scenarioFinished);
        AppContext ctx;
        StationSettings record;
        record.ServerAddress = QStringLiteral("127.0.0.1");
        ctx.ServerPort = simulator.port();
        RecordingHandlers handlers;
        ServerLink link(ctx, record, handlers);
        link.superviseTick();
        QTRY_COMPARE(finished.count(), 1);
        QCOMPARE(registrations.count(), 1);
        const QStringList scenario { "DeleteTicker:",
            "HandleStationAlarm(0):WACHALARM\tB3\tHauptstraße 1\tZeile 1\r\nZeile 2",
            "HandleUnitAlarm:WACHALARM_EM\tELW 1\aDLK 23(D)\a",
            QStringLiteral("HandleFeedback:WACHALARM_RM\t") + QChar(0) + QStringLiteral("€\\") };
        QTRY_COMPARE(handlers.calls, scenario);
        // \D and \T take the date and time of sending, as a dispatch computer stamps its alarms.
        simulator.sendToAll(ScenarioScript::parseLine(QStringLiteral("WACHALARM_STATUS\tFlorian 1\t\\D \\T")).message);
        QTRY_COMPARE(handlers.calls.size(), 5);
        QVERIFY2(QRegularExpression(QStringLiteral("\t\\d\\d\\.\\d\\d\\.20\\d\\d \\d\\d:\\d\\d:\\d\\d$"))
                     .match(handlers.calls[4])
                     .hasMatch(),
            qPrintable(handlers.calls[4]));
        link.ConnectToServer(QStringLiteral("127.0.0.1"));
        QTRY_COMPARE(finished.count(), 2);
        QTRY_COMPARE(handlers.calls.mid(5), scenario);
        QCOMPARE(simulator.monitorCount(), 1);
    }

    // The program's command line: its version, a scenario that may be left out, not two.
    void commandLine()
    {
        const auto run = [](const QStringList& arguments) {
            QProcess dispatch;
            dispatch.setProcessChannelMode(QProcess::MergedChannels);
            dispatch.start(QStringLiteral(KESSVENN_DISPATCH), arguments);
            return dispatch.waitForFinished(30000) ? QByteArray::number(dispatch.exitCode()) + ' ' + dispatch.readAll()
                                                   : QByteArray();
        };
        QVERIFY(run({ "--version" }).startsWith("0 kessvenn-dispatch 1."));
        QVERIFY(run({ "--help" }).contains(" [options] [scenario]\n"));
        QVERIFY(run({ "a", "b" }).startsWith("2 kessvenn-dispatch: one scenario at most\nUsage: "));
    }
};

QTEST_GUILESS_MAIN(DispatchSimulatorTest)
#include "tst_DispatchSimulator.moc"
