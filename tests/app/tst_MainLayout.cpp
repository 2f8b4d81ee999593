#include "app/MainLayout.h"
#include "settings/DisplaySettings.h"
#include <QTest>

class MainLayoutTest : public QObject {
    Q_OBJECT

private slots:
    // The window goes through the client sizes of `road` (twips) from its design geometries; the
    // result of the last size must not depend on the sizes before it.
    void arrange_data()
    {
        QTest::addColumn<QList<QSize>>("road");
        QTest::addColumn<QList<int>>("want"); // see arrange()
        const auto row
            = [](const char* name, QList<QSize> road, QList<int> want) { QTest::newRow(name) << road << want; };
        const QList<int> design = { 4680, 2720, 14280, 10040, 4680, 4000, 16305, 6720, 3720, 9360, 18960 };
        const QSize designSize(18960, 14040), fullHd(28800, 16200);
        row("19999 is narrow", { { 19999, 14040 } },
            { 5719, 2720, 14280, 10040, 5719, 4000, 17344, 6720, 3720, 10399, 19999 });
        row("20000 is wide: side by side", { { 20000, 14040 } },
            { 3945, 6720, 18225, 7320, 1775, 6720, 17345, 6720, 3720, 10400, 20000 });
        row("full HD", { fullHd }, { 3945, 8880, 18225, 7320, 10575, 8880, 26145, 8880, 5880, 19200, 28800 });
        row("wide and back to the design size: the status grid beneath the pager grid", { fullHd, designSize }, design);
        row("11000 high: the pager grid keeps its height", { designSize, { 18960, 11000 } },
            { 4680, 2720, 14280, 10040, 4680, 960, 16305, 3680, 680, 9360, 18960 });
        row("10000 high: negative heights refused", { designSize, { 18960, 10000 } },
            { 4680, 2720, 14280, 10040, 4680, 4000, 16305, 2680, 3720, 9360, 18960 });
        row("12000 wide: negative widths refused", { { 12000, 14040 } },
            { 4680, 2720, 14280, 10040, 4680, 4000, 9345, 6720, 3720, 2400, 12000 });
        row("minimised: only the top bar follows", { designSize, { 0, 0 } },
            { 4680, 2720, 14280, 10040, 4680, 4000, 16305, 6720, 3720, 9360, 0 });
    }
    void arrange()
    {
        QFETCH(QList<QSize>, road);
        QFETCH(QList<int>, want);
        MainLayoutGeometry g { QRect(14640, 120, 2295, 495), QRect(0, 10320, 9615, 3720), QRect(9600, 7320, 4665, 6720),
            QRect(14280, 7320, 4680, 2720), QRect(14280, 10040, 4680, 4000), {}, QRect(0, 0, 17295, 735) };
        for (int i = 0; i < 9; ++i)
            g.label_einsatz[i] = QRect(9600, 720 + 600 * i, 9135, 615);
        for (const QSize& client : road)
            g = MainLayout::arrange(client.width(), client.height(), g);
        // Pager grid width and height, status grid, cmd_ende left, units and list heights, label and bar widths.
        QCOMPARE(g.Grid_Melder, QRect(14280, 7320, want[0], want[1]));
        QCOMPARE(g.Grid_Status, QRect(want[2], want[3], want[4], want[5]));
        QCOMPARE(g.cmd_ende, QRect(want[6], 120, 2295, 495));
        QCOMPARE(g.MSFlexGrid1, QRect(9600, 7320, 4665, want[7]));
        QCOMPARE(g.List_Doku, QRect(0, 10320, 9615, want[8]));
        for (int i = 0; i < 9; ++i)
            QCOMPARE(g.label_einsatz[i], QRect(9600, 720 + 600 * i, want[9], 615));
        QCOMPARE(g.roLabel1, QRect(0, 0, want[10], 735));
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
        const QStringList got = { n(s.fullscreen), n(int(s.wake)), s.wakeOn.join(','), s.wakeOff.join(','),
            n(s.awakeMinutes), n(s.replayAnnounceMinutes), n(s.linkWarningSeconds) };
        QCOMPARE(got.join('|'), read);
    }
};

QTEST_GUILESS_MAIN(MainLayoutTest)
#include "tst_MainLayout.moc"
