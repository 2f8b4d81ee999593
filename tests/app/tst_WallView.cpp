// The wall layout on a real X server (test_wallview at 1920 x 1080, test_wallview_4k at 3840 x 2160):
// the alarm on screen, the standby view and its clock, the hall view.
#include "announce/AnnouncementOutput.h"
#include "announce/AnnouncementQueue.h"
#include "app/FittingLabel.h"
#include "app/WallLayout.h"
#include "app/WallScreen.h"
#include "crew/VehicleBoardView.h"
#include "history/HistoryView.h"
#include "link/ServerLink.h"
#include "log/TickerCells.h"
#include "map/MapMarker.h"
#include "map/ucGMap.h"
#include "paths/AlarmInbox.h"
#include "paths/PathStates.h"
#include "tests/support/AlarmText.h"
#include "tests/support/DataRows.h"
#include "tests/support/FakeDispatch.h"
#include "tests/support/HostileCalendars.h"
#include "tests/support/TestFiles.h"
#include "tests/support/WindowFixture.h"
#include "water/WaterIndex.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStandardItemModel>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <QTimer>

namespace {

const QDateTime kAlarmTime(QDate(2026, 12, 8), QTime(19, 42, 10));

// The demo alarm with its informant, remark and pager holders, or with these left empty.
void receiveAlarm(Station& station, bool personal)
{
    AlarmCore& form = station.core();
    form.HandleStationAlarm(
        QStringList { "WACHALARM", "Einsatz 4711", "08.12.2026 19:42", "Rauch aus Dachgeschoss", "B3 Wohnungsbrand",
            "80331", "München", "Hauptstraße", "12", personal ? "Anrufer sieht Rauch" : "", "Altstadt", "Wohnhaus",
            "Hinterhaus", "", "HLF 20\aDLK 23\a", "1", "48.1374", "11.5755", personal ? "Huber, Anna" : "" }
            .join('\t'),
        0);
    form.InsertPagerRow(personal ? "WACHALARM_MELDER\tFischer, Lea\t1001" : "WACHALARM_MELDER\t\t1001");
    form.HandleFeedback("WACHALARM_RM\t1001\t1");
}

// Notes each text that a label it watches was painted with, and the latest at the first sound.
struct Painted : AnnouncementOutput {
    QStringList painted;
    QString atFirstSound;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (const auto* label = qobject_cast<QLabel*>(watched); label && event->type() == QEvent::Paint)
            painted << label->text();
        return false;
    }
    void PlayWave(const QString&) override
    {
        if (atFirstSound.isNull())
            atFirstSound = painted.value(painted.size() - 1);
        QMetaObject::invokeMethod(this, &AnnouncementOutput::stepEnded, Qt::QueuedConnection);
    }
    void RunSpeechProgram(const QString&, const QString&, const QString&, const QString&) override { }
    void StopStep() override { }
};

// A wall window whose clock stands where `now` says.
struct Wall : WindowFixture {
    QDateTime now = kAlarmTime;
    explicit Wall(const QByteArray& ini, bool shown = false, const QByteArray& mapIni = "")
    {
        if (!putDataFile("map.ini", mapIni) || !putDataFile("display.ini", "layout=wall\n" + ini))
            qFatal("no display.ini");
        if (shown) {
            form->setFullScreen(true);
            form->showOnScreen();
        }
        form->load();
        wall()->setClock([this] { return now; });
    }
    [[nodiscard]] WallScreen* wall() const { return form->wallScreen(); }
    [[nodiscard]] QString text(const char* name) const { return wall()->label(name)->text(); }
};

} // namespace

class WallViewTest : public QObject {
    Q_OBJECT

private slots:
    // Keyword, address and the time since the alarm painted on the X server's screen, each inside
    // the screen and its text inside its box, the keyword's capitals at least 6 % of the screen.
    void alarmOnScreen()
    {
        // Two hydrants around the incident, their list beside the map.
        const QTemporaryDir dir;
        const QString index = dir.filePath("water.sqlite");
        QVERIFY(WaterIndex::write(index,
            { { WaterKind::Underground, 100, {}, 'n', 1, 48.137629, 11.575843 },
                { WaterKind::Pillar, 150, {}, 'n', 2, 48.1370, 11.5755 } },
            nullptr));
        Wall f("", true, "water=" + index.toUtf8() + "\n");
        QVERIFY(QTest::qWaitForWindowExposed(f.form.get()));
        Painted sound;
        f.station->setAnnouncementOutput(&sound);
        f.station->settings().PlayAlarmWav = true;
        f.wall()->label("keyword")->installEventFilter(&sound);
        receiveAlarm(*f.station, true);
        QTRY_COMPARE(sound.atFirstSound, "B3 Wohnungsbrand");
        QTRY_COMPARE(f.text("water"), "Wasser: U 100 · 36 m NO, O 150 · 44 m S");
        QVERIFY(!f.wall()->standbyShown());
        const QRect screen = f.form->screen()->geometry();
        QTRY_COMPARE(f.wall()->size(), screen.size());
        for (const auto& [name, ink] :
            { std::pair<const char*, QColor> { "keyword", Qt::white }, { "address", Qt::white },
                { "since", QColor(0xFF, 0xD8, 0x40) }, { "water", QColor(0x9C, 0xD0, 0xFF) } }) {
            FittingLabel* label = f.wall()->label(name);
            const QRect box(label->mapToGlobal(QPoint()), label->size());
            QVERIFY2(label->isVisible() && screen.contains(box), name);
            const FittingLabel::Fit fit = label->fitted();
            const QRect needed = QFontMetrics(fit.font).boundingRect(label->textRect(), fit.flags, label->text());
            QVERIFY2(label->textRect().contains(needed), name);
            if (QByteArray(name) == "keyword")
                QCOMPARE_GE(QFontMetricsF(fit.font).capHeight(), WallLayout::kKeywordCapShare * screen.height());
            // The X server's own picture of the box holds the text's ink.
            QTRY_VERIFY2_WITH_TIMEOUT(
                [&] {
                    const QImage shot = f.form->screen()
                                            ->grabWindow(0, box.x(), box.y(), box.width(), box.height())
                                            .toImage()
                                            .convertToFormat(QImage::Format_RGB32);
                    int inked = 0;
                    for (int y = 0; y < shot.height(); ++y)
                        for (int x = 0; x < shot.width(); ++x)
                            inked += shot.pixel(x, y) == ink.rgb();
                    return inked > box.height();
                }(),
                name, 10000);
        }
        QCOMPARE(f.text("address"), "Hauptstraße 12\n80331 München / Altstadt\nWohnhaus · Hinterhaus");
        // The pointer shows the buttons for a while.
        const QObjectList stack = f.form->children();
        QWidget* bar = f.control("roLabel1(1)");
        QVERIFY(stack.indexOf(bar) < stack.indexOf(f.wall()));
        // The X server reports the pointer's move when it has made it.
        QTest::mouseMove(f.form.get(), QPoint(100, 100));
        QTRY_VERIFY(f.form->children().indexOf(bar) > f.form->children().indexOf(f.wall()));
        QTRY_VERIFY_WITH_TIMEOUT(f.form->children().indexOf(bar) < f.form->children().indexOf(f.wall()), 10000);
        QCOMPARE(f.text("answers"), "0/0/1/1 · AGT 0 · Ma 0 · C 0\nspäter 0 · nicht 0 · unbekannt 0");
        QCOMPARE(f.text("names"), "kommt: Fischer, Lea");

        // What full HD draws at a fixed size grows with a taller screen as the type does: the map's
        // marks, the bar of buttons and the clear question (twice as large on a 4K screen).
        const double scale = screen.height() / 1080.0;
        QCOMPARE(f.control<ucGMap>("ucGMap1")->paintScale(), scale);
        QCOMPARE(bar->height(), qRound(49 * scale));
        const auto* clear = f.control<QPushButton>("cmd_Clear");
        QVERIFY(clear->font().pointSizeF() == 10 * scale && bar->rect().contains(clear->geometry()));
        double asked = 0;
        QTimer answer;
        connect(&answer, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                asked = box->findChild<QLabel*>("qt_msgbox_label")->font().pointSizeF();
                box->button(QMessageBox::No)->click();
            }
        });
        answer.start(20);
        QVERIFY(!f.realQuestion(f.form.get(), "Kessvenn", "Einsatzdaten entfernen?"));
        QCOMPARE(asked, QApplication::font("QMessageBox").pointSizeF() * scale);
    }
    // The standby view at start-up, the time since the alarm as the clock goes on, the return to
    // standby after standby_minutes and at Ctrl+C; no map without a station.
    void standby()
    {
        Wall f("standby_minutes=60\nstation_name=Feuerwache Mitte");
        QVERIFY(f.wall()->standbyShown());
        QCOMPARE(f.text("clock"), "19:42");
        QCOMPARE(f.text("date"), "Dienstag, 8. Dezember 2026");
        QCOMPARE(f.text("station"), "Feuerwache Mitte");
        QCOMPARE(f.text("lastAlarm"), "Noch kein Einsatz");
        QVERIFY(f.control("ucGMap1")->isHidden());
        // Several paths: the standby view lists each, the alarm's head names those that are down.
        f.station->paths().add("Funkmeldeempfänger");
        const auto down = [&](int i) {
            const PathStates::Path& path = f.station->paths().paths()[i];
            return path.name + " getrennt seit " + path.since.toString("HH:mm");
        };
        QCOMPARE(f.text("status"), "2026: 0 Einsätze · " + down(0) + " · " + down(1));
        receiveAlarm(*f.station, true);
        QCOMPARE(f.text("head"), "Feuerwache Mitte · " + down(0) + " · " + down(1));
        QVERIFY(!f.wall()->standbyShown() && !f.control("ucGMap1")->isHidden());
        QCOMPARE(f.text("since"), "19:42 Uhr · seit 0:00 min");
        const auto at = [&](int seconds) {
            f.now = kAlarmTime.addSecs(seconds);
            f.wall()->refresh();
        };
        at(247);
        QCOMPARE(f.text("since"), "19:42 Uhr · seit 4:07 min");
        at(3599);
        QCOMPARE(f.text("since"), "19:42 Uhr · seit 59 min");
        at(3600);
        QVERIFY(f.wall()->standbyShown());
        QCOMPARE(f.text("lastAlarm"), "Letzter Einsatz: B3 Wohnungsbrand · vor 1 Stunde");
        receiveAlarm(*f.station, true);
        QVERIFY(!f.wall()->standbyShown());
        f.answerYes = true;
        QTest::keyClick(f.form.get(), Qt::Key_C, Qt::ControlModifier);
        QVERIFY(f.wall()->standbyShown());
        f.station->core().HandleUnitAlarm("WACHALARM_EM\tELW 1\a");
        QVERIFY(!f.wall()->standbyShown());
        QCOMPARE(f.text("keyword") + f.text("address") + f.text("units"), "EinheitenalarmELW 1");
        // A unit alarm replaces a test alarm as it does the standby view.
        QTRY_VERIFY(!f.station->announcements().busy());
        QVERIFY(f.station->core().HandleTestAlarm());
        QCOMPARE(f.text("keyword"), "Probealarm");
        f.station->core().HandleUnitAlarm("WACHALARM_EM\tRTW 1\a");
        QCOMPARE(f.text("keyword") + f.text("address") + f.text("units"), "EinheitenalarmRTW 1");
    }
    // Readable across the hall at every size: the ticker's lines in the size of their box, cut
    // where too long; the last alarm on one line; the dead-link band off the alarm's time and units.
    void readableAcrossTheHall_data()
    {
        QTest::addColumn<QSize>("size");
        for (const QSize size : { QSize(1920, 1080), QSize(3840, 2160), QSize(1280, 720), QSize(1080, 1920) })
            QTest::addRow("%dx%d", size.width(), size.height()) << size;
    }
    void readableAcrossTheHall()
    {
        QFETCH(QSize, size);
        Wall f("", false, "station=51.5136,7.4653\n");
        f.form->setAttribute(Qt::WA_DontShowOnScreen);
        f.form->show();
        f.form->resize(size);
        QCOMPARE(f.wall()->size(), size);
        QStandardItemModel ticker(3, 5);
        for (int row = 0; row < 3; ++row) {
            ticker.setData(ticker.index(row, TickerCells::Zeit), "19:4" + QString::number(row));
            ticker.setData(ticker.index(row, TickerCells::Text),
                QString("Florian Hagen 1-HLF20-1 meldet Status 3, Anfahrt über die Bundesstraße %1 ")
                    .arg(row)
                    .repeated(3));
        }
        f.wall()->setTicker(&ticker);
        FittingLabel* lines = f.wall()->label("ticker");
        const FittingLabel::Fit fit = lines->fitted();
        QCOMPARE(fit.font, lines->font());
        QCOMPARE(fit.shown.count('\n'), 2);
        for (const QString& line : fit.shown.split('\n'))
            QVERIFY2(QFontMetricsF(fit.font).horizontalAdvance(line) <= lines->textRect().width(), qPrintable(line));

        receiveAlarm(*f.station, true);
        auto* band = f.control<QLabel>("LinkWarning");
        QVERIFY(f.form->rect().contains(band->geometry()));
        for (const char* name : { "since", "units", "keyword", "address" }) {
            const QWidget* label = f.wall()->label(name);
            QVERIFY2(!band->geometry().intersects(QRect(label->mapTo(f.form.get(), QPoint()), label->size())), name);
        }

        const QString keyword = "THL 2 Verkehrsunfall mit eingeklemmter Person";
        f.station->core().HandleStationAlarm(WindowFixture::stationAlarm(keyword, { "HLF 20" }), 0);
        f.answerYes = true;
        QTest::keyClick(f.form.get(), Qt::Key_C, Qt::ControlModifier);
        FittingLabel* last = f.wall()->label("lastAlarm");
        QCOMPARE(last->text(), "Letzter Einsatz: " + keyword + " · gerade eben");
        const FittingLabel::Fit one = last->fitted();
        const QRect needed = QFontMetrics(one.font).boundingRect(last->textRect(), one.flags, last->text());
        QVERIFY(!(one.flags & Qt::TextWordWrap) && last->textRect().contains(needed));
    }
    // The calendar is read on a worker once the event loop runs: a wall built with a calendar that
    // libical alone would expand for minutes or without end registers at the dispatch computer, and
    // the appointments read in time follow, with one warning for the bounds.
    void calendarAfterTheLink_data()
    {
        columns<QByteArray, QString, bool>("ics", "first", "bounded");
        namespace H = HostileCalendars;
        const QList<QPair<const char*, QByteArray>> hostile = H::all();
        QTest::newRow("a plain calendar")
            << H::calendar(H::event(1, ":20261209T190000", "")) << "Mi 09.12. 19:00  Termin 1" << false;
        QTest::newRow(hostile[0].first) << hostile[0].second << "Di 08.12. 19:42  Termin 1" << true;
        QTest::newRow(hostile[1].first) << hostile[1].second << "Di 08.12. 19:42  Termin 1" << true;
        QTest::newRow(hostile[2].first) << hostile[2].second << "Di 08.12. 19:43  Termin 1" << true;
        const QDateTime berlin(QDate(2026, 12, 9), QTime(19, 0), QTimeZone("Europe/Berlin"));
        QTest::newRow(hostile[3].first) << H::calendar(
            H::minuteZone("Europe/Berlin") + H::event(1, ";TZID=Europe/Berlin:20261209T190000", ""))
                                        << "Mi 09.12. " + berlin.toLocalTime().toString("HH:mm") + "  Termin 1" << true;
    }
    void calendarAfterTheLink()
    {
        auto [ics, first, bounded] = fetch<QByteArray, QString, bool>("ics", "first", "bounded");
        FakeDispatch dispatch;
        QVERIFY(dispatch.listen());
        WindowFixture f;
        QVERIFY(f.putDataFile("termine.ics", ics));
        QVERIFY(f.putDataFile("display.ini", "layout=wall\ncalendar=termine.ics\n"));
        if (bounded)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("termine.ics is beyond its bounds"));
        f.form->load();
        f.form->wallScreen()->setClock([] { return kAlarmTime; });
        QCOMPARE(f.form->wallScreen()->label("appointments")->text(), "");
        f.ctx.ServerPort = dispatch.port();
        f.station->settings().ServerAddress = "127.0.0.1";
        QTimer ticks;
        connect(&ticks, &QTimer::timeout, &f.station->link(), &ServerLink::superviseTick);
        ticks.start(100);
        QVERIFY(dispatch.waitForReceived(1, 30000));
        QTRY_COMPARE_WITH_TIMEOUT(
            f.form->wallScreen()->label("appointments")->text().section('\n', 0, 0), first, 30000);
    }
    // The vehicles' board: none before the station has a vehicle to show; then a strip under the
    // map on the standby view and beside the alarm, every tile inside it. The standby view's map
    // marks the station, the alarm's shows the incident, and back on standby neither its marker nor
    // its water sources are left.
    void vehicleBoard()
    {
        Wall f("standby_minutes=60\n", true, "station=51.5136,7.4653\n");
        const QSize screen = f.form->screen()->size();
        QTRY_COMPARE(f.wall()->size(), screen);
        auto* map = f.control<ucGMap>("ucGMap1");
        QVERIFY(f.wall()->board()->isHidden() && !map->isHidden());
        QCOMPARE(map->geometry(), WallLayout::standby(screen, true).map);
        QCOMPARE(map->GPoint(), "51.5136,7.4653");
        const QStringList station { MapMarker::fragment("51.513600,7.465300", 0x1060D0, "W") };
        QCOMPARE(map->Markers, station);
        f.station->core().InsertStatusRow("WACHALARM_STATUS\tFlorian Hagen 1-HLF20-1\tS5");
        QTRY_VERIFY(!f.wall()->board()->isHidden());
        const auto placed = [&](const QRect& board, const QRect& mapRect) {
            const VehicleBoardView* view = f.wall()->board();
            QCOMPARE(view->geometry(), board);
            QCOMPARE(map->geometry(), mapRect);
            QCOMPARE(view->tiles().size(), 1);
            QCOMPARE(view->tiles()[0].lines.section('\n', 0, 1), "Florian Hagen 1-HLF20-1\n5 Sprechwunsch");
            QVERIFY(view->rect().contains(view->tiles()[0].place));
        };
        const WallStandbyGeometry standby = WallLayout::standby(screen, true, true);
        placed(standby.board, standby.map);
        receiveAlarm(*f.station, true);
        QTRY_COMPARE(map->GPoint(), "48.1374,11.5755");
        QVERIFY(map->Markers.join("").contains("label:E"));
        const WallAlarmGeometry alarm = WallLayout::alarm(screen, true);
        placed(alarm.board, alarm.map);
        QCOMPARE(f.wall()->label("names")->geometry(), alarm.names.rect);
        map->setWaterSources({ WaterFound {} });
        f.now = kAlarmTime.addSecs(3600);
        f.wall()->refresh();
        QVERIFY(f.wall()->standbyShown());
        QCOMPARE(map->GPoint(), "51.513600,7.465300");
        QCOMPARE(map->Markers, station);
        QVERIFY(map->waterSources().isEmpty());
    }
    // At start-up the stored alarm is shown while younger than standby_minutes.
    void startUp_data()
    {
        columns<int, bool>("ageMinutes", "standby");
        QTest::newRow("younger: the alarm") << 5 << false;
        QTest::newRow("older: standby") << 90 << true;
    }
    void startUp()
    {
        auto [ageMinutes, standby] = fetch<int, bool>("ageMinutes", "standby");
        WindowFixture stored;
        QVERIFY(stored.putDataFile("display.ini", "layout=wall\n"));
        stored.form->load();
        stored.station->core().HandleStationAlarm(WindowFixture::stationAlarm("B3", { "HLF" }), 0);
        QVERIFY(TestFiles::setModified(
            stored.dataFile("last.dat"), QDateTime::currentDateTime().addSecs(-60 * ageMinutes)));
        stored.form.reset();
        stored.station.reset();
        Station station(stored.ctx, Station::Link::Idle);
        Form1 again(station);
        again.load();
        QCOMPARE(again.wallScreen()->standbyShown(), standby);
    }
    // privacy=1, in either layout: no informant, remark or pager holder in any of the window's
    // widgets, nor in a label as it was painted at any moment; the same picture as an alarm without
    // them, and no history.
    void hallView_data()
    {
        QTest::addColumn<QByteArray>("layout");
        QTest::newRow("classic") << QByteArray("layout=classic\n");
        QTest::newRow("wall") << QByteArray("layout=wall\n");
    }
    void hallView()
    {
        QFETCH(QByteArray, layout);
        const auto picture = [&layout](bool personal, QStringList* texts, QImage* image) {
            WindowFixture f;
            QVERIFY(f.putDataFile("display.ini", layout + "privacy=1\n"));
            f.form->resize(1920, 1080);
            f.form->show();
            f.form->load();
            if (WallScreen* wall = f.form->wallScreen())
                wall->setClock([] { return kAlarmTime; });
            Painted painted;
            qApp->installEventFilter(&painted);
            receiveAlarm(*f.station, personal);
            // The strength is shown, the names of those coming are not.
            QTRY_VERIFY(f.control<QLabel>("lbl_Staerke")->text().startsWith("0/0/1/1"));
            QTRY_COMPARE(f.control<QTableWidget>("Grid_Melder")->rowCount(), 1);
            qApp->removeEventFilter(&painted);
            QVERIFY(painted.painted.join('|').contains("B3 Wohnungsbrand"));
            *texts << painted.painted;
            for (const QLabel* label : f.form->findChildren<QLabel*>())
                *texts << label->text() << label->toolTip();
            for (const QTableWidget* grid : f.form->findChildren<QTableWidget*>())
                for (const QTableWidgetItem* item : grid->findItems("*", Qt::MatchWildcard))
                    *texts << item->text();
            if (personal) {
                QTest::ignoreMessage(QtInfoMsg, QRegularExpression("history is not shown"));
                QTest::keyClick(f.form.get(), Qt::Key_E, Qt::ControlModifier);
                QVERIFY(!f.form->findChild<HistoryView*>());
            }
            *image = f.form->grab().toImage();
        };
        QStringList texts;
        QImage withPersonal, without;
        picture(true, &texts, &withPersonal);
        QVERIFY(!QTest::currentTestFailed());
        QVERIFY(texts.join('|').contains("B3 Wohnungsbrand"));
        for (const char* personal : { "Huber", "Anrufer", "Fischer" })
            QVERIFY2(!texts.join('|').contains(personal), personal);
        picture(false, &texts, &without);
        QVERIFY(withPersonal == without);
    }
    // The dispatch data that follows a radio alarm fills the wall; its time since the alarm stands.
    void radioAlarmFilledIn()
    {
        Wall f("");
        f.station->inbox().takeRadioAlarm(RadioAlarm { "1234567", {}, "Alarm Löschzug Mitte", {} });
        f.now = f.now.addSecs(20);
        f.station->inbox().dispatchPath(0).HandleStationAlarm(AlarmText::alarm(), 0);
        QCOMPARE(f.text("keyword"), "B3");
        QVERIFY2(f.text("address").startsWith("Kampstraße 12\n44135 Dortmund"), qPrintable(f.text("address")));
        QVERIFY2(f.text("since").endsWith("seit 0:20 min"), qPrintable(f.text("since")));
    }
    // screen= by number, or one that is not there: a warning, and the primary screen.
    void screenChosen()
    {
        QCOMPARE(WallScreen::chooseScreen("0"), QGuiApplication::screens().first());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("the screen HDMI-9 is not there"));
        QCOMPARE(WallScreen::chooseScreen("HDMI-9"), QGuiApplication::primaryScreen());
    }
};

int main(int argc, char** argv)
{
    // The X server of xvfb-run: the screen that is grabbed is the one the window covers.
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    WallViewTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_WallView.moc"
