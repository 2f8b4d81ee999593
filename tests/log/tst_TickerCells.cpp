#include "log/CellMarkup.h"
#include "log/TickerCells.h"
#include "tests/support/DataRows.h"

#include <QTest>

namespace {

// Runs as text: "text[size colour flags]", a line break as "BR[...]".
QString describe(QStringView markup, qsizetype limit = CellMarkup::MaxShownCharacters)
{
    QStringList parts;
    for (const MarkupRun& r : CellMarkup::parse(markup, limit))
        parts << QStringLiteral("%1[%2 %3 %4]")
                     .arg(r.lineBreak ? "BR" : r.text)
                     .arg(r.style.pointSize)
                     .arg(r.style.hasColour ? QString::number(r.style.colour, 16) : "-",
                         QString(r.style.bold ? "b" : "") + (r.style.italic ? "i" : ""));
    return parts.join(' ');
}

} // namespace

class TickerCellsTest : public QObject {
    Q_OBJECT

private slots:
    // What the cells "Zeit", "Absender", "EA" and "Text" of one stored line show.
    void cells_data()
    {
        columns<QStringList, QStringList>("subfields", "shown");
        const QString from = "Von: Meier[10 a682b bi] BR[0 - bi] ";
        row("complete: blue headline, green sender, italic body",
            QStringList { "ILS", "4711", "06.12.2026", "14:35:12", "Meier", "Brand", "Lage" },
            QStringList { "06.12.2026[8 0 ] BR[8 0 ] 14:35[8 0 b]", "ILS[10 0 b]", "4711[10 0 b]",
                "Brand[10 ff b] BR[0 - b] " + from + "Lage[10 0 bi]" });
        row("no headline, no sender: the body alone; a short time whole; a TAB ends the record",
            QStringList { "S", "E", "x", "9:5", "", "", "Lage\tmore" },
            QStringList { "x[8 0 ] BR[8 0 ] 9:5[8 0 b]", "S[10 0 b]", "E[10 0 b]", "Lage[10 0 b]" });
        row("<CR> breaks the body only, in its exact case",
            QStringList { "S", "E", "", "", "F<CR>", "", "a<CR><cr>b<CR>" },
            QStringList { "BR[8 0 ]", "S[10 0 b]", "E[10 0 b]",
                "Von: F<CR>[10 a682b bi] BR[0 - bi] a[10 0 bi] BR[10 0 bi] <cr>b[10 0 bi] BR[10 0 bi]" });
        row("values as they stand, markup too; further subfields ignored",
            QStringList { " a ", "<i>x", "", "", "", "", "<img src=x>", "8th\tmore" },
            QStringList { "BR[8 0 ]", " a [10 0 b]", "x[10 0 bi]", "<img src=x>[10 0 b]" });
        row("no record", QStringList {}, QStringList { "BR[8 0 ]", "", "", "" });
    }
    void cells()
    {
        auto [subfields, shown] = fetch<QStringList, QStringList>("subfields", "shown");
        const TickerCells cells = TickerCells::Append_Ticker(
            "WACHALARM_TICKER" + (subfields.isEmpty() ? QString() : '\t' + subfields.join(QChar(7))), 40000);
        QStringList described { cells.caption[TickerCells::Nr] };
        for (int c = 1; c < TickerCells::ColumnCount; ++c)
            described << describe(cells.caption[c]);
        QCOMPARE(described, QStringList { "40000" } + shown);
    }

    // Only the list's own tags take effect, in any letter case and order; all else is text.
    void markup_data()
    {
        columns<QString, QString>("markup", "runs");
        row("any letter case, a < before a tag",
            "<<b>x</B><I>y</i><Font arial;8>z</font><FGCOLOR=0a682b>w</FgColor><bR>",
            "<[0 - ] x[0 - b] y[0 - i] z[8 - ] w[0 a682b ] BR[0 - ]");
        row("closed in another order, closing brings back the outer value",
            "<B><fgcolor=FF0000>a<fgcolor=00ff00>b</fgcolor>c</B>d</fgcolor></i>e",
            "a[0 ff0000 b] b[0 ff00 b] c[0 ff0000 b] d[0 ff0000 ] e[0 - ]");
        const QString foreign = "<img src=\"/etc/passwd\"><a href=\"http://x\">k</a><style>*{}</style>< B><BR/>"
                                "<font Courier;10><font Arial;12><fgcolor=12345><fgcolor=GGGGGG>a < b &lt;";
        row("foreign tags, links, images, near misses, entities are text; control characters blanks",
            foreign + "\t\r\n\x01" + QChar(0x2028), foreign + "     [0 - ]");
    }
    void markup()
    {
        auto [markup, runs] = fetch<QString, QString>("markup", "runs");
        QCOMPARE(describe(markup), runs);
    }

    void hugeCellsAreCut()
    {
        QCOMPARE(describe(QString("<B>" + QString(50000, 'x')), 3), QStringLiteral("xxx\u2026[0 - b]"));
        QCOMPARE(CellMarkup::parse(QString("<BR>").repeated(5000), 100).size(), 101);
        QCOMPARE(describe(QString("<B>").repeated(5000) + "x", 100), QStringLiteral("\u2026[0 - b]")); // tags are work
        QCOMPARE(CellMarkup::toolTip(u"<B>Brand & <Rauch><BR><img src=x>"),
            QStringLiteral("<qt>Brand &amp; &lt;Rauch&gt;<br>&lt;img src=x&gt;</qt>"));
    }
};

QTEST_GUILESS_MAIN(TickerCellsTest)
#include "tst_TickerCells.moc"
