#include "common/AppContext.h"
#include "settings/DataFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

class DataFoldersTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_home;
    QTemporaryDir m_program;

private slots:
    void init()
    {
        QVERIFY(m_home.isValid());
        QVERIFY(m_program.isValid());
        QDir(m_home.path()).removeRecursively();
        QDir().mkpath(m_home.path());
        qputenv("XDG_DATA_HOME", m_home.path().toLocal8Bit());
    }

    void firstAndSecondStart()
    {
        AppContext ctx;
        ctx.ProgramFolder = m_program.path();
        InitDataFolders(ctx);
        const QString expected = m_home.filePath(QStringLiteral("Torvelle"));
        QCOMPARE(ctx.DataFolder, expected);
        QVERIFY(QFileInfo(expected).isDir());
        QVERIFY(QFileInfo(expected + QStringLiteral("/Ablage")).isDir());

        // A file left in the folder survives the second start, which creates nothing new.
        QFile marker(expected + QStringLiteral("/Ablage/2024_3_7"));
        QVERIFY(marker.open(QIODevice::WriteOnly));
        marker.write("kept");
        marker.close();

        AppContext again;
        again.ProgramFolder = m_program.path();
        InitDataFolders(again);
        QCOMPARE(again.DataFolder, expected);
        QVERIFY(QFile::exists(marker.fileName()));
        QCOMPARE(QDir(expected).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{"Ablage"});
    }

    void archiveRemovedIsCreatedAgain()
    {
        AppContext ctx;
        ctx.ProgramFolder = m_program.path();
        InitDataFolders(ctx);
        QVERIFY(QDir(ctx.DataFolder + QStringLiteral("/Ablage")).removeRecursively());
        AppContext again;
        again.ProgramFolder = m_program.path();
        InitDataFolders(again);
        QVERIFY(QFileInfo(again.DataFolder + QStringLiteral("/Ablage")).isDir());
    }

    void dataLocationMissingAndUncreatableFallsBackToProgramFolder()
    {
        // The data location lies under a file, so it can neither exist nor be created.
        QFile blocker(m_home.filePath(QStringLiteral("blocker")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        qputenv("XDG_DATA_HOME", (blocker.fileName() + QStringLiteral("/share")).toLocal8Bit());

        AppContext ctx;
        ctx.ProgramFolder = m_program.path();
        InitDataFolders(ctx);
        QCOMPARE(ctx.DataFolder, m_program.path());
        QVERIFY(QFileInfo(m_program.filePath(QStringLiteral("Ablage"))).isDir());
    }

    void aFileNamedTorvelleFallsBackToProgramFolder()
    {
        QFile file(m_home.filePath(QStringLiteral("Torvelle")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a folder");
        file.close();

        AppContext ctx;
        ctx.ProgramFolder = m_program.path();
        InitDataFolders(ctx);
        QCOMPARE(ctx.DataFolder, m_program.path());
        QFile kept(file.fileName());
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("not a folder"));
    }
};

QTEST_GUILESS_MAIN(DataFoldersTest)
#include "tst_DataFolders.moc"
