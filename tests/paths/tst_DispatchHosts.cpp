// Several dispatch hosts at once: the station holds a link to each on loopback, every link
// registered; a host that dies or hangs is named among the paths' states, and a hung one is
// reconnected. The watch's clock is the test's own.
#include "tests/support/DataRows.h"
#include "tests/support/FakeDispatch.h"
#include "tests/support/TestFiles.h"

#include "alarm/AlarmCore.h"
#include "common/AppContext.h"
#include "link/MessageReceiver.h"
#include "link/ServerLink.h"
#include "paths/AlarmInbox.h"
#include "paths/PathStates.h"
#include "paths/PathWatch.h"
#include "station/Station.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

// A station without a window: settings.dat's host and alarmwege.ini's second host, both on 127.0.0.1.
struct TwoHosts {
    QTemporaryDir home;
    AppContext ctx;
    FakeDispatch first, second;
    std::unique_ptr<Station> station;
    QStringList ticker; // as the core took it
    QDateTime now = QDateTime::currentDateTime();
    bool ready = false;

    explicit TwoHosts(const QByteArray& paths)
    {
        qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
        ctx.ProgramFolder = home.path();
        const QString data = home.filePath("Torvelle");
        ready = first.listen() && second.listen() && QDir().mkpath(data)
            && TestFiles::writeAll(
                data + "/alarmwege.ini", "dispatch=127.0.0.1:" + QByteArray::number(second.port()) + "\n" + paths);
        station = std::make_unique<Station>(ctx, Station::Link::Idle);
        station->load();
        station->settings().ServerAddress = "127.0.0.1";
        ctx.ServerPort = first.port();
        station->pathWatch().setClock([this] { return now; });
        QObject::connect(&station->core(), &AlarmCore::tickerMessage, [this](const QString& m) { ticker << m; });
    }
    // One supervision step of every link; twice: connected, registered and said so.
    void tick(int times = 1)
    {
        for (int i = 0; i < times; ++i)
            for (ServerLink* link : station->links())
                link->superviseTick();
    }
    [[nodiscard]] bool registered(FakeDispatch& host)
    {
        return host.waitForReceived(MessageReceiver::frame(station->link().registrationMessage()).size());
    }
    // Both hosts connected and registered.
    [[nodiscard]] bool up() { return ready && (tick(2), registered(first) && registered(second)); }
    [[nodiscard]] QStringList problems() const { return station->paths().problems(); }
};

} // namespace

class DispatchHostsTest : public QObject {
    Q_OBJECT

private slots:
    // Both hosts connected and registered; the second dies in the middle of a burst that both
    // send: every message of the living host arrives, and the paths name the dead one. Taken out of
    // alarmwege.ini, it is no path any more; back in, it is dialled, settings.dat's link kept.
    void hostDiesInBurst()
    {
        TwoHosts f("merge_minutes=3\n");
        QVERIFY(f.up());
        QCOMPARE(f.station->inbox().mergeWindow(), std::chrono::minutes(3));
        QCOMPARE(f.station->links().size(), 2);
        QCOMPARE(f.problems(), QStringList());
        const quint16 port = f.second.port();
        for (int i = 0; i < 200; ++i) {
            const QString message = QStringLiteral("WACHALARM_TICKER\tMeldung %1").arg(i);
            f.first.sendMessage(message);
            if (i < 100)
                f.second.sendMessage(message);
            else if (i == 100) {
                f.second.server().close();
                f.second.dropClient();
            }
        }
        QTRY_COMPARE(QSet<QString>(f.ticker.begin(), f.ticker.end()).size(), 200);
        QTRY_VERIFY((f.tick(), !f.station->links()[1]->LinkStatus()));
        QCOMPARE(f.problems(), QStringList { "Leitstelle 2 getrennt seit " + f.now.toString("HH:mm") });
        const QString file = f.home.filePath("Torvelle/alarmwege.ini");
        const QByteArray second = TestFiles::readAll(file);
        QVERIFY(TestFiles::writeAll(file, "silent_minutes=5\n"));
        f.station->reload();
        QCOMPARE(f.station->links(), QList<ServerLink*> { &f.station->link() });
        QCOMPARE(f.problems(), QStringList());
        QVERIFY(f.second.listen(port) && TestFiles::writeAll(file, second));
        f.station->reload();
        f.tick(2);
        QTRY_COMPARE(f.second.clientCount(), 2);
        QVERIFY(f.registered(f.second) && f.station->link().LinkStatus());
        QCOMPARE(f.problems(), QStringList());
    }

    // A host whose connection stays up but which brings nothing: silent once another host's
    // message is a minute late, or after silent_minutes of quiet; then reconnected, and silent
    // until it delivers again.
    void hungHost_data()
    {
        // first: the first host brings a message; seconds: the watch's clock then runs on
        columns<QByteArray, bool, int, QStringList>("paths", "first", "seconds", "silent");
        row("a copy under a minute late", QByteArray(), true, 59, QStringList());
        row("a copy a minute late", QByteArray(), true, 61, QStringList { "Leitstelle 2" });
        row("quiet, no period set", QByteArray(), false, 3600, QStringList());
        row("quiet under the period", QByteArray("silent_minutes=2\n"), false, 119, QStringList());
        row("quiet for the period", QByteArray("silent_minutes=2\n"), false, 120,
            QStringList { "Leitstelle 1", "Leitstelle 2" });
    }
    void hungHost()
    {
        auto [paths, first, seconds, silent]
            = fetch<QByteArray, bool, int, QStringList>("paths", "first", "seconds", "silent");
        TwoHosts f(paths);
        QVERIFY(f.up());
        if (first) {
            f.first.sendMessage("WACHALARM_TICKER\tMeldung");
            QTRY_COMPARE(f.ticker.size(), 1);
        }
        f.now = f.now.addSecs(seconds);
        f.station->pathWatch().check();
        QStringList expected;
        for (const QString& name : silent)
            expected << name + " still seit " + f.now.toString("HH:mm");
        QCOMPARE(f.problems(), expected);
        if (silent.isEmpty())
            return;
        // Reconnected and registered anew, still reported until the host delivers.
        const int index = silent.contains("Leitstelle 1") ? 0 : 1;
        FakeDispatch& hung = index == 0 ? f.first : f.second;
        QTRY_VERIFY((f.tick(), hung.clientCount() == 2 && f.station->links()[index]->LinkStatus()));
        QVERIFY(f.registered(hung));
        QCOMPARE(f.problems(), expected);
        f.first.sendMessage("WACHALARM_TICKER\tWieder da");
        f.second.sendMessage("WACHALARM_TICKER\tWieder da");
        QTRY_COMPARE(f.problems(), QStringList());
    }

    // A host that stays silent is dropped again after a minute, then after two, not for every
    // message it misses.
    void silentHostBacksOff()
    {
        PathStates states;
        PathWatch watch(states);
        QDateTime now = QDateTime::currentDateTime();
        watch.setClock([&] { return now; });
        watch.setHosts({ states.add("Leitstelle 1"), states.add("Leitstelle 2") });
        watch.linkStatus(0, true);
        watch.linkStatus(1, true);
        QList<int> reconnected;
        connect(&watch, &PathWatch::reconnect, this, [&](int host) { reconnected << host; });
        for (const int expected : { 1, 2, 2, 3 }) {
            watch.delivered(0, QByteArray::number(expected) + now.toString().toUtf8());
            now = now.addSecs(61);
            watch.check();
            QCOMPARE(reconnected, QList<int>(expected, 1));
        }
    }
};

QTEST_GUILESS_MAIN(DispatchHostsTest)
#include "tst_DispatchHosts.moc"
