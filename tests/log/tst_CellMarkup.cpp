#include "log/CellMarkup.h"

#include <QTest>

Q_DECLARE_METATYPE(MarkupStyle)

namespace {

// A style from a short description: size, colour (-1 for none), "b" and "i".
MarkupStyle st(int size, qint64 colour = -1, const char* flags = "")
{
    MarkupStyle s;
    s.pointSize = size;
    s.hasColour = colour >= 0;
    s.colour = colour >= 0 ? static_cast<quint32>(colour) : 0;
    s.bold = std::strchr(flags, 'b') != nullptr;
    s.italic = std::strchr(flags, 'i') != nullptr;
    return s;
}

MarkupRun text(const QString& t, MarkupStyle s = {})
{
    return MarkupRun{t, s, false};
}

MarkupRun br(MarkupStyle s = {})
{
    return MarkupRun{QString(), s, true};
}

QString describe(const QList<MarkupRun>& runs)
{
    QStringList parts;
    for (const MarkupRun& r : runs) {
        parts << QStringLiteral("%1[%2 %3 %4%5]")
                     .arg(r.lineBreak ? QStringLiteral("BR") : QLatin1Char('"') + r.text + QLatin1Char('"'))
                     .arg(r.style.pointSize)
                     .arg(r.style.hasColour ? QString::number(r.style.colour, 16) : QStringLiteral("-"))
                     .arg(r.style.bold ? "b" : "")
                     .arg(r.style.italic ? "i" : "");
    }
    return parts.join(QLatin1Char(' '));
}

} // namespace

class CellMarkupTest : public QObject {
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QString>("markup");
        QTest::addColumn<QList<MarkupRun>>("expected");

        QTest::newRow("plain") << "Einsatz" << QList<MarkupRun>{text("Einsatz")};
        QTest::newRow("empty") << "" << QList<MarkupRun>{};
        QTest::newRow("sender cell")
            << "<font Arial;10><fgcolor=000000><B>ILS</FONT></fgcolor>" << QList<MarkupRun>{text("ILS", st(10, 0, "b"))};
        QTest::newRow("time cell")
            << "<font Arial;8><fgcolor=000000>06.12.2026<BR><font Arial;8><fgcolor=000000><B>12:07</B></FONT></fgcolor>"
            << QList<MarkupRun>{text("06.12.2026", st(8, 0)), br(st(8, 0)), text("12:07", st(8, 0, "b"))};
        // The green line's <i> is never closed: the body after it is italic too, and bold stays on
        // from the headline's unclosed <B>.
        QTest::newRow("text cell")
            << "<font Arial;10><fgcolor=0000FF><B>Brand</FONT></fgcolor><BR>"
               "<font Arial;10><fgcolor=0A682B><B><i>Von: Meier</FONT></fgcolor><BR>"
               "<font Arial;10><fgcolor=000000><B>Lage<BR><font Arial;10><fgcolor=000000><B>klar</FONT></fgcolor>"
            << QList<MarkupRun>{text("Brand", st(10, 0x0000FF, "b")),  br(st(0, -1, "b")),
                                text("Von: Meier", st(10, 0x0A682B, "bi")), br(st(0, -1, "bi")),
                                text("Lage", st(10, 0, "bi")),          br(st(10, 0, "bi")),
                                text("klar", st(10, 0, "bi"))};
        QTest::newRow("either letter case") << "<b>x</B><I>y</i><Font arial;10>z</font><FGCOLOR=0a682b>w</FgColor><bR>"
                                            << QList<MarkupRun>{text("x", st(0, -1, "b")), text("y", st(0, -1, "i")),
                                                                text("z", st(10)), text("w", st(0, 0x0A682B)), br()};
        QTest::newRow("closed in another order")
            << "<B><i><fgcolor=FF0000>a</B>b</fgcolor>c</i>d"
            << QList<MarkupRun>{text("a", st(0, 0xFF0000, "bi")), text("b", st(0, 0xFF0000, "i")), text("c", st(0, -1, "i")),
                                text("d")};
        QTest::newRow("closing brings back the outer value")
            << "<fgcolor=0000FF>a<fgcolor=00FF00>b</fgcolor>c<font Arial;8>d<font Arial;10>e</font>f"
            << QList<MarkupRun>{text("a", st(0, 0x0000FF)), text("b", st(0, 0x00FF00)), text("c", st(0, 0x0000FF)),
                                text("d", st(8, 0x0000FF)), text("e", st(10, 0x0000FF)), text("f", st(8, 0x0000FF))};
        QTest::newRow("closing tag without an open one does nothing")
            << "</B></i></FONT></fgcolor>x" << QList<MarkupRun>{text("x")};
        QTest::newRow("any six hex digits") << "<fgcolor=abcDEF>x" << QList<MarkupRun>{text("x", st(0, 0xABCDEF))};

        // Everything that is not one of the tags is text.
        QTest::newRow("image") << "<img src=\"/etc/passwd\">" << QList<MarkupRun>{text("<img src=\"/etc/passwd\">")};
        QTest::newRow("link") << "<a href=\"http://x\">klick</a>" << QList<MarkupRun>{text("<a href=\"http://x\">klick</a>")};
        QTest::newRow("table") << "<table><tr><td>x</td></tr></table>"
                               << QList<MarkupRun>{text("<table><tr><td>x</td></tr></table>")};
        QTest::newRow("style sheet") << "<style>td{color:red}</style><B>x"
                                     << QList<MarkupRun>{text("<style>td{color:red}</style>"), text("x", st(0, -1, "b"))};
        QTest::newRow("unterminated <") << "a < b <B" << QList<MarkupRun>{text("a < b <B")};
        QTest::newRow("< before a tag") << "<<B>x>" << QList<MarkupRun>{text("<"), text("x>", st(0, -1, "b"))};
        QTest::newRow("other fonts") << "<font Courier;10>x<font Arial;12>y<font Arial;10 >z"
                                     << QList<MarkupRun>{text("<font Courier;10>x<font Arial;12>y<font Arial;10 >z")};
        QTest::newRow("bad colours") << "<fgcolor=12345>a<fgcolor=1234567>b<fgcolor=GGGGGG>c<fgcolor=#12345>d"
                                     << QList<MarkupRun>{text("<fgcolor=12345>a<fgcolor=1234567>b<fgcolor=GGGGGG>c<fgcolor=#12345>d")};
        QTest::newRow("tags with blanks") << "< B>x<B >y<BR/>" << QList<MarkupRun>{text("< B>x<B >y<BR/>")};
        QTest::newRow("entities stay") << "&lt;B&gt; &amp;" << QList<MarkupRun>{text("&lt;B&gt; &amp;")};
        QTest::newRow("lower-case cr marker") << "a<cr>b" << QList<MarkupRun>{text("a<cr>b")};
        QTest::newRow("control characters show as blanks")
            << QStringLiteral("a\tb\r\nc\x01") + QChar(0x2028) + QChar(0x85)
            << QList<MarkupRun>{text("a b  c   ")};
    }

    void parse()
    {
        QFETCH(QString, markup);
        QFETCH(QList<MarkupRun>, expected);
        const QList<MarkupRun> runs = CellMarkup::parse(markup);
        QCOMPARE(describe(runs), describe(expected));
        QCOMPARE(runs, expected);
    }

    void longCellIsCut()
    {
        const QString body = QString(50000, QLatin1Char('x'));
        const QList<MarkupRun> runs = CellMarkup::parse(QStringLiteral("<B>") + body, 100);
        QCOMPARE(runs.size(), 1);
        QCOMPARE(runs[0].text, QString(100, QLatin1Char('x')) + QChar(0x2026));
        QVERIFY(runs[0].style.bold);

        // Breaks count as shown characters, tags as work: neither can make a cell unbounded.
        QString breaks;
        for (int i = 0; i < 5000; ++i)
            breaks += QStringLiteral("<BR>");
        QCOMPARE(CellMarkup::parse(breaks, 100).size(), 101);
        QString tags;
        for (int i = 0; i < 5000; ++i)
            tags += QStringLiteral("<B>");
        const QList<MarkupRun> tagRuns = CellMarkup::parse(tags + QStringLiteral("x"), 100);
        QCOMPARE(CellMarkup::plainText(tagRuns), QString(QChar(0x2026)));

        // The text exactly at the limit is not cut.
        QCOMPARE(CellMarkup::plainText(CellMarkup::parse(QStringLiteral("<B>abc</B>"), 3)), QStringLiteral("abc"));
    }

    void tenMegabytes()
    {
        const QString huge = QStringLiteral("<font Arial;10><B>") + QString(10 * 1024 * 1024, QLatin1Char('<'));
        const QList<MarkupRun> runs = CellMarkup::parse(huge);
        QCOMPARE(CellMarkup::plainText(runs).size(), CellMarkup::MaxShownCharacters + 1);
    }

    void plainTextAndToolTip()
    {
        const QString markup = QStringLiteral("<font Arial;10><fgcolor=0000FF><B>Brand & <Rauch></FONT></fgcolor><BR>"
                                              "<font Arial;10><fgcolor=000000><B><img src=x></FONT></fgcolor>");
        QCOMPARE(CellMarkup::plainText(CellMarkup::parse(markup)), QStringLiteral("Brand & <Rauch>\n<img src=x>"));
        QCOMPARE(CellMarkup::toolTip(markup),
                 QStringLiteral("<qt>Brand &amp; &lt;Rauch&gt;<br>&lt;img src=x&gt;</qt>"));
        QCOMPARE(CellMarkup::toolTip(QStringLiteral("<B></B>")), QString());
    }
};

QTEST_GUILESS_MAIN(CellMarkupTest)
#include "tst_CellMarkup.moc"
