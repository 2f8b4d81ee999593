#include "log/TickerCells.h"
#include "log/TickerRecord.h"
#include "log/TickerTime.h"

#include <QTest>

namespace {

const QChar kTab(9);
const QChar kBel(7);

// A stored ticker line from its seven subfields.
QString line(const QStringList& subfields, const QString& more = QString())
{
    return QStringLiteral("WACHALARM_TICKER") + kTab + subfields.join(kBel) + more;
}

} // namespace

class TickerCellsTest : public QObject {
    Q_OBJECT

private slots:
    void recordFromLine_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("expected"); // sender, ea, timeLine1, timeLine2, fromName, headline, body
        QTest::addColumn<int>("count");

        const QStringList full{"ILS Nord", "EA 4711", "06.12.2026", "12:07:44", "Meier", "Brand", "Text"};
        QTest::newRow("complete") << line(full) << full << 7;
        QTest::newRow("fields after field 1 are stored, not read")
            << line(full, kTab + QStringLiteral("extra") + kTab + QStringLiteral("more")) << full << 7;
        QTest::newRow("subfields beyond the seventh are ignored")
            << line(full + QStringList{"eighth", "ninth"}) << full << 7;
        QTest::newRow("values are not trimmed") << line({" a ", "b ", "", "", "", "", "  "})
                                                << QStringList{" a ", "b ", "", "", "", "", "  "} << 7;
        QTest::newRow("a TAB ends the record") << line({" a ", "\tb", "", "", "", "", "  "})
                                               << QStringList{" a ", "", "", "", "", "", ""} << 2;
        QTest::newRow("three subfields") << line({"S", "E", "T1"}) << QStringList{"S", "E", "T1", "", "", "", ""}
                                         << 3;
        QTest::newRow("empty record") << QStringLiteral("WACHALARM_TICKER\t")
                                      << QStringList{"", "", "", "", "", "", ""} << 1;
        QTest::newRow("no field 1") << QStringLiteral("WACHALARM_TICKER") << QStringList{"", "", "", "", "", "", ""}
                                    << 0;
        QTest::newRow("garbage") << QStringLiteral("\x01\x02<<>>\x07\x07") << QStringList{"", "", "", "", "", "", ""}
                                 << 0;
    }

    void recordFromLine()
    {
        QFETCH(QString, line);
        QFETCH(QStringList, expected);
        QFETCH(int, count);
        const TickerRecord r = TickerRecord::fromLine(line);
        QCOMPARE((QStringList{r.sender, r.ea, r.timeLine1, r.timeLine2, r.fromName, r.headline, r.body}), expected);
        QCOMPARE(r.subfieldCount, count);
    }

    // The "Text" cell for every combination of empty and non-empty headline, fromName and body.
    void textCell_data()
    {
        QTest::addColumn<QString>("headline");
        QTest::addColumn<QString>("fromName");
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("expected");

        const QString a = QStringLiteral("<font Arial;10><fgcolor=0000FF><B>Brand 3</FONT></fgcolor><BR>");
        const QString b = QStringLiteral("<font Arial;10><fgcolor=0A682B><B><i>Von: Meier</FONT></fgcolor><BR>");
        const QString c = QStringLiteral("<font Arial;10><fgcolor=000000><B>Lage unklar</FONT></fgcolor>");
        const QString cEmpty = QStringLiteral("<font Arial;10><fgcolor=000000><B></FONT></fgcolor>");
        for (int mask = 0; mask < 8; ++mask) {
            const bool h = mask & 1, f = mask & 2, t = mask & 4;
            QTest::addRow("headline %d, from %d, body %d", h, f, t)
                << (h ? "Brand 3" : "") << (f ? "Meier" : "") << (t ? "Lage unklar" : "")
                << (h ? a : QString()) + (f ? b : QString()) + (t ? c : cEmpty);
        }

        QTest::newRow("<CR> in the body becomes a break in bold black")
            << "" << "" << "erste Zeile<CR>zweite Zeile"
            << "<font Arial;10><fgcolor=000000><B>erste Zeile<BR><font Arial;10><fgcolor=000000><B>zweite "
               "Zeile</FONT></fgcolor>";
        QTest::newRow("every <CR>, at the ends too")
            << "" << "" << "<CR>a<CR><CR>b<CR>"
            << "<font Arial;10><fgcolor=000000><B><BR><font Arial;10><fgcolor=000000><B>a<BR><font "
               "Arial;10><fgcolor=000000><B><BR><font Arial;10><fgcolor=000000><B>b<BR><font "
               "Arial;10><fgcolor=000000><B></FONT></fgcolor>";
        QTest::newRow("lower-case twin stays") << "" << "" << "a<cr>b<Cr>c"
                                               << "<font Arial;10><fgcolor=000000><B>a<cr>b<Cr>c</FONT></fgcolor>";
        QTest::newRow("<CR> in headline and fromName stays")
            << "H<CR>1" << "F<CR>2" << "B"
            << "<font Arial;10><fgcolor=0000FF><B>H<CR>1</FONT></fgcolor><BR>"
               "<font Arial;10><fgcolor=0A682B><B><i>Von: F<CR>2</FONT></fgcolor><BR>"
               "<font Arial;10><fgcolor=000000><B>B</FONT></fgcolor>";
        QTest::newRow("markup in values is inserted unchanged")
            << "<img src=x>" << "<a href=y>" << "<table><B>"
            << "<font Arial;10><fgcolor=0000FF><B><img src=x></FONT></fgcolor><BR>"
               "<font Arial;10><fgcolor=0A682B><B><i>Von: <a href=y></FONT></fgcolor><BR>"
               "<font Arial;10><fgcolor=000000><B><table><B></FONT></fgcolor>";
    }

    void textCell()
    {
        QFETCH(QString, headline);
        QFETCH(QString, fromName);
        QFETCH(QString, body);
        QFETCH(QString, expected);
        TickerRecord r;
        r.headline = headline;
        r.fromName = fromName;
        r.body = body;
        QCOMPARE(TickerCells::zeige_alle_anderen_spalten(r, 1).caption[TickerCells::Text], expected);
        // The same through a stored line.
        const QString stored = line({"S", "E", "T1", "T2", fromName, headline, body});
        QCOMPARE(TickerCells::Append_Ticker(stored, 1).caption[TickerCells::Text], expected);
    }

    void timeCell_data()
    {
        QTest::addColumn<QString>("timeLine1");
        QTest::addColumn<QString>("timeLine2");
        QTest::addColumn<QString>("expected");
        QTest::newRow("seconds cut off") << "06.12.2026" << "14:35:12"
                                         << "<font Arial;8><fgcolor=000000>06.12.2026<BR><font "
                                            "Arial;8><fgcolor=000000><B>14:35</B></FONT></fgcolor>";
        QTest::newRow("shorter than five shows whole")
            << "x" << "9:5" << "<font Arial;8><fgcolor=000000>x<BR><font Arial;8><fgcolor=000000><B>9:5</B></FONT></fgcolor>";
        QTest::newRow("exactly five") << "" << "12:07"
                                      << "<font Arial;8><fgcolor=000000><BR><font "
                                         "Arial;8><fgcolor=000000><B>12:07</B></FONT></fgcolor>";
        QTest::newRow("both empty")
            << "" << "" << "<font Arial;8><fgcolor=000000><BR><font Arial;8><fgcolor=000000><B></B></FONT></fgcolor>";
    }

    void timeCell()
    {
        QFETCH(QString, timeLine1);
        QFETCH(QString, timeLine2);
        QFETCH(QString, expected);
        const QString stored = line({"S", "E", timeLine1, timeLine2, "", "", ""});
        QCOMPARE(TickerCells::Append_Ticker(stored, 3).caption[TickerCells::Zeit], expected);
    }

    void otherCells()
    {
        const TickerCells cells
            = TickerCells::Append_Ticker(line({"ILS Nord", "4711", "06.12.2026", "12:07:44", "", "", "b"}), 40000);
        QCOMPARE(cells.caption[TickerCells::Nr], QStringLiteral("40000"));
        QCOMPARE(cells.caption[TickerCells::Absender],
                 QStringLiteral("<font Arial;10><fgcolor=000000><B>ILS Nord</FONT></fgcolor>"));
        QCOMPARE(cells.caption[TickerCells::EA], QStringLiteral("<font Arial;10><fgcolor=000000><B>4711</FONT></fgcolor>"));
        QVERIFY(!TickerCells::isMarkup(TickerCells::Nr));
        for (int c = 1; c < TickerCells::ColumnCount; ++c)
            QVERIFY(TickerCells::isMarkup(c));
        QCOMPARE((QStringList{TickerCells::heading(0), TickerCells::heading(1), TickerCells::heading(2),
                              TickerCells::heading(3), TickerCells::heading(4)}),
                 (QStringList{"Nr", "Zeit", "Absender", "EA", "Text"}));
    }

    // A line that cannot be read as a record still gives a whole row: what it has, the rest empty.
    void malformedLineGivesRowWithWhatItHas()
    {
        const TickerCells noRecord = TickerCells::Append_Ticker(QStringLiteral("WACHALARM_TICKER"), 5);
        QCOMPARE(noRecord.caption[TickerCells::Nr], QStringLiteral("5"));
        QCOMPARE(noRecord.caption[TickerCells::Absender],
                 QStringLiteral("<font Arial;10><fgcolor=000000><B></FONT></fgcolor>"));
        QCOMPARE(noRecord.caption[TickerCells::Text],
                 QStringLiteral("<font Arial;10><fgcolor=000000><B></FONT></fgcolor>"));

        const TickerCells two = TickerCells::Append_Ticker(line({"Leitstelle", "EA 1"}), 6);
        QCOMPARE(two.caption[TickerCells::Absender],
                 QStringLiteral("<font Arial;10><fgcolor=000000><B>Leitstelle</FONT></fgcolor>"));
        QCOMPARE(two.caption[TickerCells::EA], QStringLiteral("<font Arial;10><fgcolor=000000><B>EA 1</FONT></fgcolor>"));
        QCOMPARE(two.caption[TickerCells::Text],
                 QStringLiteral("<font Arial;10><fgcolor=000000><B></FONT></fgcolor>"));
    }

    void timeOrder_data()
    {
        QTest::addColumn<QString>("earlier1");
        QTest::addColumn<QString>("earlier2");
        QTest::addColumn<QString>("later1");
        QTest::addColumn<QString>("later2");
        QTest::newRow("year before day") << "31.12.2025" << "23:59:59" << "01.01.2026" << "00:00:00";
        QTest::newRow("month before day") << "09.01.2026" << "12:00" << "1.2.2026" << "08:00";
        QTest::newRow("hours without leading zero") << "06.12.2026" << "9:05:00" << "06.12.2026" << "10:00:00";
        QTest::newRow("seconds count") << "06.12.2026" << "10:00:01" << "06.12.2026" << "10:00:02";
        QTest::newRow("no seconds is :00") << "06.12.2026" << "10:00" << "06.12.2026" << "10:00:01";
        QTest::newRow("two-digit year") << "31.12.25" << "10:00" << "01.01.2026" << "09:00";
        QTest::newRow("leading blank") << " 5.12.2026" << "10:00" << "06.12.2026" << "09:00";
        QTest::newRow("a readable date before text") << "06.12.2026" << "" << "gestern" << "";
        QTest::newRow("three-digit year is text") << "06.12.2026" << "" << "06.12.202" << "";
        QTest::newRow("free text compares as text") << "Montag" << "a" << "Montag" << "b";
        QTest::newRow("unreadable time after readable") << "06.12.2026" << "12:00" << "06.12.2026" << "mittags";
    }

    void timeOrder()
    {
        QFETCH(QString, earlier1);
        QFETCH(QString, earlier2);
        QFETCH(QString, later1);
        QFETCH(QString, later2);
        const QByteArray a = line({"S", "E", earlier1, earlier2, "", "", ""}).toLatin1();
        const QByteArray b = line({"S", "E", later1, later2, "", "", ""}).toLatin1();
        QVERIFY(TickerTime::ofLine(a) < TickerTime::ofLine(b));
        QVERIFY(!(TickerTime::ofLine(b) < TickerTime::ofLine(a)));
    }

    void timeOfLine()
    {
        const QByteArray full = line({"S", "E", "6.12.2026", "12:07:44", "", "", ""}).toLatin1();
        const TickerTime t = TickerTime::ofLine(full);
        QCOMPARE(t.date, 20261206);
        QCOMPARE(t.time, 120744);
        QCOMPARE(t.dateText, QByteArrayView("6.12.2026"));
        // Lines without the subfields: nothing readable, nothing to crash on.
        for (const QByteArray& bad : {QByteArray("WACHALARM_TICKER"), QByteArray("WACHALARM_TICKER\tS\x07" "E"),
                                      QByteArray("WACHALARM_TICKER\tS\x07" "E\x07" "6.12.2026"), QByteArray()}) {
            const TickerTime u = TickerTime::ofLine(bad);
            QCOMPARE(u.time, -1);
        }
        QCOMPARE(TickerTime::ofLine("WACHALARM_TICKER\tS\x07" "E\x07" "6.12.2026").date, 20261206);
        QVERIFY(TickerTime::ofLine(QByteArray()) == TickerTime::ofLine("x\ty"));
    }
};

QTEST_GUILESS_MAIN(TickerCellsTest)
#include "tst_TickerCells.moc"
