#include "common/AppContext.h"
#include "settings/SettingsFile.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

namespace {

using TestFiles::readAll;
using TestFiles::writeAll;



QByteArray lines(const QList<QByteArray>& values, const char* end = "\r\n")
{
    QByteArray out;
    for (const QByteArray& v : values)
        out += v + end;
    return out;
}

} // namespace

class SettingsFileTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_data;
    QTemporaryDir m_program;

    void prepare(AppContext& ctx)
    {
        ctx.DataFolder = m_data.path();
        ctx.ProgramFolder = m_program.path();
        QFile::remove(SettingsPath(ctx));
        QDir(SettingsPath(ctx)).removeRecursively();
    }

    QString sabbel() const { return m_program.path() + QStringLiteral("/sabbel.txt"); }

private slots:
    void defaultsWithoutFile()
    {
        AppContext ctx;
        prepare(ctx);
        LoadSettings(ctx);
        Settings expected;
        expected.ServerAddress = QStringLiteral("localhost");
        QCOMPARE(ctx.settings, expected);
        QVERIFY(ctx.settings.SpeechTextFile.isEmpty());
        QVERIFY(!QFile::exists(SettingsPath(ctx))); // loading writes nothing
    }

    void roundTrip()
    {
        AppContext ctx;
        prepare(ctx);
        Settings& s = ctx.settings;
        s.ServerAddress = QStringLiteral("  10.0.0.7 ");
        s.SpeechEnabled = 1;
        s.PlayAlarmWav = 1;
        s.SpeechProgramPath = QStringLiteral("/usr/bin/espeak-ng");
        s.SpeechTextFile = QStringLiteral("/tmp/eigene.txt");
        s.SpeechArgsBefore = QStringLiteral("-v de");
        s.SpeechArgsAfter = QString();
        s.LeadText = QStringLiteral("Achtung Einsatz für Wache Nord ");
        s.TrailText = QStringLiteral("Ende der Durchsage – 5 €");
        s.SpeakUnits = 1;
        s.PlayUnitWavs = 1;
        s.UseProxy = 1;
        s.ProxyServer = QStringLiteral("proxy.stadt.local");
        s.ProxyPort = 8080;
        s.ProxyAuthRequired = 1;
        s.ProxyLogin = QStringLiteral("wache");
        s.ProxyPassword = QStringLiteral("gehëim ");
        QVERIFY(SaveSettings(ctx));

        const QByteArray bytes = readAll(SettingsPath(ctx));
        QCOMPARE(bytes.count("\r\n"), 27);
        QVERIFY(bytes.endsWith("\r\n"));
        QVERIFY(!bytes.contains("\n\n"));
        const QList<QByteArray> fileLines = bytes.split('\n');
        QCOMPARE(fileLines.size(), 28);
        QCOMPARE(fileLines[0], QByteArray("  10.0.0.7 \r"));
        QCOMPARE(fileLines[1], QByteArray("1\r"));
        QCOMPARE(fileLines[4], QByteArray("/tmp/eigene.txt\r"));
        QCOMPARE(fileLines[8], QByteArray("Ende der Durchsage \x96 5 \x80\r"));
        QCOMPARE(fileLines[23], QByteArray("8080\r"));
        QCOMPARE(fileLines[26], QByteArray("geh\xebim \r"));

        // Readable by its owner only: it holds the proxy password.
        QCOMPARE(QFileInfo(SettingsPath(ctx)).permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther),
                 QFileDevice::Permissions());

        AppContext back;
        back.DataFolder = ctx.DataFolder;
        back.ProgramFolder = ctx.ProgramFolder;
        LoadSettings(back);
        Settings expected = s;
        expected.SpeechTextFile = sabbel(); // line 5 never survives a start
        QCOMPARE(back.settings, expected);
    }

    void saveReplacesTheFileWhole()
    {
        AppContext ctx;
        prepare(ctx);
        QVERIFY(writeAll(SettingsPath(ctx), QByteArray(100000, 'x')));
        ctx.settings.ServerAddress = QStringLiteral("host");
        QVERIFY(SaveSettings(ctx));
        QCOMPARE(readAll(SettingsPath(ctx)), SettingsFileBytes(ctx.settings));
        QCOMPARE(QDir(ctx.DataFolder).entryList(QDir::Files), QStringList{"settings.dat"});
    }

    void saveIntoMissingFolderFailsQuietly()
    {
        AppContext ctx;
        ctx.DataFolder = m_data.filePath(QStringLiteral("does/not/exist"));
        ctx.ProgramFolder = m_program.path();
        QVERIFY(!SaveSettings(ctx));
    }

    void readingLines_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("server");
        QTest::addColumn<int>("speechEnabled");
        QTest::addColumn<int>("proxyPort");
        QTest::addColumn<QString>("login");

        QList<QByteArray> full(27, "0");
        full[0] = "192.168.1.20";
        full[22] = "proxy";
        full[25] = "login";
        full[26] = "pw";
        QTest::newRow("complete") << lines(full) << "192.168.1.20" << 0 << 0 << "login";

        QList<QByteArray> bare = full;
        QTest::newRow("bare LF") << lines(bare, "\n") << "192.168.1.20" << 0 << 0 << "login";

        QList<QByteArray> emptyServer = full;
        emptyServer[0] = "";
        QTest::newRow("empty server") << lines(emptyServer) << "localhost" << 0 << 0 << "login";

        QList<QByteArray> flags = full;
        flags[1] = "1";
        flags[23] = "8080 x";
        QTest::newRow("flag and port") << lines(flags) << "192.168.1.20" << 1 << 8080 << "login";

        QList<QByteArray> outOfRange = full;
        outOfRange[1] = "2";
        outOfRange[23] = "99999";
        QTest::newRow("out of range keeps default") << lines(outOfRange) << "192.168.1.20" << 2 << 0 << "login";

        QList<QByteArray> letters = full;
        letters[1] = "a";
        letters[23] = " -12.5";
        QTest::newRow("letter reads 0, halves to even") << lines(letters) << "192.168.1.20" << 0 << -12 << "login";

        QTest::newRow("short file") << lines({"server", "1"}) << "server" << 1 << 0 << "";
        QTest::newRow("empty file") << QByteArray() << "localhost" << 0 << 0 << "";

        QList<QByteArray> longer = full;
        longer.append("extra line");
        QTest::newRow("over-long file") << lines(longer) << "192.168.1.20" << 0 << 0 << "login";

        QList<QByteArray> huge = full;
        huge[2] = QByteArray(10 * 1024 * 1024, '7');
        QTest::newRow("10 MB line") << lines(huge) << "192.168.1.20" << 0 << 0 << "login";

        QByteArray binary;
        for (int i = 0; i < 4096; ++i)
            binary.append(static_cast<char>((i * 37) & 0xFF));
        QTest::newRow("binary garbage") << binary << CodePage_decodeFirstLine(binary) << 0 << 0 << "";
    }

    void readingLines()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, server);
        QFETCH(int, speechEnabled);
        QFETCH(int, proxyPort);
        QFETCH(QString, login);
        AppContext ctx;
        prepare(ctx);
        QVERIFY(writeAll(SettingsPath(ctx), file));
        LoadSettings(ctx);
        QCOMPARE(ctx.settings.ServerAddress, server);
        QCOMPARE(int(ctx.settings.SpeechEnabled), speechEnabled);
        QCOMPARE(int(ctx.settings.ProxyPort), proxyPort);
        QCOMPARE(ctx.settings.ProxyLogin, login);
        QCOMPARE(readAll(SettingsPath(ctx)), file); // reading never changes the file
    }

    void line5IsAlwaysReplaced()
    {
        AppContext ctx;
        prepare(ctx);
        QList<QByteArray> full(27, "0");
        full[4] = "C:\\Programme\\sprache\\text.txt";
        QVERIFY(writeAll(SettingsPath(ctx), lines(full)));
        LoadSettings(ctx);
        QCOMPARE(ctx.settings.SpeechTextFile, sabbel());
    }

    void line5GoesToDataFolderWhenProgramFolderIsReadOnly()
    {
        AppContext ctx;
        prepare(ctx);
        ctx.ProgramFolder = QStringLiteral("/proc/1"); // never writable, also not for root
        QVERIFY(writeAll(SettingsPath(ctx), lines(QList<QByteArray>(27, "0"))));
        LoadSettings(ctx);
        QCOMPARE(ctx.settings.SpeechTextFile, m_data.path() + QStringLiteral("/sabbel.txt"));
    }

    void aFolderInPlaceOfTheFileGivesDefaults()
    {
        AppContext ctx;
        prepare(ctx);
        QVERIFY(QDir().mkdir(SettingsPath(ctx)));
        LoadSettings(ctx);
        QCOMPARE(ctx.settings.ServerAddress, QStringLiteral("localhost"));
        QDir(SettingsPath(ctx)).removeRecursively();
    }

private:
    static QString CodePage_decodeFirstLine(const QByteArray& bytes);
};

#include "common/CodePage.h"

QString SettingsFileTest::CodePage_decodeFirstLine(const QByteArray& bytes)
{
    QByteArray first = bytes.left(bytes.indexOf('\n'));
    if (first.endsWith('\r'))
        first.chop(1);
    return first.isEmpty() ? QStringLiteral("localhost") : CodePage::decode(first);
}

QTEST_GUILESS_MAIN(SettingsFileTest)
#include "tst_SettingsFile.moc"
