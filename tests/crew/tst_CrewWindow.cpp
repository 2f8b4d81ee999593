// The crew's strength and the vehicles' board in the classic window, read back from its widgets
// at the sizes the station's screens have.
#include "app/FittingLabel.h"
#include "app/MainLayout.h"
#include "common/Twips.h"
#include "crew/CrewDesk.h"
#include "crew/VehicleBoardView.h"
#include "history/HistoryReader.h"
#include "tests/support/WindowFixture.h"

#include <QApplication>
#include <QBuffer>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
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
        f.core().HandleStationAlarm(WindowFixture::stationAlarm("B 3", { "HLF 20" }) + "\t\t\tHuber, Anna", 0);
        // Pager 11's row has no name: the crew file's is shown and kept.
        const char* holders[] = { "", "Gabi Graf", "Uwe", "Kai Kurz", "Lea Lang", "Mia Maus", "Nils Noll" };
        for (int i = 0; i < 7; ++i)
            f.core().InsertPagerRow(QStringLiteral("WACHALARM_MELDER\t%1\t%2").arg(holders[i]).arg(11 + i));
        for (const char* answer : { "11\t1", "12\t1", "13\t2", "13\t1", "14\t2", "15\t0", "16\t-1" })
            f.core().HandleFeedback(QStringLiteral("WACHALARM_RM\t") + answer);
        f.core().InsertStatusRow("WACHALARM_STATUS\tFlorian Hagen 1-HLF20-1\t3");
        f.core().InsertStatusRow("WACHALARM_STATUS\tFlorian Hagen 9-ELW-1\t4");
        f.core().InsertStatusRow("WACHALARM_STATUS\tFlorian Hagen 1-DLK-1\t0");

        auto* line = f.control<QLabel>("lbl_Staerke");
        QTRY_COMPARE(line->text(), "1/1/1/3 · AGT 2 · Ma 1\nspäter 1 · nicht 1 · unbekannt 1");
        QVERIFY(line->toolTip().contains("Gabi Graf (GF Ma): kommt"));
        QVERIFY(f.form->rect().contains(line->mapTo(f.form.get(), line->rect().bottomRight())));

        // The top bar: the strength, the drive time and three water sources each in a room of its
        // own, clear of the bar's other controls, whole, in type no smaller than the buttons' at
        // the window's scale (13 pixels at the design size).
        f.control<QLabel>("lbl_Wasser")->setText("U 100 · 36 m NO, O 150 · 79 m SW, B · 138 m S");
        f.control<QLabel>("lbl_Anfahrt")->setText("Anfahrt 12 min · 14,3 km");
        const double scale = MainLayout::scale(size.width() * kTwipsPerPixel, size.height() * kTwipsPerPixel);
        for (const char* name : { "lbl_Staerke", "lbl_Anfahrt", "lbl_Wasser" }) {
            const auto* text = f.control<QLabel>(name);
            for (const QWidget* other : text->parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
                QVERIFY(other == text || !other->isVisible() || other->objectName() == "Label_vers"
                    || !text->geometry().intersects(other->geometry()));
            const auto* fitting = qobject_cast<const FittingLabel*>(text);
            const QFont font = fitting ? fitting->fitted().font : text->font();
            const QRect room = fitting ? fitting->textRect() : text->contentsRect();
            QVERIFY2(room.contains(QFontMetrics(font).boundingRect(room, int(text->alignment()), text->text())), name);
            QCOMPARE_GE(QFontInfo(font).pixelSize(), int(13 * scale));
        }

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
        QTRY_COMPARE(tilesShown(), QStringList({ "HLF 20\n3 Einsatz übernommen", "DLK\n0 Dringender Sprechwunsch" }));
        QTRY_COMPARE(statusList->rowCount(), 3);
        for (const bool shown : { true, false }) {
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_F11, Qt::NoModifier);
            QApplication::sendEvent(f.form.get(), &release);
            QCOMPARE(board->isVisible(), shown);
            QCOMPARE(board->geometry(), statusList->geometry());
        }
        // Its tiles in the grids' type at the window's scale or larger, each inside, each line whole.
        QFont bold = board->font();
        bold.setBold(true);
        QCOMPARE_GE(QFontInfo(bold).pixelSize(), int(20 * scale));
        for (const VehicleBoardView::Tile& tile : board->tiles()) {
            QVERIFY(board->rect().contains(tile.place));
            const QStringList lines = tile.lines.split('\n'); // the short name in bold
            for (int i = 0; i < lines.size(); ++i)
                QVERIFY2(QFontMetrics(i ? board->font() : bold).horizontalAdvance(lines[i]) <= tile.place.width() - 6,
                    qPrintable(lines[i]));
        }
        QCOMPARE(statusList->rowCount(), 3);
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
        QVERIFY2(lines[lines.size() - 2].contains(";Zora Zink kommt "), lines[lines.size() - 2]);

        // After a restart the stored alarm is shown again with the informant and the strength of the
        // answers the history kept; it counts on, and the history keeps what the screen shows.
        f.restart();
        f.form->show();
        f.form->load();
        QCOMPARE(f.control<QLabel>("label_einsatz(8)")->text(), "Mitteiler: Huber, Anna");
        QTRY_COMPARE(
            f.control<QLabel>("lbl_Staerke")->text(), "1/1/1/3 · AGT 2 · Ma 1\nspäter 1 · nicht 1 · unbekannt 1");
        f.core().HandleFeedback("WACHALARM_RM\t12\t0");
        QTRY_COMPARE(
            f.control<QLabel>("lbl_Staerke")->text(), "1/0/1/2 · AGT 2 · Ma 0\nspäter 1 · nicht 2 · unbekannt 1");
        QTRY_COMPARE(kept(), "1/0/1/2");
        // Ctrl+C: the alarm leaves the screen, and its strength with it.
        f.answerYes = true;
        QTest::keyClick(f.form.get(), Qt::Key_C, Qt::ControlModifier);
        QTRY_COMPARE(f.control<QLabel>("lbl_Staerke")->text(), "");

        // A stored alarm the history does not hold as its newest takes nothing from it.
        QVERIFY(f.putDataFile("last.dat", WindowFixture::stationAlarm("B 4", {}).replace('\t', "\r\n").toLatin1()));
        f.restart();
        f.form->load();
        QCOMPARE(f.control<QLabel>("label_einsatz(1)")->text() + f.control<QLabel>("label_einsatz(8)")->text(), "B 4");
        QTRY_COMPARE(
            f.control<QLabel>("lbl_Staerke")->text(), "0/0/0/0 · AGT 0 · Ma 0\nspäter 0 · nicht 0 · unbekannt 0");
    }
};

QTEST_MAIN(CrewWindowTest)
#include "tst_CrewWindow.moc"
