// The alarm handler applied to real widgets, a recording map and output, and real files: what the
// window shows, what the grids keep, where the marker goes, and what a full disk leaves.
#include "alarm/AlarmHandler.h"
#include "alarm/AlarmMap.h"
#include "announce/AnnouncementOutput.h"
#include "announce/Announcer.h"
#include "common/AppContext.h"
#include "tests/support/SoundCapture.h"
#include "tests/support/SoundWriter.h"
#include "tests/support/TestFiles.h"

#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

using TestFiles::readAll;

namespace {

struct RecordingOutput final : AnnouncementOutput {
    QStringList calls;
    void PlayWave(const QString& path) override { calls << QFileInfo(path).fileName(); }
    void RunSpeechProgram(const QString&, const QString&, const QString&, const QString&) override
    {
        calls << "speech";
    }
};

// A map that answers a lookup when the test says so, centring itself as the map control does.
struct RecordingMap final : AlarmMap {
    QString centre, marker, lookup;
    double lat = 0, lng = 0;
    void setGPoint(const QString& c) override { centre = c; }
    void SetCenterToTextLocation(const QString& address) override { lookup = address; }
    double Lat() const override { return lat; }
    double Lng() const override { return lng; }
    void DelMarker() override { marker.clear(); }
    void AddMarker(const QString& position, int, const QString&) override { marker = position; }
    void Refresh() override { }
};

struct Window {
    QWidget widget;
    AlarmControls controls;
    Window()
    {
        for (QLabel*& label : controls.label_einsatz)
            label = new QLabel(&widget);
        controls.MSFlexGrid1 = new QTableWidget(&widget);
        controls.Grid_Status = new QTableWidget(&widget);
        controls.Grid_Melder = new QTableWidget(&widget);
    }
};

QString alarm(const QString& keyword, const QString& lat = {}, const QString& lng = {})
{
    return QStringLiteral(
        "WACHALARM\tx\ty z\tBrand\t%1\t44135\tDortmund\tKampstraße\t12\t\t\t\t\t\tELW 1\aRTW\a\t0\t%2\t%3")
        .arg(keyword, lat, lng);
}

} // namespace

class AlarmHandlerTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void showsStoresAnnounces()
    {
        AppContext ctx;
        ctx.ProgramFolder = m_dir.path();
        ctx.LastAlarmPath = m_dir.filePath(QStringLiteral("last.dat"));
        ctx.settings.PlayAlarmWav = ctx.settings.PlayUnitWavs = 1;
        Window window;
        RecordingOutput output;
        AlarmHandler handler(ctx, window.controls, nullptr, &output);
        handler.HandleStationAlarm(alarm(QStringLiteral("<b>B3</b>")), 0);
        QCOMPARE(window.controls.label_einsatz[1]->text(), QStringLiteral("<b>B3</b>"));
        QCOMPARE(window.controls.MSFlexGrid1->item(1, 0)->text(), QStringLiteral("RTW"));
        QCOMPARE(output.calls, (QStringList { "alarm.wav", "ELW 1.wav", "RTW.wav" }));
        const QByteArray stored = readAll(ctx.LastAlarmPath);
        QVERIFY(stored.contains("<b>B3</b>"));

        handler.HandleStationAlarm(alarm(QStringLiteral("B4")), 1);
        QCOMPARE(window.controls.label_einsatz[1]->text(), QStringLiteral("B4"));
        QCOMPARE(readAll(ctx.LastAlarmPath), stored); // a replay never rewrites last.dat
        handler.ReplayLastAlarm();
        QCOMPARE(window.controls.label_einsatz[1]->text(), QStringLiteral("<b>B3</b>"));
        QCOMPARE(output.calls.size(), 9);
    }

    void gridsKeepTheNewestRows()
    {
        AppContext ctx;
        Window window;
        AlarmHandler handler(ctx, window.controls, nullptr, nullptr);
        handler.InitAlarmGrids();
        QTableWidget* pagers = window.controls.Grid_Melder;
        for (int i = 0; i <= AlarmHandler::kMostGridRows; ++i) {
            handler.InsertPagerRow(QStringLiteral("WACHALARM_MELDER\tPerson %1\t%2").arg(i).arg(i % 1000));
            handler.InsertStatusRow(QStringLiteral("WACHALARM_STATUS\tHLF %1\t3").arg(i));
        }
        QCOMPARE(pagers->rowCount(), AlarmHandler::kMostGridRows);
        QCOMPARE(window.controls.Grid_Status->rowCount(), AlarmHandler::kMostGridRows);
        QCOMPARE(pagers->item(999, 0)->text(), QStringLiteral("Person 1")); // Person 0 went first
        QCOMPARE(window.controls.Grid_Status->item(0, 1)->text(), QStringLiteral("HLF 1000"));
        // Id 0 stands in the newest row only now; id 1 in the oldest.
        handler.HandleFeedback(QStringLiteral("WACHALARM_RM\t0\t1"));
        handler.HandleFeedback(QStringLiteral("WACHALARM_RM\t1\t0"));
        handler.HandleFeedback(QStringLiteral("WACHALARM_RM\t5000\t1")); // unknown id: dropped
        QCOMPARE(pagers->item(0, 1)->text(), QStringLiteral("kommt"));
        QCOMPARE(pagers->item(999, 1)->text(), QStringLiteral("NICHT"));
        QCOMPARE(pagers->findItems(QStringLiteral("kommt"), Qt::MatchExactly).size(), 1);
    }

    void marker_data()
    {
        QTest::addColumn<QStringList>("steps"); // "alarm", "alarm 50,8" (with coordinates), "unit", "answer", "fail"
        QTest::addColumn<QString>("marker");
        QTest::addColumn<QString>("centre");
        QTest::newRow("answer after other messages: marker and centre")
            << QStringList { "alarm", "unit", "alarm B5", "answer" } << "51.5,7.4"
            << "51.5,7.4";
        QTest::newRow("half a pair is looked up") << QStringList { "alarm 50,", "answer" } << "51.5,7.4"
                                                  << "51.5,7.4";
        QTest::newRow("a newer alarm with coordinates overtakes the answer")
            << QStringList { "alarm", "alarm 50,8", "answer" } << "50,8"
            << "50,8";
        QTest::newRow("nothing found: no marker") << QStringList { "alarm 50,8", "alarm", "fail" } << ""
                                                  << "50,8";
    }
    void marker()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, marker);
        QFETCH(QString, centre);
        AppContext ctx;
        Window window;
        RecordingMap map;
        AlarmHandler handler(ctx, window.controls, &map, nullptr);
        for (const QString& step : steps) {
            const QStringList coordinates = step.section(QLatin1Char(' '), 1).split(QLatin1Char(','));
            if (step.startsWith(QLatin1String("alarm")))
                handler.HandleStationAlarm(alarm(QStringLiteral("B"), coordinates.value(0), coordinates.value(1)), 1);
            else if (step == QLatin1String("unit"))
                handler.HandleUnitAlarm(QStringLiteral("WACHALARM_EM\tDLK\a"));
            else if (step == QLatin1String("answer"))
                map.lat = 51.5, map.lng = 7.4, map.centre = QStringLiteral("51.5,7.4"),
                emit map.locationLookupFinished(true);
            else
                emit map.locationLookupFinished(false);
        }
        QCOMPARE(map.marker, marker);
        QCOMPARE(map.centre, centre);
    }

    void fullDiskKeepsOldFilesAndSounds()
    {
        const QString disk = m_dir.filePath(QStringLiteral("disk"));
        QVERIFY(QDir().mkpath(disk));
        if (QProcess::execute(QStringLiteral("mount"), { "-t", "tmpfs", "-o", "size=64k", "tmpfs", disk }) != 0)
            QSKIP("mounting a 64 KiB tmpfs is not permitted here (needs root)");
        const auto unmount = qScopeGuard([&] { QProcess::execute(QStringLiteral("umount"), { disk }); });
        const SoundCapture capture(m_dir.path());
        AppContext ctx;
        ctx.ProgramFolder = m_dir.path();
        ctx.DataFolder = disk;
        ctx.LastAlarmPath = disk + QStringLiteral("/last.dat");
        ctx.settings.PlayAlarmWav = ctx.settings.PlayUnitWavs = ctx.settings.SpeechEnabled = 1;
        ctx.settings.SpeechProgramPath = QStringLiteral("/bin/true");
        ctx.settings.SpeechTextFile = disk + QStringLiteral("/sabbel.txt");
        const QByteArray sounds = SoundWriter::write(m_dir.filePath(QStringLiteral("alarm.wav")), 1)
            + SoundWriter::write(m_dir.filePath(QStringLiteral("RTW.wav")), 2);
        Announcer announcer(ctx);
        Window window;
        AlarmHandler handler(ctx, window.controls, nullptr, &announcer);
        handler.HandleStationAlarm(alarm(QStringLiteral("B1")), 0);
        const QByteArray stored = readAll(ctx.LastAlarmPath);
        QVERIFY(stored.contains("B1") && QFile::exists(ctx.dataFile(QStringLiteral("sound.sh"))));
        const QByteArray script = readAll(ctx.dataFile(QStringLiteral("sound.sh")));

        QFile filler(disk + QStringLiteral("/filler"));
        QVERIFY(filler.open(QIODevice::WriteOnly));
        while (filler.write(QByteArray(1024, 'x')) == 1024 && filler.flush()) { }
        capture.clear();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Last alarm could not be stored")));
        QTest::ignoreMessage(
            QtWarningMsg, QRegularExpression(QStringLiteral("^Speech script .* could not be written")));
        handler.HandleStationAlarm(alarm(QStringLiteral("B2 ") + QString(60000, QLatin1Char('y'))), 0);
        QCOMPARE(readAll(ctx.LastAlarmPath), stored);
        QCOMPARE(readAll(ctx.dataFile(QStringLiteral("sound.sh"))), script);
        QCOMPARE(capture.captured(), sounds); // the alarm sound and the unit sounds all the same
    }
};

QTEST_MAIN(AlarmHandlerTest)
#include "tst_AlarmHandler.moc"
