#pragma once

#include "crew/CrewFile.h"
#include "crew/Strength.h"

#include <QDateTime>
#include <QFileSystemWatcher>
#include <QHash>
#include <QObject>

#include <functional>
#include <optional>

class AlarmCore;
struct StationAlarmPlan;

// Follows the pager holders' answers to the station alarm on screen and tells the strength they
// give. mannschaft.csv is read at the start and again whenever it changes. A message or an alarm
// is only noted, in the order they came; they are taken and the strength is counted in the next
// turn of the event loop, once however many came, so that a burst of answers never stands before
// an alarm's first sound. An answer's time is that of the turn that takes it.
class CrewWatch : public QObject {
    Q_OBJECT

public:
    // crewPath: mannschaft.csv; lastAlarmPath: last.dat, whose time is the replayed alarm's.
    CrewWatch(QString crewPath, QString lastAlarmPath, Strength::Settings settings, QObject* parent = nullptr);

    // The time of each answer and alarm; tests set their own.
    std::function<QDateTime()> clock = [] { return QDateTime::currentDateTime(); };

    void watch(AlarmCore& core);

    void stationAlarm(const StationAlarmPlan& plan, bool replay);
    // The alarm left the screen: answers from now on count nowhere.
    void alarmCleared();
    void pagerRow(const QString& message);
    void feedback(const QString& message);
    // The answers kept for the stored alarm before a restart, given right after its replay: they
    // count for it as they came (within its 60 minutes), and the count is its whole strength again.
    void restoreAnswers(const QList<Strength::Answer>& answers);

    [[nodiscard]] const Strength::Count& strength() const { return m_strength; }
    [[nodiscard]] const Strength::Settings& settings() const { return m_settings; }
    [[nodiscard]] const CrewFile& crew() const { return m_crew; }
    // Reads mannschaft.csv again and counts anew.
    void reloadCrew();
    // display.ini's strength keys, read again: counted anew.
    void setSettings(const Strength::Settings& settings);

signals:
    // Once per turn of the event loop in which the strength may have changed.
    void strengthChanged(const Strength::Count& strength);

private:
    struct Pending {
        enum class Kind { PagerRow, Feedback, Alarm, ReplayedAlarm, Cleared };
        Kind kind;
        QString message;
    };
    void recount();
    void note(Pending::Kind kind, const QString& message = {});
    void take(const Pending& pending, const QDateTime& now);
    void scheduleRecount();
    void watchFile();

    QString m_crewPath;
    QString m_lastAlarmPath;
    Strength::Settings m_settings;
    CrewFile m_crew;
    QFileSystemWatcher m_watcher;
    std::optional<QDateTime> m_alarm;
    bool m_replayed = false;
    // The newest answer of each holder to the alarm on screen.
    QHash<QString, Strength::Answer> m_answers;
    // Pager id → holder, from the pager rows.
    QHash<QString, QString> m_holders;
    Strength::Count m_strength;
    bool m_recountPending = false;
    // What came since the last count, in order.
    QList<Pending> m_pending;
};
