#include "crew/CrewWatch.h"

#include "alarm/AlarmCore.h"
#include "alarm/AlarmRows.h"

#include <QFileInfo>
#include <QTimer>

namespace {

// More holders than a station's pagers come from a broken feed: the oldest are forgotten.
constexpr qsizetype kMostHolders = 2000;

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
        if (m_crew.absent() == QFileInfo::exists(m_crewPath) || !m_watcher.files().contains(m_crewPath))
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

void CrewWatch::reloadCrew()
{
    m_crew = CrewFile::read(m_crewPath);
    watchFile();
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
    // The replayed alarm is the one of last.dat: answers after a restart still belong to it.
    const QDateTime at = replay ? QFileInfo(m_lastAlarmPath).lastModified() : clock();
    m_alarm = at.isValid() ? std::optional(at) : std::nullopt;
    m_answers.clear();
    scheduleRecount();
}

void CrewWatch::alarmCleared()
{
    m_alarm.reset();
    m_answers.clear();
    scheduleRecount();
}

void CrewWatch::pagerRow(const QString& message)
{
    if (const auto row = AlarmRows::pagerRow(message)) {
        if (m_holders.size() >= kMostHolders)
            m_holders.clear();
        m_holders.insert((*row)[AlarmRows::kPagerIdColumn], (*row)[0]);
    }
}

void CrewWatch::feedback(const QString& message)
{
    if (!m_alarm)
        return; // no alarm on screen: counted nowhere
    const std::optional<AlarmRows::Feedback> answer = AlarmRows::feedback(message);
    if (!answer)
        return;
    const QString& id = answer->pagerId;
    if (m_answers.size() >= kMostHolders && !m_answers.contains(id))
        return;
    m_answers.insert(id, { clock(), id, m_holders.value(id), answer->code });
    scheduleRecount();
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
    m_strength = Strength::count(m_answers.values(), m_alarm, m_crew, m_settings);
    emit strengthChanged(m_strength);
}
