// The real program under kill -9 during a burst of alarms, in a network of the test's own: the
// history it leaves opens, is whole, and holds every alarm it reported as kept. The export on the
// command line then reads it without a screen.
#include "tests/support/FakeDispatch.h"
#include "tests/support/OwnNamespaces.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

namespace {

bool g_ownNetwork = false;

} // namespace

class HistoryEndToEndTest : public QObject {
    Q_OBJECT

private slots:
    void killedDuringBurst()
    {
        if (!g_ownNetwork)
            QSKIP("no network namespace of its own (needs root): port 4750 is not played here");
        QTemporaryDir root;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), root.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("kessvenn.history.info=true"));
        QVERIFY(QDir().mkpath(root.filePath(QStringLiteral("Torvelle"))));
        FakeDispatch dispatch;
        QVERIFY(dispatch.listen(4750));
        QProcess monitor;
        monitor.setProcessEnvironment(env);
        monitor.start(QStringLiteral(KESSVENN_EXECUTABLE), {});
        QTRY_VERIFY_WITH_TIMEOUT(dispatch.received().endsWith("\x04\x04\x04\x04"), 30000);

        // Reported as kept: "Station alarm kept in the history as <id>".
        const QRegularExpression kept(QStringLiteral("Station alarm kept in the history as (\\d+)"));
        QString log;
        QList<qint64> reported;
        const auto readLog = [&] {
            log += QString::fromUtf8(monitor.readAllStandardError());
            reported.clear();
            for (const QRegularExpressionMatch& m : kept.globalMatch(log))
                reported << m.captured(1).toLongLong();
            return reported.size();
        };
        // A hundred alarms; once ten are kept, another hundred, and the kill right behind them.
        int sent = 0;
        const auto burst = [&] {
            for (const int end = sent + 100; sent < end;) {
                dispatch.sendMessage(QStringLiteral("WACHALARM\tBrand\tB3 Y\tFeuer\tK%1\t44135\tDortmund\tKampstraße\t"
                                                    "%1\tVermerk\t\t\t\t\tHLF 20\a\t1\t\t\tHerr Meier")
                                         .arg(++sent));
            }
        };
        burst();
        QTRY_VERIFY_WITH_TIMEOUT(readLog() >= 10, 60000);
        burst();
        monitor.kill();
        QVERIFY(monitor.waitForFinished());
        readLog();
        qInfo("%d of %d alarms reported as kept before the kill", int(reported.size()), sent);

        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
            db.setDatabaseName(root.filePath(QStringLiteral("Torvelle/history.sqlite")));
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec(QStringLiteral("PRAGMA integrity_check")) && q.next());
            QCOMPARE(q.value(0).toString(), QStringLiteral("ok"));
            for (qint64 id : reported) {
                QVERIFY(q.exec(QStringLiteral("SELECT keyword, number FROM alarms WHERE id = %1").arg(id)) && q.next());
                QCOMPARE(q.value(0).toString(), QStringLiteral("K%1").arg(q.value(1).toInt()));
            }
            QVERIFY(q.exec(QStringLiteral("SELECT count(*) FROM alarms")) && q.next());
            QVERIFY(q.value(0).toInt() >= reported.size());
        }
        QSqlDatabase::removeDatabase(QStringLiteral("check"));

        // No screen at all for the export.
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        QProcess exporter;
        exporter.setProcessEnvironment(env);
        exporter.start(QStringLiteral(KESSVENN_EXECUTABLE), { "--export-history", QString::number(QDate::currentDate().year()) });
        QVERIFY(exporter.waitForFinished(30000));
        QCOMPARE(exporter.exitCode(), 0);
        const QList<QByteArray> lines = exporter.readAllStandardOutput().split('\n');
        QVERIFY(lines.first().startsWith("\xEF\xBB\xBF"));
        QVERIFY(lines.size() - 2 >= reported.size());
        QVERIFY(lines.at(1).startsWith(QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy")).toUtf8() + ';'));
    }
};

int main(int argc, char** argv)
{
    g_ownNetwork = EnterOwnNetwork();
    QCoreApplication app(argc, argv);
    HistoryEndToEndTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_HistoryEndToEnd.moc"
