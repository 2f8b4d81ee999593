// The crew's strength and the vehicles' board: mannschaft.csv as people write it, the strength
// for sequences of answers, the radio status texts, and the board's statuses across a restart.
#include "alarm/AlarmPlan.h"
#include "crew/CrewFile.h"
#include "crew/CrewWatch.h"
#include "crew/RadioStatus.h"
#include "crew/VehicleBoard.h"
#include "tests/support/TestFiles.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using Members = QMap<QString, QString>; // pager id → "name|qualifications"

class CrewTest : public QObject {
    Q_OBJECT

private slots:
    void crewFile_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<Members>("members");
        QTest::addColumn<QStringList>("warnings");
        QTest::newRow("semicolons, UTF-8") << QByteArray("Melder;Name;Quali\n1001;Anna Groß;ZF AGT\n")
                                           << Members { { "1001", "Anna Groß|ZF AGT" } } << QStringList();
        QTest::newRow("commas, BOM, quotes, CR LF")
            << QByteArray("\xEF\xBB\xBFid,name,quali\r\n1001,\"Groß, \"\"Anni\"\"\",\"ZF,AGT  Ma\"\r\n")
            << Members { { "1001", "Groß, \"Anni\"|ZF AGT Ma" } } << QStringList();
        QTest::newRow("Windows-1252") << QByteArray("id;name;q\n1001;J\xFCrgen Stra\xDF"
                                                    "e;GF\n")
                                      << Members { { "1001", "Jürgen Straße|GF" } } << QStringList();
        QTest::newRow("empty name, empty qualifications")
            << QByteArray("id;name;q\n1002;;Ma, C\n1003;Bo;\n") << Members { { "1002", "|Ma C" }, { "1003", "Bo|" } }
            << QStringList();
        QTest::newRow("duplicate id: the later line")
            << QByteArray("id;name;q\n7;Alt;GF\n8;Bea;C\n7;Neu;ZF\n") << Members { { "7", "Neu|ZF" }, { "8", "Bea|C" } }
            << QStringList { "line 4: pager id 7 again" };
        QTest::newRow("too few fields, open quote")
            << QByteArray("id;name;q\n1;A;GF\n2;B\n\n3;\"C;AGT\n4;D;Ma\n")
            << Members { { "1", "A|GF" }, { "4", "D|Ma" } } << QStringList { "line 3: fewer", "line 5: a quote" };
    }

    void crewFile()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(Members, members);
        QFETCH(QStringList, warnings);
        const CrewFile crew = CrewFile::parse(bytes);
        QCOMPARE(crew.size(), members.size());
        for (auto it = members.cbegin(); it != members.cend(); ++it) {
            const CrewFile::Member* m = crew.find(it.key());
            QVERIFY2(m, qPrintable(it.key()));
            QCOMPARE(m->name + '|' + m->qualifications.join(' '), it.value());
        }
        QCOMPARE(crew.warnings().size(), warnings.size());
        for (int i = 0; i < warnings.size(); ++i)
            QVERIFY2(crew.warnings()[i].contains(warnings[i]), qPrintable(crew.warnings()[i]));
    }

    void strength_data()
    {
        // Answers: "minutes after the alarm:pager id:code"; the alarm at minute 0 unless "none".
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<bool>("alarm");
        QTest::addColumn<QString>("expected"); // strength | shown | replies | people
        const QString none = "0/0/0/0|AGT 0 · Ma 0 · C 0|später 0 · nicht 0 · unbekannt 0|";
        QTest::newRow("a mixed turnout") << QStringList { "1:z:1", "1:g1:1", "2:g2:1", "2:a:1", "3:b:2", "3:c:0",
            "4:x:-1", "4:y:3" } << true
                                         << "1/2/1/4|AGT 3 · Ma 1 · C 0|später 1 · nicht 1 · unbekannt 2|"
                                            "Zora ZF+, Gerd GF+, Gina GF+, Anton, Berta-, Carl!";
        QTest::newRow("a holder answering twice counts once, newest") << QStringList { "1:a:1", "5:a:0", "6:b:2",
            "7:b:1" } << true << "0/0/1/1|AGT 0 · Ma 0 · C 1|später 0 · nicht 1 · unbekannt 0|Berta, Anton!";
        QTest::newRow("answers before any alarm") << QStringList { "1:a:1", "2:z:1" } << false << none;
        QTest::newRow("after 60 minutes, before the alarm") << QStringList { "60:a:1", "61:b:1",
            "-1:z:1" } << true << "0/0/1/1|AGT 1 · Ma 1 · C 0|später 0 · nicht 0 · unbekannt 0|Anton";
        QTest::newRow("a pager id not in the file")
            << QStringList { "1:999:1" } << true << "0/0/1/1|AGT 0 · Ma 0 · C 0|später 0 · nicht 0 · unbekannt 0|999";
    }

    void strength()
    {
        QFETCH(QStringList, answers);
        QFETCH(bool, alarm);
        QFETCH(QString, expected);
        const CrewFile crew = CrewFile::parse("id;name;q\nz;Zora;ZF GF AGT\ng1;Gerd;GF AGT\ng2;Gina;gf\n"
                                              "a;Anton;AGT Ma\nb;Berta;C\nc;Carl;C\n");
        const QDateTime at0(QDate(2026, 3, 1), QTime(10, 0));
        QList<Strength::Answer> list;
        for (const QString& a : answers) {
            const QStringList p = a.split(':');
            list.append({ at0.addSecs(p[0].toInt() * 60), p[1], QString(), p[2].toInt() });
        }
        const Strength::Count c
            = Strength::count(list, alarm ? std::optional(at0) : std::nullopt, crew, Strength::Settings());
        QStringList people;
        for (const Strength::Person& p : c.people) {
            const char mark[] = { 0, '-', '!' };
            people << p.name
                    + (p.qualifications.contains("ZF")                             ? " ZF+"
                            : p.qualifications.contains("GF", Qt::CaseInsensitive) ? " GF+"
                                                                                   : "")
                    + QString(mark[int(p.reply)] ? QString(QChar(mark[int(p.reply)])) : QString());
        }
        QCOMPARE(
            QStringList({ c.strengthText(), c.shownText(Strength::Settings()), c.repliesText(), people.join(", ") })
                .join('|'),
            expected);
    }

    // Through the core's signals: no alarm on screen, a second alarm, and the crew file edited.
    void crewWatch()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("mannschaft.csv");
        QVERIFY(TestFiles::writeAll(path, "id;name;q\n5;Ute;ZF\n"));
        CrewWatch watch(path, dir.filePath("last.dat"), Strength::Settings());
        QDateTime now(QDate(2026, 3, 1), QTime(10, 0));
        watch.clock = [&now] { return now; };
        QSignalSpy changed(&watch, &CrewWatch::strengthChanged);
        const auto settle = [&] {
            changed.clear();
            return changed.wait(5000);
        };
        QVERIFY(settle());
        watch.pagerRow("WACHALARM_MELDER\tUte Ulm\t5");
        watch.pagerRow("WACHALARM_MELDER\tOtto\t6");
        watch.feedback("WACHALARM_RM\t5\t1");
        watch.stationAlarm(StationAlarmPlan(), false);
        QVERIFY(settle());
        QCOMPARE(watch.strength().coming, 0);
        watch.feedback("WACHALARM_RM\t5\t1");
        watch.feedback("WACHALARM_RM\t6\t1");
        QVERIFY(settle());
        QCOMPARE(watch.strength().strengthText(), "1/0/1/2");
        QCOMPARE(watch.strength().people.value(1).name, "Otto");
        now = now.addSecs(600);
        watch.stationAlarm(StationAlarmPlan(), false);
        watch.feedback("WACHALARM_RM\t6\t2");
        QVERIFY(settle());
        QCOMPARE(watch.strength().strengthText(), "0/0/0/0");
        QCOMPARE(watch.strength().later, 1);
        // The file replaced as an editor saves it: Otto now leads.
        QVERIFY(TestFiles::writeAll(path + ".new", "id;name;q\n5;Ute;ZF\n6;Otto;GF\n"));
        QVERIFY(QFile::remove(path) && QFile::rename(path + ".new", path));
        watch.feedback("WACHALARM_RM\t6\t1");
        QTRY_COMPARE(watch.strength().strengthText(), "0/1/0/1");
        watch.alarmCleared();
        watch.feedback("WACHALARM_RM\t5\t1");
        QVERIFY(settle());
        QVERIFY(!watch.strength().counting);
    }

    void radioStatus_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("number"); // -1: none
        QTest::addColumn<QString>("shown");
        QTest::newRow("3") << "3" << 3 << "Einsatz übernommen";
        QTest::newRow("S3") << "S3" << 3 << "Einsatz übernommen";
        QTest::newRow("Status 3") << " Status 3 " << 3 << "Einsatz übernommen";
        QTest::newRow("0") << "s0" << 0 << "Dringender Sprechwunsch";
        QTest::newRow("13") << "13" << -1 << "13";
        QTest::newRow("empty") << "" << -1 << "";
        QTest::newRow("Einsatz") << "Einsatz" << -1 << "Einsatz";
    }

    void radioStatus()
    {
        QFETCH(QString, text);
        QFETCH(int, number);
        QFETCH(QString, shown);
        const RadioStatus s = RadioStatus::read(text);
        QCOMPARE(s.number.value_or(-1), number);
        QCOMPARE(s.text, shown);
        QCOMPARE(s.rgb != 0, number >= 0);
    }

    // The listed vehicles in their order; a call name not listed is not shown; after a restart the
    // statuses come back, a day-old one marked old; blinking only for 5 and 0, for a minute.
    void board_data()
    {
        QTest::addColumn<bool>("listed");
        QTest::newRow("fahrzeuge.ini") << true;
        QTest::newRow("every call name seen") << false;
    }

    void board()
    {
        QFETCH(bool, listed);
        QTemporaryDir dir;
        if (listed)
            QVERIFY(TestFiles::writeAll(dir.filePath("fahrzeuge.ini"),
                "# Wache 1\nFlorian Hagen 1-HLF20-1 = HLF 20\nFlorian Hagen 1-DLK-1=DLK\nkein Gleich\n"));
        QDateTime now(QDate(2026, 3, 1), QTime(10, 0));
        const QStringList expectedOrder = listed
            ? QStringList { "HLF 20", "DLK" }
            : QStringList { "Florian Hagen 1-DLK-1", "Florian Hagen 1-HLF20-1", "Florian Hagen 9-ELW-1" };
        {
            VehicleBoard board(dir.path());
            board.clock = [&now] { return now; };
            board.statusMessage("WACHALARM_STATUS\tFlorian Hagen 1-HLF20-1\tS5");
            board.statusMessage("WACHALARM_STATUS\tFlorian Hagen 9-ELW-1\t2");
            board.takePending();
            now = now.addSecs(-2 * 24 * 3600);
            board.statusMessage("WACHALARM_STATUS\tFlorian Hagen 1-DLK-1\tWerkstatt");
            board.takePending();
            now = now.addSecs(2 * 24 * 3600);
            QCOMPARE(board.tiles().size(), expectedOrder.size());
            QVERIFY(board.tiles()[listed ? 0 : 1].blinks(now));
            QVERIFY(!board.tiles()[listed ? 0 : 1].blinks(now.addSecs(60)));
        }
        QCOMPARE(QFile(dir.filePath("fahrzeuge.dat")).permissions() & 0x0077, QFile::Permissions());
        VehicleBoard again(dir.path());
        QStringList shown;
        for (const VehicleTile& t : again.tiles())
            shown << t.shortName;
        QCOMPARE(shown, expectedOrder);
        const VehicleTile& hlf = again.tiles()[listed ? 0 : 1];
        QCOMPARE(hlf.status.text, "Sprechwunsch");
        QCOMPARE(hlf.since, now);
        QVERIFY(!hlf.isOld(now));
        const VehicleTile& dlk = again.tiles()[listed ? 1 : 0];
        QCOMPARE(dlk.status.text, "Werkstatt");
        QVERIFY(dlk.isOld(now));
    }
};

QTEST_GUILESS_MAIN(CrewTest)
#include "tst_Crew.moc"
