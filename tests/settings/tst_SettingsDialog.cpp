#include "common/AppContext.h"
#include "config/Configuration.h"
#include "settings/CalendarPage.h"
#include "settings/CrewPage.h"
#include "settings/Form2.h"
#include "settings/SchemaPage.h"
#include "settings/SettingsTrial.h"
#include "settings/WaterPage.h"
#include "tests/support/DataRows.h"
#include "tests/support/PrivateCups.h"
#include "tests/support/TestFiles.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

using namespace TestFiles;

// The settings dialog on a data folder of the test's own: each file's round trip through its page,
// nothing written when nothing changed, a field that cannot be used keeping "Speichern" waiting,
// the hall screen's privacy, the crew's import, the water import and the calendar's preview.
namespace {

struct Loaded {
    Configuration config;
};

// The dialog on the configuration of the data folder, kept when it closes.
struct Dialog : Loaded, Form2 {
    explicit Dialog(AppContext& ctx)
        : Form2(ctx, (config.load(ctx.DataFolder), config))
    {
        setAttribute(Qt::WA_DeleteOnClose, false);
    }
};

} // namespace

class SettingsDialogTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_data;
    AppContext m_ctx;

    // The files of a station that wrote them by hand, each with a comment and a key the program
    // does not know.
    const QHash<QString, QByteArray> m_files {
        { "display.ini", "# Wandschirm\r\nfullscreen=1\r\nlayout = classic  # bis Mai\r\nfarbe=rot\r\n" },
        { "map.ini", "\xEF\xBB\xBFprovider=osm\nunbekannt=1\n# Ende\n" },
        { "print.ini", "printer=Wache\ncopies=1 # eine\n" },
        { "history.ini", "keep_days=0\n" },
        { "alarmwege.ini", "dispatch=b\nradio.ric.1=Alt\n" },
        { "mannschaft.csv", "Melder;Name;Qualifikation\n1001;Zora Zink;ZF AGT\n1002;\"Graf; Gabi\";GF\n" },
        { "fahrzeuge.ini", "Florian Hagen 1-HLF20-1 = HLF 20\n" },
    };

    // Every file's bytes and time of change.
    QStringList state() const
    {
        QStringList files;
        for (const QFileInfo& info : QDir(m_data.path()).entryInfoList(QDir::Files, QDir::Name))
            files << info.fileName() + readAll(info.filePath()).toHex()
                    + info.lastModified().toString(Qt::ISODateWithMs);
        return files;
    }
    template <typename T> static T* field(Form2& dialog, const QString& page, const QString& key)
    {
        auto* schema = qobject_cast<SchemaPage*>(dialog.page(page));
        return schema ? qobject_cast<T*>(schema->field(key)) : dialog.page(page)->findChild<T*>(key);
    }

private slots:
    void init()
    {
        m_ctx.DataFolder = m_data.path();
        for (const QString& name : QDir(m_data.path()).entryList(QDir::Files))
            QFile::remove(m_data.filePath(name));
        for (auto it = m_files.cbegin(); it != m_files.cend(); ++it)
            QVERIFY(writeAll(m_data.filePath(it.key()), it.value()));
    }

    // One field changed: its line alone changes (or is added), every comment and unknown key stays;
    // the values in force change at once.
    void roundTrip_data()
    {
        columns<QString, QString, QString, QString, QByteArray>("page", "key", "typed", "file", "after");
        row("Anzeige", "Anzeige", "layout", "wall", "display.ini",
            QByteArray("# Wandschirm\r\nfullscreen=1\r\nlayout = wall  # bis Mai\r\nfarbe=rot\r\n"));
        row("Karte und Route", "Karte und Route", "station", "51.5,7.4", "map.ini",
            QByteArray("\xEF\xBB\xBFprovider=osm\nunbekannt=1\n# Ende\nstation=51.5,7.4\n"));
        row("Ausdruck", "Ausdruck", "copies", "2", "print.ini", QByteArray("printer=Wache\ncopies=2 # eine\n"));
        row("Einsatzarchiv", "Einsatzarchiv", "keep_days", "30", "history.ini", QByteArray("keep_days=30\n"));
        row("Kalender", "Kalender", "calendar", "/srv/wache.ics", "display.ini",
            QByteArray("# Wandschirm\r\nfullscreen=1\r\nlayout = classic  # bis "
                       "Mai\r\nfarbe=rot\r\ncalendar=/srv/wache.ics\r\n"));
        // A RIC's line stands for its key; a RIC no longer listed leaves the file.
        row("Alarmwege", "Alarmwege", "radio.ric.<ric>", "1234567.B=Alarm Löschzug Mitte", "alarmwege.ini",
            QByteArray("dispatch=b\nradio.ric.1234567.b=Alarm Löschzug Mitte\n"));
        row("Mannschaft", "Mannschaft", "0 2", "ZF", "mannschaft.csv",
            QByteArray("Melder;Name;Qualifikation\n1001;Zora Zink;ZF\n1002;\"Graf; Gabi\";GF\n"));
        row("Fahrzeuge", "Fahrzeuge", "0 1", "HLF", "fahrzeuge.ini", QByteArray("Florian Hagen 1-HLF20-1 = HLF\n"));
    }
    void roundTrip()
    {
        auto [page, key, typed, file, after]
            = fetch<QString, QString, QString, QString, QByteArray>("page", "key", "typed", "file", "after");
        Dialog dialog(m_ctx);
        QSignalSpy changed(&dialog.config, &Configuration::changed);
        dialog.show();
        if (auto* table = dialog.page(page)->findChild<QTableWidget*>()) {
            table->item(key.section(' ', 0, 0).toInt(), key.section(' ', 1).toInt())->setText(typed);
        } else if (auto* edit = field<QLineEdit>(dialog, page, key)) {
            edit->setText(typed);
        } else if (auto* lines = field<QPlainTextEdit>(dialog, page, key)) {
            lines->setPlainText(typed);
        } else if (auto* spin = field<QSpinBox>(dialog, page, key)) {
            spin->setValue(typed.toInt());
        } else {
            auto* combo = field<QComboBox>(dialog, page, key);
            combo->setCurrentIndex(combo->findData(typed));
        }
        const QStringList before = state();
        dialog.cmd_save->click();
        QVERIFY2(!dialog.isVisible(), qPrintable(dialog.lbl_problem->text()));
        QCOMPARE(readAll(m_data.filePath(file)), after);
        QCOMPARE(
            QFile::permissions(m_data.filePath(file)) & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
        const QStringList now = state();
        for (int i = 0; i < now.size(); ++i) // every other file untouched
            QVERIFY(now[i].startsWith(file) || now[i] == before[i]);
        for (const ConfigFile f : configFiles()) { // in force at once
            if (configFileName(f) == file) {
                QCOMPARE(changed.size(), 1);
                // A pattern key by the name its line stands for.
                const bool pattern = key.contains('<');
                QCOMPARE(
                    dialog.config.values(f).at(pattern ? "radio.ric." + typed.section('=', 0, 0).toLower() : key).text,
                    pattern ? typed.section('=', 1) : typed);
            }
        }
    }

    // Opened and saved without a change: not one file is written, not even touched.
    void nothingChanged()
    {
        QVERIFY(writeAll(m_data.filePath("settings.dat"), QByteArray("els\r\n").repeated(27)));
        const QDateTime old = QDateTime::currentDateTime().addDays(-3);
        for (const QString& name : QDir(m_data.path()).entryList(QDir::Files))
            QVERIFY(setModified(m_data.filePath(name), old));
        const QStringList before = state();
        Dialog dialog(m_ctx);
        dialog.show();
        // It fits a screen of 1024 × 768 with its frame and a panel: the pages scroll.
        QVERIFY(dialog.width() <= 1000 && dialog.height() <= 680);
        for (SettingsPage* page : dialog.pages()) {
            dialog.showPage(page->title());
            QVERIFY(dialog.minimumSizeHint().width() <= 1000 && dialog.minimumSizeHint().height() <= 680);
            if (qEnvironmentVariableIsSet("KESSVENN_PICTURES"))
                dialog.grab().save(qEnvironmentVariable("KESSVENN_PICTURES") + "/" + page->objectName() + ".png");
        }
        dialog.cmd_save->click();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(state(), before);
    }

    // A field that cannot be used turns red as it is typed and keeps "Speichern" waiting with the
    // reason; nothing is written.
    void invalidWaits_data()
    {
        columns<QString, QString, QString, QString>("page", "key", "typed", "reason");
        row("tiles", "Karte und Route", "tiles", "ftp://tiles",
            "Karte und Route, Kacheln (Straßenkarte): Hier gehört eine Adresse hin");
        row("station", "Karte und Route", "station", "Nordpol",
            "Karte und Route, Standort der Wache: Hier gehören Breite und Länge");
        row("route", "Karte und Route", "route", "routinno",
            "Karte und Route, Routenplaner: Hier gehört routino oder eine");
        row("a crew row without pager", "Mannschaft", "0 0", "", "Mannschaft: in Zeile 1 fehlt der Melder.");
        row("a vehicle twice", "Fahrzeuge", "", "",
            "Fahrzeuge: \"Florian Hagen 1-HLF20-1\" steht zweimal in der Liste.");
    }
    void invalidWaits()
    {
        auto [page, key, typed, reason] = fetch<QString, QString, QString, QString>("page", "key", "typed", "reason");
        Dialog dialog(m_ctx);
        dialog.show();
        if (auto* table = dialog.page(page)->findChild<QTableWidget*>()) {
            if (key.isEmpty())
                static_cast<TablePage*>(dialog.page(page))
                    ->setRows({ { "Florian Hagen 1-HLF20-1", "A" }, { "Florian Hagen 1-HLF20-1", "B" } }, false);
            else
                table->item(0, 0)->setText(typed);
        } else {
            field<QLineEdit>(dialog, page, key)->setText(typed);
            QVERIFY(!field<QLineEdit>(dialog, page, key)->styleSheet().isEmpty());
        }
        QVERIFY(dialog.lbl_problem->isVisibleTo(&dialog)); // said as it is typed
        const QStringList before = state();
        dialog.cmd_save->click();
        QVERIFY(dialog.isVisible());
        QVERIFY2(dialog.lbl_problem->text().startsWith("Nicht gespeichert: " + reason),
            qPrintable(dialog.lbl_problem->text()));
        QCOMPARE(state(), before);
    }

    // The printer is chosen from the queues CUPS lists, asked off the window's thread.
    void printerChoice()
    {
        PrivateCups cups;
        if (!cups.started())
            QSKIP(qPrintable(cups.whyNot()));
        QVERIFY(cups.addQueue("Halle"));
        Dialog dialog(m_ctx);
        auto* printer = field<QComboBox>(dialog, "Ausdruck", "printer");
        QCOMPARE(printer->currentText(), "Wache"); // as print.ini names it
        QTRY_VERIFY(printer->findData("Halle") >= 0);
        QCOMPARE(printer->itemText(printer->findData(QString())), "Standarddrucker");
        printer->setCurrentIndex(printer->findData("Halle"));
        dialog.cmd_save->click();
        QCOMPARE(readAll(m_data.filePath("print.ini")), "printer=Halle\ncopies=1 # eine\n");
    }

    // A hall screen shows not one name of the crew anywhere in the dialog; other monitors do.
    void privacy_data()
    {
        columns<QByteArray, bool>("display", "names");
        row("hall screen", QByteArray("privacy=1\n"), false);
        row("office", QByteArray("privacy=0\n"), true);
    }
    void privacy()
    {
        auto [display, names] = fetch<QByteArray, bool>("display", "names");
        QVERIFY(writeAll(m_data.filePath("display.ini"), display));
        Dialog dialog(m_ctx);
        dialog.show();
        QStringList shown;
        for (const QLabel* label : dialog.findChildren<QLabel*>())
            shown << label->text();
        for (const QTableWidget* table : dialog.findChildren<QTableWidget*>())
            for (int r = 0; r < table->rowCount(); ++r)
                shown << table->item(r, 1)->text();
        QCOMPARE(shown.join('\n').contains("Zora"), names);
        QCOMPARE(shown.join('\n').contains("Hallenanzeige (display.ini privacy=1)"), !names);
        dialog.cmd_save->click();
        QCOMPARE(readAll(m_data.filePath("mannschaft.csv")), m_files["mannschaft.csv"]);
    }

    // A spreadsheet's export in each encoding and separator is imported and saved as the crew file.
    void crewImport_data()
    {
        columns<QByteArray>("export");
        row("UTF-8, ';'", QByteArray("Melder;Name;Quali\n2001;Jörg Jäger;AGT\n"));
        const QString utf16 = "Melder\tName\tQuali\r\n2001\tJörg Jäger\tAGT\r\n";
        row("UTF-16, tab", "\xFF\xFE" + QByteArray(reinterpret_cast<const char*>(utf16.utf16()), utf16.size() * 2));
        row("Windows-1252, ','", QByteArray("Melder,Name,Quali\r\n2001,J\xF6rg J\xE4ger,AGT\r\n"));
    }
    void crewImport()
    {
        auto [exported] = fetch<QByteArray>("export");
        QVERIFY(writeAll(m_data.filePath("export.csv"), exported));
        Dialog dialog(m_ctx);
        auto* crew = static_cast<CrewPage*>(dialog.page("Mannschaft"));
        crew->pickFile = [this](QWidget*) { return m_data.filePath("export.csv"); };
        crew->findChild<QPushButton*>("import")->click();
        dialog.cmd_save->click();
        QCOMPARE(readAll(m_data.filePath("mannschaft.csv")), "Melder;Name;Qualifikation\n2001;Jörg Jäger;AGT\n");
    }

    // The trial buttons try what the pages say, saved or not, and say the outcome beside the button.
    void trialButtons()
    {
        Dialog dialog(m_ctx);
        QVERIFY(writeScript(m_data.filePath("sag.sh"), "cat \"$1\" > \"$0.heard\""));
        dialog.txt_settings[0]->setText(m_data.filePath("sag.sh"));
        dialog.cmd_speechTrial->click();
        QVERIFY(!dialog.cmd_speechTrial->isEnabled());
        QTRY_VERIFY(dialog.cmd_speechTrial->isEnabled());
        QVERIFY(dialog.trialResult(dialog.cmd_speechTrial)->text().contains("ohne Fehler"));
        QCOMPARE(readAll(m_data.filePath("sag.sh.heard")), SettingsTrial::SpeechText.toUtf8());
        dialog.cmd_routeTrial->click();
        QCOMPARE(dialog.trialResult(dialog.cmd_routeTrial)->text(), "Es ist keine Route eingestellt (route=).");
        field<QLineEdit>(dialog, "Karte und Route", "route")->setText("routino");
        dialog.cmd_routeTrial->click();
        QCOMPARE(dialog.trialResult(dialog.cmd_routeTrial)->text(), "Der Standort der Wache (station=) fehlt.");
    }

    // The water import runs beside the window with its progress, names its index in map.ini; the
    // calendar's preview lists the next appointment.
    void waterAndCalendar()
    {
        const QDateTime tomorrow = QDateTime(QDate::currentDate().addDays(1), QTime(19, 0));
        QVERIFY(writeAll(m_data.filePath("wache.ics"),
            "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:1\r\nDTSTART:"
                + tomorrow.toString("yyyyMMdd'T'HHmmss").toLatin1()
                + "\r\nSUMMARY:Übungsabend\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n"));
        QVERIFY(writeAll(m_data.filePath("town.osm"), R"(<?xml version="1.0" encoding="UTF-8"?>
<osm version="0.6"><node id="1" version="1" lat="51.5" lon="7.4"><tag k="emergency" v="fire_hydrant"/></node></osm>
)"));
        Dialog dialog(m_ctx);
        auto* calendar = static_cast<CalendarPage*>(dialog.page("Kalender"));
        QSignalSpy previewed(calendar, &CalendarPage::previewed);
        calendar->txt_calendar->setText(m_data.filePath("wache.ics"));
        QVERIFY(previewed.wait());
        QVERIFY2(
            calendar->lbl_preview->text().endsWith("19:00  Übungsabend"), qPrintable(calendar->lbl_preview->text()));
        auto* water = static_cast<WaterPage*>(dialog.page("Wasserentnahmestellen"));
        QSignalSpy imported(water, &WaterPage::imported);
        QVERIFY(!water->import(m_data.filePath("wache.ics")));
        QVERIFY(water->import(m_data.filePath("town.osm")));
        QCOMPARE(water->progress->maximum(), 0); // moving while it runs
        QVERIFY(imported.wait(30000));
        QVERIFY2(imported.at(0).at(0).toBool(), qPrintable(water->lbl_result->text()));
        QCOMPARE(water->lbl_result->text(),
            "Fertig: 1 Wasserentnahmestellen im Index " + m_data.filePath("water.sqlite") + ".");
        dialog.cmd_save->click();
        QCOMPARE(dialog.config.values(ConfigFile::Map).text(u"water"), m_data.filePath("water.sqlite"));
        QCOMPARE(dialog.config.values(ConfigFile::Display).text(u"calendar"), m_data.filePath("wache.ics"));
    }
};

QTEST_MAIN(SettingsDialogTest)
#include "tst_SettingsDialog.moc"
