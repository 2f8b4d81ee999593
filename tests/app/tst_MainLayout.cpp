#include "app/MainLayout.h"
#include "app/WallLayout.h"
#include "app/WallTexts.h"
#include "config/ConfigValues.h"
#include "settings/DisplaySettings.h"
#include "tests/support/DataRows.h"
#include <QTest>

class MainLayoutTest : public QObject {
    Q_OBJECT

private slots:
    // The window goes through the client sizes of `road` (twips) from its design geometries; the
    // result of the last size must not depend on the sizes before it.
    void arrange_data()
    {
        // want: see arrange()
        columns<QList<QSize>, QList<int>>("road", "want");
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
        auto [road, want] = fetch<QList<QSize>, QList<int>>("road", "want");
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
    // The wall layout and its standby view on the screens stations hang up: every box inside the
    // screen, none overlapping another or the map, type that fits its box's height, and the
    // keyword's capitals at least 6 % of the screen's height.
    void wallLayout_data()
    {
        QTest::addColumn<QSize>("screen");
        for (const QSize size :
            { QSize(1366, 768), QSize(1920, 1080), QSize(2560, 1440), QSize(3840, 2160), QSize(1080, 1920) })
            QTest::addRow("%dx%d", size.width(), size.height()) << size;
    }
    void wallLayout()
    {
        QFETCH(QSize, screen);
        const QRect whole(QPoint(), screen);
        // The map and the board, each inside the screen and clear of the other and of every box.
        const auto check = [&](QList<WallBox> boxes, const QRect& map, const QRect& board) {
            for (int i = 0; i < boxes.size(); ++i) {
                const WallBox& box = boxes[i];
                QVERIFY2(whole.contains(box.rect) && !box.rect.isEmpty(), qPrintable(QString::number(i)));
                QVERIFY(
                    box.capHeight * box.lines <= 0.62 * box.rect.height() && box.capHeight >= screen.height() / 100);
                QVERIFY(!box.rect.intersects(map) && !box.rect.intersects(board));
                for (int j = i + 1; j < boxes.size(); ++j)
                    QVERIFY2(!box.rect.intersects(boxes[j].rect), qPrintable(QStringLiteral("%1 %2").arg(i).arg(j)));
            }
            QVERIFY(map.isEmpty() || whole.contains(map));
            QVERIFY(board.isEmpty() || (whole.contains(board) && board.bottom() == screen.height() - 1));
            QVERIFY(!map.intersects(board));
        };
        for (const bool withBoard : { false, true }) {
            const WallAlarmGeometry alarm = WallLayout::alarm(screen, withBoard);
            check(alarm.boxes().mid(1), alarm.map, alarm.board); // the head spans the map's width above it
            check(alarm.boxes(), QRect(), QRect());
            QCOMPARE(alarm.board.isEmpty(), !withBoard);
            QVERIFY(alarm.head.rect.bottom() < alarm.map.top());
            QCOMPARE_GE(alarm.keyword.capHeight, WallLayout::kKeywordCapShare * screen.height());
            QCOMPARE_GE(alarm.map.width() * 2, screen.width() - 1);
            QCOMPARE((alarm.board.isEmpty() ? alarm.map : alarm.board).bottom(), screen.height() - 1);
            for (const bool withMap : { true, false }) {
                const WallStandbyGeometry standby = WallLayout::standby(screen, withMap, withBoard);
                check(standby.boxes(), standby.map, standby.board);
                QCOMPARE(standby.map.isEmpty(), !withMap);
                QCOMPARE(standby.board.isEmpty(), !withBoard);
                QCOMPARE_GE(standby.clock.capHeight, standby.date.capHeight * 3);
            }
        }
    }
    // The texts of the time: since the alarm, its next change, the age of the last alarm, the date.
    void wallTexts_data()
    {
        // ms: from the alarm to now
        columns<QString, qint64, QString>("text", "ms", "want");
        const auto row = [](const char* text, qint64 ms, const char* want) {
            QTest::addRow("%s %lld", text, ms) << QString(text) << ms << QString::fromUtf8(want);
        };
        row("since", 0, "seit 0:00 min");
        row("since", 247'000, "seit 4:07 min");
        row("since", 599'999, "seit 9:59 min");
        row("since", 600'000, "seit 10 min");
        row("since", 3'599'999, "seit 59 min");
        row("since", 3'900'000, "seit 1 h 05 min");
        row("since", -30'000, "seit 0:00 min");
        row("next", 247'250, "750");
        row("next", 600'000, "60000");
        row("next", 750'000, "30000");
        row("next", -5'000, "1000");
        row("last", 59'000, "Letzter Einsatz: B3 Wohnungsbrand · gerade eben");
        row("last", 60'000, "Letzter Einsatz: B3 Wohnungsbrand · vor 1 Minute");
        row("last", 3'000'000, "Letzter Einsatz: B3 Wohnungsbrand · vor 50 Minuten");
        row("last", 3'600'000, "Letzter Einsatz: B3 Wohnungsbrand · vor 1 Stunde");
        row("last", 86'400'000 - 1, "Letzter Einsatz: B3 Wohnungsbrand · vor 23 Stunden");
        row("last", 86'400'000, "Letzter Einsatz: B3 Wohnungsbrand · vor 1 Tag");
        row("last", 2 * 86'400'000 + 5, "Letzter Einsatz: B3 Wohnungsbrand · vor 2 Tagen");
        row("none", 0, "Noch kein Einsatz");
        row("date", 0, "Dienstag, 8. Dezember 2026");
        row("date", 83 * 86'400'000LL, "Montag, 1. März 2027");
        row("date", -1013 * 86'400'000LL, "Donnerstag, 29. Februar 2024");
        row("count", 1, "2026: 1 Einsatz");
        row("count", 143, "2026: 143 Einsätze");
    }
    void wallTexts()
    {
        auto [text, ms, want] = fetch<QString, qint64, QString>("text", "ms", "want");
        const QDateTime alarm(QDate(2026, 12, 8), QTime(19, 42, 0));
        const QDateTime now = alarm.addMSecs(ms);
        const QString got = text == "since" ? WallTexts::since(alarm, now)
            : text == "next"                ? QString::number(WallTexts::untilSinceChanges(alarm, now).count())
            : text == "last"                ? WallTexts::lastAlarm(" B3  Wohnungsbrand", alarm, now)
            : text == "none"                ? WallTexts::lastAlarm("B3", QDateTime(), now)
            : text == "date"                ? WallTexts::date(now.date())
                                            : WallTexts::yearCount(2026, int(ms));
        QCOMPARE(got, want);
    }
    // display.ini: fullscreen, wake, wake.on, wake.off, awake, replay and warning times as read.
    void displaySettings_data()
    {
        columns<QString, QString>("text", "read");
        QTest::newRow("every key, any case, CR LF, comments after a blank")
            << "FullScreen=1\r\nwake = Command # HDMI-CEC\r\nwake.on=cec-ctl --to 0 \"--image view\"\r\n"
               "wake.off=/bin/standby#1\r\nawake_minutes=0.5\r\nreplay_announce_minutes=120\r\n"
               "link_warning_seconds=30\r\n"
            << "1|2|cec-ctl,--to,0,--image view|/bin/standby#1|0.5|120|30|0|60||||0";
        QTest::newRow("the wall's keys; a quoted name keeps its '#'")
            << "layout=WALL\nstandby_minutes=0\nstation_name=\"Wache #1 \"\ncalendar=/home/w/t.ics # Termine\n"
               "screen=HDMI-2\nprivacy=1\n"
            << "0|0|||30|0|0|1|0|Wache #1 |/home/w/t.ics|HDMI-2|1";
        QTest::newRow("unusable values, comments, no '=', unknown keys: the defaults")
            << "fullscreen=yes\nwake=dpms\nawake_minutes=-5\nreplay_announce_minutes=nan\nawake_minutes=1e9\n"
               "link_warning_seconds=2.5\nlink_warning_seconds=x\nreplay_announce_minutes=inf\n#fullscreen=1\n"
               ";wake=x11\nfullscreen\nwake.x=1\nlayout=tv\nstandby_minutes=-1\nprivacy=yes\nscreen=\n"
               "station_name=a\x01b"
            << "0|0|||30|0|0|0|60||||0";
    }
    void displaySettings()
    {
        auto [text, read] = fetch<QString, QString>("text", "read");
        const DisplaySettings s = DisplaySettings::from(ConfigValues::parse(ConfigFile::Display, text.toUtf8()));
        const auto n = [](double v) { return QString::number(v); };
        const QStringList got = { n(s.fullscreen), n(int(s.wake)), s.wakeOn.join(','), s.wakeOff.join(','),
            n(s.awakeMinutes), n(s.replayAnnounceMinutes), n(s.linkWarningSeconds), n(int(s.layout)),
            n(s.standbyMinutes), s.stationName, s.calendar, s.screen, n(s.privacy) };
        QCOMPARE(got.join('|'), read);
    }
};

QTEST_GUILESS_MAIN(MainLayoutTest)
#include "tst_MainLayout.moc"
