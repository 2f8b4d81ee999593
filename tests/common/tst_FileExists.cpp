#include "common/FileExists.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/wait.h>
#include <unistd.h>

class FileExistsTest : public QObject {
    Q_OBJECT

private slots:
    void cases()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString file = dir.filePath(QStringLiteral("a.txt"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();

        QCOMPARE(FileExists(file), qint16(1)); // an empty file is a file
        QCOMPARE(FileExists(dir.path()), qint16(0));
        QCOMPARE(FileExists(dir.filePath(QStringLiteral("missing"))), qint16(0));
        QCOMPARE(FileExists(QString()), qint16(0));
        QCOMPARE(FileExists(QString::fromUtf16(u"a\0b", 3)), qint16(0));

        const QString locked = dir.filePath(QStringLiteral("locked.txt"));
        QFile l(locked);
        QVERIFY(l.open(QIODevice::WriteOnly));
        l.close();
        QVERIFY(QFile::setPermissions(locked, QFileDevice::WriteOwner));
        if (::geteuid() != 0) {
            QCOMPARE(FileExists(locked), qint16(0));
            return;
        }
        // Root reads every file: ask as an ordinary user, in a child that drops its rights.
        QVERIFY(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                       | QFileDevice::ExeOwner | QFileDevice::ExeOther));
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(99);
            ::_exit(FileExists(locked) == 0 && FileExists(file) == 1 ? 0 : 1);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0);
    }
};

QTEST_GUILESS_MAIN(FileExistsTest)
#include "tst_FileExists.moc"
