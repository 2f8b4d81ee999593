#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>

class PathStates;

// Whether each dispatch host delivers. A host that is connected but does not bring what another
// host brought is silent once the copy is kCopyWait late; so is one that brings nothing for the
// station's quiet period (silent_minutes). Either is reported within 100 s of the message it
// missed, and the host is told to reconnect. A silent host stays reported through its reconnection
// until it delivers again. The watch sets the dispatch hosts' states in PathStates: connected,
// silent or down, as their links and their messages say.
class PathWatch : public QObject {
    Q_OBJECT

public:
    using Clock = std::function<QDateTime()>;

    // How late another host's copy of a message may be before that host is silent.
    static constexpr std::chrono::seconds kCopyWait { 60 };
    // How often the watch looks: a missed copy is reported at most kCopyWait + kCheckEvery late.
    static constexpr std::chrono::seconds kCheckEvery { 10 };
    // Messages remembered per host: a flood beyond it is not looked for copy by copy.
    static constexpr int kMostRemembered = 20000;
    // A host that stays silent is reconnected again after this, then after twice as long, up to
    // kLongestRetry: a host that never brings some kind of message is not dropped for each of them.
    static constexpr std::chrono::seconds kFirstRetry { 60 };
    static constexpr std::chrono::seconds kLongestRetry { 16 * 60 };

    explicit PathWatch(PathStates& states, QObject* parent = nullptr);

    // The time; the system clock unless a test sets another. check() is then called by the test.
    void setClock(Clock clock);
    // The dispatch hosts: host i (the inbox's path i) is path `statePaths[i]` of the states, and
    // down until its link says otherwise.
    void setHosts(const QList<int>& statePaths);
    // The dispatch hosts watched: the first paths of the states.
    [[nodiscard]] int hostCount() const { return int(m_hosts.size()); }
    // A host that delivers nothing this long is silent; 0: never.
    void setSilentMinutes(int minutes);

    // The link of host `host` went up or down.
    void linkStatus(int host, bool connected);
    // A message taken by the inbox from `path` (AlarmInbox::delivered).
    void delivered(int path, const QByteArray& key);
    // Looks for missed copies and quiet hosts now; the watch's timer calls it every kCheckEvery.
    void check();

signals:
    // The host's connection is up but nothing comes: it is to be opened anew.
    void reconnect(int host);

private:
    struct Host {
        int statePath = -1;
        bool connected = false;
        bool silent = false;
        QDateTime silentSince;
        QDateTime nextReconnect; // while silent
        std::chrono::seconds retry = kFirstRetry;
        QDateTime lastHeard; // the last delivery, or the connection's start
        QHash<size_t, QDateTime> seen; // messages it brought lately
        QHash<size_t, QDateTime> awaited; // messages others brought, since when
    };
    void setSilent(int host, const QDateTime& now);
    void showState(int host);

    PathStates& m_states;
    Clock m_clock;
    QList<Host> m_hosts;
    int m_silentMinutes = 0;
    QTimer m_timer;
};
