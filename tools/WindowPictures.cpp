// Pictures of the main window with a demo alarm on screen, for the documentation: one at the design
// size, one on a full-HD screen, two on small screens (1366 × 768, 800 × 600), full screen on a
// full-HD wall screen with and without the dead-link band, the vehicles' board, the wall layout
// with its standby view and as a hall screen, and the settings dialog; with --4k the wall layout
// on a 3840 × 2160 screen as well. The data folder is a temporary one whose map.ini names only a
// water index of three sources, so the map sends no request and stays empty. No route planner
// runs: the drive time is put in as a route would give it. Runs on the offscreen platform with a
// 1920 × 1080 and a 3840 × 2160 screen:
//   kessvenn_pictures <folder> [--4k]
#include "alarm/AlarmCore.h"
#include "alarm/AlarmHandler.h"
#include "app/Form1.h"
#include "app/WallScreen.h"
#include "common/AppContext.h"
#include "crew/CrewWatch.h"
#include "crew/VehicleBoard.h"
#include "settings/Form2.h"
#include "station/Station.h"
#include "water/WaterIndex.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

const QString kTab = QStringLiteral("\t");

QString message(const QStringList& fields)
{
    return fields.join(kTab);
}

// The demo alarm as the dispatch computer sends it, through the window's own handlers.
void receiveDemoAlarm(Station& station)
{
    AlarmCore& form = station.core();
    const QChar bell(7);
    form.HandleStationAlarm(
        message({ QStringLiteral("WACHALARM"), QStringLiteral("Einsatz 4711"), QStringLiteral("06.12.2026 19:42"),
            QStringLiteral("Rauch aus Dachgeschoss"), QStringLiteral("B 3 - Brand Wohnhaus"), QStringLiteral("80331"),
            QStringLiteral("München"), QStringLiteral("Hauptstraße"), QStringLiteral("12"),
            QStringLiteral("Anrufer sieht Rauch aus dem Dachfenster, eine Person vermutlich noch in der "
                           "Wohnung. Zufahrt über die Hofeinfahrt."),
            QStringLiteral("Altstadt"), QStringLiteral("Wohn- und Geschäftshaus"), QStringLiteral("Hinterhaus, 3. OG"),
            QString(), QStringList { "ELW 1", "HLF 20(A)", "DLK 23(D)", "RTW 1", "" }.join(bell), QStringLiteral("1"),
            QStringLiteral("48,1374"), QStringLiteral("11,5755"), QStringLiteral("Huber, Anna") }),
        0);
    for (const char* unit : { "Rotkreuz München 71/1\t3", "Florian Altstadt 11/1\t3", "Florian Altstadt 40/1\t3",
             "Florian Altstadt 23/1\t4" })
        form.InsertStatusRow(QStringLiteral("WACHALARM_STATUS\t") + QString::fromUtf8(unit));
    for (const char* pager :
        { "Fischer, Lea\t1005", "Müller, Kai\t1004", "Wagner, Eva\t1003", "Schmidt, Jan\t1002", "Becker, Tom\t1001" })
        form.InsertPagerRow(QStringLiteral("WACHALARM_MELDER\t") + QString::fromUtf8(pager));
    for (const char* feedback : { "1001\t1", "1002\t2", "1003\t0", "1004\t4" })
        form.HandleFeedback(QStringLiteral("WACHALARM_RM\t") + QString::fromUtf8(feedback));

    const auto ticker = [&](const char* sender, const char* time, const char* headline, const char* body) {
        form.HandleTickerMessage(QStringLiteral("WACHALARM_TICKER\t%1\x07"
                                                "EA 7\x07"
                                                "06.12.2026\x07%2\x07\x07%3\x07%4")
                                     .arg(QString::fromUtf8(sender), QString::fromLatin1(time),
                                         QString::fromUtf8(headline), QString::fromUtf8(body)));
    };
    ticker("Wache", "07:15:02", "", "Fahrzeugcheck HLF 20 ohne Mängel");
    ticker("ILS München", "19:43:10", "B 3 Hauptstraße 12", "Rauch aus Dachgeschoss<CR>Person vermisst");
    ticker("ILS München", "19:48:31", "Nachalarmierung", "RTW 1 zur Einsatzstelle");
    // The grids, the strength and the board show a burst of messages a little later, at once.
    QEventLoop shown;
    QTimer::singleShot(2 * std::max({ AlarmHandler::kGridMs, CrewWatch::kShowMs, VehicleBoard::kChangedMs }), &shown,
        &QEventLoop::quit);
    shown.exec();
}

// The station's crew and vehicles, for the strength and the vehicles' board.
bool putCrew(const QString& data)
{
    QDir().mkpath(data);
    for (const auto& [name, text] : { std::pair { "mannschaft.csv",
                                          "Melder;Name;Qualifikation\n1001;;ZF AGT\n1002;;GF Ma\n1003;;AGT C\n"
                                          "1004;;Ma\n1005;;AGT Ma C\n" },
             std::pair { "fahrzeuge.ini",
                 "Florian Altstadt 11/1 = ELW 1\nFlorian Altstadt 40/1 = HLF 20\nFlorian Altstadt 23/1 = DLK 23\n"
                 "Florian Altstadt 44/1 = LF 10\n" } }) {
        QFile file(QDir(data).filePath(QString::fromLatin1(name)));
        if (!file.open(QIODevice::WriteOnly) || file.write(text) < 0)
            return false;
    }
    return true;
}

// Three water sources around the demo alarm's place (36 m north-east, 79 m south-west, 138 m
// south) and map.ini naming their index.
bool putWater(const QString& data)
{
    const QString index = QDir(data).filePath(QStringLiteral("water.sqlite"));
    if (!WaterIndex::write(index,
            { { WaterKind::Underground, 100, {}, 'n', 1, 48.137629, 11.575843 },
                { WaterKind::Pillar, 150, {}, 'n', 2, 48.136898, 11.574747 },
                { WaterKind::Tank, 0, {}, 'n', 3, 48.136159, 11.5755 } },
            nullptr))
        return false;
    QFile file(QDir(data).filePath(QStringLiteral("map.ini")));
    return file.open(QIODevice::WriteOnly) && file.write("water=" + index.toUtf8() + "\n") > 0;
}

// The look-up of the water sources answers from a thread of its own; the drive time stands in for
// a route.
void waitForWater(Form1& form)
{
    const auto* water = form.findChild<QLabel*>(QStringLiteral("lbl_Wasser"));
    for (int i = 0; i < 500 && water && water->text().isEmpty(); ++i) {
        QApplication::processEvents();
        QThread::msleep(10);
    }
    if (auto* drive = form.findChild<QLabel*>(QStringLiteral("lbl_Anfahrt")))
        drive->setText(QStringLiteral("Anfahrt 4 min \u00B7 3,6 km"));
    if (WallScreen* wall = form.wallScreen())
        wall->setDriveTime(QStringLiteral("Anfahrt 4 min \u00B7 3,6 km"));
}

bool savePicture(Form1& form, QSize size, const QString& path)
{
    form.resize(size);
    QApplication::processEvents();
    const bool ok = form.grab().save(path);
    std::printf("%s %s (%dx%d)\n", ok ? "wrote" : "could not write", qPrintable(path), size.width(), size.height());
    return ok;
}

} // namespace

// A station's wall screen after start-up, full screen, with a data folder of its own that holds
// display.ini with `ini` and the station's calendar. In the wall layout the clock stands at a
// fixed time: 4 minutes 7 seconds after the demo alarm, or two days later on standby.
bool saveFullScreen(const QByteArray& ini, int waitMs, const QString& path, bool standby = false)
{
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
    AppContext ctx;
    ctx.ProgramFolder = home.path();
    ctx.DataFolder = QDir(home.path()).filePath(QStringLiteral("Torvelle"));
    if (!putCrew(ctx.DataFolder) || !putWater(ctx.DataFolder))
        return false;
    QFile file(ctx.dataFile(QStringLiteral("display.ini")));
    if (!file.open(QIODevice::WriteOnly) || file.write(ini) != ini.size())
        return false;
    file.close();
    QFile calendar(ctx.dataFile(QStringLiteral("termine.ics")));
    if (!calendar.open(QIODevice::WriteOnly)
        || !calendar.write("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Wache//DE\r\n"
                           "BEGIN:VEVENT\r\nUID:1\r\nDTSTART:20261103T193000\r\nDURATION:PT2H\r\n"
                           "RRULE:FREQ=WEEKLY;BYDAY=TU\r\nSUMMARY:Übungsabend Löschzug\r\nEND:VEVENT\r\n"
                           "BEGIN:VEVENT\r\nUID:2\r\nDTSTART;VALUE=DATE:20261210\r\nSUMMARY:Hydrantenprüfung "
                           "Altstadt\r\nEND:VEVENT\r\nBEGIN:VEVENT\r\nUID:3\r\nDTSTART:20261212T100000\r\n"
                           "DURATION:PT3H\r\nSUMMARY:Jugendfeuerwehr: Weihnachtsfeier\r\nEND:VEVENT\r\n"
                           "END:VCALENDAR\r\n"))
        return false;
    calendar.close();
    Station station(ctx, Station::Link::Idle);
    Form1 form(station);
    form.setFullScreen(true);
    form.showOnScreen();
    form.load();
    QDateTime now(QDate(2026, 12, 6), QTime(19, 42, 0));
    if (WallScreen* wall = form.wallScreen())
        wall->setClock([&now] { return now; });
    receiveDemoAlarm(station);
    waitForWater(form);
    if (WallScreen* wall = form.wallScreen()) {
        now = standby ? QDateTime(QDate(2026, 12, 8), QTime(7, 30, 0)) : now.addSecs(247);
        if (standby)
            wall->showStandby();
        wall->refresh();
    }
    QEventLoop wait;
    QTimer::singleShot(waitMs, &wait, &QEventLoop::quit);
    wait.exec();
    const bool ok = form.grab().save(path);
    std::printf(
        "%s %s (full screen %dx%d)\n", ok ? "wrote" : "could not write", qPrintable(path), form.width(), form.height());
    return ok;
}

int main(int argc, char* argv[])
{
    QTemporaryDir screens;
    const QString screenFile = screens.filePath(QStringLiteral("screens.json"));
    QFile screenConfig(screenFile);
    if (!screenConfig.open(QIODevice::WriteOnly)
        || !screenConfig.write(R"({"screens":[{"name":"wall","x":0,"y":0,"width":1920,"height":1080},)"
                               R"({"name":"wall4k","x":1920,"y":0,"width":3840,"height":2160}]})"))
        return 1;
    screenConfig.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + screenFile.toLocal8Bit());
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kessvenn"));
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(folder);

    // The window's start-up creates its data folder; keep it away from the user's own.
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());

    AppContext ctx;
    ctx.ProgramFolder = home.path();
    if (!putCrew(QDir(home.path()).filePath(QStringLiteral("Torvelle")))
        || !putWater(QDir(home.path()).filePath(QStringLiteral("Torvelle"))))
        return 1;
    // No link: the pictures show what the handlers made of the demo messages.
    Station station(ctx, Station::Link::Idle);
    Form1 form(station);
    form.show();
    form.load();
    receiveDemoAlarm(station);
    waitForWater(form);

    bool ok = savePicture(form, QSize(1264, 936), QDir(folder).filePath(QStringLiteral("window-1264x936.png")));
    ok = savePicture(form, QSize(1920, 1080), QDir(folder).filePath(QStringLiteral("window-1920x1080.png"))) && ok;
    ok = savePicture(form, QSize(1366, 768), QDir(folder).filePath(QStringLiteral("window-1366x768.png"))) && ok;
    ok = savePicture(form, QSize(800, 600), QDir(folder).filePath(QStringLiteral("window-800x600.png"))) && ok;
    // F11: the vehicles' board over the status list, and away again.
    QKeyEvent f11(QEvent::KeyRelease, Qt::Key_F11, Qt::NoModifier);
    QApplication::sendEvent(&form, &f11);
    ok = savePicture(form, QSize(1264, 936), QDir(folder).filePath(QStringLiteral("vehicle-board-1264x936.png"))) && ok;
    QApplication::sendEvent(&form, &f11);

    form.cmd_Settings_Click();
    if (Form2* dialog = form.settingsDialog()) {
        const QString path = QDir(folder).filePath(QStringLiteral("settings-dialog.png"));
        const bool saved = dialog->grab().save(path);
        std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
        ok = saved && ok;
        // A page built from the schema of its file.
        dialog->showPage(QStringLiteral("Karte und Route"));
        const QString map = QDir(folder).filePath(QStringLiteral("settings-map.png"));
        const bool mapSaved = dialog->grab().save(map);
        std::printf("%s %s\n", mapSaved ? "wrote" : "could not write", qPrintable(map));
        ok = mapSaved && ok;
        dialog->close();
    }
    form.close();

    ok = saveFullScreen("fullscreen=1\n", 200, QDir(folder).filePath(QStringLiteral("fullscreen-1920x1080.png"))) && ok;
    ok = saveFullScreen("fullscreen=1\nlink_warning_seconds=1\n", 1500,
             QDir(folder).filePath(QStringLiteral("link-warning-1920x1080.png")))
        && ok;
    const QByteArray wall = "fullscreen=1\nlayout=wall\nstation_name=Feuerwache Altstadt\ncalendar=termine.ics\n";
    ok = saveFullScreen(wall, 200, QDir(folder).filePath(QStringLiteral("wall-1920x1080.png"))) && ok;
    ok = saveFullScreen(wall, 200, QDir(folder).filePath(QStringLiteral("standby-1920x1080.png")), true) && ok;
    ok = saveFullScreen(wall + "privacy=1\n", 200, QDir(folder).filePath(QStringLiteral("hall-1920x1080.png"))) && ok;
    if (argc > 2 && QByteArray(argv[2]) == "--4k")
        ok = saveFullScreen(wall + "screen=wall4k\n", 200, QDir(folder).filePath(QStringLiteral("wall-3840x2160.png")))
            && ok;
    return ok ? 0 : 1;
}
