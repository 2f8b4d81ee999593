#pragma once

#include <QLoggingCategory>
#include <QString>

#include <chrono>

// The monitor's logging categories. Under systemd every line goes to the journal with its priority.
Q_DECLARE_LOGGING_CATEGORY(lcLink)
Q_DECLARE_LOGGING_CATEGORY(lcAlarm)
Q_DECLARE_LOGGING_CATEGORY(lcAnnounce)
Q_DECLARE_LOGGING_CATEGORY(lcMap)
Q_DECLARE_LOGGING_CATEGORY(lcFiles)
Q_DECLARE_LOGGING_CATEGORY(lcRoute)
Q_DECLARE_LOGGING_CATEGORY(lcPrint)
Q_DECLARE_LOGGING_CATEGORY(lcHistory)

namespace Log {

// Whether stderr is the journal stream systemd handed to this process (JOURNAL_STREAM names its
// device and inode).
[[nodiscard]] bool stderrIsJournal();

// The journal priority of a Qt message type: debug 7, info 6, warning 4, critical 3, fatal 2.
[[nodiscard]] int journalPriority(QtMsgType type);

// When stderr is the journal, writes every message as one line "<priority>category: text", which
// journald stores with that priority. Otherwise Qt's own output stays.
void useJournalWhenThere();

// Keeps a failure that repeats from flooding the log: the first one is logged, then at most one
// per interval, carrying how many were left out since the last logged one. A success starts over.
class RepeatLimit {
public:
    using Clock = std::chrono::steady_clock;
    explicit RepeatLimit(std::chrono::seconds interval = std::chrono::minutes(1))
        : m_interval(interval)
    {
    }

    // True when this failure is to be logged; then *leftOut is the number not logged before it.
    [[nodiscard]] bool failure(Clock::time_point now, int* leftOut);
    void success()
    {
        m_failing = false;
        m_leftOut = 0;
    }

private:
    std::chrono::seconds m_interval;
    bool m_failing = false;
    Clock::time_point m_lastLogged;
    int m_leftOut = 0;
};

} // namespace Log
