// The crew's strength and the vehicles' board: mannschaft.csv as people write it, the strength
// for sequences of answers, the radio status texts, and the board's statuses across a restart.
#include "alarm/AlarmPlan.h"
#include "crew/CrewFile.h"
#include "crew/CrewWatch.h"
#include "crew/RadioStatus.h"
#include "crew/VehicleBoard.h"
#include "tests/support/DataRows.h"
#include "tests/support/TestFiles.h"

#include <QSignalSpy>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

using Members = QMap<QString, QString>; // pager id → "name|qualifications"

namespace {

QByteArray utf16(const QString& text, QStringConverter::Encoding encoding, bool mark)
{
    QStringEncoder encoder(encoding, mark ? QStringConverter::Flag::WriteBom : QStringConverter::Flag::Default);
    return encoder.encode(text);
}

// The journal's lines of the files' category while it lives.
struct JournalLines {
    static inline int count = 0;
    QtMessageHandler before;
    JournalLines()
        : before(qInstallMessageHandler([](QtMsgType, const QMessageLogContext& context, const QString&) {
            count += QByteArray(context.category) == "kessvenn.files";
        }))
    {
        count = 0;
    }
    ~JournalLines() { qInstallMessageHandler(before); }
};

} // namespace

class CrewTest : public QObject {
    Q_OBJECT

private slots:
    void crewFile_data()
    {
        columns<QByteArray, Members, QStringList>("bytes", "members", "warnings");
        const QStringList none;
        row("semicolons, UTF-8", QByteArray("Melder;Name;Quali\n1001;Anna Groß;ZF AGT\n"),
            Members { { "1001", "Anna Groß|ZF AGT" } }, none);
        row("commas, BOM, quotes, CR LF",
            QByteArray("\xEF\xBB\xBFid,name,quali\r\n1001,\"Groß, \"\"Anni\"\"\",\"ZF,AGT  Ma\"\r\n"),
            Members { { "1001", "Groß, \"Anni\"|ZF AGT Ma" } }, none);
        row("Windows-1252", QByteArray("id;name;q\n1001;J\xFCrgen Stra\xDF\x65;GF\n"),
            Members { { "1001", "Jürgen Straße|GF" } }, none);
        row("empty name, empty qualifications", QByteArray("id;name;q\n1002;;Ma, C\n1003;Bo;\n"),
            Members { { "1002", "|Ma C" }, { "1003", "Bo|" } }, none);
        row("duplicate id: the later line", QByteArray("id;name;q\n7;Alt;GF\n8;Bea;C\n7;Neu;ZF\n"),
            Members { { "7", "Neu|ZF" }, { "8", "Bea|C" } }, QStringList { "line 4: pager id 7 again" });
        row("too few fields, open quote", QByteArray("id;name;q\n1;A;GF\n2;B\n\n3;\"C;AGT\n4;D;Ma\n"),
            Members { { "1", "A|GF" }, { "4", "D|Ma" } }, QStringList { "line 3: fewer", "line 5: a quote" });
        const QString tabs
            = "Melder\tName\tQualifikation\r\n1001\tAnna Groß\tZF AGT\r\n1002\t\"Graf, Gabi\"\tGF,Ma\r\n";
        const Members tabbed { { "1001", "Anna Groß|ZF AGT" }, { "1002", "Graf, Gabi|GF Ma" } };
        row("tabs, UTF-8", tabs.toUtf8(), tabbed, none);
        row("Unicode text: UTF-16LE with its mark, tabs", utf16(tabs, QStringConverter::Utf16LE, true), tabbed, none);
        row("UTF-16LE without a mark", utf16(tabs, QStringConverter::Utf16LE, false), tabbed, none);
        row("UTF-16BE with its mark", utf16(tabs, QStringConverter::Utf16BE, true), tabbed, none);
        QStringList five;
        for (int line = 2; line <= 6; ++line)
            five << QStringLiteral("line %1: fewer").arg(line);
        row("a thousand bad lines: five warnings, then their count", "id;name;q\n" + QByteArray("x\n").repeated(1000),
            Members(), five << "… and 995 more warnings");
    }
    void crewFile()
    {
        auto [bytes, members, warnings] = fetch<QByteArray, Members, QStringList>("bytes", "members", "warnings");
        const JournalLines journal;
        const CrewFile crew = CrewFile::parse(bytes);
        QCOMPARE(JournalLines::count, warnings.size());
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
        // expected: strength | shown | replies | people
        columns<QStringList, bool, QString>("answers", "alarm", "expected");
        const QString none = "0/0/0/0|AGT 0 · Ma 0 · C 0|später 0 · nicht 0 · unbekannt 0|";
        row("a mixed turnout",
            QStringList { "1:z:1", "1:g1:1", "2:g2:1", "2:a:1", "3:b:2", "3:c:0", "4:x:-1", "4:y:3" }, true,
            "1/2/1/4|AGT 3 · Ma 1 · C 0|später 1 · nicht 1 · unbekannt 2|Zora ZF+, Gerd GF+, Gina GF+, Anton, Berta-, "
            "Carl!");
        row("a holder answering twice counts once, newest", QStringList { "1:a:1", "5:a:0", "6:b:2", "7:b:1" }, true,
            "0/0/1/1|AGT 0 · Ma 0 · C 1|später 0 · nicht 1 · unbekannt 0|Berta, Anton!");
        row("answers before any alarm", QStringList { "1:a:1", "2:z:1" }, false, none);
        row("after 60 minutes, before the alarm", QStringList { "60:a:1", "61:b:1", "-1:z:1" }, true,
            "0/0/1/1|AGT 1 · Ma 1 · C 0|später 0 · nicht 0 · unbekannt 0|Anton");
        row("a pager id not in the file", QStringList { "1:999:1" }, true,
            "0/0/1/1|AGT 0 · Ma 0 · C 0|später 0 · nicht 0 · unbekannt 0|999");
    }
    void strength()
    {
        auto [answers, alarm, expected] = fetch<QStringList, bool, QString>("answers", "alarm", "expected");
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
            const QStringList& q = p.qualifications;
            const char* lead = q.contains("ZF") ? " ZF+" : q.contains("GF", Qt::CaseInsensitive) ? " GF+" : "";
            people << p.name + lead + QStringList { "", "-", "!" }.at(int(p.reply));
        }
        const QString counts = c.strengthText() + '|' + c.shownText(Strength::Settings()) + '|' + c.repliesText();
        QCOMPARE(counts + '|' + people.join(", "), expected);
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
        const auto settle = [&] { return changed.clear(), changed.wait(5000); };
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
        QSignalSpy read(&watch, &CrewWatch::crewRead);
        QVERIFY(QFile::remove(path) && QFile::rename(path + ".new", path));
        watch.feedback("WACHALARM_RM\t6\t1");
        QVERIFY(read.wait(3 * CrewWatch::kReloadDelayMs));
        QVERIFY(settle());
        QCOMPARE(watch.strength().strengthText(), "0/1/0/1");
        watch.alarmCleared();
        watch.feedback("WACHALARM_RM\t5\t1");
        QVERIFY(settle());
        QVERIFY(!watch.strength().counting);
    }

    // 10,000 answers from pager ids that the crew file does not name, then the holders': the
    // holders all count, and the others no more than their own limit.
    void holdersAreNeverCrowdedOut()
    {
        QTemporaryDir dir;
        QByteArray crewFile("id;name;q\n");
        for (int i = 0; i < 20; ++i)
            crewFile += QByteArray::number(100 + i) + ";;" + (i < 2 ? "GF AGT" : "AGT") + "\n";
        QVERIFY(TestFiles::writeAll(dir.filePath("mannschaft.csv"), crewFile));
        CrewWatch watch(dir.filePath("mannschaft.csv"), dir.filePath("last.dat"), Strength::Settings());
        watch.stationAlarm(StationAlarmPlan(), false);
        for (int i = 0; i < 10000; ++i)
            watch.feedback(QStringLiteral("WACHALARM_RM\tx%1\t1").arg(i));
        for (int i = 0; i < 20; ++i)
            watch.feedback(QStringLiteral("WACHALARM_RM\t%1\t1").arg(100 + i));
        QTRY_COMPARE(watch.strength().text(Strength::Settings()),
            QStringLiteral("0/2/%1/%2 · AGT 20 · Ma 0 · C 0\nspäter 0 · nicht 0 · unbekannt 0")
                .arg(CrewWatch::kMostStrangers + 18)
                .arg(CrewWatch::kMostStrangers + 20));
    }

    // fahrzeuge.ini of garbage, and of more vehicles than a board shows: a few lines in the journal.
    void vehicleList_data()
    {
        columns<QByteArray, int, int>("bytes", "tiles", "journalLines");
        QByteArray garbage;
        while (garbage.size() < 1024 * 1024)
            garbage += "\x01garbage without an equals sign\xFF\n";
        QByteArray many;
        for (int i = 0; i < 100000; ++i)
            many += "Florian " + QByteArray::number(i) + " = F" + QByteArray::number(i) + "\n";
        row("1 MiB of garbage: five warnings and their count", garbage, 0, 6);
        row("100,000 vehicles: the first 100, one warning", many, VehicleBoard::kMostTiles, 1);
    }
    void vehicleList()
    {
        auto [bytes, tiles, journalLines] = fetch<QByteArray, int, int>("bytes", "tiles", "journalLines");
        QTemporaryDir dir;
        QVERIFY(TestFiles::writeAll(dir.filePath("fahrzeuge.ini"), bytes));
        const JournalLines journal;
        const VehicleBoard board(dir.path());
        QCOMPARE(JournalLines::count, journalLines);
        QCOMPARE(board.tiles().size(), tiles);
    }

    void radioStatus_data()
    {
        // number: -1: none
        columns<QString, int, QString>("text", "number", "shown");
        row("3", "3", 3, "Einsatz übernommen");
        row("S3", "S3", 3, "Einsatz übernommen");
        row("Status 3", " Status 3 ", 3, "Einsatz übernommen");
        row("0", "s0", 0, "Dringender Sprechwunsch");
        row("13", "13", -1, "13");
        row("empty", "", -1, "");
        row("Einsatz", "Einsatz", -1, "Einsatz");
    }
    void radioStatus()
    {
        auto [text, number, shown] = fetch<QString, int, QString>("text", "number", "shown");
        const RadioStatus s = RadioStatus::read(text);
        QCOMPARE(s.number.value_or(-1), number);
        QCOMPARE(s.text, shown);
        QCOMPARE(s.rgb != 0, number >= 0);
    }

    // The listed vehicles in their order; a call name not listed is not shown; after a restart the
    // statuses come back, a day-old one marked old; blinking only for 5 and 0, for a minute.
    void board_data()
    {
        columns<bool>("listed");
        row("fahrzeuge.ini", true);
        row("every call name seen", false);
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
            now = now.addSecs(-2 * 24 * 3600);
            board.statusMessage("WACHALARM_STATUS\tFlorian Hagen 1-DLK-1\tWerkstatt");
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
