// The wall layout on a real X server (test_wallview at 1920 x 1080, test_wallview_4k at 3840 x 2160):
// the alarm on screen, the standby view and its clock, the hall view.
#include "announce/AnnouncementOutput.h"
#include "app/FittingLabel.h"
#include "app/WallLayout.h"
#include "app/WallScreen.h"
#include "crew/VehicleBoardView.h"
#include "history/HistoryView.h"
#include "map/ucGMap.h"
#include "tests/support/TestFiles.h"
#include "tests/support/WindowFixture.h"

#include <QApplication>
#include <QFile>
#include <QScreen>
#include <QTableWidget>
#include <QTest>

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

// Notes what the keyword's label showed when it was last painted, and that at the first sound.
struct FirstSound : AnnouncementOutput {
    QString painted, atFirstSound;
    bool eventFilter(QObject* label, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            painted = static_cast<QLabel*>(label)->text();
        return false;
    }
    void PlayWave(const QString&) override
    {
        if (atFirstSound.isNull())
            atFirstSound = painted;
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
        Wall f("", true);
        QVERIFY(QTest::qWaitForWindowExposed(f.form.get()));
        FirstSound sound;
        f.station->setAnnouncementOutput(&sound);
        f.ctx.settings.PlayAlarmWav = 1;
        f.wall()->label("keyword")->installEventFilter(&sound);
        receiveAlarm(*f.station, true);
        QTRY_COMPARE(sound.atFirstSound, "B3 Wohnungsbrand");
        QVERIFY(!f.wall()->standbyShown());
        const QRect screen = f.form->screen()->geometry();
        QTRY_COMPARE(f.wall()->size(), screen.size());
        struct Shown {
            const char* name;
            QColor ink;
        };
        for (const Shown& s : { Shown { "keyword", Qt::white }, Shown { "address", Qt::white },
                 Shown { "since", QColor(0xFF, 0xD8, 0x40) } }) {
            FittingLabel* label = f.wall()->label(s.name);
            const QRect box(label->mapToGlobal(QPoint()), label->size());
            QVERIFY2(label->isVisible() && screen.contains(box), s.name);
            const FittingLabel::Fit fit = label->fitted();
            const QRect needed = QFontMetrics(fit.font).boundingRect(label->textRect(), fit.flags, label->text());
            QVERIFY2(label->textRect().contains(needed), s.name);
            if (QByteArray(s.name) == "keyword")
                QCOMPARE_GE(QFontMetricsF(fit.font).capHeight(), WallLayout::kKeywordCapShare * screen.height());
            // The X server's own picture of the box holds the text's ink.
            QTRY_VERIFY2_WITH_TIMEOUT(
                [&] {
                    const QImage shot = f.form->screen()
                                            ->grabWindow(0, box.x(), box.y(), box.width(), box.height())
                                            .toImage()
                                            .convertToFormat(QImage::Format_RGB32);
                    int ink = 0;
                    for (int y = 0; y < shot.height(); ++y)
                        for (int x = 0; x < shot.width(); ++x)
                            ink += shot.pixel(x, y) == s.ink.rgb();
                    return ink > box.height();
                }(),
                s.name, 10000);
        }
        QCOMPARE(f.text("address"), "Hauptstraße 12\n80331 München / Altstadt\nWohnhaus · Hinterhaus");
        // The pointer shows the buttons for a while.
        const QObjectList stack = f.form->children();
        QWidget* bar = f.control("roLabel1(1)");
        QVERIFY(stack.indexOf(bar) < stack.indexOf(f.wall()));
        QTest::mouseMove(f.form.get(), QPoint(100, 100));
        QVERIFY(f.form->children().indexOf(bar) > f.form->children().indexOf(f.wall()));
        QTRY_VERIFY_WITH_TIMEOUT(f.form->children().indexOf(bar) < f.form->children().indexOf(f.wall()), 10000);
        QCOMPARE(f.text("answers"), "0/0/1/1 · AGT 0 · Ma 0 · C 0\nspäter 0 · nicht 0 · unbekannt 0");
        QCOMPARE(f.text("names"), "kommt: Fischer, Lea");
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
        receiveAlarm(*f.station, true);
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
    }
    // The standby view's map shows the station, the alarm's the incident.
    void standbyMap()
    {
        Wall f("", false, "station=51.5136,7.4653\n");
        auto* map = f.control<ucGMap>("ucGMap1");
        QVERIFY(!map->isHidden());
        QCOMPARE(map->GPoint(), "51.5136,7.4653");
        receiveAlarm(*f.station, true);
        QTRY_COMPARE(map->GPoint(), "48.1374,11.5755");
        f.wall()->showStandby();
        QCOMPARE(map->GPoint(), "51.513600,7.465300");
    }
    // The vehicles' board: none before the station has a vehicle to show; then a strip under the
    // map on the standby view and beside the alarm, every tile inside it.
    void vehicleBoard()
    {
        Wall f("", true, "station=51.5136,7.4653\n");
        const QSize screen = f.form->screen()->size();
        QTRY_COMPARE(f.wall()->size(), screen);
        auto* map = f.control<ucGMap>("ucGMap1");
        QVERIFY(f.wall()->board()->isHidden());
        QCOMPARE(map->geometry(), WallLayout::standby(screen, true).map);
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
        const WallAlarmGeometry alarm = WallLayout::alarm(screen, true);
        placed(alarm.board, alarm.map);
        QCOMPARE(f.wall()->label("names")->geometry(), alarm.names.rect);
    }
    // At start-up the stored alarm is shown while younger than standby_minutes.
    void startUp_data()
    {
        QTest::addColumn<int>("ageMinutes");
        QTest::addColumn<bool>("standby");
        QTest::newRow("younger: the alarm") << 5 << false;
        QTest::newRow("older: standby") << 90 << true;
    }
    void startUp()
    {
        QFETCH(int, ageMinutes);
        QFETCH(bool, standby);
        WindowFixture stored;
        QVERIFY(stored.putDataFile("display.ini", "layout=wall\n"));
        stored.form->load();
        stored.station->core().HandleStationAlarm(WindowFixture::stationAlarm("B3", { "HLF" }), 0);
        QFile last(stored.dataFile("last.dat"));
        QVERIFY(last.open(QIODevice::ReadWrite));
        QVERIFY(last.setFileTime(QDateTime::currentDateTime().addSecs(-60 * ageMinutes), QFile::FileModificationTime));
        last.close();
        stored.form.reset();
        stored.station.reset();
        Station station(stored.ctx, Station::Link::Idle);
        Form1 again(station);
        again.load();
        QCOMPARE(again.wallScreen()->standbyShown(), standby);
    }
    // privacy=1: no informant, remark or pager holder anywhere in the window's widgets, the same
    // picture as an alarm without them, and no history.
    void hallView()
    {
        const auto picture = [](bool personal, QStringList* texts, QImage* image) {
            Wall f("privacy=1\n");
            f.form->resize(1920, 1080);
            receiveAlarm(*f.station, personal);
            // The strength is shown, the names of those coming are not.
            QTRY_VERIFY(f.text("answers").startsWith("0/0/1/1"));
            QTRY_COMPARE(f.form->findChild<QTableWidget*>("Grid_Melder")->rowCount(), 1);
            QVERIFY(!f.wall()->label("names"));
            for (const QLabel* label : f.form->findChildren<QLabel*>())
                *texts << label->text();
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
        QVERIFY(texts.join('|').contains("B3 Wohnungsbrand"));
        for (const char* personal : { "Huber", "Anrufer", "Fischer" })
            QVERIFY2(!texts.join('|').contains(personal), personal);
        picture(false, &texts, &without);
        QVERIFY(withPersonal == without);
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
