#include "common/CodePage.h"
#include "common/FileExists.h"
#include "common/NumberText.h"
#include "tests/support/TestFiles.h"
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <numeric>
#include <sys/fsuid.h>

class SharedHelpersTest : public QObject {
    Q_OBJECT
    static constexpr int kNone = 99999; // no 16-bit value

private slots:
    void codePageKeepsEveryByte()
    {
        QByteArray all(256, Qt::Uninitialized);
        std::iota(all.begin(), all.end(), char(0));
        const QString text = CodePage::decode(all);
        QCOMPARE(QSet<QChar>(text.begin(), text.end()).size(), 256);
        QCOMPARE(CodePage::encode(text), all);
        // Windows-1252 where it differs from Latin-1; the bytes it leaves undefined stay controls.
        QCOMPARE(CodePage::decode("\x80\x84\x93\x96\x81\xe4\xdf"), QString::fromUtf16(u"€„“–\u0081äß"));
        QCOMPARE(CodePage::encode(u"a\u0411b"), QByteArray("a?b"));
    }
    // The leading number with an exponent allowed, and as a 16-bit integer (never an exponent).
    void numbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("number");
        QTest::addColumn<int>("int16");
        const QString nines(400, QLatin1Char('9'));
        QTest::newRow("blanks, sign, text after") << "  +8080 x" << 8080.0 << 8080;
        QTest::newRow("a comma ends it") << "2,5" << 2.0 << 2;
        QTest::newRow("half to the even below") << "2.5" << 2.5 << 2;
        QTest::newRow("half to the even beyond") << "-3.5" << -3.5 << -4;
        QTest::newRow("smallest") << "-32768.4" << -32768.4 << -32768;
        QTest::newRow("rounds beyond") << "32767.5" << 32767.5 << kNone;
        QTest::newRow("exponent") << "1.5E+3" << 1500.0 << 2;
        QTest::newRow("underflow") << "-1e-400" << 0.0 << -1;
        QTest::newRow("underflow in the digits") << "0." + QString(400, QLatin1Char('0')) + "1" << 0.0 << 0;
        QTest::newRow("overflow, negative exponent") << "-" + nines + "e-9" << -HUGE_VAL << kNone;
    }
    void numbers()
    {
        QFETCH(QString, text);
        QFETCH(double, number);
        QFETCH(int, int16);
        QCOMPARE(NumberText::readLeadingNumber(text, { .allowExponent = true }), number);
        const std::optional<qint16> whole = NumberText::readInt16(text);
        QCOMPARE(whole ? int(*whole) : kNone, int16);
    }
    // In a folder that holds the empty file "a", readable, and "b", which only its owner may write.
    void fileExists_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("exists");
        QTest::newRow("empty file") << "a" << 1;
        QTest::newRow("no read access") << "b" << 0;
        QTest::newRow("folder") << "." << 0;
        QTest::newRow("NUL in the path") << QString::fromUtf16(u"a\0b", 3) << 0;
    }
    void fileExists()
    {
        QFETCH(QString, name);
        QFETCH(int, exists);
        const QTemporaryDir dir;
        const QString a = dir.filePath(QStringLiteral("a")), b = dir.filePath(QStringLiteral("b"));
        QVERIFY(
            TestFiles::writeAll(a, {}) && TestFiles::writeAll(b, {}) && QFile::setPermissions(b, QFile::WriteOwner));
        QVERIFY(QFile::setPermissions(a, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        QVERIFY(QFile::setPermissions(
            dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther));
        ::setfsuid(65534); // root reads every file: ask as an ordinary user (no change when not root)
        const int result = FileExists(dir.filePath(name));
        ::setfsuid(0);
        QCOMPARE(result, exists);
    }
};

QTEST_GUILESS_MAIN(SharedHelpersTest)
#include "tst_SharedHelpers.moc"
