#include "alarm/AlarmHandler.h"
#include "alarm/AlarmMap.h"
#include "alarm/AnnouncementOutput.h"
#include "app/Form1.h"
#include "link/MessageHandlers.h"
#include "common/AppContext.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

using TestFiles::readAll;
using TestFiles::writeAll;

const QChar kBell(7);



// The map seen from the alarm: every call recorded, the address lookup answered by the test.
class RecordingMap : public AlarmMap {
public:
    QStringList calls;
    double lat = 0;
    double lng = 0;

    void setGPoint(const QString& c) override { calls << QStringLiteral("point ") + c; }
    void SetCenterToTextLocation(const QString& a) override { calls << QStringLiteral("lookup ") + a; }
    double Lat() const override { return lat; }
    double Lng() const override { return lng; }
    void DelMarker() override { calls << QStringLiteral("del"); }
    void AddMarker(const QString& p, int colour, const QString& c) override
    {
        calls << QStringLiteral("add %1 %2 %3").arg(p).arg(colour).arg(c);
    }
    void Refresh() override { calls << QStringLiteral("refresh"); }

    void answer(bool found, double newLat = 0, double newLng = 0)
    {
        if (found) {
            lat = newLat;
            lng = newLng;
        }
        emit locationLookupFinished(found);
    }
};

// What reached the loudspeakers and the speech program, in order.
class RecordingOutput : public AnnouncementOutput {
public:
    QStringList calls;
    QByteArray spokenText;          // the speech text file at the moment the program ran
    QList<int> paintsBeforeEachWave; // paints of the watched label before each sound
    std::function<void()> duringSpeech;
    const int* paintCounter = nullptr;

    void PlayWave(const QString& path) override
    {
        calls << QStringLiteral("wave ") + path;
        paintsBeforeEachWave << (paintCounter ? *paintCounter : -1);
    }
    void RunSpeechProgram(const QString& program, const QString& textFile, const QString& before,
                          const QString& after) override
    {
        calls << QStringLiteral("speech %1|%2|%3|%4").arg(program, textFile, before, after);
        spokenText = readAll(textFile);
        if (duringSpeech)
            duringSpeech();
    }
};

class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

QStringList alarmFields()
{
    return {QStringLiteral("WACHALARM"), QStringLiteral("Kopf"),        QStringLiteral("RD 1"),
            QStringLiteral("Brand"),     QStringLiteral("F2"),          QStringLiteral("44135"),
            QStringLiteral("Dortmund"),  QStringLiteral("Hauptstraße"), QStringLiteral("5"),
            QStringLiteral("Zufahrt\r\nHof"), QStringLiteral("Mitte"),  QStringLiteral("Rathaus"),
            QStringLiteral("3. OG"),     QStringLiteral("Waldweg"),
            QStringLiteral("LF 1(A)") + kBell + QStringLiteral("RTW(D)") + kBell,
            QStringLiteral("1"),         QStringLiteral("51,5"),        QStringLiteral("7,4"),
            QStringLiteral("Herr Meier")};
}

QString alarm(const QStringList& fields = alarmFields())
{
    return fields.join(QChar(9));
}

QStringList gridColumn(QTableWidget* grid, int column)
{
    QStringList texts;
    for (int r = 0; r < grid->rowCount(); ++r)
        texts << (grid->item(r, column) ? grid->item(r, column)->text() : QStringLiteral("<none>"));
    return texts;
}

QStringList labelTexts(Form1& form)
{
    QStringList texts;
    for (QLabel* l : form.label_einsatz)
        texts << l->text();
    return texts;
}

} // namespace

// One Form1 with a handler bound to its controls, a recording map and a recording output.
struct Bench {
    QTemporaryDir data;
    QTemporaryDir program;
    AppContext ctx;
    Form1 form{ctx};
    RecordingMap map;
    RecordingOutput output;
    AlarmHandler handler{ctx, form.alarmControls(), &map, &output};

    Bench()
    {
        ctx.DataFolder = data.path();
        ctx.ProgramFolder = program.path();
        ctx.LastAlarmPath = data.filePath(QStringLiteral("last.dat"));
        ctx.settings.SpeechTextFile = program.filePath(QStringLiteral("sabbel.txt"));
        handler.InitAlarmGrids();
    }

    QString programFile(const QString& name) const { return program.filePath(name); }

    void enableSpeech()
    {
        const QString speech = program.filePath(QStringLiteral("speak"));
        QVERIFY(writeAll(speech, "#!/bin/sh\n"));
        ctx.settings.SpeechEnabled = 1;
        ctx.settings.SpeechProgramPath = speech;
        ctx.settings.SpeechArgsBefore = QStringLiteral("-v de");
        ctx.settings.SpeakKeyword = 1;
        ctx.settings.SpeakUnits = 1;
    }
};

class AlarmHandlerTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_home;

private slots:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        qputenv("XDG_DATA_HOME", m_home.path().toLocal8Bit());
    }

    // Start-up sets the grids up and shows the stored alarm; the window hands each message on.
    void windowStartUpAndMessages()
    {
        QVERIFY(QDir().mkpath(m_home.filePath(QStringLiteral("Torvelle"))));
        QVERIFY(writeAll(m_home.filePath(QStringLiteral("Torvelle/last.dat")),
                 "WACHALARM\r\nKopf\r\nRD 1\r\nBrand\r\nF2\r\n44135\r\nDortmund\r\n"));
        QTemporaryDir program;
        AppContext ctx;
        ctx.ProgramFolder = program.path();
        Form1 form(ctx);
        form.Timer1->stop();
        form.load();
        QCOMPARE(form.MSFlexGrid1->horizontalHeaderItem(0)->text(), QStringLiteral("Einsatzmittel D/A"));
        QCOMPARE(form.Grid_Melder->columnCount(), 3);
        QCOMPARE(labelTexts(form), (QStringList{"Brand", "F2", " ", "44135 Dortmund", "", "", "", "", ""}));
        QCOMPARE(readAll(ctx.LastAlarmPath), QByteArray("WACHALARM\r\nKopf\r\nRD 1\r\nBrand\r\nF2\r\n44135\r\nDortmund\r\n"));

        MessageHandlers& handlers = form;
        handlers.HandleStationAlarm(alarm(), 0);
        QCOMPARE(form.label_einsatz[8]->text(), QStringLiteral("Mitteiler: Herr Meier"));
        QVERIFY(readAll(ctx.LastAlarmPath).contains("Herr Meier") == false); // field 18 is not stored
        QVERIFY(readAll(ctx.LastAlarmPath).contains("Zufahrt<CR>Hof"));
        handlers.HandleUnitAlarm(QStringLiteral("WACHALARM_EM\tRTW 1\a"));
        QCOMPARE(gridColumn(form.MSFlexGrid1, 0), QStringList{"RTW 1"});
        handlers.InsertStatusRow(QStringLiteral("WACHALARM_STATUS\tHLF 20\t3"));
        QCOMPARE(gridColumn(form.Grid_Status, 1), QStringList{"HLF 20"});
        handlers.InsertPagerRow(QStringLiteral("WACHALARM_MELDER\tMüller\t0815"));
        handlers.HandleFeedback(QStringLiteral("WACHALARM_RM\t0815\t3"));
        QCOMPARE(gridColumn(form.Grid_Melder, 1), QStringList{"selbst"});
        QCOMPARE(form.Grid_Melder->item(0, 1)->background().color(), QColor(254, 244, 130));
    }

    void gridsSetUp()
    {
        Bench b;
        const auto heading = [](QTableWidget* g, int c) { return g->horizontalHeaderItem(c)->text(); };
        QCOMPARE(b.form.MSFlexGrid1->columnCount(), 1);
        QCOMPARE(heading(b.form.MSFlexGrid1, 0), QStringLiteral("Einsatzmittel D/A"));
        QCOMPARE(b.form.MSFlexGrid1->columnWidth(0), 367);
        QCOMPARE(heading(b.form.Grid_Status, 0) + "|" + heading(b.form.Grid_Status, 1) + "|"
                     + heading(b.form.Grid_Status, 2),
                 QStringLiteral("Zeit|Rufname|St"));
        QCOMPARE(b.form.Grid_Status->columnWidth(0), 80);
        QCOMPARE(b.form.Grid_Status->columnWidth(1), 297);
        QCOMPARE(b.form.Grid_Status->columnWidth(2), 33);
        QCOMPARE(heading(b.form.Grid_Melder, 0) + "|" + heading(b.form.Grid_Melder, 1) + "|"
                     + heading(b.form.Grid_Melder, 2),
                 QStringLiteral("Melder|St|id"));
        QCOMPARE(b.form.Grid_Melder->columnWidth(0), 181);
        QCOMPARE(b.form.Grid_Melder->columnWidth(1), 80);
        QVERIFY(b.form.Grid_Melder->isColumnHidden(2));
        QVERIFY(!b.form.Grid_Melder->isColumnHidden(1));
        for (QTableWidget* g : {b.form.MSFlexGrid1, b.form.Grid_Status, b.form.Grid_Melder}) {
            QCOMPARE(g->rowCount(), 0); // the header row only
            QCOMPARE(Qt::Alignment(g->horizontalHeaderItem(0)->textAlignment()), Qt::AlignLeft | Qt::AlignTop);
            QCOMPARE(g->selectionMode(), QAbstractItemView::NoSelection);
        }
    }

    void stationAlarmShown()
    {
        Bench b;
        b.handler.HandleStationAlarm(alarm(), 0);
        QCOMPARE(b.form.Label4->text(), QStringLiteral("Kopf"));
        QCOMPARE(b.form.Label2[0]->text(), QStringLiteral("RD"));
        QCOMPARE(b.form.Label2[1]->text(), QStringLiteral("1"));
        QCOMPARE(labelTexts(b.form),
                 (QStringList{"Brand", "F2", "Hauptstraße 5", "44135 Dortmund / Mitte", "3. OG", "Rathaus",
                              "Waldweg", "Zufahrt\r\nHof", "Mitteiler: Herr Meier"}));
        QCOMPARE(gridColumn(b.form.MSFlexGrid1, 0), (QStringList{"LF 1(A)", "RTW(D)"}));
        QCOMPARE(b.form.Image_Blau->pixmap().toImage(), b.form.Image2->pixmap().toImage());
        QCOMPARE(b.map.calls, (QStringList{"point 51.5,7.4", "del", "add 51.5,7.4 65280 E", "refresh"}));
    }

    void indicatorFollowsField15()
    {
        Bench b;
        QStringList f = alarmFields();
        f[15] = QStringLiteral("0");
        b.handler.HandleStationAlarm(alarm(f), 0);
        QCOMPARE(b.form.Image_Blau->pixmap().toImage(), b.form.Image3->pixmap().toImage());
        QVERIFY(b.form.Image2->pixmap().toImage() != b.form.Image3->pixmap().toImage());
        b.handler.HandleStationAlarm(alarm(), 0);
        QCOMPARE(b.form.Image_Blau->pixmap().toImage(), b.form.Image2->pixmap().toImage());
    }

    // A second, shorter alarm leaves nothing of the first one on screen.
    void missingFieldsEmptyEveryLabel()
    {
        Bench b;
        b.handler.HandleStationAlarm(alarm(), 0);
        b.handler.HandleStationAlarm(alarm(alarmFields().mid(0, 7).replaceInStrings("RD 1", "RD")), 0);
        QCOMPARE(b.form.Label2[0]->text(), QStringLiteral("RD"));
        QCOMPARE(b.form.Label2[1]->text(), QString());
        QCOMPARE(labelTexts(b.form), (QStringList{"Brand", "F2", " ", "44135 Dortmund", "", "", "", "", ""}));
        QCOMPARE(b.form.MSFlexGrid1->rowCount(), 0);
        QCOMPARE(b.form.Image_Blau->pixmap().toImage(), b.form.Image3->pixmap().toImage());
    }

    void sixFieldsAreIgnored()
    {
        Bench b;
        b.handler.HandleStationAlarm(alarm(), 0);
        const QByteArray stored = readAll(b.ctx.LastAlarmPath);
        b.output.calls.clear();
        b.ctx.settings.PlayAlarmWav = 1;
        b.handler.HandleStationAlarm(alarm(alarmFields().mid(0, 6)), 0);
        QCOMPARE(b.form.label_einsatz[1]->text(), QStringLiteral("F2"));
        QCOMPARE(readAll(b.ctx.LastAlarmPath), stored);
        QVERIFY(b.output.calls.isEmpty());
    }

    void unitsWithoutBellEmptyTheGrid()
    {
        Bench b;
        b.ctx.settings.PlayUnitWavs = 1;
        b.handler.HandleStationAlarm(alarm(), 0);
        QStringList f = alarmFields();
        f[14] = QStringLiteral("LF 1");
        b.output.calls.clear();
        b.handler.HandleStationAlarm(alarm(f), 0);
        QCOMPARE(b.form.MSFlexGrid1->rowCount(), 0);
        QVERIFY(b.output.calls.isEmpty());
    }

    // The address is looked up; the marker waits for the answer and goes to the centre found.
    void addressPathPlacesMarkerOnAnswer()
    {
        Bench b;
        QStringList f = alarmFields();
        f[16].clear();
        b.ctx.settings.PlayAlarmWav = 1;
        b.handler.HandleStationAlarm(alarm(f), 0);
        QCOMPARE(b.map.calls, (QStringList{"del", "refresh", "lookup 44135 Dortmund,Hauptstraße 5"}));
        // Sound did not wait for the lookup.
        QCOMPARE(b.output.calls, (QStringList{"wave " + b.programFile("alarm.wav")}));
        b.map.calls.clear();
        b.map.answer(true, 51.513587, 7.465298);
        QCOMPARE(b.map.calls, (QStringList{"del", "add 51.513587,7.465298 65280 E", "refresh"}));
    }

    void addressNotFoundRemovesTheOldMarker()
    {
        Bench b;
        b.handler.HandleStationAlarm(alarm(), 0); // marker at 51.5,7.4
        QStringList f = alarmFields();
        f[16].clear();
        b.map.calls.clear();
        b.handler.HandleStationAlarm(alarm(f), 0);
        b.map.answer(false);
        QCOMPARE(b.map.calls, (QStringList{"del", "refresh", "lookup 44135 Dortmund,Hauptstraße 5", "del", "refresh"}));
        QVERIFY(!b.map.calls.join('\n').contains("add"));
    }

    // Two address alarms in a row: the second lookup replaces the first, and its answer places
    // the one marker.
    void newerLookupPlacesTheMarker()
    {
        Bench b;
        QStringList first = alarmFields();
        first[16].clear();
        QStringList second = first;
        second[7] = QStringLiteral("Nebenweg");
        b.handler.HandleStationAlarm(alarm(first), 0);
        b.handler.HandleStationAlarm(alarm(second), 0);
        QCOMPARE(b.map.calls.last(), QStringLiteral("lookup 44135 Dortmund,Nebenweg 5"));
        b.map.calls.clear();
        b.map.answer(true, 3, 4);
        QCOMPARE(b.map.calls, (QStringList{"del", "add 3,4 65280 E", "refresh"}));
        b.map.calls.clear();
        b.map.answer(true, 5, 6); // a second answer places nothing more
        QCOMPARE(b.map.calls, QStringList{});
    }

    // An address alarm followed by one with coordinates: the late answer must not move the map.
    void lateAnswerAfterCoordinatesKeepsTheCentre()
    {
        Bench b;
        QStringList first = alarmFields();
        first[16].clear();
        b.handler.HandleStationAlarm(alarm(first), 0);
        b.handler.HandleStationAlarm(alarm(), 0);
        b.map.calls.clear();
        b.map.answer(true, 1, 2);
        QCOMPARE(b.map.calls, (QStringList{"point 51.5,7.4", "refresh"}));
        b.map.calls.clear();
        b.map.answer(false); // an answer nobody asked for
        QCOMPARE(b.map.calls, QStringList{});
    }

    void storedOnlyWhenLive()
    {
        Bench b;
        b.handler.HandleStationAlarm(alarm(), 1);
        QVERIFY(!QFile::exists(b.ctx.LastAlarmPath));
        b.handler.HandleStationAlarm(alarm(), 0);
        QCOMPARE(readAll(b.ctx.LastAlarmPath), QByteArray("WACHALARM\r\nKopf\r\nRD 1\r\nBrand\r\nF2\r\n44135\r\n"
                                                          "Dortmund\r\nHauptstra\xdf" "e\r\n5\r\nZufahrt<CR>Hof\r\n"
                                                          "Mitte\r\nRathaus\r\n3. OG\r\nWaldweg\r\nLF 1(A)\aRTW(D)\a\r\n"
                                                          "1\r\n51,5\r\n7,4\r\n"));
    }

    void replayShowsAndAnnouncesWithoutRewriting()
    {
        Bench b;
        b.enableSpeech();
        b.ctx.settings.PlayAlarmWav = 1;
        b.ctx.settings.PlayUnitWavs = 1;
        QVERIFY(writeAll(b.ctx.LastAlarmPath, "WACHALARM\r\nKopf\r\nRD 1\r\nBrand\r\nF2\r\n44135\r\nDortmund\r\nHauptstra\xdf"
                                      "e\r\n5\r\nZufahrt<CR>Hof\r\nMitte\r\nRathaus\r\n3. OG\r\nWaldweg\r\n"
                                      "LF 1(A)\aRTW(D)\a\r\n1\r\n51,5\r\n7,4\r\n"));
        const QByteArray before = readAll(b.ctx.LastAlarmPath);
        b.form.label_einsatz[8]->setText(QStringLiteral("alt"));
        b.handler.ReplayLastAlarm();
        QCOMPARE(labelTexts(b.form), (QStringList{"Brand", "F2", "Hauptstraße 5", "44135 Dortmund / Mitte", "3. OG",
                                                  "Rathaus", "Waldweg", "Zufahrt\r\nHof", ""}));
        QCOMPARE(b.output.calls.size(), 4);
        QCOMPARE(b.output.calls.at(0), "wave " + b.programFile("alarm.wav"));
        QVERIFY(b.output.calls.at(1).startsWith("speech "));
        QCOMPARE(b.output.calls.at(2), "wave " + b.programFile("LF 1.wav"));
        QCOMPARE(b.output.calls.at(3), "wave " + b.programFile("RTW.wav"));
        QCOMPARE(readAll(b.ctx.LastAlarmPath), before);
    }

    void replayWithoutFileDoesNothing()
    {
        Bench b;
        b.ctx.settings.PlayAlarmWav = 1;
        b.handler.ReplayLastAlarm();
        QVERIFY(b.output.calls.isEmpty());
        QVERIFY(writeAll(b.ctx.LastAlarmPath, "WACHALARM\r\na\r\nb\r\nc\r\nd\r\n")); // five lines: six fields
        b.handler.ReplayLastAlarm();
        QVERIFY(b.output.calls.isEmpty());
    }

    // Alarm sound, speech, then each unit's sound with its markers left out of the file name.
    void announcementOrder()
    {
        Bench b;
        b.enableSpeech();
        b.ctx.settings.SpeechArgsAfter = QStringLiteral("--fast");
        b.ctx.settings.PlayAlarmWav = 1;
        b.ctx.settings.PlayUnitWavs = 1;
        b.handler.HandleStationAlarm(alarm(), 0);
        QCOMPARE(b.output.calls,
                 (QStringList{"wave " + b.programFile("alarm.wav"),
                              "speech " + b.programFile("speak") + "|" + b.programFile("sabbel.txt") + "|-v de|--fast",
                              "wave " + b.programFile("LF 1.wav"), "wave " + b.programFile("RTW.wav")}));
        const QByteArray units = "LF 1(A)\r\nRTW(D)\r\n";
        QCOMPARE(b.output.spokenText,
                 "F2\r\n\r\nAlarmiert sind\r\n" + units + "Ich wiederhole         Alarmiert sind\r\n" + units + "\r\n");
        QCOMPARE(readAll(b.programFile("sabbel.txt")), b.output.spokenText);
    }

    void speechSkipped_data()
    {
        QTest::addColumn<int>("enabled");
        QTest::addColumn<QString>("program");
        QTest::newRow("off") << 0 << "speak";
        QTest::newRow("flag 2 is off") << 2 << "speak";
        QTest::newRow("no program") << 1 << "";
        QTest::newRow("program missing") << 1 << "missing";
    }

    void speechSkipped()
    {
        QFETCH(int, enabled);
        QFETCH(QString, program);
        Bench b;
        b.enableSpeech();
        b.ctx.settings.SpeechEnabled = qint16(enabled);
        b.ctx.settings.SpeechProgramPath = program.isEmpty() ? QString() : b.programFile(program);
        b.ctx.settings.PlayUnitWavs = 1;
        b.handler.HandleStationAlarm(alarm(), 0);
        QCOMPARE(b.output.calls, (QStringList{"wave " + b.programFile("LF 1.wav"), "wave " + b.programFile("RTW.wav")}));
        QVERIFY(!QFile::exists(b.programFile("sabbel.txt")));
    }

    void speechTextFileRewrittenWhole()
    {
        Bench b;
        b.enableSpeech();
        QVERIFY(writeAll(b.programFile("sabbel.txt"), QByteArray(5000, 'x')));
        b.handler.HandleStationAlarm(alarm(), 0);
        QVERIFY(readAll(b.programFile("sabbel.txt")).startsWith("F2\r\n\r\nAlarmiert"));
        QVERIFY(!readAll(b.programFile("sabbel.txt")).contains('x'));
    }

    // A unit whose text names no file of the program folder is shown and spoken, never played.
    void unsafeUnitIsShownAndSpokenNotPlayed()
    {
        Bench b;
        b.enableSpeech();
        b.ctx.settings.PlayUnitWavs = 1;
        QStringList f = alarmFields();
        f[14] = QStringLiteral("../../alarm") + kBell + QStringLiteral("RTW\\1") + kBell + QStringLiteral("ELW 1")
            + kBell + QStringLiteral("A") + QChar(0) + kBell;
        b.handler.HandleStationAlarm(alarm(f), 0);
        QCOMPARE(gridColumn(b.form.MSFlexGrid1, 0), (QStringList{"../../alarm", "RTW\\1", "ELW 1", QStringLiteral("A") + QChar(0)}));
        QVERIFY(b.output.spokenText.contains("../../alarm\r\nRTW\\1\r\nELW 1\r\nA"));
        QCOMPARE(b.output.calls.filter("wave "), (QStringList{"wave " + b.programFile("ELW 1.wav")}));
    }

    // The window is painted with the new alarm before the first sound blocks the thread.
    void paintedBeforeTheFirstSound()
    {
        Bench b;
        b.ctx.settings.PlayAlarmWav = 1;
        b.form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&b.form));
        PaintCounter counter;
        b.form.label_einsatz[1]->installEventFilter(&counter);
        b.output.paintCounter = &counter.paints;
        b.handler.HandleStationAlarm(alarm(), 0);
        QCOMPARE(b.output.paintsBeforeEachWave.size(), 1);
        QVERIFY(b.output.paintsBeforeEachWave.at(0) > 0);

        counter.paints = 0;
        b.handler.HandleUnitAlarm(QStringLiteral("WACHALARM_EM\tRTW 2") + kBell);
        QVERIFY(b.output.paintsBeforeEachWave.at(1) > 0);
    }

    // A second alarm handled while the first one's speech program runs: the screen shows the
    // second, the first still finishes with its own unit sounds.
    void alarmInsideTheSpeechWait()
    {
        Bench b;
        b.enableSpeech();
        b.ctx.settings.PlayUnitWavs = 1;
        QStringList second = alarmFields();
        second[4] = QStringLiteral("TH1");
        second[14] = QStringLiteral("DLK 23(D)") + kBell;
        bool inner = false;
        b.output.duringSpeech = [&] {
            if (inner)
                return;
            inner = true;
            b.handler.HandleStationAlarm(alarm(second), 0);
        };
        b.handler.HandleStationAlarm(alarm(), 0);
        QCOMPARE(b.form.label_einsatz[1]->text(), QStringLiteral("TH1"));
        QCOMPARE(b.output.calls.filter("wave "),
                 (QStringList{"wave " + b.programFile("DLK 23.wav"), "wave " + b.programFile("LF 1.wav"),
                              "wave " + b.programFile("RTW.wav")}));
        QVERIFY(readAll(b.ctx.LastAlarmPath).contains("TH1"));
    }

    void nothingPlaysOnceTheProgramEnds()
    {
        Bench b;
        b.enableSpeech();
        b.ctx.settings.PlayUnitWavs = 1;
        b.output.duringSpeech = [&] { b.ctx.beginEnding(); };
        b.handler.HandleStationAlarm(alarm(), 0);
        QCOMPARE(b.output.calls.filter("wave ").size(), 0);
    }

    void unitAlarm_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QStringList>("sounds");
        QTest::newRow("three units") << QStringLiteral("WACHALARM_EM\tELW 1\aHLF 20(A)\aRTW(D)\a")
                                     << QStringList{"ELW 1", "HLF 20(A)", "RTW(D)"}
                                     << QStringList{"alarm.wav", "ELW 1.wav", "HLF 20.wav", "RTW.wav"};
        QTest::newRow("empty field") << QStringLiteral("WACHALARM_EM\t") << QStringList{} << QStringList{};
        QTest::newRow("no field") << QStringLiteral("WACHALARM_EM") << QStringList{} << QStringList{};
        QTest::newRow("no bell") << QStringLiteral("WACHALARM_EM\tRTW") << QStringList{} << QStringList{};
        QTest::newRow("unsafe unit") << QStringLiteral("WACHALARM_EM\t../x\a") << QStringList{"../x"}
                                     << QStringList{"alarm.wav"};
    }

    void unitAlarm()
    {
        QFETCH(QString, message);
        QFETCH(QStringList, rows);
        QFETCH(QStringList, sounds);
        Bench b;
        b.ctx.settings.PlayAlarmWav = 1;
        b.ctx.settings.PlayUnitWavs = 1;
        b.handler.HandleStationAlarm(alarm(), 0);
        const QStringList labelsBefore = labelTexts(b.form);
        const QByteArray stored = readAll(b.ctx.LastAlarmPath);
        b.map.calls.clear();
        b.output.calls.clear();
        b.handler.HandleUnitAlarm(message);
        QCOMPARE(gridColumn(b.form.MSFlexGrid1, 0), rows);
        QStringList expected;
        for (const QString& s : sounds)
            expected << "wave " + b.programFile(s);
        QCOMPARE(b.output.calls, expected);
        QCOMPARE(labelTexts(b.form), labelsBefore);
        QCOMPARE(readAll(b.ctx.LastAlarmPath), stored);
        QVERIFY(b.map.calls.isEmpty());
    }

    void statusRowsNewestFirst()
    {
        Bench b;
        QTime now(9, 5, 30);
        b.handler.clock = [&now] { return now; };
        b.handler.InsertStatusRow(QStringLiteral("WACHALARM_STATUS\tHLF 20\t3"));
        now = QTime(14, 30);
        b.handler.InsertStatusRow(QStringLiteral("WACHALARM_STATUS\tRTW 1\t4"));
        b.handler.InsertStatusRow(QStringLiteral("WACHALARM_STATUS\tkurz")); // dropped
        QCOMPARE(gridColumn(b.form.Grid_Status, 0), (QStringList{"14:30", "09:05"}));
        QCOMPARE(gridColumn(b.form.Grid_Status, 1), (QStringList{"RTW 1", "HLF 20"}));
        QCOMPARE(gridColumn(b.form.Grid_Status, 2), (QStringList{"4", "3"}));
    }

    void feedbackGoesToTheNewestRowWithTheId()
    {
        Bench b;
        b.handler.InsertPagerRow(QStringLiteral("WACHALARM_MELDER\tAlt\t0815"));
        b.handler.InsertPagerRow(QStringLiteral("WACHALARM_MELDER\tAnders\t0816"));
        b.handler.InsertPagerRow(QStringLiteral("WACHALARM_MELDER\tNeu\t0815"));
        b.handler.InsertPagerRow(QStringLiteral("WACHALARM_MELDER\tkurz")); // dropped
        QCOMPARE(gridColumn(b.form.Grid_Melder, 0), (QStringList{"Neu", "Anders", "Alt"}));
        b.handler.HandleFeedback(QStringLiteral("WACHALARM_RM\t0815\t1"));
        QCOMPARE(gridColumn(b.form.Grid_Melder, 1), (QStringList{"kommt", "", ""}));
        QCOMPARE(b.form.Grid_Melder->item(0, 1)->background().color(), QColor(0, 255, 0));
        QCOMPARE(b.form.Grid_Melder->currentRow(), 0);
        QCOMPARE(b.form.Grid_Melder->currentColumn(), 1);

        // Unknown id, an id differing only in case or by a blank, a code out of 16 bits, too few
        // fields: nothing changes.
        for (const char* dropped : {"WACHALARM_RM\t9999\t0", "WACHALARM_RM\t0815 \t0", "WACHALARM_RM\t\t0",
                                    "WACHALARM_RM\t0815\t70000", "WACHALARM_RM\t0815"}) {
            b.handler.HandleFeedback(QString::fromLatin1(dropped));
            QCOMPARE(gridColumn(b.form.Grid_Melder, 1), (QStringList{"kommt", "", ""}));
            QCOMPARE(b.form.Grid_Melder->item(0, 1)->background().color(), QColor(0, 255, 0));
        }

        b.handler.HandleFeedback(QStringLiteral("WACHALARM_RM\t0815\t9"));
        QCOMPARE(gridColumn(b.form.Grid_Melder, 1), (QStringList{"", "", ""}));
        QCOMPARE(b.form.Grid_Melder->item(0, 1)->background().color(), QColor(0, 0, 0));
        b.handler.HandleFeedback(QStringLiteral("WACHALARM_RM\t0816\t2.5"));
        QCOMPARE(b.form.Grid_Melder->item(1, 1)->text(), QStringLiteral("später"));
        QCOMPARE(b.form.Grid_Melder->item(1, 1)->background().color(), QColor(150, 254, 162));
    }

    // What the station sees in the cell is the feedback colour, whatever is current, clicked or
    // selected in the grid.
    void feedbackColourAlwaysVisible()
    {
        Bench b;
        b.form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&b.form));
        b.handler.InsertPagerRow(QStringLiteral("WACHALARM_MELDER\tNeu\t0815"));
        b.handler.InsertPagerRow(QStringLiteral("WACHALARM_MELDER\tAlt\t0816"));
        b.handler.HandleFeedback(QStringLiteral("WACHALARM_RM\t0815\t1"));
        b.handler.HandleFeedback(QStringLiteral("WACHALARM_RM\t0816\t4"));
        QTableWidget* grid = b.form.Grid_Melder;
        const auto colourAt = [grid](int row) {
            const QRect cell = grid->visualItemRect(grid->item(row, 1));
            return grid->viewport()->grab().toImage().pixelColor(cell.right() - 3, cell.bottom() - 3);
        };
        QCOMPARE(colourAt(1), QColor(0, 255, 0));
        QCOMPARE(colourAt(0), QColor(160, 235, 254));

        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualItemRect(grid->item(1, 1)).center());
        grid->setFocus();
        QCOMPARE(colourAt(1), QColor(0, 255, 0));
        grid->selectAll();
        QCOMPARE(colourAt(1), QColor(0, 255, 0));
        // Even a selection forced past the grid's own settings does not cover the colour.
        grid->item(1, 1)->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        grid->setSelectionMode(QAbstractItemView::SingleSelection);
        grid->selectionModel()->select(grid->model()->index(1, 1), QItemSelectionModel::Select);
        QVERIFY(grid->selectionModel()->isSelected(grid->model()->index(1, 1)));
        QCOMPARE(colourAt(1), QColor(0, 255, 0));
    }
};

QTEST_MAIN(AlarmHandlerTest)
#include "tst_AlarmHandler.moc"
