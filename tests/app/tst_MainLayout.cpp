#include "app/DisplaySettings.h"
#include "app/MainLayout.h"

#include <QTest>

class MainLayoutTest : public QObject {
    Q_OBJECT

private slots:
    // The window goes through the client sizes of `road` (twips) from its design geometries; the
    // result of the last size must not depend on the sizes before it.
    void arrange_data()
    {
        QTest::addColumn<QList<QSize>>("road");
        QTest::addColumn<QRect>("melder");
        QTest::addColumn<QRect>("status");
        QTest::addColumn<QList<int>>("rest"); // cmd_ende left, units and list heights, label and bar widths
        const QRect melder(14280, 7320, 4680, 2720), status(14280, 10040, 4680, 4000);
        const QList<int> design = { 16305, 6720, 3720, 9360, 18960 };
        const QSize designSize(18960, 14040), minimised(0, 0), fullHd(28800, 16200);
        QTest::newRow("design size: the status grid beneath the pager grid")
            << QList { designSize } << melder << status << design;
        QTest::newRow("19999 is narrow") << QList { QSize(19999, 14040) } << QRect(14280, 7320, 5719, 2720)
                                         << QRect(14280, 10040, 5719, 4000)
                                         << QList { 17344, 6720, 3720, 10399, 19999 };
        QTest::newRow("20000 is wide: side by side")
            << QList { QSize(20000, 14040) } << QRect(14280, 7320, 3945, 6720) << QRect(18225, 7320, 1775, 6720)
            << QList { 17345, 6720, 3720, 10400, 20000 };
        QTest::newRow("full HD") << QList { fullHd } << QRect(14280, 7320, 3945, 8880)
                                 << QRect(18225, 7320, 10575, 8880) << QList { 26145, 8880, 5880, 19200, 28800 };
        QTest::newRow("wide and back") << QList { fullHd, designSize } << melder << status << design;
        QTest::newRow("11000 high: the pager grid keeps its height")
            << QList { designSize, QSize(18960, 11000) } << melder << QRect(14280, 10040, 4680, 960)
            << QList { 16305, 3680, 680, 9360, 18960 };
        QTest::newRow("10000 high: negative heights refused") << QList { designSize, QSize(18960, 10000) } << melder
                                                              << status << QList { 16305, 2680, 3720, 9360, 18960 };
        QTest::newRow("12000 wide: negative widths refused")
            << QList { QSize(12000, 14040) } << melder << status << QList { 9345, 6720, 3720, 2400, 12000 };
        QTest::newRow("minimised: only the top bar follows")
            << QList { designSize, minimised } << melder << status << QList { 16305, 6720, 3720, 9360, 0 };
    }

    void arrange()
    {
        QFETCH(QList<QSize>, road);
        QFETCH(QRect, melder);
        QFETCH(QRect, status);
        QFETCH(QList<int>, rest);
        MainLayoutGeometry g { QRect(14640, 120, 2295, 495), QRect(0, 10320, 9615, 3720), QRect(9600, 7320, 4665, 6720),
            QRect(14280, 7320, 4680, 2720), QRect(14280, 10040, 4680, 4000), {}, QRect(0, 0, 17295, 735) };
        for (int i = 0; i < 9; ++i)
            g.label_einsatz[i] = QRect(9600, 720 + 600 * i, 9135, 615);
        for (const QSize& client : road)
            g = MainLayout::arrange(client.width(), client.height(), g);

        QCOMPARE(g.Grid_Melder, melder);
        QCOMPARE(g.Grid_Status, status);
        QCOMPARE(g.cmd_ende, QRect(rest[0], 120, 2295, 495));
        QCOMPARE(g.MSFlexGrid1, QRect(9600, 7320, 4665, rest[1]));
        QCOMPARE(g.List_Doku, QRect(0, 10320, 9615, rest[2]));
        for (int i = 0; i < 9; ++i)
            QCOMPARE(g.label_einsatz[i], QRect(9600, 720 + 600 * i, rest[3], 615));
        QCOMPARE(g.roLabel1, QRect(0, 0, rest[4], 735));
    }

    // display.ini: fullscreen, wake, wake.on, wake.off, awake, replay and warning times as read.
    void displaySettings_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("read");
        QTest::newRow("every key, any case, CR LF, comments after a blank")
            << "FullScreen=1\r\nwake = Command # HDMI-CEC\r\nwake.on=cec-ctl --to 0 \"--image view\"\r\n"
               "wake.off=/bin/standby#1\r\nawake_minutes=0.5\r\nreplay_announce_minutes=120\r\n"
               "link_warning_seconds=30\r\n"
            << "1|2|cec-ctl,--to,0,--image view|/bin/standby#1|0.5|120|30";
        QTest::newRow("unusable values, comments, no '=', unknown keys: the defaults")
            << "fullscreen=yes\nwake=dpms\nawake_minutes=-5\nreplay_announce_minutes=nan\nawake_minutes=1e9\n"
               "link_warning_seconds=2.5\nlink_warning_seconds=x\nreplay_announce_minutes=inf\n#fullscreen=1\n"
               ";wake=x11\nfullscreen\nwake.x=1"
            << "0|0|||30|0|0";
    }

    void displaySettings()
    {
        QFETCH(QString, text);
        QFETCH(QString, read);
        const DisplaySettings s = DisplaySettings::parse(text);
        const auto n = [](double v) { return QString::number(v); };
        QCOMPARE(QString("%1|%2|%3|%4|%5|%6|%7")
                     .arg(n(s.fullscreen), n(int(s.wake)), s.wakeOn.join(','), s.wakeOff.join(','), n(s.awakeMinutes),
                         n(s.replayAnnounceMinutes), n(s.linkWarningSeconds)),
            read);
    }
};

QTEST_GUILESS_MAIN(MainLayoutTest)
#include "tst_MainLayout.moc"
