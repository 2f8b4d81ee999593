#include "crew/CrewWatch.h"

#include "alarm/AlarmCore.h"
#include "alarm/AlarmRows.h"
#include "common/HandOver.h"

#include <QFileInfo>

namespace {

// More holders' names than a station's pagers come from a broken feed: the oldest are forgotten.
constexpr qsizetype kMostHolders = 2000;

} // namespace

CrewWatch::CrewWatch(QString crewPath, QString lastAlarmPath, Strength::Settings settings, QObject* parent)
    : QObject(parent)
    , m_crewPath(std::move(crewPath))
    , m_lastAlarmPath(std::move(lastAlarmPath))
    , m_settings(std::move(settings))
{
    m_show.setSingleShot(true);
    m_show.setInterval(kShowMs);
    connect(&m_show, &QTimer::timeout, this, &CrewWatch::recount);
    m_reloadDue.setSingleShot(true);
    m_reloadDue.setInterval(kReloadDelayMs);
    connect(&m_reloadDue, &QTimer::timeout, this, &CrewWatch::readInBackground);
    m_reader.setMaxThreadCount(1);
    // An editor or a copy replaces the file: the folder tells when it appears again.
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &CrewWatch::fileChanged);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] {
        const bool exists = QFileInfo::exists(m_crewPath);
        if (exists == m_crew.absent() || (exists && !m_watcher.files().contains(m_crewPath)))
            fileChanged();
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
    m_crewDigest.clear();
    if (std::optional<CrewFile> crew = CrewFile::readChanged(m_crewPath, m_crewDigest))
        takeCrew(std::move(*crew));
    watchFile();
}

void CrewWatch::fileChanged()
{
    // A file rewritten every second is read once per delay, not once per write.
    if (!m_reloadDue.isActive())
        m_reloadDue.start();
}

void CrewWatch::readInBackground()
{
    watchFile();
    if (std::exchange(m_reading, true)) {
        m_readAgain = true;
        return;
    }
    HandOver::start(m_reader, [this, path = m_crewPath, digest = m_crewDigest]() mutable {
        std::optional<CrewFile> crew = CrewFile::readChanged(path, digest);
        HandOver::post(this, [this, crew = std::move(crew), digest]() mutable {
            m_reading = false;
            m_crewDigest = digest;
            if (crew)
                takeCrew(std::move(*crew));
            watchFile();
            if (std::exchange(m_readAgain, false))
                fileChanged();
            emit crewRead();
        });
    });
}

void CrewWatch::takeCrew(CrewFile crew)
{
    // A crew of thousands is let go on the reader's thread, not on the alarm's.
    HandOver::start(m_reader, [old = std::exchange(m_crew, std::move(crew))] {});
    m_strangers = 0;
    for (auto it = m_answers.cbegin(); it != m_answers.cend(); ++it)
        m_strangers += m_crew.find(it.key()) == nullptr;
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

void CrewWatch::forgetAnswers()
{
    // Thousands of answers are let go after the alarm's first sound, not before it.
    if (m_answers.size() > 100)
        QTimer::singleShot(0, this, [old = std::exchange(m_answers, {})] {});
    m_answers.clear();
    m_strangers = 0;
}

void CrewWatch::stationAlarm(const StationAlarmPlan&, bool replay)
{
    // The replayed alarm is the one of last.dat: answers after a restart still belong to it.
    const QDateTime at = replay ? QFileInfo(m_lastAlarmPath).lastModified() : clock();
    m_alarm = at.isValid() ? std::optional(at) : std::nullopt;
    m_replayed = replay;
    forgetAnswers();
    scheduleRecount();
}

void CrewWatch::alarmCleared()
{
    m_alarm.reset();
    forgetAnswers();
    scheduleRecount();
}

void CrewWatch::pagerRow(const QString& message)
{
    const auto row = AlarmRows::pagerRow(message);
    if (!row)
        return;
    const QString& id = (*row)[AlarmRows::kPagerIdColumn];
    // A holder of the crew file keeps his name however many others the feed brings.
    if (m_holders.size() >= kMostHolders && !m_holders.contains(id) && !m_crew.find(id))
        return;
    m_holders.insert(id, (*row)[0]);
    scheduleRecount();
}

void CrewWatch::feedback(const QString& message)
{
    if (!m_alarm)
        return; // no alarm on screen: counted nowhere
    const std::optional<AlarmRows::Feedback> answer = AlarmRows::feedback(message);
    if (!answer)
        return;
    const QString& id = answer->pagerId;
    auto it = m_answers.find(id);
    if (it == m_answers.end()) {
        // Holders always count; pager ids that the crew file does not name are kept apart.
        if (!m_crew.find(id)) {
            if (m_strangers >= kMostStrangers)
                return;
            ++m_strangers;
        }
        it = m_answers.insert(id, {});
    }
    *it = { clock(), id, m_holders.value(id), answer->code };
    scheduleRecount();
}

void CrewWatch::scheduleRecount()
{
    if (!m_show.isActive())
        m_show.start();
}

void CrewWatch::recount()
{
    m_strength = Strength::count(m_answers.values(), m_alarm, m_crew, m_settings);
    m_strength.replayed = m_replayed;
    emit strengthChanged(m_strength);
}
