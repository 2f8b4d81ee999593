// The crew's strength and the vehicles' board in the classic window, read back from its widgets
// at the sizes the station's screens have.
#include "crew/CrewDesk.h"
#include "crew/VehicleBoardView.h"
#include "history/HistoryReader.h"
#include "tests/support/WindowFixture.h"

#include <QApplication>
#include <QBuffer>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTableWidget>
#include <QTest>

class CrewWindowTest : public QObject {
    Q_OBJECT

private slots:
    void panels_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("1366 x 768 screen, a window") << QSize(1264, 768);
        QTest::newRow("1366 x 768 screen, full screen") << QSize(1366, 768);
        QTest::newRow("800 x 600") << QSize(800, 600);
        QTest::newRow("design size") << QSize(1264, 936);
        QTest::newRow("1920 x 1080") << QSize(1920, 1080);
    }

    void panels()
    {
        QFETCH(QSize, size);
        WindowFixture f;
        QVERIFY(f.putDataFile("mannschaft.csv", "Melder;Name;Quali\n11;Zora Zink;ZF AGT\n12;;GF Ma\n13;Uwe;AGT\n"));
        QVERIFY(f.putDataFile("fahrzeuge.ini", "Florian Hagen 1-HLF20-1 = HLF 20\nFlorian Hagen 1-DLK-1 = DLK\n"));
        QVERIFY(f.putDataFile("display.ini", "strength.leaders=ZF GF\nstrength.show=AGT Ma\n"));
        f.form->show();
        f.form->load();
        f.form->resize(size);
        QTRY_COMPARE(f.form->size(), size);
        f.core().HandleStationAlarm(WindowFixture::stationAlarm("B 3", { "HLF 20" }), 0);
        const char* holders[] = { "Zora Zink", "Gabi Graf", "Uwe", "Kai Kurz", "Lea Lang", "Mia Maus", "Nils Noll" };
        for (int i = 0; i < 7; ++i)
            f.core().InsertPagerRow(QStringLiteral("WACHALARM_MELDER\t%1\t%2").arg(holders[i]).arg(11 + i));
        for (const char* answer : { "11\t1", "12\t1", "13\t2", "13\t1", "14\t2", "15\t0", "16\t-1" })
            f.core().HandleFeedback(QStringLiteral("WACHALARM_RM\t") + answer);
        f.core().InsertStatusRow("WACHALARM_STATUS\tFlorian Hagen 1-HLF20-1\t3");
        f.core().InsertStatusRow("WACHALARM_STATUS\tFlorian Hagen 9-ELW-1\t4");

        auto* line = f.control<QLabel>("lbl_Staerke");
        QTRY_COMPARE(line->text(), "1/1/1/3 · AGT 2 · Ma 1\nspäter 1 · nicht 1 · unbekannt 1");
        QVERIFY(line->toolTip().contains("Gabi Graf (GF Ma): kommt"));
        QVERIFY(f.form->rect().contains(line->mapTo(f.form.get(), line->rect().bottomRight())));

        // Every answer in full, inside the list's view.
        auto* pagers = f.control<QTableWidget>("Grid_Melder");
        const int answerColumn = pagers->columnWidth(1);
        for (const char* word : { "später", "kommt", "NICHT", "selbst", "Sonst." })
            QVERIFY2(pagers->fontMetrics().horizontalAdvance(word) + 6 <= answerColumn, word);
        QVERIFY(pagers->columnViewportPosition(1) + answerColumn <= pagers->viewport()->width());
        QVERIFY(pagers->columnWidth(0) > 0);

        // F11 lays the board over the status list and takes it away again; the list stays.
        auto* statusList = f.control<QTableWidget>("Grid_Status");
        auto* board = f.control<VehicleBoardView>("VehicleBoard");
        const auto tilesShown = [board] {
            QStringList tiles;
            for (const VehicleBoardView::Tile& tile : board->tiles())
                tiles << tile.lines.section('\n', 0, 1);
            return tiles;
        };
        QTRY_COMPARE(tilesShown(), QStringList({ "HLF 20\n3 Einsatz übernommen", "DLK\n" }));
        QTRY_COMPARE(statusList->rowCount(), 2);
        for (const bool shown : { true, false }) {
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_F11, Qt::NoModifier);
            QApplication::sendEvent(f.form.get(), &release);
            QCOMPARE(board->isVisible(), shown);
            QCOMPARE(board->geometry(), statusList->geometry());
        }
        QCOMPARE(statusList->rowCount(), 2);
        if (size != QSize(1264, 936))
            return;

        // The history keeps the alarm's strength: the list's column, the CSV's columns.
        const auto kept = [&] {
            HistoryReader reader(f.dataFile("history.sqlite"), true);
            const std::vector<HistoryRow> rows = reader.open() ? reader.rows(std::nullopt) : std::vector<HistoryRow>();
            return rows.empty() ? QString() : rows.front().strength;
        };
        QTRY_COMPARE(kept(), "1/1/1/3");
        HistoryReader reader(f.dataFile("history.sqlite"), true);
        QBuffer csv;
        QVERIFY(reader.open() && csv.open(QIODevice::WriteOnly) && reader.writeCsv(csv, std::nullopt));
        const QList<QByteArray> lines = csv.data().split('\n');
        QVERIFY2(lines[0].endsWith(";Stärke;AGT;Ma\r"), lines[0]);
        QVERIFY2(lines[lines.size() - 2].endsWith(";1/1/1/3;2;1\r"), lines[lines.size() - 2]);

        // After a restart the alarm is shown again and counts anew, but its kept strength stays: an
        // answer written after the new count shows that the count was not written over it.
        f.restart();
        f.form->show();
        f.form->load();
        f.core().HandleFeedback("WACHALARM_RM\t12\t0");
        QTRY_COMPARE(
            f.control<QLabel>("lbl_Staerke")->text(), "0/0/0/0 · AGT 0 · Ma 0\nspäter 0 · nicht 1 · unbekannt 0");
        f.core().HandleFeedback("WACHALARM_RM\t13\t0");
        const auto answer13 = [&] {
            bool answered = false;
            {
                QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "check");
                db.setDatabaseName(f.dataFile("history.sqlite"));
                QSqlQuery q(db);
                answered = db.open() && q.exec("SELECT code FROM answers WHERE pager_id = '13'") && q.next()
                    && q.value(0).toInt() == 0;
            }
            QSqlDatabase::removeDatabase("check");
            return answered;
        };
        QTRY_VERIFY(answer13());
        QCOMPARE(kept(), "1/1/1/3");
        // Ctrl+C: the alarm leaves the screen, and its strength with it.
        f.answerYes = true;
        QTest::keyClick(f.form.get(), Qt::Key_C, Qt::ControlModifier);
        QTRY_COMPARE(f.control<QLabel>("lbl_Staerke")->text(), "");
    }
};

QTEST_MAIN(CrewWindowTest)
#include "tst_CrewWindow.moc"
