#include "crew/CrewWatch.h"

#include "alarm/AlarmCore.h"
#include "alarm/AlarmRows.h"

#include <QFileInfo>
#include <QTimer>

namespace {

// More holders than a station's pagers come from a broken feed: the oldest are forgotten.
constexpr qsizetype kMostHolders = 2000;
constexpr qsizetype kMostPending = 100000;

} // namespace

CrewWatch::CrewWatch(QString crewPath, QString lastAlarmPath, Strength::Settings settings, QObject* parent)
    : QObject(parent)
    , m_crewPath(std::move(crewPath))
    , m_lastAlarmPath(std::move(lastAlarmPath))
    , m_settings(std::move(settings))
{
    // An editor or a copy replaces the file: the folder tells when it appears again.
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &CrewWatch::reloadCrew);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] {
        const bool exists = QFileInfo::exists(m_crewPath);
        if (exists == m_crew.absent() || (exists && !m_watcher.files().contains(m_crewPath)))
            reloadCrew();
    });
    reloadCrew();
    m_strength = Strength::count({}, m_alarm, m_crew, m_settings);
}

void CrewWatch::watch(AlarmCore& core)
{
    connect(&core, &AlarmCore::stationAlarm, this, &CrewWatch::stationAlarm);
    connect(&core, &AlarmCore::pagerMessage, this, &CrewWatch::pagerRow);
    connect(&core, &AlarmCore::feedbackMessage, this, &CrewWatch::feedback);
}

void CrewWatch::restoreAnswers(const QList<Strength::Answer>& answers)
{
    // Behind the replayed alarm: for it alone, while it is on screen; an answer since is newer.
    QTimer::singleShot(0, this, [this, answers] {
        if (!m_alarm || !m_replayed)
            return;
        for (const Strength::Answer& kept : answers) {
            if (m_answers.size() < kMostHolders && !m_answers.contains(kept.pagerId))
                m_answers.insert(kept.pagerId, kept);
        }
        m_replayed = false;
        scheduleRecount();
    });
}

void CrewWatch::reloadCrew()
{
    m_crew = CrewFile::read(m_crewPath);
    watchFile();
    scheduleRecount();
}

void CrewWatch::setSettings(const Strength::Settings& settings)
{
    if (settings == m_settings)
        return;
    m_settings = settings;
    scheduleRecount();
}

void CrewWatch::watchFile()
{
    const QString folder = QFileInfo(m_crewPath).absolutePath();
    if (!m_watcher.directories().contains(folder) && QFileInfo(folder).isDir())
        m_watcher.addPath(folder);
    if (!m_watcher.files().contains(m_crewPath) && QFileInfo::exists(m_crewPath))
        m_watcher.addPath(m_crewPath);
}

void CrewWatch::stationAlarm(const StationAlarmPlan&, bool replay)
{
    note(replay ? Pending::Kind::ReplayedAlarm : Pending::Kind::Alarm);
}

void CrewWatch::alarmCleared()
{
    note(Pending::Kind::Cleared);
}

void CrewWatch::pagerRow(const QString& message)
{
    note(Pending::Kind::PagerRow, message);
}

void CrewWatch::feedback(const QString& message)
{
    note(Pending::Kind::Feedback, message);
}

void CrewWatch::note(Pending::Kind kind, const QString& message)
{
    // A feed that floods the event loop loses its excess of answers, never an alarm.
    const bool answer = kind == Pending::Kind::PagerRow || kind == Pending::Kind::Feedback;
    if (!answer || m_pending.size() < kMostPending)
        m_pending.append({ kind, message });
    scheduleRecount();
}

void CrewWatch::take(const Pending& pending, const QDateTime& now)
{
    switch (pending.kind) {
    case Pending::Kind::Alarm:
    case Pending::Kind::ReplayedAlarm: {
        // The replayed alarm is the one of last.dat: answers after a restart still belong to it.
        const QDateTime at
            = pending.kind == Pending::Kind::ReplayedAlarm ? QFileInfo(m_lastAlarmPath).lastModified() : now;
        m_alarm = at.isValid() ? std::optional(at) : std::nullopt;
        m_replayed = pending.kind == Pending::Kind::ReplayedAlarm;
        m_answers.clear();
        return;
    }
    case Pending::Kind::Cleared:
        m_alarm.reset();
        m_answers.clear();
        return;
    case Pending::Kind::PagerRow:
        if (const auto row = AlarmRows::pagerRow(pending.message)) {
            if (m_holders.size() >= kMostHolders)
                m_holders.clear();
            m_holders.insert((*row)[AlarmRows::kPagerIdColumn], (*row)[0]);
        }
        return;
    case Pending::Kind::Feedback:
        break;
    }
    if (!m_alarm)
        return; // no alarm on screen: counted nowhere
    const std::optional<AlarmRows::Feedback> answer = AlarmRows::feedback(pending.message);
    if (!answer)
        return;
    const QString& id = answer->pagerId;
    if (m_answers.size() >= kMostHolders && !m_answers.contains(id))
        return;
    m_answers.insert(id, { now, id, m_holders.value(id), answer->code });
}

void CrewWatch::scheduleRecount()
{
    if (std::exchange(m_recountPending, true))
        return;
    QTimer::singleShot(0, this, &CrewWatch::recount);
}

void CrewWatch::recount()
{
    m_recountPending = false;
    const QDateTime now = clock();
    const QList<Pending> pending = std::exchange(m_pending, {});
    for (const Pending& p : pending)
        take(p, now);
    m_strength = Strength::count(m_answers.values(), m_alarm, m_crew, m_settings);
    m_strength.replayed = m_replayed;
    emit strengthChanged(m_strength);
}
