#include "paths/PathWatch.h"

#include "paths/PathStates.h"

#include <algorithm>

PathWatch::PathWatch(PathStates& states, QObject* parent)
    : QObject(parent)
    , m_states(states)
    , m_clock([] { return QDateTime::currentDateTime(); })
{
    m_timer.setInterval(kCheckEvery);
    connect(&m_timer, &QTimer::timeout, this, &PathWatch::check);
    m_timer.start();
}

void PathWatch::setClock(Clock clock)
{
    m_clock = std::move(clock);
    m_timer.stop();
}

void PathWatch::setHosts(const QList<int>& statePaths)
{
    m_hosts.clear();
    for (const int statePath : statePaths) {
        Host host;
        host.statePath = statePath;
        m_hosts.append(host);
        showState(int(m_hosts.size() - 1));
    }
}

void PathWatch::setSilentMinutes(int minutes)
{
    m_silentMinutes = minutes;
}

void PathWatch::linkStatus(int host, bool connected)
{
    if (host < 0 || host >= m_hosts.size())
        return;
    Host& watched = m_hosts[host];
    watched.connected = connected;
    // The quiet period counts from the connection; what others bring while it is down is not awaited.
    if (connected)
        watched.lastHeard = m_clock();
    else
        watched.awaited.clear();
    showState(host);
}

void PathWatch::delivered(int path, const QByteArray& key)
{
    if (path < 0 || path >= m_hosts.size())
        return;
    const QDateTime now = m_clock();
    const size_t message = qHash(key);
    Host& from = m_hosts[path];
    from.lastHeard = now;
    from.awaited.remove(message);
    if (from.seen.size() < kMostRemembered)
        from.seen.insert(message, now);
    if (from.silent) {
        from.silent = false;
        showState(path);
    }
    for (qsizetype other = 0; other < m_hosts.size(); ++other) {
        Host& host = m_hosts[other];
        if (other == path || !host.connected || host.seen.contains(message) || host.awaited.contains(message)
            || host.awaited.size() >= kMostRemembered)
            continue;
        host.awaited.insert(message, now);
    }
}

void PathWatch::check()
{
    const QDateTime now = m_clock();
    const QDateTime copiesDue = now.addSecs(-kCopyWait.count());
    for (qsizetype index = 0; index < m_hosts.size(); ++index) {
        Host& host = m_hosts[index];
        // A copy comes within kCopyWait, so what a host brought longer ago than twice that is forgotten.
        host.seen.removeIf([&](const auto& entry) { return entry.value() < copiesDue.addSecs(-kCopyWait.count()); });
        if (!host.connected)
            continue;
        const qsizetype awaited = host.awaited.size();
        host.awaited.removeIf([&](const auto& entry) { return entry.value() <= copiesDue; });
        const bool missed = host.awaited.size() < awaited;
        const bool quiet = m_silentMinutes > 0 && host.lastHeard.isValid()
            && host.lastHeard.addSecs(qint64(m_silentMinutes) * 60) <= now;
        if (!missed && !quiet)
            continue;
        // The quiet period starts again with the new connection.
        host.lastHeard = now;
        if (!host.silent) {
            host.silent = true;
            host.silentSince = now;
            host.retry = kFirstRetry;
            showState(int(index));
        } else if (now < host.nextReconnect) {
            continue;
        } else {
            host.retry = std::min(host.retry * 2, kLongestRetry);
        }
        host.nextReconnect = now.addSecs(host.retry.count());
        emit reconnect(int(index));
    }
}

void PathWatch::showState(int host)
{
    const Host& watched = m_hosts[host];
    if (!watched.connected)
        m_states.set(watched.statePath, PathStates::State::Down, m_clock());
    else if (watched.silent)
        m_states.set(watched.statePath, PathStates::State::Silent, watched.silentSince);
    else
        m_states.set(watched.statePath, PathStates::State::Connected, m_clock());
}
