#include "announce/AnnouncementOutput.h"
#include "app/FittingLabel.h"
#include "app/GermanTexts.h"
#include "app/WallScreen.h"
#include "history/HistoryDesk.h"
#include "history/HistoryView.h"
#include "link/ServerLink.h"
#include "map/ucGMap.h"
#include "settings/Form2.h"
#include "settings/SchemaPage.h"
#include "settings/SettingsFile.h"
#include "tests/support/DataRows.h"
#include "tests/support/FakeDispatch.h"
#include "tests/support/TestFiles.h"
#include "tests/support/WindowFixture.h"
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>
#undef KeyRelease // Xlib's names that Qt uses too

static QStringList warnings; // of the running test function only
static int saverState(Display* display)
{
    XScreenSaverInfo info {};
    XScreenSaverQueryInfo(display, DefaultRootWindow(display), &info);
    return info.state;
}
// Notes each sound and speech run, and at the first what the screen showed of label_einsatz(3) and the X saver.
struct ScreenAtFirstSound : AnnouncementOutput {
    QWidget* window = nullptr;
    Display* display = nullptr;
    int saverAtFirstSound = -1;
    QStringList sounds;
    QImage onScreen, drawn;
    void PlayWave(const QString& path) override { heard(path); }
    void RunSpeechProgram(const QString& path, const QString&, const QString&, const QString&) override { heard(path); }
    void StopStep() override { }
    void heard(const QString& path)
    {
        QMetaObject::invokeMethod(this, &AnnouncementOutput::stepEnded, Qt::QueuedConnection);
        QWidget* label = window->findChild<QLabel*>("label_einsatz(3)");
        if (sounds.isEmpty()) {
            const QRect r = label->geometry();
            onScreen = window->screen()->grabWindow(window->winId(), r.x(), r.y(), r.width(), r.height()).toImage();
            drawn = label->grab().toImage().convertToFormat(onScreen.format());
            saverAtFirstSound = saverState(display);
        }
        sounds << QFileInfo(path).fileName();
    }
};

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    // The map starts at zoom 10, which no command gives, and at map type `start`.
    void shortcutsAndButtons_data()
    {
        // target: gets the key release, or is the button clicked; keys: "click", or the keys one after another,
        // "repeat": an auto-repeat release; after: zoom, map type, questions, settings dialogs open, ending
        columns<QString, QString, int, QList<int>>("target", "keys", "start", "after");
        const auto row = [](const char* name, const char* target, const char* keys, int start, QList<int> after) {
            QTest::newRow(name) << target << keys << start << after;
        };
        row("F2 on the window", "Form1", "F2", 1, { 12, 1, 0, 0, 0 });
        row("F5 on a label", "label_einsatz(7)", "F5", 1, { 15, 1, 0, 0, 0 });
        row("Meta is no modifier that counts", "Form1", "Meta+F7", 1, { 17, 1, 0, 0, 0 });
        row("Ctrl+F2 on a button does nothing", "cmd_Settings", "Ctrl+F2", 1, { 10, 1, 0, 0, 0 });
        row("F1, F10 without a route, Shift+F2, Ctrl+Shift+C are no commands", "Form1",
            "F1, F10, Shift+F2, Ctrl+Shift+C", 1, { 10, 1, 0, 0, 0 });
        row("an auto-repeat release does nothing", "Form1", "repeat", 1, { 10, 1, 0, 0, 0 });
        row("Ctrl+S on the status grid", "Grid_Status", "Ctrl+S", 2, { 10, 0, 0, 0, 0 });
        row("Ctrl+A on the units grid", "MSFlexGrid1", "Ctrl+A", 0, { 10, 1, 0, 0, 0 });
        row("Ctrl+H", "Form1", "Ctrl+H", 1, { 10, 2, 0, 0, 0 });
        row("Ctrl+T on the list", "List_Doku", "Ctrl+T", 1, { 10, 3, 0, 0, 0 });
        row("Ctrl+C on the pager grid asks", "Grid_Melder", "Ctrl+C", 1, { 10, 1, 1, 0, 0 });
        row("Ctrl+C in the settings dialog is the dialog's", "txt_Server", "Ctrl+C", 1, { 10, 1, 0, 1, 0 });
        row("button 19", "cmd_zoom(7)", "click", 1, { 19, 1, 0, 0, 0 });
        row("button Hybrid", "cmd_Anbieter(2)", "click", 1, { 10, 2, 0, 0, 0 });
        row("button Programmende", "cmd_ende", "click", 1, { 10, 1, 0, 0, 1 });
    }
    void shortcutsAndButtons()
    {
        auto [target, keys, start, after]
            = fetch<QString, QString, int, QList<int>>("target", "keys", "start", "after");
        WindowFixture f;
        f.form->show();
        auto* map = f.control<ucGMap>("ucGMap1");
        map->setGZoom(10);
        map->setMapType(start);
        for (int click = 0; click < (target == "txt_Server" ? 2 : 0); ++click) // two clicks, one dialog
            f.form->cmd_Settings_Click();
        QWidget* receiver = target == "Form1" ? f.form.get()
            : target == "txt_Server"          ? f.form->settingsDialog()->findChild<QWidget*>(target)
                                              : f.control(target);
        if (keys == "click")
            qobject_cast<QPushButton*>(receiver)->click();
        const QKeySequence sequence(keys == "repeat" ? "F2" : keys == "click" ? "" : keys);
        for (int i = 0; i < sequence.count(); ++i) {
            const QKeyCombination k = sequence[i];
            QTest::keyPress(receiver, k.key(), k.keyboardModifiers());
            QCOMPARE(map->GZoom(), 10); // the release acts, not the press
            QKeyEvent release(QEvent::KeyRelease, k.key(), k.keyboardModifiers(), QString(), keys == "repeat");
            QApplication::sendEvent(receiver, &release);
        }
        const auto open = std::ranges::count_if(QApplication::topLevelWidgets(),
            [](const QWidget* w) { return qobject_cast<const Form2*>(w) && w->isVisible(); });
        QCOMPARE(
            QList<int>({ map->GZoom(), map->MapType(), int(f.questions.size()), int(open), f.ctx.ist_ende() }), after);
        QCOMPARE(f.control<QLabel>("lbl_Zoom")->text(), after[0] == 10 ? "16" : QString::number(after[0]));
    }
    // Every field carries markup: the labels and cells show the characters, and nothing is loaded.
    // The long keyword is made smaller rather than cut: what is drawn fits its label.
    void alarmIsShownAsPlainText()
    {
        WindowFixture f;
        f.form->show();
        QImage picture(64, 64, QImage::Format_RGB32);
        picture.fill(Qt::cyan);
        QVERIFY(picture.save(f.home.filePath("cyan.png")));
        const QString img = QString("<img src='%1'>").arg(f.home.filePath("cyan.png"));
        f.station->core().HandleStationAlarm(
            QStringList { "WACHALARM", img, "<i>06.12.</i> <b>19:42</b>", img,
                "<b>W1</b>" + QString(" Brand Wohnhaus").repeated(8), "1", "<u>Au</u>", "Weg", "2", img, "", "<s>O</s>",
                "Z", "", "<b>HLF</b>\a" + img + "\a", "1", "", "", img }
                .join('\t'),
            1);
        QCOMPARE(f.incidentTexts().mid(9, 3), QStringList({ "<i>06.12.</i>", "<b>19:42</b>", img }));
        for (QLabel* label : f.form->findChildren<QLabel*>()) {
            const QImage shown = label->grab().toImage();
            label->setTextFormat(Qt::PlainText);
            QVERIFY2(label->grab().toImage() == shown, qPrintable(label->objectName()));
        }
        const QImage window = f.form->grab().toImage().convertToFormat(QImage::Format_RGB32);
        for (int y = 0; y < window.height(); ++y)
            for (int x = 0; x < window.width(); ++x)
                QVERIFY2(window.pixel(x, y) != QColor(Qt::cyan).rgb(), "a picture was loaded");
        auto* keyword = f.control<FittingLabel>("label_einsatz(1)");
        const FittingLabel::Fit fit = keyword->fitted();
        const QRect room = keyword->textRect();
        const QRectF needed = QFontMetricsF(fit.font).boundingRect(QRectF(room), fit.flags, keyword->text());
        QVERIFY(fit.font.pointSizeF() < keyword->font().pointSizeF());
        QVERIFY(needed.width() <= room.width() + 0.5 && needed.height() <= room.height() + 0.5);
    }
    void clearCommand_data()
    {
        // answer: "alarm": Ja, and a new alarm came while the question was open
        columns<QString, QStringList>("answer", "after");
        const QStringList shown = { "Meldbild", "B 3", "Hauptstraße 12", "80331 München", "", "", "", "Vermerk", "",
            "06.12.2026", "19:42", "Einsatz 4711", "MSFlexGrid1", "HLF 20", "RTW 1", "Grid_Melder", "Becker, Tom",
            "Grid_Status", "HLF 20" };
        const QStringList newer = shown.mid(0, 1) + QStringList { "TH 1" } + shown.mid(2, 12) + shown.mid(15);
        QTest::newRow("Nein changes nothing") << "Nein" << shown;
        QTest::newRow("Ja empties all but the status grid")
            << "Ja" << QStringList(12, "") + QStringList { "MSFlexGrid1", "Grid_Melder", "Grid_Status", "HLF 20" };
        QTest::newRow("an alarm during the question stays") << "alarm" << newer;
    }
    // The window's own question box, with Qt's German texts; the list, the status grid and last.dat stay.
    void clearCommand()
    {
        auto [answer, after] = fetch<QString, QStringList>("answer", "after");
        WindowFixture f;
        f.form->askYesNo = f.realQuestion;
        f.form->load();
        f.station->core().HandleStationAlarm(WindowFixture::stationAlarm("B 3", { "HLF 20", "RTW 1" }), 0);
        f.station->core().InsertPagerRow("WACHALARM_MELDER\tBecker, Tom\t1001");
        f.station->core().InsertStatusRow("WACHALARM_STATUS\tHLF 20\t3");
        f.station->core().HandleTickerMessage("WACHALARM_TICKER\tWache\aEA 7\a06.12.2026\a19:40:00\a\a\aText");
        QTRY_COMPARE(f.control<QTableWidget>("Grid_Status")->rowCount(), 1);
        const QByteArray stored = TestFiles::readAll(f.dataFile("last.dat"));
        QStringList seen;
        QTimer::singleShot(0, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            seen = QStringList { box->windowTitle(), box->text(), QString::number(box->icon()),
                box->defaultButton()->text(), box->button(QMessageBox::Yes)->text(),
                box->button(QMessageBox::No)->text() };
            if (answer == "alarm")
                f.station->core().HandleStationAlarm(WindowFixture::stationAlarm("TH 1", { "HLF 20" }), 1);
            box->button(answer == "Nein" ? QMessageBox::No : QMessageBox::Yes)->click();
        });
        QTest::keyClick(f.form.get(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(seen, QStringList({ "Kessvenn", "Einsatzdaten entfernen?", "4", "&Nein", "&Ja", "&Nein" }));
        QCOMPARE(f.incidentTexts(), after);
        QCOMPARE(f.control<QTableView>("List_Doku")->model()->rowCount(), 1);
        QCOMPARE(TestFiles::readAll(f.dataFile("last.dat")), stored);
    }
    // What keeps alarms from being heard stands in the top bar from the start: a fresh data folder
    // has the alarm sound off, ALSA's "default" may open nothing.
    void soundWarning_data()
    {
        columns<bool, QByteArray, QString>("alarmSound", "pcm", "shown");
        row("a fresh data folder", false, QByteArray("null"), QString("Alarmton ausgeschaltet (Einstellungen)"));
        row("no sound device", true, QByteArray("hw; card 99"),
            QString("Kein Tonausgabegerät: Alarme sind nicht zu hören"));
        row("the alarm sound on a device", true, QByteArray("null"), QString());
    }
    void soundWarning()
    {
        auto [alarmSound, pcm, shown] = fetch<bool, QByteArray, QString>("alarmSound", "pcm", "shown");
        WindowFixture f;
        StationSettings settings;
        settings.PlayAlarmWav = alarmSound;
        const QString alsa = f.home.filePath("alsa.conf");
        QVERIFY(TestFiles::writeAll(alsa, "pcm.!default { type " + pcm + " }\n")
            && f.putDataFile("settings.dat", SettingsFileBytes(settings)));
        qputenv("ALSA_CONFIG_PATH", "/usr/share/alsa/alsa.conf:" + QFile::encodeName(alsa));
        const auto unset = qScopeGuard([] { qunsetenv("ALSA_CONFIG_PATH"); });
        f.form->load();
        const auto* label = f.control<QLabel>("lbl_Ton");
        QCOMPARE(label->isHidden() ? QString() : label->text(), shown);
    }
    // A live alarm closes the list "Einsätze" and puts the window in front of the settings dialog,
    // which stays open behind it.
    void liveAlarmIsNeverHidden()
    {
        WindowFixture f;
        f.form->load();
        f.form->show();
        QVERIFY(QTest::qWaitForWindowActive(f.form.get()));
        f.form->history().openList();
        f.form->cmd_Settings_Click();
        QTRY_COMPARE(QApplication::activeWindow(), f.form->settingsDialog());
        f.station->core().HandleStationAlarm(WindowFixture::stationAlarm("B 3", {}), 0);
        QVERIFY(f.form->history().view()->isHidden() && f.form->settingsDialog());
        QTRY_COMPARE(QApplication::activeWindow(), f.form.get());
    }
    // "Probealarm" by the key and by the settings dialog's button: marked on screen and heard whole
    // (alarm sound, speech, the station's own unit sound); a real unit alarm takes it off the screen.
    void testAlarm_data()
    {
        columns<bool>("button");
        row("Ctrl+Shift+F12", false);
        row("the button \"Probealarm\"", true);
    }
    void testAlarm()
    {
        const bool button = std::get<0>(fetch<bool>("button"));
        WindowFixture f;
        StationSettings& s = f.station->settings();
        s.PlayAlarmWav = s.PlayUnitWavs = s.SpeechEnabled = true;
        s.SpeechProgramPath = f.home.filePath("say.sh");
        QVERIFY(f.putDataFile("display.ini", "") && QDir().mkpath(f.dataFile("Sounds"))
            && TestFiles::writeAll(f.dataFile("Sounds/HLF 20.wav"), "RIFF"));
        QVERIFY(TestFiles::writeScript(s.SpeechProgramPath, "true") && SaveSettings(f.ctx, s));
        ScreenAtFirstSound output;
        output.window = f.form.get();
        QVERIFY(output.display = XOpenDisplay(nullptr));
        const auto close = qScopeGuard([&] { XCloseDisplay(output.display); });
        f.station->setAnnouncementOutput(&output);
        f.form->show();
        f.form->load();
        if (button) {
            f.form->cmd_Settings_Click();
            auto* start = f.form->settingsDialog()->findChild<QPushButton*>("Probealarm");
            start->click();
            QCOMPARE(start->parentWidget()->findChild<QLabel*>("result")->text(), "Probealarm ausgelöst");
        } else {
            QTest::keyClick(f.form.get(), Qt::Key_F12, Qt::ControlModifier | Qt::ShiftModifier);
        }
        QCOMPARE(f.control<QLabel>("Label4")->text(), "Probealarm");
        QTRY_COMPARE(output.sounds, (QStringList { "alarm.wav", "say.sh", "HLF 20.wav" }));
        f.core().HandleUnitAlarm("WACHALARM_EM\tRTW 1\a");
        QCOMPARE(f.control<QLabel>("Label4")->text(), "");
    }
    // RECORD is a program that writes its arguments down and fails when the first is "fail".
    void replayAndWake_data()
    {
        // ageMinutes: of last.dat, INT_MAX: 1970-01-01; a live alarm follows the replay; logged: parts of warnings
        columns<QString, int, QStringList, QStringList, QStringList>(
            "ini", "ageMinutes", "sounds", "recorded", "logged");
        const QString command = "wake=command\nwake.on=RECORD on \"HDMI 1\"\nwake.off=RECORD off\nawake_minutes=0.05\n"
                                "replay_announce_minutes=60";
        const QStringList both = { "alarm.wav", "alarm.wav" }, live = both.mid(1), none, onOff = { "on HDMI 1", "off" };
        QTest::newRow("no display.ini: an old alarm sounds, no wake") << "" << 600 << both << none << none;
        QTest::newRow("x11: saver off at the first sound") << "wake=x11" << 0 << both << none << QStringList("D-Bus");
        QTest::newRow("x11, an old replay: saver off at the live alarm's first sound")
            << "wake=x11\nreplay_announce_minutes=60" << 90 << live << none << QStringList("D-Bus");
        QTest::newRow("a young replay wakes and sounds; one hold")
            << command << 30 << both << QStringList("on HDMI 1") + onOff << none;
        QTest::newRow("an old replay is shown only") << command << 90 << live << onOff << none;
        QTest::newRow("a replay dated in the future is shown only") << command << -90 << live << onOff << none;
        QTest::newRow("a replay dated 1970-01-01 is shown only") << command << INT_MAX << live << onOff << none;
        QTest::newRow("a failing and a missing program are noted; the alarm goes on")
            << "wake=command\nwake.on=RECORD fail\nwake.off=/nonexistent/standby\nawake_minutes=0.05" << 0 << both
            << QStringList { "fail", "fail" } << QStringList { "ended with 1", "wake.off /nonexistent/standby failed" };
    }
    // As a live alarm, the replayed one is on screen before its first sound; last.dat stays as it was.
    void replayAndWake()
    {
        auto [ini, ageMinutes, sounds, recorded, logged] = fetch<QString, int, QStringList, QStringList, QStringList>(
            "ini", "ageMinutes", "sounds", "recorded", "logged");
        WindowFixture f;
        const QString record = f.home.filePath("record"), program = f.home.filePath("wake.sh");
        QVERIFY(TestFiles::writeScript(program, "echo \"$*\" >> '" + record.toLocal8Bit() + "'\n[ \"$1\" != fail ]"));
        QVERIFY(f.putDataFile("display.ini", ini.replace("RECORD", program).toLocal8Bit()));
        f.station->settings().PlayAlarmWav = true;
        QVERIFY(SaveSettings(f.ctx, f.station->settings()));
        const QByteArray stored
            = WindowFixture::stationAlarm("B 3", {}).replace('\t', "\r\n").toLatin1() + "\r\n\r\n\r\n";
        QVERIFY(f.putDataFile("last.dat", stored));
        QVERIFY(TestFiles::setModified(f.dataFile("last.dat"),
            ageMinutes == INT_MAX ? QDateTime::fromSecsSinceEpoch(0)
                                  : QDateTime::currentDateTime().addSecs(-60 * ageMinutes)));
        ScreenAtFirstSound output;
        output.window = f.form.get();
        QVERIFY(output.display = XOpenDisplay(nullptr));
        warnings.clear();
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) { warnings << text; });
        const auto restore = qScopeGuard([&] { XCloseDisplay(output.display), qInstallMessageHandler(nullptr); });
        XForceScreenSaver(output.display, ScreenSaverActive);
        QCOMPARE(saverState(output.display), ScreenSaverOn); // and the request has reached the server
        f.station->setAnnouncementOutput(&output);
        f.form->show();
        f.form->load();
        QCOMPARE(f.control<QLabel>("label_einsatz(3)")->text(), "80331 München");
        QVERIFY(output.onScreen == output.drawn);
        QCOMPARE(TestFiles::readAll(f.dataFile("last.dat")), stored);
        f.station->core().HandleStationAlarm(WindowFixture::stationAlarm("B 3", {}), 0);
        QTRY_COMPARE(output.sounds, sounds);
        QCOMPARE(output.saverAtFirstSound, ini.startsWith("wake=x11") ? ScreenSaverOff : ScreenSaverOn);
        QTRY_COMPARE_WITH_TIMEOUT(QString(TestFiles::readAll(record)).split('\n', Qt::SkipEmptyParts), recorded, 30000);
        for (const QString& part : logged)
            QTRY_VERIFY2_WITH_TIMEOUT(!warnings.filter(part).isEmpty(), qPrintable(warnings.join('\n')), 30000);
    }
    void everySize_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("1366 x 768 screen, a window") << QSize(1264, 768);
        QTest::newRow("1366 x 768 screen, full screen") << QSize(1366, 768);
        QTest::newRow("800 x 600") << QSize(800, 600);
        QTest::newRow("design size") << QSize(1264, 936);
    }
    // The demo alarm of the pictures: every list has room for rows inside the window, the top bar's
    // buttons too, and the keyword and the address are drawn in whole words, in type still readable.
    void everySize()
    {
        QFETCH(QSize, size);
        WindowFixture f;
        f.form->show();
        f.form->load();
        f.station->core().HandleStationAlarm(
            WindowFixture::stationAlarm("TH 2 - Verkehrsunfall Gefahrstoffaustritt", { "HLF 20" })
                .replace("Hauptstraße", "Kirchenweg"),
            1);
        f.form->resize(size);
        QTRY_COMPARE(f.form->size(), size);
        for (const char* name :
            { "MSFlexGrid1", "Grid_Melder", "Grid_Status", "List_Doku", "cmd_ende", "cmd_Settings" }) {
            QWidget* w = f.control(name);
            QVERIFY2(f.form->rect().contains(w->mapTo(f.form.get(), w->rect().bottomRight())), name);
            if (auto* list = qobject_cast<QTableView*>(w))
                QVERIFY2(list->viewport()->height() >= 2 * list->verticalHeader()->defaultSectionSize(), name);
        }
        for (const char* name : { "label_einsatz(1)", "label_einsatz(2)", "label_einsatz(3)" }) {
            auto* label = f.control<FittingLabel>(name);
            const FittingLabel::Fit fit = label->fitted();
            const QRectF needed
                = QFontMetricsF(fit.font).boundingRect(QRectF(label->textRect()), fit.flags, label->text());
            QVERIFY2(label->textRect().contains(needed.toAlignedRect().adjusted(1, 1, -1, -1)), name);
            for (const QString& word : label->text().split(' '))
                QVERIFY2(QFontMetricsF(fit.font).horizontalAdvance(word) <= label->textRect().width(), name);
            QVERIFY2(fit.font.pointSizeF() >= 12, name);
        }
    }
    void wallScreen_data()
    {
        columns<QByteArray, int>("ini", "width");
        QTest::newRow("a window fitted into a smaller screen") << QByteArray() << 1264;
        QTest::newRow("full screen, no pointer at rest, a band for a dead link")
            << QByteArray("fullscreen=1\nlink_warning_seconds=1") << 1366;
    }
    // The screen (see main) is smaller than the design size: the window opens inside it, laid out. A
    // link down for display.ini's time, since the start or after a drop, shows a band until it is up
    // again; the status picture follows the link.
    void wallScreen()
    {
        auto [ini, width] = fetch<QByteArray, int>("ini", "width");
        WindowFixture f;
        QVERIFY(f.putDataFile("display.ini", ini));
        f.form->showOnScreen();
        f.form->load(); // sets the real port, which the stopped link timer never dials
        QVERIFY(QTest::qWaitForWindowExposed(f.form.get()));
        QVERIFY(f.form->screen()->availableGeometry().contains(f.form->frameGeometry()));
        QCOMPARE(f.form->width(), width);
        QCOMPARE(f.control("List_Doku")->geometry().bottom() + 1, f.form->height());
        if (width != 1366)
            return;
        QTRY_VERIFY(QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::BlankCursor);
        QTest::mouseMove(f.form.get(), QPoint(50, 50));
        QVERIFY(!QApplication::overrideCursor());
        FakeDispatch dispatch;
        QVERIFY(dispatch.listen());
        f.ctx.ServerPort = dispatch.port();
        f.station->settings().ServerAddress = "127.0.0.1";
        auto* band = f.control<QLabel>("LinkWarning");
        const auto picture = [&f](const QString& name) { return f.control<QLabel>(name)->pixmap().toImage(); };
        QTRY_VERIFY(band->isVisible());
        QVERIFY(band->text().contains(QRegularExpression("^Keine Verbindung zur Leitstelle seit \\d\\d:\\d\\d$")));
        QTimer ticks;
        connect(&ticks, &QTimer::timeout, &f.station->link(), &ServerLink::superviseTick);
        ticks.start(100);
        QTRY_VERIFY(!band->isVisible());
        QTRY_COMPARE(picture("Image_S"), picture("Image_Server(1)"));
        dispatch.server().close();
        dispatch.dropClient();
        QTRY_VERIFY(band->isVisible());
        QTRY_COMPARE(picture("Image_S"), picture("Image_Server(0)"));
        QVERIFY(dispatch.listen(f.ctx.ServerPort));
        QTRY_VERIFY(!band->isVisible());
    }
    // The layout chosen in the settings dialog is on screen as soon as it is saved: the wall, and
    // the classic window again with the map back in its place under the controls over it.
    void wallFromDialog()
    {
        WindowFixture f;
        f.form->load();
        auto* map = f.control("ucGMap1");
        const QRect classic = map->geometry();
        const QWidgetList above = f.form->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        const auto choose = [&f](const char* word) {
            f.form->cmd_Settings_Click();
            auto* display = qobject_cast<SchemaPage*>(f.form->settingsDialog()->page("Anzeige"));
            auto* layout = qobject_cast<QComboBox*>(display->field("layout"));
            layout->setCurrentIndex(layout->findData(word));
            f.form->settingsDialog()->cmd_save->click();
            QVERIFY(!f.form->settingsDialog());
        };
        choose("wall");
        QTRY_VERIFY(f.form->findChild<WallScreen*>());
        QCOMPARE(map->parentWidget(), f.form->wallScreen());
        QCOMPARE(TestFiles::readAll(f.dataFile("display.ini")), "layout=wall\n");
        choose("classic");
        QTRY_VERIFY(!f.form->findChild<WallScreen*>());
        QCOMPARE(map->parentWidget(), f.form.get());
        QVERIFY(map->isVisibleTo(f.form.get()));
        QCOMPARE(map->geometry(), classic);
        const QWidgetList now = f.form->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        for (QWidget* w : above.mid(above.indexOf(map) + 1))
            QVERIFY2(now.indexOf(w) > now.indexOf(map), qPrintable(w->objectName()));
        QCOMPARE(TestFiles::readAll(f.dataFile("display.ini")), "layout=classic\n");
    }
    void kioskFullScreen_data()
    {
        QTest::addColumn<bool>("option"); // kessvenn --fullscreen, else fullscreen=1 in display.ini
        QTest::newRow("display.ini") << false;
        QTest::newRow("--fullscreen") << true;
    }
    // A kiosk: an X server of 1920 x 1080 without a window manager. The full-screen window covers
    // the whole screen all the same, laid out to its size.
    void kioskFullScreen()
    {
        QFETCH(bool, option);
        if (QGuiApplication::platformName() != "xcb")
            QSKIP("runs as test_kiosk_fullscreen, on an X server without a window manager");
        WindowFixture f;
        QVERIFY(f.putDataFile("display.ini", option ? "" : "fullscreen=1"));
        f.form->setFullScreen(option);
        f.form->showOnScreen();
        f.form->load();
        QVERIFY(QTest::qWaitForWindowExposed(f.form.get()));
        Display* display = XOpenDisplay(nullptr);
        QVERIFY(display);
        const auto close = qScopeGuard([display] { XCloseDisplay(display); });
        XWindowAttributes onServer {};
        QTRY_VERIFY(XGetWindowAttributes(display, f.form->winId(), &onServer)
            && QRect(onServer.x, onServer.y, onServer.width, onServer.height) == QRect(0, 0, 1920, 1080));
        QTRY_COMPARE(f.control("List_Doku")->geometry().bottom() + 1, 1080);
    }
};

int main(int argc, char** argv)
{
    QTemporaryDir folder;
    const QString screens = folder.filePath("screens.json");
    if (!TestFiles::writeAll(screens, R"({"screens":[{"name":"station","width":1366,"height":768}]})"))
        return 1;
    // test_kiosk_fullscreen draws on the X server itself (see CMakeLists.txt).
    qputenv("QT_QPA_PLATFORM",
        qEnvironmentVariableIsSet("KESSVENN_TEST_X11") ? "xcb" : "offscreen:configfile=" + screens.toLocal8Bit());
    QApplication app(argc, argv);
    if (!installGermanQtTexts(app))
        qFatal("Qt's German texts are missing (Debian: qt6-translations-l10n)");
    MainWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_MainWindow.moc"
