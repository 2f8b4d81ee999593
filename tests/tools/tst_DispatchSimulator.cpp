#include "tests/support/RecordingHandlers.h"

#include "common/AppContext.h"
#include "common/CodePage.h"
#include "link/ServerLink.h"
#include "tools/DispatchSimulator.h"
#include "tools/ScenarioScript.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryFile>
#include <QTest>

using ScenarioScript::Step;

class DispatchSimulatorTest : public QObject {
    Q_OBJECT

private slots:
    void scenarioLines_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("waitMs");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("complaint");

        const int nothing = int(Step::Kind::Nothing);
        const int wait = int(Step::Kind::Wait);
        const int message = int(Step::Kind::Message);
        QTest::newRow("empty") << "" << nothing << 0 << QString() << false;
        QTest::newRow("blanks") << "   \t " << nothing << 0 << QString() << false;
        QTest::newRow("comment") << "  # WACHALARM" << nothing << 0 << QString() << false;
        QTest::newRow("wait") << "wait 3" << wait << 3000 << QString() << false;
        QTest::newRow("wait with decimals") << "wait 0.25" << wait << 250 << QString() << false;
        QTest::newRow("wait, CR LF line") << "wait 1\r" << wait << 1000 << QString() << false;
        QTest::newRow("wait without seconds") << "wait" << nothing << 0 << QString() << true;
        QTest::newRow("wait negative") << "wait -1" << nothing << 0 << QString() << true;
        QTest::newRow("wait not a number") << "wait soon" << nothing << 0 << QString() << true;
        QTest::newRow("fields by TAB") << "WACHALARM_STATUS\tFlorian 1\t3" << message << 0
                                       << "WACHALARM_STATUS\tFlorian 1\t3" << false;
        QTest::newRow("fields by \\t") << "WACHALARM_STATUS\\tFlorian 1\\t3" << message << 0
                                       << "WACHALARM_STATUS\tFlorian 1\t3" << false;
        QTest::newRow("units end in 7") << "WACHALARM_EM\tELW 1\\7HLF 20(A)\\7" << message << 0
                                        << "WACHALARM_EM\tELW 1\x07HLF 20(A)\x07" << false;
        QTest::newRow("CR LF in a field")
            << "WACHALARM\tZeile 1\\nZeile 2" << message << 0 << "WACHALARM\tZeile 1\r\nZeile 2" << false;
        QTest::newRow("backslash") << "WACHALARM_RM\tC:\\\\x" << message << 0 << "WACHALARM_RM\tC:\\x" << false;
        QTest::newRow("byte escape") << "WACHALARM_RM\t\\x00\\x80\\xff" << message << 0
                                     << QStringLiteral("WACHALARM_RM\t") + QChar(0) + QStringLiteral("€ÿ") << false;
        QTest::newRow("umlauts") << "WACHALARM_MELDER\tKäthe Groß\t1" << message << 0
                                 << "WACHALARM_MELDER\tKäthe Groß\t1" << false;
        QTest::newRow("unknown escape kept") << "X\\q" << message << 0 << "X\\q" << true;
        QTest::newRow("short byte escape kept") << "X\\x4" << message << 0 << "X\\x4" << true;
        QTest::newRow("not in Windows-1252") << "X\tı" << message << 0 << "X\tı" << true;
        QTest::newRow("trailing CR dropped") << "WACHALARM_DEL\r" << message << 0 << "WACHALARM_DEL" << false;
    }

    void scenarioLines()
    {
        QFETCH(QString, line);
        QFETCH(int, kind);
        QFETCH(int, waitMs);
        QFETCH(QString, message);
        QFETCH(bool, complaint);
        const Step step = ScenarioScript::parseLine(line);
        QCOMPARE(int(step.kind), kind);
        QCOMPARE(step.waitMs, waitMs);
        QCOMPARE(step.message, message);
        QCOMPARE(!step.error.isEmpty(), complaint);
    }

    // What the simulator prints can be pasted back as a message line: every byte value survives.
    void escapeRoundTrip()
    {
        QByteArray bytes;
        for (int b = 0; b < 256; ++b)
            bytes.append(char(b));
        bytes += "\r\n\\7\\n";
        const QString text = CodePage::decode(bytes);
        const QString printed = ScenarioScript::escape(text);
        QVERIFY(!printed.contains(QChar(7)) && !printed.contains(QChar(9)) && !printed.contains(QChar(10)));
        QCOMPARE(ScenarioScript::unescape(printed), text);
    }

    // The demo scenario reads without a complaint and shows every message type and feedback code.
    void demoScenario()
    {
        QFile file(QStringLiteral(KESSVENN_SOURCE_DIR "/tools/demo.scenario"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QStringList errors;
        const QList<Step> steps = ScenarioScript::parseScript(QString::fromUtf8(file.readAll()), &errors);
        QCOMPARE(errors, QStringList {});

        QStringList types;
        QStringList feedbackCodes;
        QStringList units;
        int alarmsWithCoordinates = 0;
        int alarmsWithout = 0;
        for (const Step& step : steps) {
            if (step.kind != Step::Kind::Message)
                continue;
            const QStringList fields = step.message.split(QChar(9));
            types.append(fields[0]);
            if (fields[0] == QLatin1String("WACHALARM_RM"))
                feedbackCodes.append(fields.value(2));
            if (fields[0] == QLatin1String("WACHALARM")) {
                QVERIFY(fields.size() >= 19);
                (fields[16].isEmpty() ? alarmsWithout : alarmsWithCoordinates)++;
                units += fields[14].split(QChar(7), Qt::SkipEmptyParts);
            }
            if (fields[0] == QLatin1String("WACHALARM_EM"))
                units += fields[1].split(QChar(7), Qt::SkipEmptyParts);
            if (fields[0] == QLatin1String("WACHALARM_TICKER")) {
                QCOMPARE(fields[1].count(QChar(7)), 6);
            }
        }
        for (const char* type : { "VERSION", "WACHALARM", "WACHALARM_EM", "WACHALARM_TICKER", "WACHALARM_STATUS",
                 "WACHALARM_MELDER", "WACHALARM_DEL", "WACHALARM_RM" })
            QVERIFY2(types.contains(QLatin1String(type)), type);
        for (const char* code : { "-1", "0", "1", "2", "3", "4" })
            QVERIFY2(feedbackCodes.contains(QLatin1String(code)), code);
        QVERIFY(feedbackCodes.size() > 6);
        QCOMPARE(alarmsWithCoordinates, 1);
        QCOMPARE(alarmsWithout, 1);
        units.removeDuplicates();
        units.sort();
        QCOMPARE(units, (QStringList { "DLK 23(D)", "ELW 1", "HLF 20(A)", "RTW 1" }));
    }

    // A monitor registers with the simulator and receives the scenario, byte for byte; a new
    // registration plays it again.
    void monitorReceivesTheScenario()
    {
        DispatchSimulator simulator;
        QVERIFY(simulator.listen(QHostAddress::LocalHost, 0));
        QStringList errors;
        simulator.setScenario(ScenarioScript::parseScript(
            QStringLiteral(
                "WACHALARM_DEL\nwait 0.2\n"
                "WACHALARM\tAlarm\tZug 1\tFeuer\tB3\t58095\tHagen\tElberfelder Straße\t12\tZeile 1\\nZeile 2\n"
                "# comment\nWACHALARM_EM\tELW 1\\7DLK 23(D)\\7\n"),
            &errors));
        QCOMPARE(errors, QStringList {});
        QSignalSpy registrations(&simulator, &DispatchSimulator::registrationReceived);
        QSignalSpy finished(&simulator, &DispatchSimulator::scenarioFinished);

        AppContext ctx;
        ctx.settings.ServerAddress = QStringLiteral("127.0.0.1");
        ctx.ServerPort = simulator.port();
        ctx.MonitorName = QStringLiteral("wache-süd");
        RecordingHandlers handlers;
        ServerLink link(ctx, handlers);
        link.superviseTick();

        QTRY_COMPARE(finished.count(), 1);
        QCOMPARE(registrations.count(), 1);
        QCOMPARE(registrations[0][0].toStringList(),
            (QStringList { "HIER_MEIN_NAME", "wache-süd", "MONITOR", "MONITOR", "1" }));
        const QStringList expected = {
            "DeleteTicker:",
            "HandleStationAlarm(0):WACHALARM\tAlarm\tZug 1\tFeuer\tB3\t58095\tHagen\tElberfelder Straße\t12\tZeile "
            "1\r\nZeile 2",
            "HandleUnitAlarm:WACHALARM_EM\tELW 1\x07"
            "DLK 23(D)\x07",
        };
        QTRY_COMPARE(handlers.calls, expected);

        simulator.sendToAll(QStringLiteral("WACHALARM_STATUS\tFlorian 1\t3"));
        QTRY_COMPARE(handlers.calls.size(), 4);

        // The connection stays open after the scenario; a reconnection registers and replays it.
        QCOMPARE(link.LinkState(), 7);
        link.ConnectToServer(QStringLiteral("127.0.0.1"));
        QTRY_COMPARE(finished.count(), 2);
        QTRY_COMPARE(handlers.calls.size(), 7);
        QCOMPARE(simulator.monitorCount(), 1);
    }

    // The program itself: binds to 127.0.0.1, prints the registration, sends what is typed.
    void theProgram()
    {
        QTemporaryFile scenario;
        QVERIFY(scenario.open());
        scenario.write("WACHALARM_STATUS\tFlorian 1\t2\n");
        scenario.close();

        QProcess dispatch;
        dispatch.setProcessChannelMode(QProcess::SeparateChannels);
        dispatch.start(
            QStringLiteral(KESSVENN_DISPATCH), { QStringLiteral("--port"), QStringLiteral("0"), scenario.fileName() });
        QVERIFY(dispatch.waitForStarted());
        QByteArray output;
        const QRegularExpression listening(QStringLiteral("listening on 127\\.0\\.0\\.1:(\\d+)"));
        QTRY_VERIFY(
            (output += dispatch.readAllStandardOutput(), listening.match(QString::fromUtf8(output)).hasMatch()));
        const quint16 port = listening.match(QString::fromUtf8(output)).captured(1).toUShort();

        AppContext ctx;
        ctx.settings.ServerAddress = QStringLiteral("127.0.0.1");
        ctx.ServerPort = port;
        ctx.MonitorName = QStringLiteral("wache-nord");
        RecordingHandlers handlers;
        ServerLink link(ctx, handlers);
        link.superviseTick();
        QTRY_COMPARE(handlers.calls, QStringList { "InsertStatusRow:WACHALARM_STATUS\tFlorian 1\t2" });
        QTRY_VERIFY((output += dispatch.readAllStandardOutput(),
            output.contains("HIER_MEIN_NAME | wache-nord | MONITOR | MONITOR | 1")));

        dispatch.write("WACHALARM_EM\\tRTW 1\\7\n");
        QTRY_COMPARE(handlers.calls.size(), 2);
        QCOMPARE(handlers.calls[1], QStringLiteral("HandleUnitAlarm:WACHALARM_EM\tRTW 1\x07"));

        dispatch.terminate();
        QVERIFY(dispatch.waitForFinished());
    }
};

QTEST_GUILESS_MAIN(DispatchSimulatorTest)
#include "tst_DispatchSimulator.moc"
