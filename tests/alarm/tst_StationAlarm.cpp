#include "alarm/StationAlarm.h"
#include "alarm/UnitList.h"
#include "common/AppContext.h"

#include <QTest>

namespace {

const QChar kBell(7);

// A message of the given fields, joined by TAB.
QString message(const QStringList& fields)
{
    return fields.join(QChar(9));
}

QStringList fullFields()
{
    return {QStringLiteral("WACHALARM"),
            QStringLiteral("Kopf"),
            QStringLiteral("RD 1"),
            QStringLiteral("Brand Wohnung"),
            QStringLiteral("F2"),
            QStringLiteral("44135"),
            QStringLiteral("Dortmund"),
            QStringLiteral("Hauptstraße"),
            QStringLiteral("5a"),
            QStringLiteral("Zufahrt\r\nHof"),
            QStringLiteral("Mitte"),
            QStringLiteral("Rathaus"),
            QStringLiteral("3. OG"),
            QStringLiteral("Waldweg"),
            QStringLiteral("LF 1(A)") + kBell + QStringLiteral("RTW(D)") + kBell,
            QStringLiteral("1"),
            QStringLiteral("51,5"),
            QStringLiteral("7,4"),
            QStringLiteral("Herr Meier")};
}

Settings allSpoken()
{
    Settings s;
    s.LeadText = QStringLiteral("Achtung");
    s.TrailText = QStringLiteral("Ende");
    s.SpeakLeadText = s.SpeakTrailText = s.SpeakIncidentType = s.SpeakKeyword = s.SpeakTown = 1;
    s.SpeakStreet = s.SpeakSupplement = s.SpeakDistrict = s.SpeakObject = s.SpeakOutsideTown = s.SpeakUnits = 1;
    return s;
}

} // namespace

class StationAlarmTest : public QObject {
    Q_OBJECT

private slots:
    void fewerThanSevenFieldsIsIgnored_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << QString();
        QTest::newRow("type only") << QStringLiteral("WACHALARM");
        QTest::newRow("six fields") << message({"WACHALARM", "a", "b", "c", "d", "e"});
    }

    void fewerThanSevenFieldsIsIgnored()
    {
        QFETCH(QString, text);
        QVERIFY(!StationAlarm::parse(text));
    }

    void labelsOfAFullAlarm()
    {
        const auto alarm = StationAlarm::parse(message(fullFields()));
        QVERIFY(alarm);
        QCOMPARE(alarm->header(), QStringLiteral("Kopf"));
        QCOMPARE(alarm->firstWord(), QStringLiteral("RD"));
        QCOMPARE(alarm->secondWord(), QStringLiteral("1"));
        const std::array<QString, 9> labels = alarm->incidentLabels();
        QCOMPARE(labels[0], QStringLiteral("Brand Wohnung"));
        QCOMPARE(labels[1], QStringLiteral("F2"));
        QCOMPARE(labels[2], QStringLiteral("Hauptstraße 5a"));
        QCOMPARE(labels[3], QStringLiteral("44135 Dortmund / Mitte"));
        QCOMPARE(labels[4], QStringLiteral("3. OG"));
        QCOMPARE(labels[5], QStringLiteral("Rathaus"));
        QCOMPARE(labels[6], QStringLiteral("Waldweg"));
        QCOMPARE(labels[7], QStringLiteral("Zufahrt\r\nHof"));
        QCOMPARE(labels[8], QStringLiteral("Mitteiler: Herr Meier"));
    }

    void emptyDistrictAndInformant()
    {
        QStringList f = fullFields();
        f[10].clear();
        f[18].clear();
        const auto alarm = StationAlarm::parse(message(f));
        QCOMPARE(alarm->incidentLabels()[3], QStringLiteral("44135 Dortmund"));
        QCOMPARE(alarm->incidentLabels()[8], QString());
    }

    // Missing fields count as empty: no label may keep a text of the previous incident.
    void missingFieldsCountAsEmpty_data()
    {
        QTest::addColumn<int>("fieldCount");
        for (int n = 7; n <= 19; ++n)
            QTest::addRow("%d fields", n) << n;
    }

    void missingFieldsCountAsEmpty()
    {
        QFETCH(int, fieldCount);
        const auto alarm = StationAlarm::parse(message(fullFields().mid(0, fieldCount)));
        QVERIFY(alarm);
        const std::array<QString, 9> labels = alarm->incidentLabels();
        QCOMPARE(labels[2], fieldCount > 8 ? QStringLiteral("Hauptstraße 5a")
                                           : (fieldCount > 7 ? QStringLiteral("Hauptstraße ") : QStringLiteral(" ")));
        QCOMPARE(labels[3], fieldCount > 10 ? QStringLiteral("44135 Dortmund / Mitte") : QStringLiteral("44135 Dortmund"));
        QCOMPARE(labels[4], fieldCount > 12 ? QStringLiteral("3. OG") : QString());
        QCOMPARE(labels[5], fieldCount > 11 ? QStringLiteral("Rathaus") : QString());
        QCOMPARE(labels[6], fieldCount > 13 ? QStringLiteral("Waldweg") : QString());
        QCOMPARE(labels[7], fieldCount > 9 ? QStringLiteral("Zufahrt\r\nHof") : QString());
        QCOMPARE(labels[8], fieldCount > 18 ? QStringLiteral("Mitteiler: Herr Meier") : QString());
        QCOMPARE(alarm->units().size(), fieldCount > 14 ? 2 : 0);
        QCOMPARE(alarm->indicatorOn(), fieldCount > 15);
        QCOMPARE(alarm->hasCoordinates(), fieldCount > 16);
        if (fieldCount == 17)
            QCOMPARE(alarm->coordinates(), QStringLiteral("51.5,"));
    }

    void secondWordEmptiedWithoutSpace_data()
    {
        QTest::addColumn<QString>("field2");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::newRow("two words") << "RD 1" << "RD" << "1";
        QTest::newRow("one word") << "RD" << "RD" << "";
        QTest::newRow("empty") << "" << "" << "";
        QTest::newRow("three words") << "A B C" << "A" << "B";
        QTest::newRow("leading space") << " B" << "" << "B";
    }

    void secondWordEmptiedWithoutSpace()
    {
        QFETCH(QString, field2);
        QFETCH(QString, first);
        QFETCH(QString, second);
        QStringList f = fullFields();
        f[2] = field2;
        const auto alarm = StationAlarm::parse(message(f));
        QCOMPARE(alarm->firstWord(), first);
        QCOMPARE(alarm->secondWord(), second);
    }

    void indicator_data()
    {
        QTest::addColumn<QString>("field15");
        QTest::addColumn<bool>("on");
        QTest::newRow("1") << "1" << true;
        QTest::newRow("0") << "0" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("letters") << "ja" << false;
        QTest::newRow("leading number") << "2x" << true;
        QTest::newRow("zero point zero") << "0.0" << false;
        QTest::newRow("fraction") << "0.5" << true;
        QTest::newRow("negative") << "-1" << true;
        QTest::newRow("comma is not a point") << "0,5" << false;
    }

    void indicator()
    {
        QFETCH(QString, field15);
        QFETCH(bool, on);
        QStringList f = fullFields();
        f[15] = field15;
        QCOMPARE(StationAlarm::parse(message(f))->indicatorOn(), on);
    }

    void mapPosition_data()
    {
        QTest::addColumn<QString>("lat");
        QTest::addColumn<QString>("lng");
        QTest::addColumn<bool>("coordinates");
        QTest::addColumn<QString>("expected");
        QTest::newRow("commas") << "51,5" << "7,4" << true << "51.5,7.4";
        QTest::newRow("points") << "51.5" << "7.4" << true << "51.5,7.4";
        QTest::newRow("several commas") << "51,5,1" << "7" << true << "51.5.1,7";
        QTest::newRow("no latitude: address") << "" << "7,4" << false << "44135 Dortmund,Hauptstraße 5a";
    }

    void mapPosition()
    {
        QFETCH(QString, lat);
        QFETCH(QString, lng);
        QFETCH(bool, coordinates);
        QFETCH(QString, expected);
        QStringList f = fullFields();
        f[16] = lat;
        f[17] = lng;
        const auto alarm = StationAlarm::parse(message(f));
        QCOMPARE(alarm->hasCoordinates(), coordinates);
        QCOMPARE(coordinates ? alarm->coordinates() : alarm->address(), expected);
    }

    void addressWithMissingStreet()
    {
        const auto alarm = StationAlarm::parse(message(fullFields().mid(0, 7)));
        QCOMPARE(alarm->address(), QStringLiteral("44135 Dortmund, "));
    }

    void coordinateNumbers_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("plain") << 48.1372 << "48.1372";
        QTest::newRow("whole") << 7.0 << "7";
        QTest::newRow("negative") << -122.4194 << "-122.4194";
        QTest::newRow("tiny, no exponent") << 0.00001 << "0.00001";
        QTest::newRow("zero") << 0.0 << "0";
        QTest::newRow("fifteen digits") << 51.123456789012345 << "51.1234567890123";
    }

    void coordinateNumbers()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(coordinateNumberText(value), text);
    }

    void unitList_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QStringList>("units");
        QTest::newRow("two with markers") << QStringLiteral("LF 1(A)\aRTW(D)\a") << QStringList{"LF 1(A)", "RTW(D)"};
        QTest::newRow("no bell") << QStringLiteral("LF 1") << QStringList{};
        QTest::newRow("empty") << QString() << QStringList{};
        QTest::newRow("text after last bell is not a unit") << QStringLiteral("A\aB") << QStringList{"A"};
        QTest::newRow("empty unit") << QStringLiteral("\a") << QStringList{""};
    }

    void unitList()
    {
        QFETCH(QString, field);
        QFETCH(QStringList, units);
        QCOMPARE(UnitList::split(field), units);
    }

    void unitSoundFile_data()
    {
        QTest::addColumn<QString>("unit");
        QTest::addColumn<QString>("file"); // empty: no sound
        QTest::newRow("plain") << "RTW 1" << "/prog/RTW 1.wav";
        QTest::newRow("D") << "RTW(D)" << "/prog/RTW.wav";
        QTest::newRow("A") << "LF 1(A)" << "/prog/LF 1.wav";
        QTest::newRow("both") << "X(D)(A)" << "/prog/X.wav";
        QTest::newRow("umlaut") << "Löschzug" << "/prog/Löschzug.wav";
        QTest::newRow("slash") << "../etc/passwd" << "";
        QTest::newRow("slash inside") << "HLF/20" << "";
        QTest::newRow("backslash") << "HLF\\20" << "";
        QTest::newRow("dot dot") << ".." << "";
        QTest::newRow("dot dot hidden by a marker") << ".(D)." << "";
        QTest::newRow("NUL") << QStringLiteral("RTW") + QChar(0) << "";
        QTest::newRow("tab") << "RTW\t1" << "";
        QTest::newRow("line break") << "RTW\r\n" << "";
        QTest::newRow("marker only") << "(D)" << "";
        QTest::newRow("empty") << "" << "";
    }

    void unitSoundFile()
    {
        QFETCH(QString, unit);
        QFETCH(QString, file);
        const std::optional<QString> path = UnitList::soundFile(QStringLiteral("/prog"), unit);
        QCOMPARE(path.value_or(QString()), file);
    }

    void markersAreNotTakenFromTheFolder()
    {
        QCOMPARE(UnitList::soundFile(QStringLiteral("/opt/Wache(D)"), QStringLiteral("RTW(D)")).value_or(QString()),
                 QStringLiteral("/opt/Wache(D)/RTW.wav"));
    }

    // Each block switched on alone, with its exact text.
    void speechBlocks_data()
    {
        QTest::addColumn<QString>("flag");
        QTest::addColumn<QString>("text");
        const QString units = QStringLiteral("LF 1(A)\r\nRTW(D)\r\n");
        QTest::newRow("lead") << "SpeakLeadText" << "Achtung\r\n\r\n";
        QTest::newRow("incident type") << "SpeakIncidentType" << "Brand Wohnung\r\n\r\n";
        QTest::newRow("keyword") << "SpeakKeyword" << "F2\r\n\r\n";
        QTest::newRow("town") << "SpeakTown" << "Dortmund\r\n\r\n";
        QTest::newRow("street") << "SpeakStreet" << "Hauptstraße\r\n\r\n5a\r\n\r\n";
        QTest::newRow("supplement") << "SpeakSupplement" << "3. OG\r\n\r\n";
        QTest::newRow("district") << "SpeakDistrict" << "Stadtteil \r\n\r\nMitte\r\n\r\n";
        QTest::newRow("object") << "SpeakObject" << "Objekt \r\n\r\nRathaus\r\n\r\n";
        QTest::newRow("outside") << "SpeakOutsideTown" << "Außerhalb \r\n\r\nWaldweg\r\n\r\n";
        QTest::newRow("units") << "SpeakUnits"
                               << QStringLiteral("Alarmiert sind\r\n") + units
                + QStringLiteral("Ich wiederhole         Alarmiert sind\r\n") + units + QStringLiteral("\r\n");
        QTest::newRow("trail") << "SpeakTrailText" << "Ende\r\n\r\n";
        QTest::newRow("nothing") << "" << "";
    }

    void speechBlocks()
    {
        QFETCH(QString, flag);
        QFETCH(QString, text);
        Settings s;
        s.LeadText = QStringLiteral("Achtung");
        s.TrailText = QStringLiteral("Ende");
        const std::pair<const char*, qint16*> flags[] = {
            {"SpeakLeadText", &s.SpeakLeadText}, {"SpeakTrailText", &s.SpeakTrailText},
            {"SpeakIncidentType", &s.SpeakIncidentType}, {"SpeakKeyword", &s.SpeakKeyword},
            {"SpeakTown", &s.SpeakTown}, {"SpeakStreet", &s.SpeakStreet},
            {"SpeakSupplement", &s.SpeakSupplement}, {"SpeakDistrict", &s.SpeakDistrict},
            {"SpeakObject", &s.SpeakObject}, {"SpeakOutsideTown", &s.SpeakOutsideTown},
            {"SpeakUnits", &s.SpeakUnits}};
        for (const auto& [name, value] : flags)
            *value = flag == QLatin1String(name) ? 1 : 0;
        QCOMPARE(StationAlarm::parse(message(fullFields()))->speechText(s), text);
        // A flag other than 1 is off.
        for (const auto& [name, value] : flags)
            *value = flag == QLatin1String(name) ? 2 : 0;
        QCOMPARE(StationAlarm::parse(message(fullFields()))->speechText(s), QString());
    }

    void allBlocksInOrder()
    {
        const QString units = QStringLiteral("LF 1(A)\r\nRTW(D)\r\n");
        const QString expected = QStringLiteral("Achtung\r\n\r\nBrand Wohnung\r\n\r\nF2\r\n\r\nDortmund\r\n\r\n"
                                                "Hauptstraße\r\n\r\n5a\r\n\r\n3. OG\r\n\r\n"
                                                "Stadtteil \r\n\r\nMitte\r\n\r\nObjekt \r\n\r\nRathaus\r\n\r\n"
                                                "Außerhalb \r\n\r\nWaldweg\r\n\r\nAlarmiert sind\r\n")
            + units + QStringLiteral("Ich wiederhole         Alarmiert sind\r\n") + units
            + QStringLiteral("\r\nEnde\r\n\r\n");
        QCOMPARE(StationAlarm::parse(message(fullFields()))->speechText(allSpoken()), expected);
    }

    // Conditional blocks vanish with an empty or missing field; the others speak it as empty.
    void speechWithMissingFields()
    {
        Settings s = allSpoken();
        s.SpeakLeadText = s.SpeakTrailText = 0;
        QCOMPARE(StationAlarm::parse(message(fullFields().mid(0, 7)))->speechText(s),
                 QStringLiteral("Brand Wohnung\r\n\r\nF2\r\n\r\nDortmund\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n"));
    }

    void outsideTownWithoutObject()
    {
        Settings s;
        s.SpeakOutsideTown = 1;
        s.SpeakObject = 0;
        const QString text = StationAlarm::parse(message(fullFields()))->speechText(s);
        QVERIFY(text.contains(QStringLiteral("Außerhalb ")));
        QVERIFY(!text.contains(QStringLiteral("Objekt ")));
    }

    void noUnitsNoUnitBlock()
    {
        Settings s;
        s.SpeakUnits = 1;
        QStringList f = fullFields();
        f[14] = QStringLiteral("LF 1");
        QCOMPARE(StationAlarm::parse(message(f))->speechText(s), QString());
    }
};

QTEST_GUILESS_MAIN(StationAlarmTest)
#include "tst_StationAlarm.moc"
