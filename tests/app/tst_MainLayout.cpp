#include "app/MainLayout.h"

#include <QTest>

namespace {

// The geometries the window creates its controls with, in twips.
MainLayoutGeometry designGeometry()
{
    constexpr int tops[9] = { 1800, 720, 2400, 3000, 3600, 4200, 4800, 6000, 5400 };
    constexpr int heights[9] = { 615, 1095, 615, 615, 615, 615, 615, 1335, 615 };
    MainLayoutGeometry g;
    g.cmd_ende = QRect(14640, 120, 2295, 495);
    g.List_Doku = QRect(0, 10320, 9615, 3720);
    g.MSFlexGrid1 = QRect(9600, 7320, 4665, 6720);
    g.Grid_Melder = QRect(14280, 7320, 4680, 2720);
    g.Grid_Status = QRect(14280, 10040, 4680, 4000);
    for (int i = 0; i < 9; ++i)
        g.label_einsatz[i] = QRect(9600, tops[i], 9135, heights[i]);
    g.roLabel1 = QRect(0, 0, 17295, 735);
    return g;
}

} // namespace

class MainLayoutTest : public QObject {
    Q_OBJECT

private slots:
    // The window goes through the client sizes of `road` (twips) from its design geometries; the
    // result of the last one must not depend on the sizes before it.
    void arrange_data()
    {
        QTest::addColumn<QList<QSize>>("road");
        QTest::addColumn<QRect>("melder");
        QTest::addColumn<QRect>("status");
        QTest::addColumn<int>("endLeft");
        QTest::addColumn<int>("unitsHeight");
        QTest::addColumn<int>("listHeight");
        QTest::addColumn<int>("labelWidth");
        QTest::addColumn<int>("barWidth");

        const QRect designMelder(14280, 7320, 4680, 2720);
        const QRect designStatus(14280, 10040, 4680, 4000);
        QTest::newRow("design size: narrow, status grid beneath the pager grid")
            << QList<QSize> { { 18960, 14040 } } << designMelder << designStatus << 16305 << 6720 << 3720 << 9360
            << 18960;
        QTest::newRow("19999 is still narrow")
            << QList<QSize> { { 19999, 14040 } } << QRect(14280, 7320, 5719, 2720) << QRect(14280, 10040, 5719, 4000)
            << 17344 << 6720 << 3720 << 10399 << 19999;
        QTest::newRow("20000 is wide: side by side")
            << QList<QSize> { { 20000, 14040 } } << QRect(14280, 7320, 3945, 6720) << QRect(18225, 7320, 1775, 6720)
            << 17345 << 6720 << 3720 << 10400 << 20000;
        QTest::newRow("full HD") << QList<QSize> { { 28800, 16200 } } << QRect(14280, 7320, 3945, 8880)
                                 << QRect(18225, 7320, 10575, 8880) << 26145 << 8880 << 5880 << 19200 << 28800;
        QTest::newRow("wide and back to narrow") << QList<QSize> { { 28800, 16200 }, { 18960, 14040 } } << designMelder
                                                 << designStatus << 16305 << 6720 << 3720 << 9360 << 18960;
        QTest::newRow("11000 high: the pager grid keeps its height")
            << QList<QSize> { { 18960, 14040 }, { 18960, 11000 } } << designMelder << QRect(14280, 10040, 4680, 960)
            << 16305 << 3680 << 680 << 9360 << 18960;
        QTest::newRow("10000 high: every negative height refused")
            << QList<QSize> { { 18960, 14040 }, { 18960, 10000 } } << designMelder << designStatus << 16305 << 2680
            << 3720 << 9360 << 18960;
        QTest::newRow("12000 wide: negative widths refused one by one")
            << QList<QSize> { { 12000, 14040 } } << designMelder << designStatus << 9345 << 6720 << 3720 << 2400
            << 12000;
        QTest::newRow("minimised: only the top bar follows")
            << QList<QSize> { { 18960, 14040 }, { 0, 0 } } << designMelder << designStatus << 16305 << 6720 << 3720
            << 9360 << 0;
        QTest::newRow("wide, minimised, restored")
            << QList<QSize> { { 28800, 16200 }, { 0, 0 }, { 18960, 14040 } } << designMelder << designStatus << 16305
            << 6720 << 3720 << 9360 << 18960;
    }

    void arrange()
    {
        QFETCH(QList<QSize>, road);
        QFETCH(QRect, melder);
        QFETCH(QRect, status);
        QFETCH(int, endLeft);
        QFETCH(int, unitsHeight);
        QFETCH(int, listHeight);
        QFETCH(int, labelWidth);
        QFETCH(int, barWidth);
        MainLayoutGeometry g = designGeometry();
        for (const QSize& client : road)
            g = MainLayout::arrange(client.width(), client.height(), g);

        QCOMPARE(g.Grid_Melder, melder);
        QCOMPARE(g.Grid_Status, status);
        QCOMPARE(g.cmd_ende, QRect(endLeft, 120, 2295, 495));
        QCOMPARE(g.MSFlexGrid1, QRect(9600, 7320, 4665, unitsHeight));
        QCOMPARE(g.List_Doku, QRect(0, 10320, 9615, listHeight));
        for (int i = 0; i < 9; ++i) {
            QCOMPARE(g.label_einsatz[i].width(), labelWidth);
            QCOMPARE(g.label_einsatz[i].topLeft(), designGeometry().label_einsatz[i].topLeft());
        }
        QCOMPARE(g.roLabel1, QRect(0, 0, barWidth, 735));
    }
};

QTEST_GUILESS_MAIN(MainLayoutTest)
#include "tst_MainLayout.moc"
