// The wall screen's helpers without a window: the wake program as a process that misbehaves, and
// the dead-link band's wait.
#include "app/LinkWarning.h"
#include "app/ScreenWake.h"
#include "common/AppContext.h"
#include "tests/support/TestFiles.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

class WallScreenTest : public QObject {
    Q_OBJECT

private slots:
    // The wake program starts a child in its group that records its standard input, output and
    // error, and a SIGTERM; then both wait for ever.
    void wakeProgram_data()
    {
        QTest::addColumn<int>("alarms");
        QTest::addColumn<int>("limitMs");
        QTest::addColumn<bool>("monitorEnds");
        QTest::newRow("at its time limit it is ended with its group") << 1 << 300 << false;
        QTest::newRow("one at a time: each alarm ends the one before") << 3 << 600000 << false;
        QTest::newRow("the monitor's end ends it") << 1 << 600000 << true;
    }
    void wakeProgram()
    {
        QFETCH(int, alarms);
        QFETCH(int, limitMs);
        QFETCH(bool, monitorEnds);
        const QTemporaryDir folder;
        const QString script = R"(sh -c 'trap "echo term >> @; exit" TERM; echo start $(readlink /proc/$$/fd/[012]) >> @
                                  sleep 600 & wait' & wait)";
        QVERIFY(TestFiles::writeAll(
            folder.filePath("wake.sh"), QString(script).replace("@", folder.filePath("rec")).toUtf8()));
        const auto lines = [&](const char* word) {
            return QString(TestFiles::readAll(folder.filePath("rec"))).split('\n').filter(QLatin1String(word));
        };
        AppContext ctx;
        ScreenWake wake(ctx);
        wake.timeLimit = std::chrono::milliseconds(limitMs);
        DisplaySettings settings;
        settings.wake = DisplaySettings::Wake::Command;
        settings.wakeOn = QStringList { "/bin/sh", folder.filePath("wake.sh") };
        settings.awakeMinutes = 0;
        wake.configure(settings);
        for (int i = 1; i <= alarms; ++i) {
            wake.alarm();
            QTRY_COMPARE_WITH_TIMEOUT(lines("start").size(), i, 20000);
        }
        if (monitorEnds)
            ctx.beginEnding();
        QTRY_COMPARE_WITH_TIMEOUT(lines("term").size(), alarms - 1 + (limitMs < 1000 || monitorEnds), 20000);
        QCOMPARE(lines("start"), QStringList(alarms, "start /dev/null /dev/null /dev/null"));
    }
    // Hidden for its time after the drop: shown no sooner than a second (less a timer's 5 % leeway).
    void linkWarningWaits()
    {
        QWidget window;
        auto* band = new LinkWarning(&window);
        band->setDelaySeconds(1);
        band->linkStatus(1);
        window.show();
        QElapsedTimer sinceDrop;
        sinceDrop.start();
        band->linkStatus(0);
        QTRY_VERIFY(band->isVisible());
        QCOMPARE_GE(sinceDrop.elapsed(), 950);
    }
};

QTEST_MAIN(WallScreenTest)
#include "tst_WallScreen.moc"
