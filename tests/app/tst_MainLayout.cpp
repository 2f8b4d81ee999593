#include "app/MainLayout.h"

#include <QTest>

namespace {

constexpr int kLabelTops[9] = { 1800, 720, 2400, 3000, 3600, 4200, 4800, 6000, 5400 };
constexpr int kLabelHeights[9] = { 615, 1095, 615, 615, 615, 615, 615, 1335, 615 };

// The geometries the window creates its controls with, in twips.
MainLayoutGeometry designGeometry()
{
    MainLayoutGeometry g;
    g.cmd_ende = QRect(14640, 120, 2295, 495);
    g.List_Doku = QRect(0, 10320, 9615, 3720);
    g.MSFlexGrid1 = QRect(9600, 7320, 4665, 6720);
    g.Grid_Melder = QRect(14280, 7320, 4680, 2720);
    g.Grid_Status = QRect(14280, 10040, 4680, 4000);
    for (int i = 0; i < 9; ++i)
        g.label_einsatz[i] = QRect(9600, kLabelTops[i], 9135, kLabelHeights[i]);
    g.roLabel1 = QRect(0, 0, 17295, 735);
    return g;
}

MainLayoutGeometry arrangeFromDesign(QList<QSize> sizes)
{
    MainLayoutGeometry g = designGeometry();
    for (QSize s : sizes)
        g = MainLayout::arrange(s.width(), s.height(), g);
    return g;
}

} // namespace

class MainLayoutTest : public QObject {
    Q_OBJECT

private slots:
    void designSizeIsNarrow()
    {
        const MainLayoutGeometry g = arrangeFromDesign({ QSize(18960, 14040) });
        QCOMPARE(g.Grid_Melder, QRect(14280, 7320, 4680, 2720));
        QCOMPARE(g.Grid_Status, QRect(14280, 10040, 4680, 4000));
        QCOMPARE(g.MSFlexGrid1, QRect(9600, 7320, 4665, 6720));
        QCOMPARE(g.List_Doku, QRect(0, 10320, 9615, 3720));
        QCOMPARE(g.cmd_ende, QRect(16305, 120, 2295, 495));
        for (int i = 0; i < 9; ++i)
            QCOMPARE(g.label_einsatz[i], QRect(9600, kLabelTops[i], 9360, kLabelHeights[i]));
        QCOMPARE(g.roLabel1, QRect(0, 0, 18960, 735));
    }

    void widthDecidesTheArrangement_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<QRect>("melder");
        QTest::addColumn<QRect>("status");

        QTest::newRow("20000 exactly is wide")
            << 20000 << 14040 << QRect(14280, 7320, 3945, 6720) << QRect(18225, 7320, 1775, 6720);
        QTest::newRow("19999 is narrow") << 19999 << 14040 << QRect(14280, 7320, 5719, 2720)
                                         << QRect(14280, 10040, 5719, 4000);
        QTest::newRow("full HD") << 28800 << 16200 << QRect(14280, 7320, 3945, 8880) << QRect(18225, 7320, 10575, 8880);
        QTest::newRow("narrow and tall") << 15000 << 20000 << QRect(14280, 7320, 720, 8680)
                                         << QRect(14280, 16000, 720, 4000);
        QTest::newRow("11320 high leaves the pager grid no height")
            << 18960 << 11320 << QRect(14280, 7320, 4680, 0) << QRect(14280, 7320, 4680, 4000);
    }

    void widthDecidesTheArrangement()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(QRect, melder);
        QFETCH(QRect, status);
        const MainLayoutGeometry g = arrangeFromDesign({ QSize(width, height) });
        QCOMPARE(g.Grid_Melder, melder);
        QCOMPARE(g.Grid_Status, status);
        QCOMPARE(g.MSFlexGrid1.height(), height - 7320);
        QCOMPARE(g.List_Doku.height(), height - 10320);
        QCOMPARE(g.cmd_ende.left(), width - 2295 - 360);
        QCOMPARE(g.roLabel1.width(), width);
        QCOMPARE(g.label_einsatz[7].width(), width - 9600);
    }

    // The result depends on the size alone: any road through other sizes ends where the direct one does.
    void noMemoryOfEarlierSizes_data()
    {
        QTest::addColumn<QList<QSize>>("road");
        QTest::newRow("wide and back to narrow")
            << QList<QSize> { QSize(18960, 14040), QSize(20000, 14040), QSize(18960, 14040) };
        QTest::newRow("full HD and back") << QList<QSize> { QSize(28800, 16200), QSize(18960, 14040) };
        QTest::newRow("narrow, wide, wide")
            << QList<QSize> { QSize(19000, 15000), QSize(25000, 12000), QSize(18960, 14040) };
        QTest::newRow("minimised and restored") << QList<QSize> { QSize(0, 0), QSize(18960, 14040) };
        QTest::newRow("wide, minimised, restored")
            << QList<QSize> { QSize(28800, 16200), QSize(0, 0), QSize(18960, 14040) };
    }

    void noMemoryOfEarlierSizes()
    {
        QFETCH(QList<QSize>, road);
        QCOMPARE(arrangeFromDesign(road), arrangeFromDesign({ road.last() }));
    }

    void goingWideAndBackToNarrow()
    {
        const MainLayoutGeometry wide = arrangeFromDesign({ QSize(18960, 14040), QSize(24000, 14040) });
        QCOMPARE(wide.Grid_Melder, QRect(14280, 7320, 3945, 6720));
        QCOMPARE(wide.Grid_Status, QRect(18225, 7320, 5775, 6720));
        const MainLayoutGeometry narrow = MainLayout::arrange(18960, 14040, wide);
        QCOMPARE(narrow.Grid_Melder, QRect(14280, 7320, 4680, 2720));
        QCOMPARE(narrow.Grid_Status, QRect(14280, 10040, 4680, 4000));
    }

    void lowWindowKeepsThePagerGridsHeight_data()
    {
        QTest::addColumn<int>("height");
        QTest::addColumn<QRect>("status");
        QTest::addColumn<int>("listHeight");
        // 11000: the pager grid's height would be -320; the status grid goes below its old height.
        QTest::newRow("11000") << 11000 << QRect(14280, 10040, 4680, 960) << 680;
        // 10000: the status grid's height and the list's would be negative too and stay as they were.
        QTest::newRow("10000") << 10000 << QRect(14280, 10040, 4680, 4000) << 3720;
    }

    void lowWindowKeepsThePagerGridsHeight()
    {
        QFETCH(int, height);
        QFETCH(QRect, status);
        QFETCH(int, listHeight);
        const MainLayoutGeometry g = arrangeFromDesign({ QSize(18960, 14040), QSize(18960, height) });
        QCOMPARE(g.Grid_Melder, QRect(14280, 7320, 4680, 2720));
        QCOMPARE(g.Grid_Status, status);
        QCOMPARE(g.List_Doku.height(), listHeight);
        QCOMPARE(g.MSFlexGrid1.height(), height - 7320);
    }

    // A minimised window has no client area: every rule but the top bar's (width 0) goes negative
    // and is refused, so the controls stay where they were for the restore.
    void minimisedRefusesEveryNegativeValue()
    {
        const MainLayoutGeometry shown = arrangeFromDesign({ QSize(18960, 14040) });
        MainLayoutGeometry expected = shown;
        expected.roLabel1.setWidth(0);
        QCOMPARE(MainLayout::arrange(0, 0, shown), expected);
        QCOMPARE(MainLayout::arrange(-30, -30, shown), shown);
    }

    // Only the properties whose own results are negative keep their values.
    void narrowWindowRefusesPropertyByProperty()
    {
        const MainLayoutGeometry g = arrangeFromDesign({ QSize(18960, 14040), QSize(12000, 14040) });
        QCOMPARE(g.cmd_ende.left(), 12000 - 2655);
        QCOMPARE(g.Grid_Melder, QRect(14280, 7320, 4680, 2720)); // width -2280 refused, height set
        QCOMPARE(g.Grid_Status, QRect(14280, 10040, 4680, 4000)); // width refused
        QCOMPARE(g.label_einsatz[0].width(), 2400);
        QCOMPARE(g.roLabel1.width(), 12000);
    }

    void textColumnWidth_data()
    {
        QTest::addColumn<int>("listTwips");
        QTest::addColumn<int>("firstFour");
        QTest::addColumn<int>("expected"); // -1: refused
        QTest::newRow("design list") << 9615 << 300 << 321;
        QTest::newRow("remainder dropped") << 9629 << 300 << 321;
        QTest::newRow("columns reported wider") << 9615 << 320 << 301;
        QTest::newRow("exactly nothing left") << 4800 << 300 << 0;
        QTest::newRow("too narrow") << 4000 << 300 << -1;
    }

    void textColumnWidth()
    {
        QFETCH(int, listTwips);
        QFETCH(int, firstFour);
        QFETCH(int, expected);
        const std::optional<int> width = MainLayout::textColumnWidth(listTwips, firstFour);
        QCOMPARE(width.value_or(-1), expected);
    }
};

QTEST_GUILESS_MAIN(MainLayoutTest)
#include "tst_MainLayout.moc"
