// The alarm history in the window: the list "Einsätze", its search, year and chart, an archived
// alarm on the display, the export.
#include "alarm/AlarmCore.h"
#include "alarm/AlarmHandler.h"
#include "alarm/Incident.h"
#include "common/AppContext.h"
#include "config/StationSettings.h"
#include "history/HistoryDesk.h"
#include "history/HistoryModel.h"
#include "history/HistoryRecorder.h"
#include "history/HistoryStore.h"
#include "history/HistoryView.h"
#include "map/Geocoder.h"
#include "print/Printout.h"
#include "tests/support/HistoryRows.h"
#include "tests/support/TestFiles.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

using namespace HistoryRows;

class HistoryWindowTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QString db() const { return path(QStringLiteral("history.sqlite")); }

private slots:
    // The list, its search, year and chart; an alarm of it on the display under its band until Esc
    // or a new alarm; the export of the rows shown.
    void listAndArchive()
    {
        {
            HistoryStore store(db());
            QVERIFY(store.open());
            QVERIFY(store.store({ { HistoryEntry::Kind::Station, at("2025-12-31T23:00:00"), fields({ { 4, "Alt" } }) },
                { HistoryEntry::Kind::Station, QDateTime::currentDateTime().addSecs(-60),
                    fields({ { 7, "Weg" } }) } }));
        }
        AppContext ctx;
        ctx.DataFolder = m_dir.path();
        ctx.LastAlarmPath = path(QStringLiteral("last.dat"));
        QWidget window;
        AlarmControls controls;
        for (QLabel*& label : controls.label_einsatz)
            label = new QLabel(&window);
        controls.MSFlexGrid1 = new QTableWidget(&window);
        const StationSettings settings;
        AlarmCore core(ctx, settings);
        Geocoder geocoder(ctx, settings);
        Incident incident(geocoder);
        incident.follow(core);
        AlarmHandler handler(controls, nullptr);
        handler.watch(core);
        handler.follow(incident);
        HistoryDesk desk(ctx, core, handler, new QWidget(&window));
        bool printIni = false;
        desk.printable = [&] { return printIni; };
        HistoryRecorder recorder(db(), ctx.LastAlarmPath, HistorySettings {});
        recorder.watch(core);
        recorder.start();
        QSignalSpy written(&recorder, &HistoryRecorder::written);
        core.HandleStationAlarm(fields({ { 4, "Neu" } }).join('\t'), 0);
        QVERIFY(written.wait(10000));

        PrintResult page; // the printout of the live alarm reports its kept copy
        page.pdfPath = path(QStringLiteral("Ausdrucke/Neu.pdf")), page.alarmTime = QDateTime::currentDateTime();
        page.alarmSequence = 1;
        recorder.recordPrintout(page);
        QVERIFY(written.wait(10000));

        desk.openList();
        HistoryView& view = *desk.view();
        QCOMPARE(view.model().rowCount(), 2);
        QCOMPARE(view.model().rowAt(0).keyword, QStringLiteral("Neu"));
        // "Drucken": the footer tells why nothing is printed; with print.ini, the kept page goes.
        auto* footer = view.findChild<QLabel*>(QStringLiteral("status"));
        QSignalSpy print(&view, &HistoryView::printRequested);
        view.findChild<QPushButton*>(QStringLiteral("print"))->click();
        QVERIFY(footer->text().contains(QStringLiteral("fehlt print.ini")));
        printIni = true;
        view.findChild<QPushButton*>(QStringLiteral("print"))->click();
        QCOMPARE(print.size(), 1);
        QCOMPARE(print.first().first().value<HistoryAlarm>().printout, page.pdfPath);
        auto* search = view.findChild<QLineEdit*>(QStringLiteral("search"));
        QTest::keyClicks(search, QStringLiteral("WEG"));
        QCOMPARE(view.model().rowCount(), 1);
        view.exportPath = [this] { return path(QStringLiteral("shown.csv")); };
        view.findChild<QPushButton*>(QStringLiteral("export"))->click();
        const QList<QStringList> csv = readCsv(path(QStringLiteral("shown.csv")));
        QCOMPARE(csv.size(), 2);
        QCOMPARE(csv[1][6], QStringLiteral("Weg 12"));
        search->clear();
        QCOMPARE(view.model().rowCount(), 2);
        auto* year = view.findChild<QComboBox*>(QStringLiteral("year"));
        year->setCurrentIndex(year->findData(2025));
        emit year->activated(year->currentIndex());
        QCOMPARE(view.model().rowCount(), 1);
        QCOMPARE(view.findChild<MonthChart*>()->counts()[11], 1);

        auto* list = view.findChild<QTableView*>(QStringLiteral("list"));
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(controls.label_einsatz[1]->text(), QStringLiteral("Alt"));
        QVERIFY(desk.showsArchive() && !desk.band()->isHidden());
        QVERIFY(desk.band()->text().startsWith(QStringLiteral("Archiv: Einsatz vom 31.12.2025 23:00")));
        desk.returnToLive();
        QCOMPARE(controls.label_einsatz[1]->text(), QStringLiteral("Neu"));
        QVERIFY(desk.band()->isHidden());
        QTest::keyClick(list, Qt::Key_Return);
        core.HandleUnitAlarm(QStringLiteral("WACHALARM_EM\tDLK\a"));
        QCOMPARE(
            controls.label_einsatz[1]->text() + controls.MSFlexGrid1->item(0, 0)->text(), QStringLiteral("NeuDLK"));
        QVERIFY(!desk.showsArchive() && desk.band()->isHidden());
        QVERIFY(core.HandleTestAlarm()); // kept, shown as such, not counted
        QTRY_COMPARE_WITH_TIMEOUT(written.size(), 4, 10000);
        year->setCurrentIndex(0); // this year
        desk.openList();
        QCOMPARE(footer->text(), QStringLiteral("2 Wachalarme, 1 Einheitenalarm, 1 Probealarm"));
    }
};

QTEST_MAIN(HistoryWindowTest)
#include "tst_HistoryWindow.moc"
