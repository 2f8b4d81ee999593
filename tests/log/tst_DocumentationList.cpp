#include "app/Form1.h"
#include "common/AppContext.h"
#include "common/CodePage.h"
#include "log/DocumentationList.h"
#include "log/MarkupDelegate.h"
#include "log/TickerModel.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QPainter>
#include <QStandardItemModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>

namespace {

const QColor kBlue(0, 0, 255);
const QColor kGreen(10, 104, 43);
const QColor kBlack(0, 0, 0);

QString entry(const QString& sender, const QString& fromName, const QString& headline, const QString& body)
{
    return QStringLiteral("WACHALARM_TICKER\t%1\x07" "EA 7\x07" "06.12.2026\x07" "12:07:44\x07%2\x07%3\x07%4")
        .arg(sender, fromName, headline, body);
}

// The list's font without antialiasing, so that text is drawn in its exact colours.
QFont crispFont()
{
    QFont font(QStringLiteral("Arial"), 8);
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

// One cell painted by the delegate on white.
QImage renderCell(const QString& markup, QSize size = QSize(300, 120), bool isMarkup = true)
{
    QStandardItemModel model(1, 1);
    model.setData(model.index(0, 0), markup, Qt::DisplayRole);
    model.setData(model.index(0, 0), isMarkup, TickerModel::IsMarkupRole);
    MarkupDelegate delegate;
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QStyleOptionViewItem option;
    option.rect = QRect(QPoint(0, 0), size);
    option.font = crispFont();
    option.palette.setColor(QPalette::Text, Qt::black);
    option.palette.setColor(QPalette::Base, Qt::white);
    delegate.paint(&painter, option, model.index(0, 0));
    return image;
}

int countColour(const QImage& image, const QColor& colour, QRect area = QRect())
{
    if (area.isNull())
        area = image.rect();
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += image.pixelColor(x, y) == colour ? 1 : 0;
    return n;
}

// The rows (y) that hold ink, i.e. anything but the given background.
QList<int> inkRows(const QImage& image, const QColor& background = Qt::white)
{
    QList<int> rows;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixelColor(x, y) != background) {
                rows << y;
                break;
            }
        }
    }
    return rows;
}

// Bands of consecutive ink rows: one per line of text.
int inkBands(const QImage& image)
{
    const QList<int> rows = inkRows(image);
    int bands = 0;
    for (int i = 0; i < rows.size(); ++i)
        bands += (i == 0 || rows[i] != rows[i - 1] + 1) ? 1 : 0;
    return bands;
}

// Mean x of the ink in the rows [top, bottom).
double meanInkX(const QImage& image, int top, int bottom)
{
    double sum = 0;
    int n = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) != Qt::white) {
                sum += x;
                ++n;
            }
    return n ? sum / n : -1;
}

} // namespace

class DocumentationListTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_home;
    QString dataFolder() const { return m_home.path() + QStringLiteral("/Torvelle"); }

    void writeTicker(const QByteArray& bytes)
    {
        QVERIFY(QDir().mkpath(dataFolder()));
        QFile f(dataFolder() + QStringLiteral("/ticker.dat"));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        qputenv("XDG_DATA_HOME", m_home.path().toLocal8Bit());
    }

    void init()
    {
        QDir(dataFolder()).removeRecursively();
    }

    // What the renderer draws for each tag.
    void rendererColours()
    {
        const QImage img = renderCell(QStringLiteral("<fgcolor=0000FF><B>Blau</fgcolor><BR><fgcolor=0A682B>Gruen<BR>"
                                                     "</fgcolor>Schwarz"));
        QVERIFY(countColour(img, kBlue) > 20);
        QVERIFY(countColour(img, kGreen) > 20);
        QVERIFY(countColour(img, kBlack) > 20);
        // Nothing but the three colours on white: no other colour is mixed in.
        int other = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                const QColor c = img.pixelColor(x, y);
                other += (c != Qt::white && c != kBlue && c != kGreen && c != kBlack) ? 1 : 0;
            }
        QCOMPARE(other, 0);
        // Blue on the first line, green on the second, black on the third.
        const int blueTop = inkRows(renderCell(QStringLiteral("<fgcolor=0000FF>Blau"))).first();
        QVERIFY(countColour(img, kBlue, QRect(0, 0, 300, 15)) > 0);
        QCOMPARE(countColour(img, kGreen, QRect(0, 0, 300, blueTop + 8)), 0);
    }

    void rendererBoldItalicSizes()
    {
        const int normal = countColour(renderCell(QStringLiteral("WWWW mmmm")), kBlack);
        const int bold = countColour(renderCell(QStringLiteral("<B>WWWW mmmm</B>")), kBlack);
        QVERIFY2(bold > normal * 1.2, qPrintable(QStringLiteral("%1 %2").arg(bold).arg(normal)));
        // Upper-case tags, lower-case tags: the same picture.
        QCOMPARE(renderCell(QStringLiteral("<b>WWWW mmmm</b>")), renderCell(QStringLiteral("<B>WWWW mmmm</B>")));

        // Italic: the upright strokes lean to the right, so the ink of the top half stands further
        // right than that of the bottom half.
        const QString strokes = QStringLiteral("<font Arial;10>llllllllll");
        const QImage upright = renderCell(strokes);
        const QImage italic = renderCell(QStringLiteral("<i>") + strokes);
        const QList<int> rows = inkRows(italic);
        const int middle = (rows.first() + rows.last()) / 2;
        const double lean = meanInkX(italic, rows.first(), middle) - meanInkX(italic, middle, rows.last() + 1);
        const QList<int> uprightRows = inkRows(upright);
        const int uprightMiddle = (uprightRows.first() + uprightRows.last()) / 2;
        const double noLean = meanInkX(upright, uprightRows.first(), uprightMiddle)
            - meanInkX(upright, uprightMiddle, uprightRows.last() + 1);
        QVERIFY2(lean > 1.0 && std::abs(noLean) < 0.5, qPrintable(QStringLiteral("%1 %2").arg(lean).arg(noLean)));

        // Sizes: 10 points draw taller than 8 points.
        const QList<int> small = inkRows(renderCell(QStringLiteral("<font Arial;8>HHHH")));
        const QList<int> large = inkRows(renderCell(QStringLiteral("<font Arial;10>HHHH")));
        QVERIFY(large.size() > small.size());
        // The size ends with </FONT>, the outer one comes back.
        QCOMPARE(renderCell(QStringLiteral("<font Arial;10><font Arial;8></FONT>HHHH")),
                 renderCell(QStringLiteral("<font Arial;10>HHHH")));
    }

    void rendererLineBreaks()
    {
        // Capitals without descenders: one band of ink per line.
        QCOMPARE(inkBands(renderCell(QStringLiteral("EINS ZWEI DREI"))), 1);
        QCOMPARE(inkBands(renderCell(QStringLiteral("EINS<BR>ZWEI<br>DREI"))), 3);
        QCOMPARE(inkBands(renderCell(QStringLiteral("EINS<BR><BR>ZWEI"))), 2);
        QVERIFY(inkRows(renderCell(QStringLiteral("EINS<BR><BR>ZWEI"))).last()
                > inkRows(renderCell(QStringLiteral("EINS<BR>ZWEI"))).last());
        // The lower-case twin of the body's break marker is text, not a break.
        QCOMPARE(inkBands(renderCell(QStringLiteral("EINS<cr>ZWEI"))), 1);
        // A long line wraps within the cell.
        QCOMPARE(inkBands(renderCell(QStringLiteral("BRAND LAGERHALLE MEHRERE PERSONEN"), QSize(80, 200))), 4);
    }

    void rendererShowsForeignMarkupAsText()
    {
        // A tag that is not one of the list's own draws its characters: the same ink as the escaped
        // form in the list's own markup, which cannot be anything but text.
        const QImage tag = renderCell(QStringLiteral("<img src=\"x.png\">"));
        QVERIFY(countColour(tag, kBlack) > 50);
        const QImage table = renderCell(QStringLiteral("<table><tr><td>x</td></tr></table>"));
        QVERIFY(countColour(table, kBlack) > 100);
        QCOMPARE(inkBands(renderCell(QStringLiteral("<p>a</p><br/>b"))), 1);
    }

    void plainCaptionShowsAllDigits()
    {
        // "Nr" is plain text: markup in it is not read, and a long number in the 30-pixel column
        // keeps all its digits.
        QVERIFY(countColour(renderCell(QStringLiteral("<B>1"), QSize(60, 40), false), kBlack)
                > countColour(renderCell(QStringLiteral("1"), QSize(60, 40), false), kBlack) * 3);
        const QFont font = crispFont();
        QCOMPARE(MarkupDelegate::fittedFont(font, QStringLiteral("123"), 26).pointSizeF(), font.pointSizeF());
        for (const QString& number : {QStringLiteral("32768"), QStringLiteral("101000")}) {
            const QFont fitted = MarkupDelegate::fittedFont(font, number, 26);
            QVERIFY(fitted.pointSizeF() < font.pointSizeF());
            QVERIFY(QFontMetricsF(fitted).horizontalAdvance(number) <= 26);
        }
    }

    void hugeCellPaintsClipped()
    {
        const QString markup = QStringLiteral("<font Arial;10><B>") + QString(10 * 1024 * 1024, QLatin1Char('x'));
        QElapsedTimer clock;
        clock.start();
        const QImage img = renderCell(markup, QSize(300, 400));
        QVERIFY(countColour(img, kBlack) > 1000);
        // The height asked for the cell stays bounded.
        MarkupDelegate delegate;
        QStandardItemModel model(1, 1);
        model.setData(model.index(0, 0), markup, Qt::DisplayRole);
        model.setData(model.index(0, 0), true, TickerModel::IsMarkupRole);
        QStyleOptionViewItem option;
        option.font = crispFont();
        QCOMPARE(delegate.heightFor(option, model.index(0, 0), 300), MarkupDelegate::MaxCellHeight);
    }

    // The whole list in the window: start-up, look, messages, delete.
    void listInTheWindow()
    {
        writeTicker(CodePage::encode(entry("ILS Nord", "", "", "erste") + "\r\n\r\n"
                                     + entry("ILS Sued", "Meier", "Brand 3", "Zeile 1<CR>Zeile 2") + "\r\n"));
        AppContext ctx;
        Form1 form(ctx);
        form.List_Doku->setFont(crispFont());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.load();
        form.List_Doku->setFont(crispFont());

        QTableView* view = form.List_Doku;
        auto* model = qobject_cast<TickerModel*>(view->model());
        QVERIFY(model);
        QCOMPARE(model->rowCount(), 2);
        QCOMPARE(model->data(model->index(0, 0)).toString(), QStringLiteral("2"));
        QCOMPARE(model->data(model->index(1, 0)).toString(), QStringLiteral("1"));

        // Columns: headings and the widths of the window layout.
        QHeaderView* header = view->horizontalHeader();
        QStringList headings;
        QList<int> widths;
        for (int c = 0; c < 5; ++c) {
            headings << model->headerData(c, Qt::Horizontal).toString();
            widths << header->sectionSize(c);
        }
        QCOMPARE(headings, (QStringList{"Nr", "Zeit", "Absender", "EA", "Text"}));
        QCOMPARE(widths, (QList<int>{30, 70, 100, 100, view->width() - 320}));
        QCOMPARE(widths[4], 321);

        // The rows in view are sized to their content: the newest has four lines of text.
        QTRY_VERIFY(view->rowHeight(0) != DocumentationList::DefaultRowHeight);
        QVERIFY(view->rowHeight(0) > 3 * view->rowHeight(1) / 2);

        const QImage shot = view->grab().toImage();
        // The list's background, under the last row.
        const int belowRows = view->viewport()->mapTo(view, QPoint(0, view->rowViewportPosition(1) + view->rowHeight(1) + 5)).y();
        QCOMPARE(shot.pixelColor(view->width() / 2, belowRows), DocumentationList::Background);
        QCOMPARE(shot.pixelColor(view->width() / 2, 5), DocumentationList::HeaderBackground);
        // The newest row's Text cell: a blue headline and a green "Von:" line.
        const QRect textCell = view->visualRect(model->index(0, 4)).translated(view->viewport()->pos());
        QVERIFY(countColour(shot, kBlue, textCell) > 20);
        QVERIFY(countColour(shot, kGreen, textCell) > 20);
        QVERIFY(countColour(shot, kBlack, textCell) > 20);
        const QRect olderText = view->visualRect(model->index(1, 4)).translated(view->viewport()->pos());
        QCOMPARE(countColour(shot, kBlue, olderText), 0);

        // A new message goes on top with the next number.
        form.HandleTickerMessage(entry("ILS West", "", "", "dritte"));
        QCOMPARE(model->rowCount(), 3);
        QCOMPARE(model->data(model->index(0, 0)).toString(), QStringLiteral("3"));
        QVERIFY(model->data(model->index(0, 2)).toString().contains(QStringLiteral("ILS West")));

        // The tooltip of a Text cell is its whole text, shown as text.
        const QString tip = model->data(model->index(1, 4), Qt::ToolTipRole).toString();
        QCOMPARE(tip, QStringLiteral("<qt>Brand 3<br>Von: Meier<br>Zeile 1<br>Zeile 2</qt>"));
        QTRY_VERIFY(view->rowHeight(1) != DocumentationList::DefaultRowHeight);
        const QPoint inCell = view->visualRect(model->index(1, 4)).center();
        QHelpEvent help(QEvent::ToolTip, inCell, view->viewport()->mapToGlobal(inCell));
        QApplication::sendEvent(view->viewport(), &help);
        QTRY_VERIFY(QToolTip::isVisible());
        QCOMPARE(QToolTip::text(), tip);
        QToolTip::hideText();

        // Delete: the list empties, the day's archive file holds the lines.
        form.DeleteTicker();
        QCOMPARE(model->rowCount(), 0);
        QVERIFY(!QFile::exists(dataFolder() + QStringLiteral("/ticker.dat")));
        const QDate today = QDate::currentDate();
        QFile archive(dataFolder() + QStringLiteral("/Ablage/%1_%2_%3").arg(today.year()).arg(today.month()).arg(today.day()));
        QVERIFY(archive.open(QIODevice::ReadOnly));
        QCOMPARE(archive.readAll().count("WACHALARM_TICKER"), 3);
    }

    void clickOnHeadingSorts()
    {
        writeTicker(CodePage::encode(QStringLiteral("WACHALARM_TICKER\tA\x07\x07" "06.12.2026\x07" "10:00\r\n"
                                                    "WACHALARM_TICKER\tB\x07\x07" "01.12.2026\x07" "10:00\r\n"
                                                    "WACHALARM_TICKER\tC\x07\x07" "09.12.2026\x07" "10:00\r\n")));
        AppContext ctx;
        Form1 form(ctx);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.load();
        auto* model = qobject_cast<TickerModel*>(form.List_Doku->model());
        QHeaderView* header = form.List_Doku->horizontalHeader();
        auto click = [&](int column) {
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                              QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
        };
        auto numbers = [&] {
            QStringList n;
            for (int r = 0; r < model->rowCount(); ++r)
                n << model->data(model->index(r, 0)).toString();
            return n.join(QLatin1Char(','));
        };
        QCOMPARE(numbers(), QStringLiteral("3,2,1"));
        QCOMPARE(header->sortIndicatorSection(), 0);
        click(1);
        QCOMPARE(numbers(), QStringLiteral("3,1,2"));
        click(1);
        QCOMPARE(numbers(), QStringLiteral("2,1,3"));
        QCOMPARE(header->sortIndicatorSection(), 1);
        QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
        click(4); // "Text" does not order
        QCOMPARE(numbers(), QStringLiteral("2,1,3"));
        QCOMPARE(header->sortIndicatorSection(), 1);
        click(0);
        QCOMPARE(numbers(), QStringLiteral("3,2,1"));
        click(0);
        QCOMPARE(numbers(), QStringLiteral("1,2,3"));
    }

    void manyRowsOnlyVisibleOnesAreMeasured()
    {
        QByteArray file;
        for (int i = 1; i <= 5000; ++i)
            file += CodePage::encode(entry("S", "", i % 2 ? "Kopf" : "", "Zeile<CR>Zeile<CR>Zeile")) + "\r\n";
        writeTicker(file);
        AppContext ctx;
        Form1 form(ctx);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.load();
        QTableView* view = form.List_Doku;
        QTRY_VERIFY(view->rowHeight(0) != DocumentationList::DefaultRowHeight);
        QCOMPARE(view->rowHeight(4000), DocumentationList::DefaultRowHeight);
        view->scrollTo(view->model()->index(4000, 0), QAbstractItemView::PositionAtTop);
        QTRY_VERIFY(view->rowHeight(4000) != DocumentationList::DefaultRowHeight);
        // Row 4001 shows line 999, which has a headline, row 4000 line 1000, which has none.
        QVERIFY(view->rowHeight(4001) > view->rowHeight(4000));
    }

    void badFilesStartTheWindow()
    {
        QByteArray garbage;
        for (int i = 0; i < 64 * 1024; ++i)
            garbage += static_cast<char>((i * 7919) % 256);
        garbage += "\r\n" + CodePage::encode(entry("X", "", "", QString(10 * 1024 * 1024, QLatin1Char('y')))) + "\r\n";
        garbage += CodePage::encode(entry("<img src=x>", "<a href=y>z</a>", "<table>", "<style>*{}</style>")) + "\r\n";
        writeTicker(garbage);
        AppContext ctx;
        Form1 form(ctx);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.load();
        QTableView* view = form.List_Doku;
        QVERIFY(view->model()->rowCount() > 2);
        QTRY_VERIFY(view->rowHeight(1) != DocumentationList::DefaultRowHeight);
        QVERIFY(view->rowHeight(1) <= MarkupDelegate::MaxCellHeight + 1);
        QVERIFY(!view->grab().isNull());
        view->scrollToBottom();
        QVERIFY(!view->grab().isNull());
    }
};

QTEST_MAIN(DocumentationListTest)
#include "tst_DocumentationList.moc"
