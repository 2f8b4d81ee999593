// The monitor as a systemd service, run for real in a network of the test's own: the start-up and
// watchdog notifications on a NOTIFY_SOCKET of the test's, and the journal lines with their
// priorities for link up, registration, an alarm and link down. The command line without a screen;
// the notifications with and without a watchdog, and the rate limit of a failure that repeats.
#include "app/ServiceManager.h"
#include "common/Log.h"
#include "link/MessageReceiver.h"
#include "tests/support/DataRows.h"
#include "tests/support/OwnNamespaces.h"

#include <QProcess>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>

#include <sys/socket.h>
#include <sys/un.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

namespace {

// Set before any thread starts: whether this process has a network of its own, loopback up.
bool g_ownNetwork = false;

// A NOTIFY_SOCKET of the test's: the datagrams received.
struct NotifySocket {
    QTemporaryDir folder;
    QByteArray path = QFile::encodeName(folder.filePath(QStringLiteral("notify")));
    int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    QSocketNotifier notifier { fd, QSocketNotifier::Read };
    QStringList notes;
    bool bound = false;
    NotifySocket()
    {
        sockaddr_un address { AF_UNIX, {} };
        std::copy_n(path.begin(), std::min<size_t>(path.size(), sizeof address.sun_path - 1), address.sun_path);
        bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
        QObject::connect(&notifier, &QSocketNotifier::activated, [this] {
            char datagram[256];
            for (ssize_t n; (n = ::recv(fd, datagram, sizeof datagram, 0)) > 0;)
                notes << QString::fromUtf8(datagram, n);
        });
    }
    ~NotifySocket() { ::close(fd); }
};

} // namespace

class ServiceTest : public QObject {
    Q_OBJECT

private slots:
    void notificationsAndJournal()
    {
        if (!g_ownNetwork)
            QSKIP("no network namespace of its own (needs root): port 4750 is not played here");
        QTemporaryDir root;
        const QString program = root.filePath(QStringLiteral("kessvenn"));
        QVERIFY(QFile::copy(QStringLiteral(KESSVENN_EXECUTABLE), program));

        NotifySocket socket;
        QVERIFY(socket.bound);
        const QStringList& notes = socket.notes;

        QTcpServer dispatch;
        QVERIFY(dispatch.listen(QHostAddress::Any, 4750));
        QProcess monitor;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("NOTIFY_SOCKET"), QFile::decodeName(socket.path));
        env.insert(QStringLiteral("WATCHDOG_USEC"), QStringLiteral("200000"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), root.filePath(QStringLiteral("home")));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        monitor.setProcessEnvironment(env);
        // stderr is the journal stream: JOURNAL_STREAM names the pipe the monitor writes into.
        monitor.start(QStringLiteral("sh"),
            { QStringLiteral("-c"),
                QStringLiteral("export JOURNAL_STREAM=$(stat -L -c %d:%i /proc/self/fd/2); exec \"$0\""), program });
        QByteArray journal;
        const auto logged = [&](const QByteArray& line) {
            return QTest::qWaitFor(
                       [&] {
                           journal += monitor.readAllStandardError();
                           return journal.contains('\n' + line) || monitor.state() == QProcess::NotRunning;
                       },
                       60000)
                && journal.contains('\n' + line);
        };

        QVERIFY2(logged("<6>kessvenn.link: Registered as"), journal.constData());
        QVERIFY(journal.contains("\n<6>kessvenn.link: Link up to "));
        QVERIFY(QTest::qWaitFor([&] { return notes.size() >= 2; }, 60000));
        QCOMPARE(notes.first(), QStringLiteral("READY=1"));
        QCOMPARE(notes.at(1), QStringLiteral("WATCHDOG=1"));

        QTcpSocket* link = dispatch.nextPendingConnection();
        QVERIFY(link);
        link->write(MessageReceiver::frame(
            QStringLiteral("WACHALARM\tBrand\tB3 Y\tFeuer\tBrandgeruch\t44135\tDortmund\tKampstraße\t12\t\t\t\t\t\tELW "
                           "1\a\t1\t\t\tHerr Meier")));
        QVERIFY2(logged("<6>kessvenn.alarm: Station alarm received: Brand B3 Y at "), journal.constData());
        link->close();
        QVERIFY2(logged("<4>kessvenn.link: Link down: "), journal.constData());
        QVERIFY(!journal.contains("Meier")); // never who reported it
        monitor.kill();
        QVERIFY(monitor.waitForFinished());
    }

    // The command line, with no screen at all: what needs none answers, the window says why it
    // cannot start, and an argument it does not know is an error with the usage.
    void commandLine_data()
    {
        // output: the start of stdout, or of stderr when it is not 0
        columns<QStringList, int, QByteArray>("arguments", "exitCode", "output");
        QTest::newRow("no display") << QStringList() << 1
                                    << QByteArray("kessvenn: no display: set DISPLAY or start with --headless\n");
        QTest::newRow("--fullscreen, no display")
            << QStringList("--fullscreen") << 1 << QByteArray("kessvenn: no display");
        QTest::newRow("a year alone") << QStringList("2026") << 2 << QByteArray("kessvenn: Unexpected argument '2026'");
        QTest::newRow("unknown option") << QStringList("--loud") << 2 << QByteArray("kessvenn: Unknown option 'loud'");
        QTest::newRow("--help") << QStringList("--help") << 0 << QByteArray("Usage: ");
        QTest::newRow("--version after Qt's own option")
            << QStringList { "-platform", "offscreen", "-v" } << 0 << QByteArray("Kessvenn 1.0.0\n");
        QTest::newRow("--export-history") << QStringList("--export-history") << 0 << QByteArray("\xEF\xBB\xBF");
        QTest::newRow("export, two years")
            << QStringList { "--export-history", "2025", "2026" } << 1 << QByteArray("--export-history takes one year");
    }
    void commandLine()
    {
        auto [arguments, exitCode, output] = fetch<QStringList, int, QByteArray>("arguments", "exitCode", "output");
        QTemporaryDir home;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "JOURNAL_STREAM" })
            env.remove(QString::fromLatin1(name));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.path());
        QProcess monitor;
        monitor.setProcessEnvironment(env);
        monitor.start(QStringLiteral(KESSVENN_EXECUTABLE), arguments);
        QVERIFY(monitor.waitForFinished(60000));
        QCOMPARE(monitor.exitStatus(), QProcess::NormalExit);
        QCOMPARE(monitor.exitCode(), exitCode);
        const QByteArray said = exitCode == 0 ? monitor.readAllStandardOutput() : monitor.readAllStandardError();
        QVERIFY2(said.startsWith(output), said.constData());
        if (exitCode == 2)
            QVERIFY(said.contains("\nUsage: "));
    }

    // READY=1 in any case. Without a watchdog nothing more; with one, a
    // beat at half its interval, so that one late beat does not count as a hang.
    void notifications_data()
    {
        QTest::addColumn<QByteArray>("watchdogUsec");
        QTest::newRow("no watchdog") << QByteArray();
        QTest::newRow("a watchdog of 400 ms") << QByteArray("400000");
    }
    void notifications()
    {
        QFETCH(QByteArray, watchdogUsec);
        NotifySocket socket;
        QVERIFY(socket.bound);
        qputenv("NOTIFY_SOCKET", socket.path);
        qunsetenv("WATCHDOG_PID");
        if (watchdogUsec.isEmpty())
            qunsetenv("WATCHDOG_USEC");
        else
            qputenv("WATCHDOG_USEC", watchdogUsec);
        ServiceManager service;
        service.notifyReady();
        if (watchdogUsec.isEmpty()) {
            QVERIFY(sd_notify(0, "STATUS=end") > 0);
            QTRY_COMPARE(socket.notes, QStringList({ "READY=1", "STATUS=end" }));
            QVERIFY(service.findChildren<QTimer*>().isEmpty());
            return;
        }
        QTRY_VERIFY_WITH_TIMEOUT(socket.notes.size() >= 10, 30000);
        QCOMPARE(socket.notes, QStringList("READY=1") + QStringList(socket.notes.size() - 1, "WATCHDOG=1"));
        // The beats come from the event loop's timer at half the interval; their spacing as sent
        // depends on the machine's load, the timer's does not.
        const QList<QTimer*> timers = service.findChildren<QTimer*>();
        QCOMPARE(timers.size(), 1);
        QCOMPARE_LE(timers[0]->interval(), watchdogUsec.toLongLong() / 2000);
    }

    void repeatedFailure_data()
    {
        // seconds: the failures, seconds from the first; -1 a success; logged: per failure: -1 not logged, else how
        // many were left out
        columns<QList<int>, QList<int>>("seconds", "logged");
        QTest::newRow("first failure logged") << QList<int> { 0 } << QList<int> { 0 };
        QTest::newRow("once a minute with a count")
            << QList<int> { 0, 1, 2, 59, 60, 61, 120 } << QList<int> { 0, -1, -1, -1, 3, -1, 1 };
        QTest::newRow("a success starts over") << QList<int> { 0, 1, -1, 2, 3 } << QList<int> { 0, -1, 0, -1 };
    }

    void repeatedFailure()
    {
        auto [seconds, logged] = fetch<QList<int>, QList<int>>("seconds", "logged");
        Log::RepeatLimit limit;
        const Log::RepeatLimit::Clock::time_point start {};
        QList<int> got;
        for (const int s : seconds) {
            if (s < 0) {
                limit.success();
                continue;
            }
            int leftOut = -1;
            got << (limit.failure(start + std::chrono::seconds(s), &leftOut) ? leftOut : -1);
        }
        QCOMPARE(got, logged);
    }
};

int main(int argc, char** argv)
{
    g_ownNetwork = EnterOwnNetwork();
    QCoreApplication app(argc, argv);
    ServiceTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_Service.moc"
