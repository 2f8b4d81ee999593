#pragma once

#include <QDateTime>
#include <QFileSystemWatcher>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThreadPool>

#include <atomic>
#include <chrono>
#include <memory>

// One appointment of the station's calendar as the standby view lists it.
struct Appointment {
    QDateTime start; // local time; an all-day appointment starts at its day's midnight
    QDateTime end; // an all-day appointment ends at the midnight after its last day
    bool allDay = false;
    QString title;

    bool operator==(const Appointment&) const = default;
};

// The station's appointments from an iCalendar file (the format every calendar program exports),
// read with libical: recurring events expand as a calendar program shows them (exceptions and
// moved instances included), cancelled ones are left out.
//
// A calendar file is input from outside: the expansion is bounded in time, in the steps of a
// recurrence and in the appointments it keeps, and a time zone whose rules would make libical
// expand without end is not handed to it.
namespace StationCalendar {

// The standby view lists the appointments of this many days, at most this many.
constexpr int kDays = 14;
constexpr int kShown = 6;

struct Bounds {
    // The time the whole expansion may take; what was read by then is the result.
    std::chrono::milliseconds time { 3000 };
    // The appointments one event may add, and all events together.
    int perEvent = 64;
    int inAll = 2000;
    // The instances of one event's rules that are looked at, in the window or before it.
    int stepsPerEvent = 500'000;
    // Set from outside, ends the expansion at the next step.
    const std::atomic<bool>* cancelled = nullptr;
};

struct Expansion {
    bool calendar = false; // the bytes were iCalendar data
    QList<Appointment> appointments; // soonest first
    QDateTime from;
    // Until then pick() finds every appointment of the days after any time from `from` on; an
    // event cut off at Bounds::perEvent brings it forward.
    QDateTime complete;
    // The bounds that were exceeded and the time zones that were not used, for the journal.
    QStringList exceeded;
};

// The appointments that have not ended by `from` and begin within `days` days of it.
[[nodiscard]] Expansion expand(const QByteArray& ics, const QDateTime& from, int days, const Bounds& bounds = {});

// Of an expansion's appointments those that have not ended by `from` and begin within `days` days
// of it, soonest first, at most `most`.
[[nodiscard]] QList<Appointment> pick(
    const QList<Appointment>& appointments, const QDateTime& from, int days = kDays, int most = kShown);

// "Di 08.12. 19:00  Übungsabend", "Mi 09.12. ganztägig  Hydrantenprüfung",
// "Do 10.12. – Sa 12.12.  Kreiszeltlager".
[[nodiscard]] QString text(const Appointment& appointment);

} // namespace StationCalendar

// The calendar file, read and expanded on a worker thread, never on the window's: when it changes
// (an editor's save replaces the file, which the watch follows) and when the last expansion no
// longer reaches the time asked for. A missing or broken file is one warning under kessvenn.files
// and no appointments; the same fault again is not repeated until the file was read well in
// between. A calendar beyond the bounds is one warning and the appointments read in time.
class CalendarWatch : public QObject {
    Q_OBJECT

public:
    // A calendar file larger than this is not read.
    static constexpr qint64 kMostBytes = 4 * 1024 * 1024;

    explicit CalendarWatch(QString path, QObject* parent = nullptr);
    ~CalendarWatch() override;

    // The file is read from the next turn of the event loop on; before, nothing is read at all.
    void begin();

    // The appointments from `from` on, as the last expansion holds them; cheap. When that does not
    // reach `from`, a new one is started and changed() follows.
    [[nodiscard]] QList<Appointment> next(const QDateTime& from);

signals:
    // A new expansion is there.
    void changed();

private:
    struct Result;
    void fileTouched();
    void start(const QDateTime& from, bool windowRanOut);
    void take(const Result& result);

    QString m_path;
    QFileSystemWatcher m_watch;
    QByteArray m_bytes;
    QDateTime m_modified; // the file's time when it was read
    StationCalendar::Expansion m_expansion;
    QDateTime m_asked; // the time next() was last asked for
    bool m_started = false; // the first expansion waits for begin()
    bool m_running = false;
    bool m_again = false; // the file changed or the window ran out while an expansion ran
    QString m_fault; // the file's fault, warned of once
    bool m_warnedBounds = false;
    std::shared_ptr<std::atomic<bool>> m_cancelled;
    QThreadPool m_worker;
};
