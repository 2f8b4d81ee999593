#include "common/AppContext.h"
#include "common/SafeFile.h"
#include "settings/DataFolders.h"
#include "settings/SettingsFile.h"
#include "tests/support/TestFiles.h"
#include <QDir>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <sys/mount.h>

using namespace TestFiles;

class SettingsFileTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_data, m_program;
    AppContext m_ctx;
    QString path() const { return SettingsPath(m_ctx); }

private slots:
    void init()
    {
        m_ctx.settings = Settings();
        m_ctx.DataFolder = m_data.path();
        m_ctx.ProgramFolder = m_program.path();
        QFile::remove(path());
    }
    // Every line read into its field and written back byte for byte (8-bit text, blanks kept) in
    // place of a longer file, readable by its owner only; line 5 names sabbel.txt after loading.
    void roundTrip()
    {
        QByteArrayList lines;
        for (const char kind : QByteArray("TNNTTTTTTNNNNNNNNNNNNNTNNTT")) // text or number
            lines += QByteArray::number(lines.size() + 1) + (kind == 'N' ? "" : " Stra\xdf\x65 \x96 \x80 ");
        QVERIFY(writeAll(path(), lines.join("\r\n") + "\r\n" + QByteArray(100000, 'x')));
        LoadSettings(m_ctx);
        QVERIFY(SaveSettings(m_ctx));
        lines[4] = QFile::encodeName(m_program.filePath(QStringLiteral("sabbel.txt")));
        QCOMPARE(readAll(path()), lines.join("\r\n") + "\r\n");
        QCOMPARE(
            QFile::permissions(path()) & ~(QFile::ReadUser | QFile::WriteUser), QFile::ReadOwner | QFile::WriteOwner);
        QCOMPARE(QDir(m_data.path()).entryList(QDir::Files | QDir::Hidden), QStringList({ "settings.dat" }));
    }
    void shortAndBadFiles_data()
    {
        QTest::addColumn<QByteArray>("file"); // null: no settings.dat
        QTest::addColumn<QString>("read"); // server|SpeechEnabled|ProxyPort|SpeechTextFile, P: program folder
        const QByteArray zeros = QByteArray("0\r\n").repeated(21);
        QTest::newRow("no file") << QByteArray() << "localhost|0|0|";
        QTest::newRow("empty file") << QByteArray("") << "localhost|0|0|P/sabbel.txt";
        QTest::newRow("four lines, LF only") << QByteArray("els\n1\n0\n/usr/bin/sag\n") << "els|1|0|P/sabbel.txt";
        QTest::newRow("empty server, text after the port") << "\r\n2\r\n" + zeros + "8080 x"
                                                           << "localhost|2|8080|P/sabbel.txt";
        QTest::newRow("letter, out of range") << "s\r\na\r\n" + zeros + "99999"
                                              << "s|0|0|P/sabbel.txt";
        QTest::newRow("NUL, control bytes, 10 MB") << QByteArray("\0\xff\x81\r\n", 5) + QByteArray(10 << 20, '7')
                                                   << QString::fromUtf16(u"\0ÿ\u0081|0|0|P/sabbel.txt", 20);
    }
    void shortAndBadFiles()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, read);
        QVERIFY(file.isNull() || writeAll(path(), file));
        LoadSettings(m_ctx);
        const Settings& s = m_ctx.settings;
        const QString speech = QString(s.SpeechTextFile).replace(m_program.path(), "P");
        QCOMPARE(
            QStringList({ s.ServerAddress, QString::number(s.SpeechEnabled), QString::number(s.ProxyPort), speech })
                .join('|'),
            read);
        QCOMPARE(readAll(path()), file); // reading never changes the file
        // The speech text goes to the data folder when the program folder cannot be written.
        m_ctx.ProgramFolder = QStringLiteral("/proc/1");
        QCOMPARE(DefaultSpeechTextFile(m_ctx), m_data.filePath(QStringLiteral("sabbel.txt")));
    }
    void dataFolders_data()
    {
        QTest::addColumn<QString>("before"); // what stands where the data folder Torvelle belongs
        QTest::addColumn<bool>("inProgramFolder");
        QTest::newRow("first start") << "nothing" << false;
        QTest::newRow("archive deleted") << "folder" << false;
        QTest::newRow("a file in the folder's place") << "file" << true;
    }
    void dataFolders()
    {
        QFETCH(QString, before);
        QFETCH(bool, inProgramFolder);
        const QTemporaryDir home;
        const QString torvelle = home.filePath(QStringLiteral("Torvelle"));
        const QString kept = before == "folder" ? torvelle + "/kept" : torvelle;
        QVERIFY(before == "nothing" || ((before != "folder" || QDir().mkdir(torvelle)) && writeAll(kept, "kept")));
        qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
        InitDataFolders(m_ctx);
        QCOMPARE(m_ctx.DataFolder, inProgramFolder ? m_program.path() : torvelle);
        QVERIFY(QFileInfo(m_ctx.DataFolder + "/Ablage").isDir());
        QCOMPARE(readAll(kept), QByteArray(before == "nothing" ? "" : "kept"));
    }
    // On a full disk (64 KiB in a mount namespace of this thread's own) a failed save leaves the
    // settings file whole and owner-only, a failed replacement a larger file whole, and nothing
    // beside them. With room again both succeed.
    void fullDisk()
    {
        const QByteArray mountPoint = QFile::encodeName(m_data.path());
        if (::unshare(CLONE_NEWNS) != 0 || ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
            || ::mount("tmpfs", mountPoint, "tmpfs", 0, "size=64k") != 0)
            QSKIP("Mounting a small file system needs root (CAP_SYS_ADMIN); the full-disk case did not run.");
        const auto unmount = qScopeGuard([&] { ::umount2(mountPoint, MNT_DETACH); });
        const QString last = m_ctx.dataFile(QStringLiteral("last.dat"));
        QVERIFY(SaveSettings(m_ctx) && writeAll(last, QByteArray(10000, 'o')));
        const QByteArray saved = readAll(path());
        QFile filler(m_ctx.dataFile(QStringLiteral("filler")));
        QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        for (int i = 0; i < 32 && filler.write(QByteArray(4096, 'f')) == 4096; ++i) { }
        m_ctx.settings.ServerAddress = QStringLiteral("els");
        QVERIFY(!SaveSettings(m_ctx) && !ReplaceFileWhole(last, QByteArray(20000, 'n')));
        QCOMPARE(readAll(path()) + readAll(last), saved + QByteArray(10000, 'o'));
        QCOMPARE(QFile::permissions(path()) & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
        QCOMPARE(QDir(m_data.path()).entryList(QDir::Files | QDir::Hidden),
            QStringList({ "filler", "last.dat", "settings.dat" }));
        QVERIFY(filler.remove() && SaveSettings(m_ctx) && ReplaceFileWhole(last, QByteArray(20000, 'n')));
        QCOMPARE(readAll(path()) + readAll(last), SettingsFileBytes(m_ctx.settings) + QByteArray(20000, 'n'));
    }
};

QTEST_GUILESS_MAIN(SettingsFileTest)
#include "tst_SettingsFile.moc"
