// What a station alarm, a unit alarm and a feedback turn into, without a window: the labels, the
// map position, the bytes of last.dat and what the station hears.
#include "alarm/AlarmPlan.h"
#include "alarm/AlarmRows.h"
#include "alarm/LastAlarmStore.h"
#include "common/AppContext.h"

#include <QTest>

namespace {

const QChar kBell(7);

// A station alarm of 19 fields; field i replaced where given, cut after `count` fields.
QString alarm(const QMap<int, QString>& fields = {}, int count = 19)
{
    QStringList f { "WACHALARM", "Brand", "B3 Y", "Wohnungsbrand", "B3", "44135", "Dortmund", "Kampstraße", "12",
        "Zufahrt\r\nHof", "", "Stadthaus", "3. OG", "", "ELW 1\aRTW(D)\a", "1", "51,5", "7,4", "Herr Meier" };
    for (auto it = fields.begin(); it != fields.end(); ++it)
        f[it.key()] = it.value();
    return f.mid(0, count).join(QChar(9));
}

// Unit sounds on, from the program folder /p.
struct Context : AppContext {
    Context()
    {
        ProgramFolder = QStringLiteral("/p");
        settings.PlayUnitWavs = 1;
    }
};

} // namespace

class AlarmPlanTest : public QObject {
    Q_OBJECT

private slots:
    void coordinates_data()
    {
        QTest::addColumn<QString>("lat");
        QTest::addColumn<QString>("lng");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("expected"); // empty: the address is looked up
        QTest::newRow("comma as decimal point") << "51,5"
                                                << "7,4" << 19 << "51.5,7.4";
        QTest::newRow("point, blanks around") << " 51.5136 "
                                              << "-7.4653" << 19 << "51.5136,-7.4653";
        QTest::newRow("longitude missing") << "51,5"
                                           << "" << 17 << "";
        QTest::newRow("longitude empty") << "51,5"
                                         << "" << 19 << "";
        QTest::newRow("latitude empty") << ""
                                        << "7,4" << 19 << "";
        QTest::newRow("latitude not a number") << "Nord"
                                               << "7,4" << 19 << "";
        QTest::newRow("text after the number") << "51,5x"
                                               << "7,4" << 19 << "";
        QTest::newRow("latitude beyond the pole") << "91"
                                                  << "7,4" << 19 << "";
    }
    void coordinates()
    {
        QFETCH(QString, lat);
        QFETCH(QString, lng);
        QFETCH(int, count);
        QFETCH(QString, expected);
        const auto plan = PlanStationAlarm(alarm({ { 16, lat }, { 17, lng } }, count), false, Context());
        QVERIFY(plan);
        QCOMPARE(plan->coordinates.value_or(QString()), expected);
        QCOMPARE(plan->address, QStringLiteral("44135 Dortmund,Kampstraße 12"));
    }

    void unitSounds_data()
    {
        QTest::addColumn<QString>("units");
        QTest::addColumn<int>("shown");
        QTest::addColumn<QStringList>("played");
        QTest::newRow("markers left out of the file name") << "LF 1(A)\aRTW(D)\a" << 2 << QStringList { "LF 1", "RTW" };
        QTest::newRow("a sound once per alarm") << "RTW\aRTW(D)\aELW\aRTW\a" << 4 << QStringList { "RTW", "ELW" };
        QStringList many;
        QString field;
        for (int i = 0; i < 40; ++i) {
            field += QStringLiteral("U%1").arg(i) + kBell;
            if (i < 30)
                many << QStringLiteral("U%1").arg(i);
        }
        QTest::newRow("at most 30 sounds, every unit shown") << field << 40 << many;
        QTest::newRow("no file outside the program folder") << "../x\aa/b\a\aHLF\a" << 4 << QStringList { "HLF" };
        QTest::newRow("without a bell no unit") << "HLF" << 0 << QStringList {};
    }
    void unitSounds()
    {
        QFETCH(QString, units);
        QFETCH(int, shown);
        QFETCH(QStringList, played);
        for (QString& name : played)
            name = QStringLiteral("/p/") + name + QStringLiteral(".wav");
        const auto plan = PlanStationAlarm(alarm({ { 14, units } }), true, Context());
        QCOMPARE(plan->units.size(), shown);
        QCOMPARE(plan->announcement.unitSounds, played);
        const UnitAlarmPlan unitAlarm = PlanUnitAlarm(QStringLiteral("WACHALARM_EM\t") + units, Context());
        QCOMPARE(unitAlarm.units, plan->units);
        QCOMPARE(unitAlarm.announcement.unitSounds, played);
    }

    void lastAlarm()
    {
        const QByteArray expected
            = "WACHALARM\r\nBrand\r\nB3 Y\r\nWohnungsbrand\r\nB3\r\n44135\r\nDortmund\r\n"
              "Kampstra\xdf"
              "e\r\n12\r\nZufahrt<CR>Hof\r\n\r\nStadthaus\r\n3. OG\r\n\r\nELW 1\aRTW(D)\a\r\n1\r\n"
              "51,5\r\n7,4\r\n";
        QCOMPARE(PlanStationAlarm(alarm(), false, Context())->lastAlarm, expected);
        QCOMPARE(PlanStationAlarm(alarm(), true, Context())->lastAlarm, std::nullopt);
        // Read back: the line breaks restored, the informant lost, one empty field more.
        QCOMPARE(LastAlarmStore::messageFromBytes(expected), alarm({ { 18, "" } }));
        QCOMPARE(LastAlarmStore::messageFromBytes("A\nB\rC\r\nD"), QStringLiteral("A\tB\rC\tD\t"));
    }

    void badInputIsIgnored()
    {
        QCOMPARE(PlanStationAlarm(alarm({}, 6), false, Context()).has_value(), false);
        QVERIFY(PlanStationAlarm(alarm({}, 7), false, Context())->units.isEmpty());
        QVERIFY(PlanUnitAlarm(QStringLiteral("WACHALARM_EM"), Context()).announcement == Announcement {});
    }

    void speechText()
    {
        Context ctx;
        ctx.settings.SpeechEnabled = 1;
        ctx.settings.SpeechProgramPath = QStringLiteral("/bin/say");
        ctx.settings.SpeakKeyword = ctx.settings.SpeakStreet = ctx.settings.SpeakObject = ctx.settings.SpeakUnits = 1;
        ctx.settings.SpeakOutsideTown = ctx.settings.SpeakDistrict = 1; // fields 10 and 13 are empty
        const auto plan = PlanStationAlarm(alarm(), false, ctx);
        QCOMPARE(plan->announcement.speech->text,
            QStringLiteral("B3\r\n\r\nKampstraße\r\n\r\n12\r\n\r\nObjekt \r\n\r\nStadthaus\r\n\r\n"
                           "Alarmiert sind\r\nELW 1\r\nRTW(D)\r\nIch wiederhole         Alarmiert sind\r\n"
                           "ELW 1\r\nRTW(D)\r\n\r\n"));
    }

    void feedback_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("word"); // "-": the message changes nothing
        QTest::addColumn<int>("colour");
        QTest::newRow("comes") << "WACHALARM_RM\t7\t1"
                               << "kommt" << 65280;
        QTest::newRow("halves to even") << "WACHALARM_RM\t7\t2.5"
                                        << "später" << 150 + 256 * 254 + 65536 * 162;
        QTest::newRow("unknown code: empty on black") << "WACHALARM_RM\t7\t9"
                                                      << "" << 0;
        QTest::newRow("beyond 16 bits") << "WACHALARM_RM\t7\t40000"
                                        << "-" << 0;
        QTest::newRow("two fields") << "WACHALARM_RM\t7"
                                    << "-" << 0;
    }
    void feedback()
    {
        QFETCH(QString, message);
        QFETCH(QString, word);
        QFETCH(int, colour);
        const auto result = AlarmRows::feedback(message);
        QCOMPARE(result ? result->word : QStringLiteral("-"), word);
        QCOMPARE(result ? result->colour : 0, colour);
    }
};

QTEST_GUILESS_MAIN(AlarmPlanTest)
#include "tst_AlarmPlan.moc"
