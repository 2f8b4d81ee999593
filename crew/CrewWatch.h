#pragma once

#include "common/CoarseClock.h"
#include "crew/CrewFile.h"
#include "crew/Strength.h"

#include <QByteArray>
#include <QDateTime>
#include <QFileSystemWatcher>
#include <QHash>
#include <QObject>
#include <QThreadPool>
#include <QTimer>

#include <functional>
#include <optional>

class AlarmCore;
struct StationAlarmPlan;

// Follows the pager holders' answers to the station alarm on screen and tells the strength they
// give. Each message and alarm is counted as it comes, which costs a look-up; the strength itself
// is reckoned and told at most every kShowMs, from a timer, so that a burst of answers never
// stands before an alarm's first sound. The holders of mannschaft.csv always count; answers from
// other pager ids are kept apart, at most kMostStrangers of them, and never crowd a holder out.
// mannschaft.csv is read at the start, and again a while after it changes, off the thread that
// takes alarms: a file rewritten every second is read at most every kReloadDelayMs, and parsed
// only when its bytes changed.
class CrewWatch : public QObject {
    Q_OBJECT

public:
    // crewPath: mannschaft.csv; lastAlarmPath: last.dat, whose time is the replayed alarm's.
    CrewWatch(QString crewPath, QString lastAlarmPath, Strength::Settings settings, QObject* parent = nullptr);

    // The strength is told at most this often.
    static constexpr int kShowMs = 200;
    // Answers kept from pager ids that mannschaft.csv does not name.
    static constexpr qsizetype kMostStrangers = 2000;
    // A change of mannschaft.csv is read this long after it was seen.
    static constexpr int kReloadDelayMs = 5000;

    // The time of each answer and alarm; tests set their own.
    std::function<QDateTime()> clock = CoarseClock();

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
    // Reads mannschaft.csv again now, on this thread, and counts anew.
    void reloadCrew();
    // display.ini's strength keys, read again: counted anew.
    void setSettings(const Strength::Settings& settings);

signals:
    // At most every kShowMs, when the strength may have changed.
    void strengthChanged(const Strength::Count& strength);
    // mannschaft.csv was read again after a change (whether or not its bytes changed).
    void crewRead();

private:
    void recount();
    void scheduleRecount();
    void watchFile();
    void fileChanged();
    void readInBackground();
    void takeCrew(CrewFile crew);
    void forgetAnswers();

    QString m_crewPath;
    QString m_lastAlarmPath;
    Strength::Settings m_settings;
    CrewFile m_crew;
    QFileSystemWatcher m_watcher;
    std::optional<QDateTime> m_alarm;
    bool m_replayed = false;
    // The newest answer of each pager id to the alarm on screen.
    QHash<QString, Strength::Answer> m_answers;
    // How many of m_answers are from pager ids that mannschaft.csv does not name.
    qsizetype m_strangers = 0;
    // Pager id → holder, from the pager rows.
    QHash<QString, QString> m_holders;
    Strength::Count m_strength;
    QTimer m_show;
    QTimer m_reloadDue;
    // The bytes of mannschaft.csv as last parsed.
    QByteArray m_crewDigest;
    bool m_reading = false;
    bool m_readAgain = false;
    // Last: waits for a read under way before anything it reports to is gone.
    QThreadPool m_reader;
};
