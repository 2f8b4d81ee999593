#include "tests/support/TestFiles.h"
#include "tests/support/WindowFixture.h"

#include "announce/AnnouncementOutput.h"
#include "app/GermanTexts.h"
#include "map/ucGMap.h"
#include "settings/Form2.h"
#include "settings/SettingsFile.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QTest>
#include <QTimer>

namespace {

const QChar kTab(9);
const QChar kBell(7);

// A picture that a label reading its text as markup would load and show.
QString pictureTag(const QTemporaryDir& home)
{
    const QString path = home.filePath(QStringLiteral("cyan.png"));
    QImage cyan(64, 64, QImage::Format_RGB32);
    cyan.fill(QColor(0, 255, 255));
    cyan.save(path);
    return QStringLiteral("<img src='%1'>").arg(path);
}

// Notes each sound and speech run, and what the screen showed of one alarm label at the first.
class ScreenAtFirstSound : public AnnouncementOutput {
public:
    explicit ScreenAtFirstSound(QWidget& window)
        : m_window(window)
    {
    }
    void PlayWave(const QString& path) override { heard(path); }
    void RunSpeechProgram(const QString& program, const QString&, const QString&, const QString&) override
    {
        heard(program);
    }
    QStringList sounds;
    QImage onScreen;
    QImage drawn;

private:
    void heard(const QString& path)
    {
        if (sounds.isEmpty()) {
            auto* label = m_window.findChild<QLabel*>(QStringLiteral("label_einsatz(3)"));
            const QRect r = label->geometry();
            onScreen = m_window.screen()->grabWindow(m_window.winId(), r.x(), r.y(), r.width(), r.height()).toImage();
            drawn = label->grab().toImage().convertToFormat(onScreen.format());
        }
        sounds << QFileInfo(path).fileName();
    }
    QWidget& m_window;
};

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(installGermanQtTexts(*qApp), "Qt's German texts are missing (Debian: qt6-translations-l10n)");
    }

    void shortcutsAndButtons_data()
    {
        QTest::addColumn<QString>("target"); // where the key goes, or the button that is clicked
        QTest::addColumn<int>("key"); // 0: a click
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("autoRepeat");
        QTest::addColumn<int>("startType");
        QTest::addColumn<int>("zoom"); // the map starts at zoom 10, which no command gives
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("asked");
        const int none = Qt::NoModifier, ctrl = Qt::ControlModifier, shift = Qt::ShiftModifier, alt = Qt::AltModifier;
        QTest::newRow("F2 on the window") << "Form1" << int(Qt::Key_F2) << none << false << 1 << 12 << 1 << 0;
        QTest::newRow("F3 on the units grid") << "MSFlexGrid1" << int(Qt::Key_F3) << none << false << 1 << 13 << 1 << 0;
        QTest::newRow("F5 on a label") << "label_einsatz(7)" << int(Qt::Key_F5) << none << false << 1 << 15 << 1 << 0;
        QTest::newRow("F6 on a button") << "cmd_Settings" << int(Qt::Key_F6) << none << false << 1 << 16 << 1 << 0;
        QTest::newRow("F9 on the list") << "List_Doku" << int(Qt::Key_F9) << none << false << 1 << 19 << 1 << 0;
        QTest::newRow("Meta does not count")
            << "Form1" << int(Qt::Key_F7) << int(Qt::MetaModifier) << false << 1 << 17 << 1 << 0;
        QTest::newRow("Shift+F2 does nothing") << "Form1" << int(Qt::Key_F2) << shift << false << 1 << 10 << 1 << 0;
        QTest::newRow("Ctrl+F2 does nothing") << "Form1" << int(Qt::Key_F2) << ctrl << false << 1 << 10 << 1 << 0;
        QTest::newRow("Alt+F2 does nothing") << "Form1" << int(Qt::Key_F2) << alt << false << 1 << 10 << 1 << 0;
        QTest::newRow("F1 is no command") << "Form1" << int(Qt::Key_F1) << none << false << 1 << 10 << 1 << 0;
        QTest::newRow("F10 is no command") << "Form1" << int(Qt::Key_F10) << none << false << 1 << 10 << 1 << 0;
        QTest::newRow("auto-repeat release") << "Form1" << int(Qt::Key_F2) << none << true << 1 << 10 << 1 << 0;
        QTest::newRow("Ctrl+S on the status grid")
            << "Grid_Status" << int(Qt::Key_S) << ctrl << false << 2 << 10 << 0 << 0;
        QTest::newRow("Ctrl+A") << "Form1" << int(Qt::Key_A) << ctrl << false << 0 << 10 << 1 << 0;
        QTest::newRow("Ctrl+H") << "Form1" << int(Qt::Key_H) << ctrl << false << 1 << 10 << 2 << 0;
        QTest::newRow("Ctrl+T on the list") << "List_Doku" << int(Qt::Key_T) << ctrl << false << 1 << 10 << 3 << 0;
        QTest::newRow("Ctrl+C on the pager grid")
            << "Grid_Melder" << int(Qt::Key_C) << ctrl << false << 1 << 10 << 1 << 1;
        QTest::newRow("S alone does nothing") << "Form1" << int(Qt::Key_S) << none << false << 1 << 10 << 1 << 0;
        QTest::newRow("Ctrl+Alt+S does nothing")
            << "Form1" << int(Qt::Key_S) << (ctrl | alt) << false << 1 << 10 << 1 << 0;
        QTest::newRow("Ctrl+Shift+T does nothing")
            << "Form1" << int(Qt::Key_T) << (ctrl | shift) << false << 1 << 10 << 1 << 0;
        QTest::newRow("Ctrl+Shift+C asks nothing")
            << "Form1" << int(Qt::Key_C) << (ctrl | shift) << false << 1 << 10 << 1 << 0;
        QTest::newRow("C alone asks nothing") << "Form1" << int(Qt::Key_C) << none << false << 1 << 10 << 1 << 0;
        QTest::newRow("Ctrl+C in the settings dialog is the dialog's")
            << "Form2" << int(Qt::Key_C) << ctrl << false << 1 << 10 << 1 << 0;
        QTest::newRow("F2 in the settings dialog is the dialog's")
            << "Form2" << int(Qt::Key_F2) << none << false << 1 << 10 << 1 << 0;
        QTest::newRow("button 19") << "cmd_zoom(7)" << 0 << none << false << 1 << 19 << 1 << 0;
        QTest::newRow("button Hybrid") << "cmd_Anbieter(2)" << 0 << none << false << 1 << 10 << 2 << 0;
        QTest::newRow("button Clear") << "cmd_Clear" << 0 << none << false << 1 << 10 << 1 << 1;
    }

    void shortcutsAndButtons()
    {
        QFETCH(QString, target);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(bool, autoRepeat);
        QFETCH(int, startType);
        QFETCH(int, zoom);
        QFETCH(int, type);
        QFETCH(int, asked);
        WindowFixture f;
        f.form->show();
        auto* map = f.control<ucGMap>(QStringLiteral("ucGMap1"));
        map->setGZoom(10);
        map->setMapType(startType);
        QWidget* receiver = target == QLatin1String("Form1") ? f.form.get() : f.control(target);
        if (target == QLatin1String("Form2")) {
            f.form->cmd_Settings_Click();
            receiver = f.form->settingsDialog()->txt_Server;
        }
        QVERIFY(receiver);
        if (key == 0) {
            qobject_cast<QPushButton*>(receiver)->click();
        } else {
            QTest::keyPress(receiver, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
            QCOMPARE(map->GZoom(), 10); // the release acts, not the press
            QKeyEvent release(QEvent::KeyRelease, key, Qt::KeyboardModifiers(modifiers), QString(), autoRepeat);
            QApplication::sendEvent(receiver, &release);
        }
        QCOMPARE(map->GZoom(), zoom);
        QCOMPARE(
            f.control<QLabel>(QStringLiteral("lbl_Zoom"))->text(), zoom == 10 ? QString("16") : QString::number(zoom));
        QCOMPARE(map->MapType(), type);
        QCOMPARE(f.questions.size(), asked);
    }

    void settingsTwiceIsOneDialog()
    {
        WindowFixture f;
        f.form->cmd_Settings_Click();
        Form2* first = f.form->settingsDialog();
        QVERIFY(first && first->isVisible());
        f.form->cmd_Settings_Click();
        QCOMPARE(f.form->settingsDialog(), first);
        const QList<Form2*> dialogs = f.form->findChildren<Form2*>();
        QCOMPARE(std::count_if(dialogs.begin(), dialogs.end(), [](const Form2* d) { return d->isVisible(); }), 1);
    }

    // The alarm's fields carry markup: every label and cell shows the characters, nothing loads.
    void alarmIsShownAsPlainText()
    {
        WindowFixture f;
        f.form->show();
        const QString picture = pictureTag(f.home);
        const QStringList fields = { "WACHALARM", picture, "<i>06.12.</i> <b>19:42</b>", picture, "<b>W1</b>",
            "80331", "<u>München</u>", "Hauptstraße", "12", picture + " Zufahrt", "", "<s>Objekt</s>", "Zusatz", "",
            QStringList { "<b>HLF</b>", picture, "" }.join(kBell), "1", "", "", picture };
        f.form->HandleStationAlarm(fields.join(kTab), 1);

        QCOMPARE(f.incidentTexts(),
            QStringList({ picture, "<b>W1</b>", "Hauptstraße 12", "80331 <u>München</u>", "Zusatz", "<s>Objekt</s>", "",
                picture + " Zufahrt", "Mitteiler: " + picture, "<i>06.12.</i>", "<b>19:42</b>", picture, "MSFlexGrid1",
                "<b>HLF</b>", picture, "Grid_Melder", "Grid_Status" }));
        for (QLabel* label : f.form->findChildren<QLabel*>()) {
            const QImage shown = label->grab().toImage();
            label->setTextFormat(Qt::PlainText);
            QVERIFY2(label->grab().toImage() == shown, qPrintable(label->objectName()));
        }
        const QImage window = f.form->grab().toImage();
        for (int y = 0; y < window.height(); ++y)
            for (int x = 0; x < window.width(); ++x)
                QVERIFY2(window.pixelColor(x, y) != QColor(0, 255, 255), "the picture was loaded");
    }

    void clearCommand_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::addColumn<bool>("alarmDuringQuestion");
        QTest::addColumn<QStringList>("after");
        const QStringList shown = { "Meldbild", "B 3", "Hauptstraße 12", "80331 München", "", "", "", "Vermerk", "",
            "06.12.2026", "19:42", "Einsatz 4711", "MSFlexGrid1", "HLF 20", "RTW 1", "Grid_Melder", "Becker, Tom",
            "Grid_Status", "HLF 20" };
        QStringList newer = shown;
        newer[1] = "TH 1";
        newer.removeAt(shown.indexOf("RTW 1"));
        QTest::newRow("No changes nothing") << false << false << shown;
        QTest::newRow("Yes clears labels, units and pagers, not the status grid")
            << true << false
            << (QStringList(12, QString()) << "MSFlexGrid1"
                                           << "Grid_Melder"
                                           << "Grid_Status"
                                           << "HLF 20");
        QTest::newRow("an alarm during the question stays") << true << true << newer;
    }

    void clearCommand()
    {
        QFETCH(bool, yes);
        QFETCH(bool, alarmDuringQuestion);
        QFETCH(QStringList, after);
        WindowFixture f;
        f.form->load();
        const auto alarm = [&](const QString& keyword, const QStringList& units) {
            f.form->HandleStationAlarm(QStringList({ "WACHALARM", "Einsatz 4711", "06.12.2026 19:42", "Meldbild",
                                                       keyword, "80331", "München", "Hauptstraße", "12", "Vermerk", "",
                                                       "", "", "", (QStringList(units) << QString()).join(kBell), "0" })
                                           .join(kTab),
                0);
        };
        alarm("B 3", { "HLF 20", "RTW 1" });
        f.form->InsertPagerRow("WACHALARM_MELDER\tBecker, Tom\t1001");
        f.form->InsertStatusRow("WACHALARM_STATUS\tHLF 20\t3");
        f.form->HandleTickerMessage("WACHALARM_TICKER\tWache\x07"
                                    "EA 7\x07"
                                    "06.12.2026\x07"
                                    "19:40:00\x07\x07\x07Text");
        const QByteArray stored = TestFiles::readAll(f.dataFile("last.dat"));
        QVERIFY(!stored.isEmpty());
        const int listRows = f.control<QTableView>("List_Doku")->model()->rowCount();
        QCOMPARE(listRows, 1);
        f.answerYes = yes;
        if (alarmDuringQuestion)
            f.form->askYesNo = [&](QWidget*, const QString&, const QString&) {
                alarm("TH 1", { "HLF 20" });
                return true;
            };
        QTest::keyClick(f.form.get(), Qt::Key_C, Qt::ControlModifier);

        QCOMPARE(f.incidentTexts(), after);
        QCOMPARE(f.control<QTableView>("List_Doku")->model()->rowCount(), listRows);
        if (!alarmDuringQuestion)
            QCOMPARE(TestFiles::readAll(f.dataFile("last.dat")), stored);
        QCOMPARE(f.questions, alarmDuringQuestion ? QStringList() : QStringList("Kessvenn|Einsatzdaten entfernen?"));
    }

    // The window's own question box, in German: Ja and Nein, Nein by default.
    void theQuestionBoxIsGerman()
    {
        WindowFixture f;
        f.form->askYesNo = f.realQuestion;
        f.form->show();
        auto* keyword = f.control<QLabel>("label_einsatz(1)");
        keyword->setText("B 3");
        QStringList seen;
        bool yes = false;
        const auto answer = [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            seen = QStringList { box->windowTitle(), box->text(), QString::number(box->icon()),
                box->button(QMessageBox::Yes)->text(), box->button(QMessageBox::No)->text(),
                box->defaultButton()->text() };
            box->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
        };
        QTimer::singleShot(0, this, answer);
        f.form->cmd_Clear_Click();
        QCOMPARE(seen,
            QStringList({ "Kessvenn", "Einsatzdaten entfernen?", QString::number(QMessageBox::Question), "&Ja", "&Nein",
                "&Nein" }));
        QCOMPARE(keyword->text(), "B 3");
        yes = true;
        QTimer::singleShot(0, this, answer);
        f.form->cmd_Clear_Click();
        QCOMPARE(keyword->text(), QString());

        // The settings dialog's file picker.
        QFileDialog picker(nullptr, QString(), f.home.path());
        picker.setOption(QFileDialog::DontUseNativeDialog);
        QCOMPARE(picker.findChild<QLabel*>("lookInLabel")->text(), "Suchen in:");
    }

    // The replayed alarm is on screen before its first sound, as a live alarm is; last.dat stays.
    void replayIsOnScreenBeforeItSounds()
    {
        WindowFixture f;
        QVERIFY(QDir().mkpath(f.dataFile(QString())));
        f.ctx.DataFolder = f.dataFile(QString());
        f.ctx.settings.PlayAlarmWav = 1;
        QVERIFY(SaveSettings(f.ctx));
        const QByteArray stored
            = QStringList({ "WACHALARM", "Einsatz 4711", "06.12.2026 19:42", "Meldbild", "B 3", "80331", "München",
                              "Hauptstraße", "12", "", "", "", "", "", "", "0", "", "", "" })
                  .join("\r\n")
                  .toLatin1();
        QVERIFY(TestFiles::writeAll(f.dataFile("last.dat"), stored));
        QVERIFY(TestFiles::writeAll(f.home.filePath("alarm.wav"), QByteArray()));
        ScreenAtFirstSound output(*f.form);
        f.form->setAnnouncementOutput(&output);

        f.form->show();
        f.form->load();
        QCOMPARE(output.sounds, QStringList("alarm.wav"));
        QCOMPARE(f.control<QLabel>("label_einsatz(3)")->text(), "80331 München");
        QVERIFY(!output.onScreen.isNull());
        QVERIFY(output.onScreen == output.drawn);
        QCOMPARE(TestFiles::readAll(f.dataFile("last.dat")), stored);
    }

    // A screen smaller than the design size: the window opens inside it, laid out for its size.
    void fittedIntoASmallScreen()
    {
        WindowFixture f;
        f.form->showOnScreen();
        QVERIFY(QTest::qWaitForWindowExposed(f.form.get()));
        const QRect available = f.form->screen()->availableGeometry();
        QCOMPARE(available.size(), QSize(1366, 768));
        QVERIFY2(available.contains(f.form->frameGeometry()), qPrintable(QString("%1,%2 %3x%4 / %5,%6 %7x%8").arg(f.form->frameGeometry().x()).arg(f.form->frameGeometry().y()).arg(f.form->frameGeometry().width()).arg(f.form->frameGeometry().height()).arg(f.form->x()).arg(f.form->y()).arg(f.form->width()).arg(f.form->height())));
        QCOMPARE(f.form->width(), 1264);
        QVERIFY(f.form->height() < 936);
        QCOMPARE(f.control("cmd_ende")->geometry().right() + 1, f.form->width() - 24);
        QCOMPARE(f.control("List_Doku")->geometry().bottom() + 1, f.form->height());
    }

    void closingEndsAtOnceAndWritesNothing()
    {
        WindowFixture f;
        int ended = 0;
        f.ctx.endProcess = [&] { ++ended; };
        f.form->load();
        f.form->show();
        qobject_cast<QPushButton*>(f.control("cmd_ende"))->click();
        QCOMPARE(f.ctx.ist_ende(), qint16(1));
        QCOMPARE(ended, 1);
        QVERIFY(!f.form->isVisible());
        QCOMPARE(QDir(f.ctx.DataFolder).entryList(QDir::Files), QStringList());
    }
};

int main(int argc, char** argv)
{
    // The station's screen: 1366 × 768, smaller than the window's design size.
    QTemporaryDir folder;
    const QString screens = folder.filePath("screens.json");
    if (!TestFiles::writeAll(screens, R"({"screens":[{"name":"station","x":0,"y":0,"width":1366,"height":768}]})"))
        return 1;
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + screens.toLocal8Bit());
    QApplication app(argc, argv);
    QApplication::setApplicationName("Kessvenn");
    MainWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_MainWindow.moc"
