#include "common/AppContext.h"
#include "common/CodePage.h"
#include "log/DocumentationList.h"
#include "log/MarkupDelegate.h"
#include "log/MarkupText.h"
#include "log/TickerLog.h"
#include "log/TickerModel.h"
#include "tests/support/DataRows.h"
#include "tests/support/OwnNamespaces.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QHeaderView>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString entry(const QString& sender, const QString& body = "", const QString& day = "06.12.2026",
    const QString& time = "12:07:44")
{
    return QStringList { "WACHALARM_TICKER\t" + sender, "EA", day, time, "", "", body }.join(QChar(7));
}

const auto bytes = [](const QString& text) { return CodePage::encode(text); };

// What the rows show, top to bottom: "Nr:sender".
QStringList rows(const TickerModel& model)
{
    QStringList shown;
    for (int r = 0; r < model.rowCount(); ++r)
        shown << QString::number(model.number(r)) + ':'
                + model.cells(r).caption[TickerCells::Absender].section('>', 3).section('<', 0, 0);
    return shown;
}

} // namespace

class TickerLogTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    AppContext m_ctx;
    TickerModel m_model;
    std::unique_ptr<TickerLog> m_log;

    QString archive() const { return m_ctx.DataFolder + "/Ablage/2024_3_7"; }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_model.sort(TickerCells::Nr, Qt::DescendingOrder);
        m_ctx.DataFolder = m_dir->path();
        m_ctx.TickerPath = m_dir->path() + QStringLiteral("/ticker.dat");
        m_log = std::make_unique<TickerLog>(m_ctx, m_model);
        m_log->today = [] { return QDate(2024, 3, 7); };
        m_log->lese_ticker();
    }

    // No file is a null one; every row stores something. After the messages the file holds `stored`; a restart shows
    // `shown` (descending), the live list the same the other way round.
    void storeAndShow_data()
    {
        columns<QByteArray, QStringList, int, QByteArray, QStringList>("file", "messages", "column", "stored", "shown");
        const int Nr = TickerCells::Nr, Zeit = TickerCells::Zeit;
        const QString a = entry("A"), b = entry("B"), c = entry("C");
        row("newest first, numbered from the oldest", QByteArray(), QStringList { a, b, c }, Nr,
            bytes(a + "\r\n" + b + "\r\n" + c + "\r\n"), QStringList { "3:C", "2:B", "1:A" });
        row("a line cut between CR and LF; code page bytes, further fields whole, CR and LF as blanks", bytes(a) + "\r",
            QStringList { entry("Müller €", "1\r\n2\n") + "\tf2" }, Nr,
            bytes(a + "\r\n" + entry("Müller €", "1  2 ") + "\tf2\r\n"), QStringList { "2:Müller €", "1:A" });
        row("empty lines are skipped and not counted, a cut-off last line is ended first",
            "\r\n" + bytes(a) + "\r\n\r\n\n" + bytes(b), QStringList { c }, Nr,
            "\r\n" + bytes(a) + "\r\n\r\n\n" + bytes(b) + "\r\n" + bytes(c) + "\r\n",
            QStringList { "3:C", "2:B", "1:A" });
        const QByteArray malformed("kein Feld\r\nWACHALARM_TICKER\tnur\x07zwei\r\n \r\n");
        row("malformed lines show what they have", malformed, QStringList(), Nr, malformed,
            QStringList { "3:", "2:nur", "1:" });
        // Equal times keep the file order when ascending; times that cannot be read go after the others, by text.
        const QStringList times { "06.12.2026", "10:00:01", "30.11.2026", "23:00:00", "06.12.2026", "9:30:00",
            "06.12.2026", "10:00", "01.01.20", "00:00", "gestern", "abends", "06.12.2026", "mittags", "Dienstag", "",
            "6.12.2026", "10:00:00" };
        QStringList timed;
        for (int i = 0; i < 9; ++i)
            timed << entry(QChar('A' + i), "", times[2 * i], times[2 * i + 1]);
        const QByteArray all = bytes(timed.join("\r\n") + "\r\n");
        row("Zeit", QByteArray(), timed, Zeit, all,
            QStringList { "6:F", "8:H", "7:G", "1:A", "9:I", "4:D", "3:C", "2:B", "5:E" });
    }
    void storeAndShow()
    {
        auto [file, messages, column, stored, shown] = fetch<QByteArray, QStringList, int, QByteArray, QStringList>(
            "file", "messages", "column", "stored", "shown");
        if (!file.isNull())
            QVERIFY(TestFiles::writeAll(m_ctx.TickerPath, file));
        m_model.sort(column, Qt::AscendingOrder);
        m_model.sort(TickerCells::Text, Qt::AscendingOrder); // does not order
        m_log->lese_ticker();
        for (const QString& message : messages)
            m_log->HandleTickerMessage(message);
        QCOMPARE(TestFiles::readAll(m_ctx.TickerPath), stored);
        QCOMPARE(rows(m_model), QStringList(shown.crbegin(), shown.crend()));
        TickerModel restarted;
        restarted.sort(column, Qt::DescendingOrder);
        TickerLog(m_ctx, restarted).lese_ticker();
        QCOMPARE(rows(restarted), shown);
    }

    void deleteArchivesBeforeDeleting()
    {
        m_log->HandleTickerMessage(entry("A"));
        QVERIFY(TestFiles::writeAll(m_ctx.TickerPath, TestFiles::readAll(m_ctx.TickerPath) + bytes(entry("B"))));
        m_log->DeleteTicker();
        QCOMPARE(TestFiles::readAll(archive()), bytes(entry("A") + "\r\n" + entry("B") + "\r\n"));
        // The list is empty, a new ticker starts at 1; the day's archive takes it after the earlier one.
        m_log->HandleTickerMessage(entry("C"));
        QCOMPARE(rows(m_model), QStringList { "1:C" });
        m_log->DeleteTicker();
        QCOMPARE(TestFiles::readAll(archive()), bytes(entry("A") + "\r\n" + entry("B") + "\r\n" + entry("C") + "\r\n"));
    }

    // A full disk: what could not be written whole leaves every file as it was, and no new one.
    void fullDisk_data()
    {
        columns<bool, QByteArray>("deleting", "earlierArchive");
        row("ticker message", false, QByteArray());
        row("delete, no archive of the day yet", true, QByteArray());
        row("delete, onto the day's archive", true, QByteArray(1000, 'x') + "\r\n");
    }
    void fullDisk()
    {
        auto [deleting, earlierArchive] = fetch<bool, QByteArray>("deleting", "earlierArchive");
        // The small disk is mounted in a mount namespace of this process alone.
        const SmallDisk disk(m_dir->path());
        if (!disk.mounted())
            QSKIP("mounting a 64 KiB tmpfs needs root");
        for (const char* s : { "A", "B", "C" })
            m_log->HandleTickerMessage(entry(s, QString(2000, 'x')));
        if (!earlierArchive.isNull())
            QVERIFY(QDir().mkpath(m_ctx.DataFolder + "/Ablage") && TestFiles::writeAll(archive(), earlierArchive));
        const QByteArray ticker = TestFiles::readAll(m_ctx.TickerPath);
        QVERIFY(QFile::exists(disk.fill()));
        deleting ? m_log->DeleteTicker() : m_log->HandleTickerMessage(entry("D", QString(6000, 'y')));
        QCOMPARE(TestFiles::readAll(m_ctx.TickerPath), ticker);
        QCOMPARE(QFile::exists(archive()), !earlierArchive.isNull());
        QCOMPARE(TestFiles::readAll(archive()), earlierArchive);
        QCOMPARE(rows(m_model), (QStringList { "3:C", "2:B", "1:A" }));
    }

    // A window over garbage, more lines than a 16-bit count and a line of 10 MiB: every line is a row
    // with its number, rows in view fit their content within bounds, so does a new one on top.
    void listInAWindow()
    {
        QByteArray file;
        for (int i = 1; i <= 40000; ++i) // every byte value, between the lines
            file += char(i * 7919 % 256) + QByteArray("\r\nWACHALARM_TICKER\t") + QByteArray::number(i);
        file += "\n" + bytes(entry("G", QString(10 << 20, '<')) + "\r\n" + entry("B", "1"));
        QVERIFY(TestFiles::writeAll(m_ctx.TickerPath, file));
        QTableView view;
        view.resize(641, 248);
        DocumentationList list(m_ctx, &view);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        list.lese_ticker();
        const int count = int(TickerLines(file).size());
        QTRY_VERIFY(view.rowHeight(0) != DocumentationList::DefaultRowHeight);
        list.HandleTickerMessage(entry("C", "1<CR>2<CR>3"));
        QTRY_VERIFY(view.rowHeight(0) != DocumentationList::DefaultRowHeight && view.rowHeight(0) > view.rowHeight(1));
        QCOMPARE(list.model()->index(0, 4).data(Qt::ToolTipRole).toString(), "<qt>1<br>2<br>3</qt>");
        const QFont run = MarkupText::fontFor(MarkupStyle { 10, false, 0, true, true }, view.font());
        QVERIFY(run.family() == "Arial" && run.pointSize() == 10 && run.bold() && run.italic());
        QVERIFY(view.rowHeight(2) <= MarkupDelegate::MaxCellHeight + 1);
        QVERIFY(list.model()->index(2, 4).data(Qt::ToolTipRole).toString().size() < 100000);
        const QStringList shown = rows(*list.model());
        QCOMPARE(shown.mid(0, 4).join(' ') + ' ' + shown.last().left(2),
            QStringLiteral("%1:C %2:B %3:G %4:40000 1:").arg(count + 1).arg(count).arg(count - 1).arg(count - 2));
        for (int click = 0; click < 2; ++click) // on "Zeit": latest first, then turned round
            QTest::mouseClick(view.horizontalHeader()->viewport(), Qt::LeftButton, {}, QPoint(60, 5));
        QCOMPARE(rows(*list.model()).first(), QString::number(count - 1) + ":G");
    }
};

QTEST_MAIN(TickerLogTest)
#include "tst_TickerLog.moc"
