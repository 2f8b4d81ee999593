#include "common/AppContext.h"
#include "common/CodePage.h"
#include "log/TickerFile.h"
#include "log/TickerLog.h"
#include "log/TickerModel.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString entry(const QString& sender, const QString& body)
{
    return QStringLiteral("WACHALARM_TICKER\t") + sender + QStringLiteral("\x07" "EA\x07" "06.12.2026\x07" "12:07:44\x07\x07\x07")
        + body;
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

// What the rows show: "Nr:sender" per row, top to bottom.
QStringList rows(const TickerModel& model)
{
    QStringList shown;
    for (int r = 0; r < model.rowCount(); ++r) {
        const TickerCells cells = model.cells(r);
        QString sender = cells.caption[TickerCells::Absender];
        sender.remove(QStringLiteral("<font Arial;10><fgcolor=000000><B>")).remove(QStringLiteral("</FONT></fgcolor>"));
        shown << model.data(model.index(r, 0)).toString() + QLatin1Char(':') + sender;
    }
    return shown;
}

} // namespace

class TickerLogTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<AppContext> m_ctx;
    std::unique_ptr<TickerModel> m_model;
    std::unique_ptr<TickerLog> m_log;
    QString archiveFolder() const { return QDir(m_ctx->DataFolder).filePath(QStringLiteral("Ablage")); }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        QDir(m_dir.path()).removeRecursively();
        QVERIFY(QDir().mkpath(m_dir.path() + QStringLiteral("/Ablage")));
        m_ctx = std::make_unique<AppContext>();
        m_ctx->DataFolder = m_dir.path();
        m_ctx->TickerPath = m_ctx->dataFile(QStringLiteral("ticker.dat"));
        m_model = std::make_unique<TickerModel>();
        m_log = std::make_unique<TickerLog>(*m_ctx, *m_model);
        m_log->today = [] { return QDate(2024, 3, 7); };
    }

    void missingFileGivesEmptyList()
    {
        m_log->lese_ticker();
        QCOMPARE(m_model->rowCount(), 0);
        QVERIFY(!QFile::exists(m_ctx->TickerPath));
    }

    void newestFirstWithNumbers()
    {
        m_log->HandleTickerMessage(entry("A", "a"));
        m_log->HandleTickerMessage(entry("B", "b"));
        m_log->HandleTickerMessage(entry("C", "c"));
        QCOMPARE(readFile(m_ctx->TickerPath),
                 CodePage::encode(entry("A", "a") + "\r\n" + entry("B", "b") + "\r\n" + entry("C", "c") + "\r\n"));
        QCOMPARE(rows(*m_model), (QStringList{"3:C", "2:B", "1:A"}));
        QCOMPARE(m_model->data(m_model->index(0, 0), TickerModel::NumberRole).toLongLong(), 3);
    }

    void storedWhole()
    {
        // Type, further fields and 8-bit characters are stored as received.
        const QString message = entry(QStringLiteral("Müller €"), "x") + QStringLiteral("\tfeld 2\tfeld 3");
        m_log->HandleTickerMessage(message);
        QCOMPARE(readFile(m_ctx->TickerPath), CodePage::encode(message) + "\r\n");
        QCOMPARE(readFile(m_ctx->TickerPath).count('\x80'), 1);
        QCOMPARE(rows(*m_model), QStringList{QStringLiteral("1:Müller €")});
    }

    void lineBreakInsideMessageStaysOneLine()
    {
        m_log->HandleTickerMessage(entry("A", "eins\r\nzwei\ndrei"));
        QCOMPARE(readFile(m_ctx->TickerPath), CodePage::encode(entry("A", "eins  zwei drei")) + "\r\n");
        QCOMPARE(m_model->rowCount(), 1);
    }

    void appendAfterLineWithoutLineEnd()
    {
        writeFile(m_ctx->TickerPath, CodePage::encode(entry("A", "a")));
        m_log->HandleTickerMessage(entry("B", "b"));
        QCOMPARE(readFile(m_ctx->TickerPath),
                 CodePage::encode(entry("A", "a")) + "\r\n" + CodePage::encode(entry("B", "b")) + "\r\n");
        QCOMPARE(rows(*m_model), (QStringList{"2:B", "1:A"}));
    }

    void identicalMessagesGiveTwoRows()
    {
        m_log->HandleTickerMessage(entry("A", "a"));
        m_log->HandleTickerMessage(entry("A", "a"));
        QCOMPARE(rows(*m_model), (QStringList{"2:A", "1:A"}));
    }

    void emptyLinesAreSkippedAndNotCounted_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("expected");
        const QByteArray a = CodePage::encode(entry("A", "a"));
        const QByteArray b = CodePage::encode(entry("B", "b"));
        QTest::newRow("CR LF") << a + "\r\n\r\n" + b + "\r\n" << QStringList{"2:B", "1:A"};
        QTest::newRow("bare LF") << a + "\n\n\n" + b + "\n" << QStringList{"2:B", "1:A"};
        QTest::newRow("leading empty lines") << "\r\n\n" + a + "\r\n" + b << QStringList{"2:B", "1:A"};
        QTest::newRow("no line end at the end") << a + "\r\n" + b << QStringList{"2:B", "1:A"};
        QTest::newRow("only empty lines") << QByteArray("\r\n\r\n\n") << QStringList{};
        QTest::newRow("empty file") << QByteArray() << QStringList{};
        QTest::newRow("a blank is not empty") << a + "\r\n \r\n" + b + "\r\n" << QStringList{"3:B", "2:", "1:A"};
    }

    void emptyLinesAreSkippedAndNotCounted()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, expected);
        writeFile(m_ctx->TickerPath, file);
        m_log->lese_ticker();
        QCOMPARE(rows(*m_model), expected);
    }

    void malformedLinesDoNotDisturbTheOthers()
    {
        const QByteArray file = CodePage::encode(entry("A", "a")) + "\r\nkein Feld\r\nWACHALARM_TICKER\tnur\x07zwei\r\n"
            + CodePage::encode(entry("D", "d")) + "\r\n";
        writeFile(m_ctx->TickerPath, file);
        m_log->lese_ticker();
        QCOMPARE(rows(*m_model), (QStringList{"4:D", "3:nur", "2:", "1:A"}));
    }

    void binaryGarbageLoads()
    {
        QByteArray garbage(256 * 1024, Qt::Uninitialized);
        QRandomGenerator random(7);
        for (char& c : garbage)
            c = static_cast<char>(random.bounded(256));
        writeFile(m_ctx->TickerPath, garbage);
        m_log->lese_ticker();
        const int expectedRows = static_cast<int>(TickerLines(garbage).size());
        QVERIFY(expectedRows > 100);
        QCOMPARE(m_model->rowCount(), expectedRows);
        for (int r = 0; r < m_model->rowCount(); ++r) {
            for (int c = 0; c < TickerCells::ColumnCount; ++c)
                m_model->data(m_model->index(r, c));
            m_model->data(m_model->index(r, TickerCells::Text), Qt::ToolTipRole);
        }
        // A message after the garbage is still stored and shown on top.
        m_log->HandleTickerMessage(entry("Z", "z"));
        QCOMPARE(rows(*m_model).first(), QStringLiteral("%1:Z").arg(expectedRows + 1));
    }

    void tenMegabyteLineLoads()
    {
        const QByteArray big = CodePage::encode(entry("B", QString(10 * 1024 * 1024, QLatin1Char('x'))));
        writeFile(m_ctx->TickerPath, CodePage::encode(entry("A", "a")) + "\r\n" + big + "\r\n");
        m_log->lese_ticker();
        QCOMPARE(m_model->rowCount(), 2);
        QCOMPARE(m_model->data(m_model->index(0, TickerCells::Text)).toString().size(),
                 10 * 1024 * 1024 + QStringLiteral("<font Arial;10><fgcolor=000000><B></FONT></fgcolor>").size());
        const QString tip = m_model->data(m_model->index(0, TickerCells::Text), Qt::ToolTipRole).toString();
        QVERIFY(tip.startsWith(QStringLiteral("<qt>xxxx")));
        QVERIFY(tip.size() < 5000);
        QCOMPARE(rows(*m_model).last(), QStringLiteral("1:A"));
    }

    void countGoesOnBeyond32767()
    {
        QByteArray file;
        for (int i = 1; i <= 40000; ++i)
            file += "WACHALARM_TICKER\t" + QByteArray::number(i) + "\r\n";
        writeFile(m_ctx->TickerPath, file);
        m_log->lese_ticker();
        QCOMPARE(m_model->rowCount(), 40000);
        QCOMPARE(rows(*m_model).first(), QStringLiteral("40000:40000"));
        QCOMPARE(m_model->data(m_model->index(40000 - 32768, 0)).toString(), QStringLiteral("32768"));
        QCOMPARE(rows(*m_model).last(), QStringLiteral("1:1"));
    }

    void deleteArchivesThenEmpties()
    {
        m_log->HandleTickerMessage(entry("A", "a"));
        m_log->HandleTickerMessage(entry("B", "b"));
        const QByteArray before = readFile(m_ctx->TickerPath);
        m_log->DeleteTicker();
        QVERIFY(!QFile::exists(m_ctx->TickerPath));
        QCOMPARE(m_model->rowCount(), 0);
        QCOMPARE(readFile(archiveFolder() + QStringLiteral("/2024_3_7")), before);

        // A new ticker starts at 1; a second delete on the same day appends to the same file.
        m_log->HandleTickerMessage(entry("C", "c"));
        QCOMPARE(rows(*m_model), QStringList{"1:C"});
        m_log->DeleteTicker();
        QCOMPARE(readFile(archiveFolder() + QStringLiteral("/2024_3_7")),
                 before + CodePage::encode(entry("C", "c")) + "\r\n");

        // Another day, another file.
        m_log->today = [] { return QDate(2024, 12, 24); };
        m_log->HandleTickerMessage(entry("D", "d"));
        m_log->DeleteTicker();
        QCOMPARE(readFile(archiveFolder() + QStringLiteral("/2024_12_24")), CodePage::encode(entry("D", "d")) + "\r\n");
        QCOMPARE(QDir(archiveFolder()).entryList(QDir::Files), (QStringList{"2024_12_24", "2024_3_7"}));
    }

    void deleteKeepsLinesWithoutLineEndApart()
    {
        writeFile(m_ctx->TickerPath, "WACHALARM_TICKER\tA");
        m_log->DeleteTicker();
        writeFile(m_ctx->TickerPath, "WACHALARM_TICKER\tB\r\n");
        m_log->DeleteTicker();
        QCOMPARE(readFile(archiveFolder() + QStringLiteral("/2024_3_7")),
                 QByteArray("WACHALARM_TICKER\tA\r\nWACHALARM_TICKER\tB\r\n"));
    }

    void deleteWithoutFile()
    {
        m_log->DeleteTicker();
        QCOMPARE(m_model->rowCount(), 0);
        QVERIFY(QDir(archiveFolder()).entryList(QDir::Files).isEmpty());
    }

    void deleteMakesMissingArchiveFolder()
    {
        QVERIFY(QDir(archiveFolder()).removeRecursively());
        m_log->HandleTickerMessage(entry("A", "a"));
        m_log->DeleteTicker();
        QVERIFY(!QFile::exists(m_ctx->TickerPath));
        QCOMPARE(readFile(archiveFolder() + QStringLiteral("/2024_3_7")), CodePage::encode(entry("A", "a")) + "\r\n");
    }

    void deleteKeepsTickerWhenArchiveCannotBeWritten()
    {
        // A folder where the day's file should be: the archive cannot be written.
        QVERIFY(QDir().mkdir(archiveFolder() + QStringLiteral("/2024_3_7")));
        m_log->HandleTickerMessage(entry("A", "a"));
        m_log->DeleteTicker();
        QCOMPARE(readFile(m_ctx->TickerPath), CodePage::encode(entry("A", "a")) + "\r\n");
        QCOMPARE(rows(*m_model), QStringList{"1:A"});
    }

    void unwritableTickerDropsTheMessage()
    {
        m_log->HandleTickerMessage(entry("A", "a"));
        QSignalSpy resets(m_model.get(), &QAbstractItemModel::modelReset);
        m_ctx->TickerPath = m_dir.path() + QStringLiteral("/Ablage"); // a folder cannot be appended to
        m_log->HandleTickerMessage(entry("B", "b"));
        QCOMPARE(resets.count(), 0);
        QCOMPARE(rows(*m_model), QStringList{"1:A"});
    }

    void sortByNrAndZeit()
    {
        auto at = [](const char* sender, const char* day, const char* time) {
            return QStringLiteral("WACHALARM_TICKER\t%1\x07\x07%2\x07%3\x07\x07\x07").arg(sender, day, time);
        };
        m_log->HandleTickerMessage(at("A", "06.12.2026", "10:00:00"));
        m_log->HandleTickerMessage(at("B", "05.12.2026", "23:00:00"));
        m_log->HandleTickerMessage(at("C", "06.12.2026", "9:30:00"));
        m_log->HandleTickerMessage(at("D", "06.12.2026", "10:00:00"));
        QCOMPARE(m_model->sortColumn(), int(TickerCells::Nr));
        QCOMPARE(m_model->sortOrder(), Qt::DescendingOrder);

        m_model->sort(TickerCells::Nr, Qt::AscendingOrder);
        QCOMPARE(rows(*m_model), (QStringList{"1:A", "2:B", "3:C", "4:D"}));
        m_model->sort(TickerCells::Zeit, Qt::DescendingOrder);
        QCOMPARE(rows(*m_model), (QStringList{"4:D", "1:A", "3:C", "2:B"}));
        m_model->sort(TickerCells::Zeit, Qt::AscendingOrder);
        QCOMPARE(rows(*m_model), (QStringList{"2:B", "3:C", "1:A", "4:D"}));
        // The order stays through a rebuild.
        m_log->HandleTickerMessage(at("E", "01.01.2020", "00:00:00"));
        QCOMPARE(rows(*m_model).first(), QStringLiteral("5:E"));
        // Times that cannot be read go after those that can, by their text.
        m_log->HandleTickerMessage(at("F", "gestern", "abends"));
        m_log->HandleTickerMessage(at("G", "06.12.2026", "mittags"));
        m_log->HandleTickerMessage(at("H", "Dienstag", ""));
        QCOMPARE(rows(*m_model),
                 (QStringList{"5:E", "2:B", "3:C", "1:A", "4:D", "7:G", "8:H", "6:F"}));
        m_model->sort(TickerCells::Zeit, Qt::DescendingOrder);
        QCOMPARE(rows(*m_model),
                 (QStringList{"6:F", "8:H", "7:G", "4:D", "1:A", "3:C", "2:B", "5:E"}));
        // Other columns do not order.
        m_model->sort(TickerCells::Text, Qt::DescendingOrder);
        QCOMPARE(m_model->sortColumn(), int(TickerCells::Zeit));
        m_model->sort(TickerCells::Nr, Qt::DescendingOrder);
        QCOMPARE(rows(*m_model), (QStringList{"8:H", "7:G", "6:F", "5:E", "4:D", "3:C", "2:B", "1:A"}));
    }

    void archiveFileName_data()
    {
        QTest::addColumn<QDate>("day");
        QTest::addColumn<QString>("name");
        QTest::newRow("no leading zeros") << QDate(2024, 3, 7) << "2024_3_7";
        QTest::newRow("two digits") << QDate(2026, 12, 31) << "2026_12_31";
        QTest::newRow("first of the year") << QDate(2025, 1, 1) << "2025_1_1";
    }

    void archiveFileName()
    {
        QFETCH(QDate, day);
        QFETCH(QString, name);
        QCOMPARE(TickerFile::archiveFileName(day), name);
    }

    void headersAndToolTip()
    {
        m_log->HandleTickerMessage(QStringLiteral("WACHALARM_TICKER\tS\x07" "E\x07" "t1\x07" "t2\x07" "Meier\x07" "Brand\x07"
                                                  "Zeile 1<CR><img src=x>"));
        QCOMPARE(m_model->columnCount(), 5);
        QStringList headings;
        for (int c = 0; c < 5; ++c)
            headings << m_model->headerData(c, Qt::Horizontal).toString();
        QCOMPARE(headings, (QStringList{"Nr", "Zeit", "Absender", "EA", "Text"}));
        QCOMPARE(m_model->data(m_model->index(0, TickerCells::Text), Qt::ToolTipRole).toString(),
                 QStringLiteral("<qt>Brand<br>Von: Meier<br>Zeile 1<br>&lt;img src=x&gt;</qt>"));
        QVERIFY(m_model->data(m_model->index(0, TickerCells::Absender), Qt::ToolTipRole).isNull());
        QCOMPARE(m_model->data(m_model->index(0, 0), TickerModel::IsMarkupRole).toBool(), false);
        QCOMPARE(m_model->data(m_model->index(0, 4), TickerModel::IsMarkupRole).toBool(), true);
    }
};

QTEST_GUILESS_MAIN(TickerLogTest)
#include "tst_TickerLog.moc"
