#include "alarm/LastAlarmStore.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {

using TestFiles::readAll;


QStringList alarmFields(int count)
{
    QStringList fields{QStringLiteral("WACHALARM")};
    for (int i = 1; i < count; ++i)
        fields << QStringLiteral("f%1").arg(i);
    return fields;
}

} // namespace

class LastAlarmStoreTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path() const { return m_dir.filePath(QStringLiteral("last.dat")); }

private slots:
    void init() { QFile::remove(path()); }

    void fileBytes_data()
    {
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("seven fields") << alarmFields(7) << QByteArray("WACHALARM\r\nf1\r\nf2\r\nf3\r\nf4\r\nf5\r\nf6\r\n");
        QTest::newRow("CR LF inside a field")
            << QStringList{"WACHALARM", "Zufahrt\r\nHof"} << QByteArray("WACHALARM\r\nZufahrt<CR>Hof\r\n");
        QTest::newRow("umlaut in Windows-1252") << QStringList{"Straße"} << QByteArray("Stra\xdf" "e\r\n");
        QTest::newRow("bell kept") << QStringList{"LF\aRTW\a"} << QByteArray("LF\aRTW\a\r\n");
        QTest::newRow("lone CR and LF unescaped") << QStringList{"a\rb\nc"} << QByteArray("a\rb\nc\r\n");
        QTest::newRow("empty field") << QStringList{"WACHALARM", "", "x"} << QByteArray("WACHALARM\r\n\r\nx\r\n");
    }

    void fileBytes()
    {
        QFETCH(QStringList, fields);
        QFETCH(QByteArray, bytes);
        QCOMPARE(LastAlarmStore::bytes(fields), bytes);
        QVERIFY(LastAlarmStore::store(path(), fields));
        QCOMPARE(readAll(path()), bytes);
    }

    void nineteenFieldsStoreEighteenLines()
    {
        QVERIFY(LastAlarmStore::store(path(), alarmFields(19)));
        const QByteArray bytes = readAll(path());
        QCOMPARE(bytes.count("\r\n"), 18);
        QVERIFY(bytes.endsWith("f17\r\n"));
        // The informant (field 18) is lost; the replay gives an empty field 18 in its place.
        const QStringList replayed = LastAlarmStore::read(path())->split(QChar(9));
        QCOMPARE(replayed.size(), 19);
        QCOMPARE(replayed.mid(0, 18), alarmFields(18));
        QCOMPARE(replayed.at(18), QString());
    }

    void roundTrip_data()
    {
        QTest::addColumn<QStringList>("fields");
        QStringList remark = alarmFields(18);
        remark[9] = QStringLiteral("Zufahrt\r\nHof");
        QTest::newRow("remark of two lines") << remark;
        QStringList several = alarmFields(18);
        several[1] = QStringLiteral("\r\n\r\nA\r\n");
        several[14] = QStringLiteral("LF 1(A)\aRTW(D)\a");
        several[7] = QStringLiteral("Hauptstraße €");
        QTest::newRow("breaks at the ends, units, code page") << several;
        QStringList cr = alarmFields(18);
        cr[3] = QStringLiteral("ends in CR\r");
        QTest::newRow("field ending in CR") << cr;
        QTest::newRow("short alarm") << alarmFields(8);
    }

    void roundTrip()
    {
        QFETCH(QStringList, fields);
        QVERIFY(LastAlarmStore::store(path(), fields));
        const std::optional<QString> message = LastAlarmStore::read(path());
        QVERIFY(message);
        QCOMPARE(*message, fields.join(QChar(9)) + QChar(9));
    }

    void readerAcceptsBareLineFeeds_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("message");
        QTest::newRow("bare LF") << QByteArray("WACHALARM\na<CR>b\nc\n") << "WACHALARM\ta\r\nb\tc\t";
        QTest::newRow("mixed") << QByteArray("WACHALARM\r\na\nc\r\n") << "WACHALARM\ta\tc\t";
        QTest::newRow("no line end at the end") << QByteArray("WACHALARM\r\nlast") << "WACHALARM\tlast\t";
        QTest::newRow("empty line") << QByteArray("WACHALARM\r\n\r\nx\r\n") << "WACHALARM\t\tx\t";
        QTest::newRow("empty file") << QByteArray() << "";
        QTest::newRow("code page") << QByteArray("Stra\xdf" "e\r\n") << "Straße\t";
    }

    void readerAcceptsBareLineFeeds()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        QCOMPARE(LastAlarmStore::messageFromBytes(bytes), message);
    }

    void noFileNoReplay()
    {
        QVERIFY(!LastAlarmStore::read(path()));
        QVERIFY(QDir().mkpath(path()));
        QVERIFY(!LastAlarmStore::read(path())); // a folder is no file
        QVERIFY(QDir().rmdir(path()));
    }

    void secondAlarmReplacesTheFirst()
    {
        QVERIFY(LastAlarmStore::store(path(), alarmFields(18)));
        QVERIFY(LastAlarmStore::store(path(), QStringList{"WACHALARM", "zwei"}));
        QCOMPARE(readAll(path()), QByteArray("WACHALARM\r\nzwei\r\n"));
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), QStringList{"last.dat"}); // no temporary left
    }

    // The new file replaces the old one by a rename: the old file's bytes are never truncated or
    // overwritten in place, so there is no moment in which last.dat is empty or half written.
    void replacedByRenameNotRewrittenInPlace()
    {
        QVERIFY(LastAlarmStore::store(path(), QStringList{"WACHALARM", "alt"}));
        const QString keep = m_dir.filePath(QStringLiteral("old-inode"));
        QFile::remove(keep);
        QCOMPARE(::link(QFile::encodeName(path()).constData(), QFile::encodeName(keep).constData()), 0);
        QVERIFY(LastAlarmStore::store(path(), QStringList{"WACHALARM", "neu"}));
        QCOMPARE(readAll(keep), QByteArray("WACHALARM\r\nalt\r\n"));
        QCOMPARE(readAll(path()), QByteArray("WACHALARM\r\nneu\r\n"));
    }

    void failedWriteKeepsTheOldFile()
    {
        QVERIFY(LastAlarmStore::store(path(), QStringList{"WACHALARM", "alt"}));
        // A path in a folder that does not exist cannot be written: false, and nothing else changes.
        QVERIFY(!LastAlarmStore::store(m_dir.filePath(QStringLiteral("missing/last.dat")), alarmFields(18)));
        QCOMPARE(readAll(path()), QByteArray("WACHALARM\r\nalt\r\n"));
    }
};

QTEST_GUILESS_MAIN(LastAlarmStoreTest)
#include "tst_LastAlarmStore.moc"
