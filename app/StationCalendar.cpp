#include "app/StationCalendar.h"

#include "common/Log.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QSet>
#include <QTimeZone>
#include <QTimer>

#include <libical/ical.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <vector>

namespace {

// libical keeps its time zones and its error state for the whole process.
QMutex libicalInUse;

// The changes of all time zones of a calendar that libical may work out; each rule adds one a
// year from its start.
constexpr qint64 kMostZoneChanges = 20'000;
// libical works out time zones up to this year and no further.
constexpr int kZoneYears = 2038;
// The journal gets this many of the bounds a calendar exceeded.
constexpr int kMostNotes = 5;
constexpr qint64 kDay = 86400;
constexpr qint64 kLeeway = 3 * 3600;

struct CalendarFree {
    void operator()(icalcomponent* c) const { icalcomponent_free(c); }
};

// How an event's times are read: in one of the calendar's time zones, in a zone known by its name
// alone, in UTC, or as the wall clock (floating times, all-day dates and zones nobody knows).
struct Zone {
    icaltimezone* ical = nullptr;
    std::optional<QTimeZone> named;
    bool utc = false;
};

QDateTime naiveOf(const icaltimetype& t)
{
    return QDateTime(
        QDate(t.year, t.month, t.day), t.is_date ? QTime(0, 0) : QTime(t.hour, t.minute, t.second), QTimeZone::utc());
}

// A wall-clock time as seconds, as if it were UTC: what recurrence rules step in.
qint64 naiveSeconds(const icaltimetype& t)
{
    const QDateTime n = naiveOf(t);
    return n.isValid() ? n.toSecsSinceEpoch() : 0;
}

icaltimetype fromNaive(qint64 seconds, bool isDate)
{
    const QDateTime n = QDateTime::fromSecsSinceEpoch(seconds, QTimeZone::utc());
    icaltimetype t = icaltime_null_time();
    t.year = n.date().year();
    t.month = n.date().month();
    t.day = n.date().day();
    t.hour = n.time().hour();
    t.minute = n.time().minute();
    t.second = n.time().second();
    t.is_date = isDate ? 1 : 0;
    return t;
}

// The moment a time of the calendar stands for, in local time.
QDateTime momentOf(const icaltimetype& t, const Zone& zone)
{
    const QDateTime n = naiveOf(t);
    if (!n.isValid())
        return {};
    if (t.is_date)
        return QDateTime(n.date(), QTime(0, 0));
    if (zone.utc)
        return n.toLocalTime();
    if (zone.ical) {
        icaltimetype plain = t;
        plain.zone = nullptr;
        return QDateTime::fromSecsSinceEpoch(qint64(icaltime_as_timet_with_zone(plain, zone.ical)));
    }
    if (zone.named)
        return QDateTime(n.date(), n.time(), *zone.named).toLocalTime();
    return QDateTime(n.date(), n.time());
}

// A moment as the zone's wall clock reads it, in naive seconds.
qint64 wallSeconds(const QDateTime& moment, const Zone& zone)
{
    if (zone.ical)
        return naiveSeconds(icaltime_from_timet_with_zone(time_t(moment.toSecsSinceEpoch()), 0, zone.ical));
    const QDateTime w = zone.utc ? moment.toUTC() : zone.named ? moment.toTimeZone(*zone.named) : moment.toLocalTime();
    return QDateTime(w.date(), w.time(), QTimeZone::utc()).toSecsSinceEpoch();
}

bool listed(const short* list, int size)
{
    return size > 0 && list[0] != ICAL_RECURRENCE_ARRAY_MAX;
}

template <size_t N> bool holds(const short (&list)[N], const std::function<bool(short)>& test)
{
    if (!listed(list, int(N)))
        return true;
    for (size_t i = 0; i < N && list[i] != ICAL_RECURRENCE_ARRAY_MAX; ++i) {
        if (test(list[i]))
            return true;
    }
    return false;
}

template <size_t N> QList<int> valuesOf(const short (&list)[N], int fallback)
{
    QList<int> values;
    for (size_t i = 0; i < N && list[i] != ICAL_RECURRENCE_ARRAY_MAX; ++i)
        values << list[i];
    if (values.isEmpty())
        values << fallback;
    std::sort(values.begin(), values.end());
    return values;
}

// A rule without any BY part.
bool plain(const icalrecurrencetype& r)
{
    return !listed(r.by_second, ICAL_BY_SECOND_SIZE) && !listed(r.by_minute, ICAL_BY_MINUTE_SIZE)
        && !listed(r.by_hour, ICAL_BY_HOUR_SIZE) && !listed(r.by_day, ICAL_BY_DAY_SIZE)
        && !listed(r.by_month_day, ICAL_BY_MONTHDAY_SIZE) && !listed(r.by_year_day, ICAL_BY_YEARDAY_SIZE)
        && !listed(r.by_week_no, ICAL_BY_WEEKNO_SIZE) && !listed(r.by_month, ICAL_BY_MONTH_SIZE)
        && !listed(r.by_set_pos, ICAL_BY_SETPOS_SIZE);
}

class Reader {
public:
    Reader(icalcomponent* root, const QDateTime& from, const QDateTime& to, const StationCalendar::Bounds& bounds)
        : m_root(root)
        , m_from(from)
        , m_to(to)
        , m_bounds(bounds)
    {
        m_clock.start();
    }

    void dropWildZones();
    void readEvents(StationCalendar::Expansion& result);

private:
    struct Event {
        Zone zone;
        icaltimetype dtstart;
        qint64 first = 0; // DTSTART in naive seconds
        qint64 length = 0; // seconds; days for an all-day event
        bool allDay = false;
        QString title;
        QSet<qint64> skipped; // EXDATE and the instances a RECURRENCE-ID replaces
        QList<Appointment> kept;
        bool cut = false;
        // The zone's offset from UTC at `from`, and whether it holds for every instance that may
        // have ended by then: those are passed over without converting each.
        qint64 offset = 0;
        bool steady = false;
    };
    enum class Step { Go, Stop };

    [[nodiscard]] bool inTime();
    void note(const QString& text);
    [[nodiscard]] Zone zoneOf(icalproperty* property, const icaltimetype& t);
    [[nodiscard]] qint64 momentSeconds(icalproperty* property, const icaltimetype& t);
    Step visit(Event& e, const QDateTime& start);
    Step visitNaive(Event& e, qint64 naive);
    void readEvent(icalcomponent* component, const QHash<QString, QSet<qint64>>& replaced);
    void stepLibical(Event& e, const icalrecurrencetype& rule, qint64 low, qint64 high);
    void stepFixed(Event& e, const icalrecurrencetype& rule, qint64 low, qint64 high);

    icalcomponent* m_root;
    QDateTime m_from, m_to;
    const StationCalendar::Bounds& m_bounds;
    QElapsedTimer m_clock;
    QHash<QByteArray, Zone> m_zones;
    QList<Appointment> m_all;
    QStringList m_notes;
    QDateTime m_complete;
    bool m_stopped = false;
    int m_steps = 0;
};

bool Reader::inTime()
{
    if (m_stopped)
        return false;
    if (m_bounds.cancelled && m_bounds.cancelled->load()) {
        m_stopped = true;
    } else if (m_clock.elapsed() > m_bounds.time.count()) {
        note(QStringLiteral("it takes longer than %1 ms").arg(m_bounds.time.count()));
        m_stopped = true;
    }
    return !m_stopped;
}

void Reader::note(const QString& text)
{
    if (m_notes.size() < kMostNotes)
        m_notes << text;
    else if (m_notes.size() == kMostNotes)
        m_notes << QStringLiteral("…");
}

Zone Reader::zoneOf(icalproperty* property, const icaltimetype& t)
{
    Zone zone;
    if (t.is_date)
        return zone;
    if (icaltime_is_utc(t)) {
        zone.utc = true;
        return zone;
    }
    icalparameter* tzid = icalproperty_get_first_parameter(property, ICAL_TZID_PARAMETER);
    const char* name = tzid ? icalparameter_get_tzid(tzid) : nullptr;
    if (!name || !*name)
        return zone;
    const QByteArray key(name);
    if (const auto known = m_zones.constFind(key); known != m_zones.cend())
        return *known;
    if (icaltimezone* own = icalcomponent_get_timezone(m_root, name)) {
        zone.ical = own;
    } else if (QTimeZone::isTimeZoneIdAvailable(key)) {
        zone.named = QTimeZone(key);
    }
    m_zones.insert(key, zone);
    return zone;
}

qint64 Reader::momentSeconds(icalproperty* property, const icaltimetype& t)
{
    const QDateTime moment = momentOf(t, zoneOf(property, t));
    return moment.isValid() ? moment.toSecsSinceEpoch() : 0;
}

// libical works out a time zone's changes from each rule's start up to the year asked for and
// keeps them all: a rule that recurs more often than once a year, or many rules since long ago,
// make that unbounded in time and memory. Such a zone is taken out before any time is converted;
// its times are then read by the zone's name, or as local time.
void Reader::dropWildZones()
{
    std::vector<icalcomponent*> wild;
    qint64 changes = 0;
    for (icalcomponent* z = icalcomponent_get_first_component(m_root, ICAL_VTIMEZONE_COMPONENT); z;
         z = icalcomponent_get_next_component(m_root, ICAL_VTIMEZONE_COMPONENT)) {
        bool yearly = true;
        for (icalcomponent* part = icalcomponent_get_first_component(z, ICAL_ANY_COMPONENT); part;
             part = icalcomponent_get_next_component(z, ICAL_ANY_COMPONENT)) {
            icalproperty* dt = icalcomponent_get_first_property(part, ICAL_DTSTART_PROPERTY);
            const icaltimetype start = dt ? icalproperty_get_dtstart(dt) : icaltime_null_time();
            changes += 1 + icalcomponent_count_properties(part, ICAL_RDATE_PROPERTY);
            for (icalproperty* p = icalcomponent_get_first_property(part, ICAL_RRULE_PROPERTY); p && yearly;
                 p = icalcomponent_get_next_property(part, ICAL_RRULE_PROPERTY)) {
                const icalrecurrencetype rule = icalproperty_get_rrule(p);
                yearly = rule.freq == ICAL_YEARLY_RECURRENCE;
                changes += std::max(0, kZoneYears - std::max(1, start.year));
                // Once a year: the third change is two years after the first.
                if (icalrecur_iterator* it = yearly ? icalrecur_iterator_new(rule, start) : nullptr) {
                    const icaltimetype a = icalrecur_iterator_next(it);
                    icalrecur_iterator_next(it);
                    const icaltimetype c = icalrecur_iterator_next(it);
                    yearly = icaltime_is_null_time(c) || c.year >= a.year + 2;
                    icalrecur_iterator_free(it);
                }
            }
        }
        if (yearly && changes <= kMostZoneChanges)
            continue;
        wild.push_back(z);
        icalproperty* tzid = icalcomponent_get_first_property(z, ICAL_TZID_PROPERTY);
        const char* id = tzid ? icalproperty_get_tzid(tzid) : nullptr;
        note(QStringLiteral("the time zone %1 %2, its times are read by its name or as local time")
                 .arg(QString::fromUtf8(id ? id : "?"),
                     yearly ? QStringLiteral("has more changes than %1").arg(kMostZoneChanges)
                            : QStringLiteral("changes more often than once a year")));
    }
    for (icalcomponent* z : wild) {
        icalcomponent_remove_component(m_root, z);
        icalcomponent_free(z);
    }
}

void Reader::readEvents(StationCalendar::Expansion& result)
{
    // Moved or changed instances of a recurring event, by the event's UID.
    QHash<QString, QSet<qint64>> replaced;
    for (icalcomponent* e = icalcomponent_get_first_component(m_root, ICAL_VEVENT_COMPONENT); e && inTime();
         e = icalcomponent_get_next_component(m_root, ICAL_VEVENT_COMPONENT)) {
        if (icalproperty* id = icalcomponent_get_first_property(e, ICAL_RECURRENCEID_PROPERTY))
            replaced[QString::fromUtf8(icalcomponent_get_uid(e))].insert(
                momentSeconds(id, icalproperty_get_recurrenceid(id)));
    }
    m_complete = m_from.addDays(1);
    for (icalcomponent* e = icalcomponent_get_first_component(m_root, ICAL_VEVENT_COMPONENT); e && inTime();
         e = icalcomponent_get_next_component(m_root, ICAL_VEVENT_COMPONENT)) {
        readEvent(e, replaced);
        if (m_all.size() >= m_bounds.inAll) {
            note(QStringLiteral("it holds more than %1 appointments").arg(m_bounds.inAll));
            break;
        }
    }
    std::stable_sort(
        m_all.begin(), m_all.end(), [](const Appointment& a, const Appointment& b) { return a.start < b.start; });
    m_all.erase(std::unique(m_all.begin(), m_all.end()), m_all.end());
    result.appointments = m_all;
    // An event cut off at its bound leaves the list with the first of its instances, and these end;
    // it is expanded anew within the hour at the soonest.
    result.complete = std::max(m_complete, m_from.addSecs(3600));
    result.exceeded = m_notes;
}

Reader::Step Reader::visit(Event& e, const QDateTime& start)
{
    if (!start.isValid() || e.skipped.contains(start.toSecsSinceEpoch()))
        return Step::Go;
    const QDateTime end = e.allDay ? QDateTime(start.date().addDays(std::max<qint64>(1, e.length)), QTime(0, 0))
                                   : start.addSecs(e.length);
    if (end > m_from && start < m_to)
        e.kept.append({ start, end, e.allDay, e.title });
    e.cut = e.kept.size() >= m_bounds.perEvent;
    return e.cut ? Step::Stop : Step::Go;
}

Reader::Step Reader::visitNaive(Event& e, qint64 naive)
{
    // DTSTART is the first instance whether the rule holds for it or not; visited once.
    if (naive == e.first || (e.steady && naive - e.offset + e.length <= m_from.toSecsSinceEpoch()))
        return Step::Go;
    return visit(e, momentOf(fromNaive(naive, e.allDay), e.zone));
}

void Reader::readEvent(icalcomponent* component, const QHash<QString, QSet<qint64>>& replaced)
{
    icalproperty* dt = icalcomponent_get_first_property(component, ICAL_DTSTART_PROPERTY);
    if (!dt || icalcomponent_get_status(component) == ICAL_STATUS_CANCELLED)
        return;
    Event e;
    e.dtstart = icalproperty_get_dtstart(dt);
    if (icaltime_is_null_time(e.dtstart) || !naiveOf(e.dtstart).isValid())
        return;
    e.allDay = icaltime_is_date(e.dtstart);
    e.zone = zoneOf(dt, e.dtstart);
    e.first = naiveSeconds(e.dtstart);
    const QDateTime start = momentOf(e.dtstart, e.zone);
    if (!start.isValid())
        return;
    e.title = QString::fromUtf8(icalcomponent_get_summary(component)).simplified();
    if (icalproperty* end = icalcomponent_get_first_property(component, ICAL_DTEND_PROPERTY)) {
        const icaltimetype t = icalproperty_get_dtend(end);
        const QDateTime ends = momentOf(t, zoneOf(end, t));
        e.length = ends.isValid() ? (e.allDay ? start.date().daysTo(ends.date()) : start.secsTo(ends)) : 0;
    } else if (icalproperty* length = icalcomponent_get_first_property(component, ICAL_DURATION_PROPERTY)) {
        const int seconds = icaldurationtype_as_int(icalproperty_get_duration(length));
        e.length = e.allDay ? seconds / kDay : seconds;
    }
    e.length = std::max<qint64>(e.allDay ? 1 : 0, e.length);
    if (!icalcomponent_get_first_property(component, ICAL_RECURRENCEID_PROPERTY))
        e.skipped = replaced.value(QString::fromUtf8(icalcomponent_get_uid(component)));
    for (icalproperty* p = icalcomponent_get_first_property(component, ICAL_EXDATE_PROPERTY); p && inTime();
         p = icalcomponent_get_next_property(component, ICAL_EXDATE_PROPERTY)) {
        const icaltimetype t = icalproperty_get_exdate(p);
        e.skipped.insert(e.allDay ? QDateTime(naiveOf(t).date(), QTime(0, 0)).toSecsSinceEpoch() : momentSeconds(p, t));
    }

    // The window in the event's wall clock, wide enough for an instance under way at `from` and
    // for a change of daylight saving time.
    const qint64 low = wallSeconds(m_from, e.zone) - (e.allDay ? e.length * kDay : e.length) - kLeeway;
    const qint64 high = wallSeconds(m_to, e.zone) + kLeeway;
    const qint64 fromUtc = m_from.toSecsSinceEpoch();
    e.offset = wallSeconds(m_from, e.zone) - fromUtc;
    e.steady = !e.allDay && e.length <= kLeeway && icalcomponent_get_first_property(component, ICAL_RRULE_PROPERTY)
        && wallSeconds(m_from.addSecs(-2 * kLeeway), e.zone) - (fromUtc - 2 * kLeeway) == e.offset;
    if (e.first >= low && e.first <= high)
        visit(e, start);
    for (icalproperty* p = icalcomponent_get_first_property(component, ICAL_RRULE_PROPERTY); p && !e.cut;
         p = icalcomponent_get_next_property(component, ICAL_RRULE_PROPERTY)) {
        const icalrecurrencetype rule = icalproperty_get_rrule(p);
        if (rule.freq <= ICAL_HOURLY_RECURRENCE || (rule.freq <= ICAL_WEEKLY_RECURRENCE && plain(rule)))
            stepFixed(e, rule, low, high);
        else if (rule.freq != ICAL_NO_RECURRENCE)
            stepLibical(e, rule, low, high);
    }
    for (icalproperty* p = icalcomponent_get_first_property(component, ICAL_RDATE_PROPERTY); p && inTime();
         p = icalcomponent_get_next_property(component, ICAL_RDATE_PROPERTY)) {
        const icaldatetimeperiodtype rdate = icalproperty_get_rdate(p);
        const icaltimetype t = icaltime_is_null_time(rdate.time) ? rdate.period.start : rdate.time;
        if (!icaltime_is_null_time(t))
            visit(e, e.allDay ? QDateTime(naiveOf(t).date(), QTime(0, 0)) : momentOf(t, zoneOf(p, t)));
        e.cut = false;
    }
    std::stable_sort(
        e.kept.begin(), e.kept.end(), [](const Appointment& a, const Appointment& b) { return a.start < b.start; });
    if (e.kept.size() >= m_bounds.perEvent) {
        // Instances beyond the last one kept are missing: the list holds the event's first ones
        // until no more than kShown of those are left.
        e.kept.resize(m_bounds.perEvent);
        note(QStringLiteral("\"%1\" recurs more than %2 times").arg(e.title).arg(m_bounds.perEvent));
        const int last = std::max(0, m_bounds.perEvent - StationCalendar::kShown);
        m_complete = std::min(m_complete, e.kept.at(last).end);
    }
    m_all.append(e.kept);
}

// FREQ=DAILY and longer, stepped by libical, from near the window when the rule has no COUNT.
void Reader::stepLibical(Event& e, const icalrecurrencetype& rule, qint64 low, qint64 high)
{
    icalrecur_iterator* it = icalrecur_iterator_new(rule, e.dtstart);
    if (!it)
        return;
    if (rule.count == 0 && low > e.first)
        icalrecur_iterator_set_start(it, fromNaive(low, e.allDay));
    for (int steps = 0;; ++steps) {
        if (steps >= m_bounds.stepsPerEvent) {
            note(QStringLiteral("\"%1\" recurs beyond %2 steps").arg(e.title).arg(m_bounds.stepsPerEvent));
            break;
        }
        if (steps % 256 == 0 && !inTime())
            break;
        const icaltimetype t = icalrecur_iterator_next(it);
        const qint64 n = naiveSeconds(t);
        if (icaltime_is_null_time(t) || n > high)
            break;
        if (n >= low && visitNaive(e, n) == Step::Stop)
            break;
    }
    icalrecur_iterator_free(it);
}

// FREQ=SECONDLY, MINUTELY and HOURLY, and plain DAILY and WEEKLY rules, stepped here in periods of
// fixed length: libical searches ahead without end for the next instance of a rule within the day
// whose conditions seldom or never hold, and steps a rule with a COUNT one by one from DTSTART.
void Reader::stepFixed(Event& e, const icalrecurrencetype& rule, qint64 low, qint64 high)
{
    const bool positions = !holds(rule.by_day, [](short d) { return icalrecurrencetype_day_position(d) == 0; });
    if (listed(rule.by_set_pos, ICAL_BY_SETPOS_SIZE) || listed(rule.by_week_no, ICAL_BY_WEEKNO_SIZE) || positions) {
        note(QStringLiteral("the rule of \"%1\" is not read").arg(e.title));
        return;
    }
    static constexpr qint64 units[] = { 1, 60, 3600, kDay, 7 * kDay };
    const qint64 unit = units[std::clamp(int(rule.freq), 0, 4)];
    const qint64 step = unit * std::max<qint64>(1, rule.interval);
    // Within a period the finer parts expand, the coarser ones filter.
    const icaltimetype s = e.dtstart;
    const bool withinDay = unit < kDay;
    const QList<int> seconds = unit > 1 && withinDay ? valuesOf(rule.by_second, s.second) : QList<int> { -1 };
    const QList<int> minutes = unit > 60 && withinDay ? valuesOf(rule.by_minute, s.minute) : QList<int> { -1 };
    const bool expands = seconds.size() > 1 || minutes.size() > 1;
    const bool filters = listed(rule.by_month, ICAL_BY_MONTH_SIZE) || listed(rule.by_month_day, ICAL_BY_MONTHDAY_SIZE)
        || listed(rule.by_year_day, ICAL_BY_YEARDAY_SIZE) || listed(rule.by_day, ICAL_BY_DAY_SIZE)
        || listed(rule.by_hour, ICAL_BY_HOUR_SIZE) || (unit < 3600 && listed(rule.by_minute, ICAL_BY_MINUTE_SIZE))
        || (unit < 60 && listed(rule.by_second, ICAL_BY_SECOND_SIZE));
    const qint64 until = icaltime_is_null_time(rule.until)
        ? std::numeric_limits<qint64>::max()
        : wallSeconds(momentOf(rule.until, icaltime_is_utc(rule.until) ? Zone { nullptr, {}, true } : e.zone), e.zone);
    const auto holdsAt = [&](const QDateTime& n) {
        const QDate d = n.date();
        const QTime t = n.time();
        return holds(rule.by_month, [&](short m) { return icalrecurrencetype_month_month(m) == d.month(); })
            && holds(
                rule.by_month_day, [&](short m) { return m > 0 ? d.day() == m : d.day() == d.daysInMonth() + 1 + m; })
            && holds(rule.by_year_day,
                [&](short y) { return y > 0 ? d.dayOfYear() == y : d.dayOfYear() == d.daysInYear() + 1 + y; })
            && holds(rule.by_day,
                [&](short w) { return int(icalrecurrencetype_day_day_of_week(w)) == d.dayOfWeek() % 7 + 1; })
            && holds(rule.by_hour, [&](short h) { return t.hour() == h; })
            && (unit == 3600 || holds(rule.by_minute, [&](short m) { return t.minute() == m; }))
            && (unit != 1 || holds(rule.by_second, [&](short v) { return t.second() == v; }));
    };
    // Without conditions the instances are the periods themselves and the count is their number:
    // the window is reached in one step. Otherwise a count is counted from DTSTART on.
    const bool counted = rule.count > 0 && (expands || filters);
    qint64 period = counted || low <= e.first ? 0 : (low - e.first) / step - 1;
    qint64 number = 0;
    for (int steps = 0;; ++period) {
        const qint64 at = e.first + std::max<qint64>(0, period) * step;
        const QDateTime n = QDateTime::fromSecsSinceEpoch(at, QTimeZone::utc());
        const qint64 base = at
            - (unit == 3600      ? n.time().minute() * 60 + n.time().second()
                    : unit == 60 ? n.time().second()
                                 : 0);
        if (base > high || (rule.count > 0 && !counted && period >= rule.count))
            return;
        for (const int minute : minutes) {
            for (const int second : seconds) {
                if (++steps > m_bounds.stepsPerEvent) {
                    note(QStringLiteral("\"%1\" recurs beyond %2 steps").arg(e.title).arg(m_bounds.stepsPerEvent));
                    return;
                }
                if (steps % 256 == 0 && !inTime())
                    return;
                const qint64 candidate
                    = base + std::max(0, minute) * 60 * (unit == 3600) + (unit > 1 && withinDay ? second : 0);
                if (candidate < e.first)
                    continue;
                if (candidate > until || candidate > high)
                    return;
                if (filters && !holdsAt(QDateTime::fromSecsSinceEpoch(candidate, QTimeZone::utc())))
                    continue;
                if (counted && ++number > rule.count)
                    return;
                if (candidate >= low && visitNaive(e, candidate) == Step::Stop)
                    return;
            }
        }
    }
}

} // namespace

namespace StationCalendar {

Expansion expand(const QByteArray& ics, const QDateTime& from, int days, const Bounds& bounds)
{
    Expansion result;
    result.from = from;
    result.complete = from;
    const QMutexLocker lock(&libicalInUse);
    icalerror_set_errors_are_fatal(0);
    const std::unique_ptr<icalcomponent, CalendarFree> root(icalparser_parse_string(ics.constData()));
    if (!root || icalcomponent_isa(root.get()) != ICAL_VCALENDAR_COMPONENT)
        return result;
    result.calendar = true;
    Reader reader(root.get(), from, from.addDays(days), bounds);
    reader.dropWildZones();
    reader.readEvents(result);
    return result;
}

QList<Appointment> pick(const QList<Appointment>& appointments, const QDateTime& from, int days, int most)
{
    const QDateTime to = from.addDays(days);
    QList<Appointment> picked;
    for (const Appointment& a : appointments) {
        if (picked.size() >= most)
            break;
        if (a.end > from && a.start < to)
            picked << a;
    }
    return picked;
}

QString text(const Appointment& a)
{
    static const char* const weekdays[] = { "Mo", "Di", "Mi", "Do", "Fr", "Sa", "So" };
    const auto day = [](QDate d) {
        return QString::fromLatin1(weekdays[d.dayOfWeek() - 1]) + u' ' + d.toString(QStringLiteral("dd.MM."));
    };
    const QDate last = a.end.date().addDays(-1);
    if (a.allDay && last > a.start.date())
        return QStringLiteral("%1 – %2  %3").arg(day(a.start.date()), day(last), a.title);
    return QStringLiteral("%1 %2  %3")
        .arg(day(a.start.date()), a.allDay ? QStringLiteral("ganztägig") : a.start.toString(QStringLiteral("HH:mm")),
            a.title);
}

} // namespace StationCalendar

namespace {
const QString kNoCalendar = QStringLiteral("holds no calendar");
}

// What the worker read and expanded.
struct CalendarWatch::Result {
    QString fault;
    QByteArray bytes;
    QDateTime modified;
    bool same = false; // the file as before, and the last expansion still reaches far enough
    StationCalendar::Expansion expansion;
};

CalendarWatch::CalendarWatch(QString path, QObject* parent)
    : QObject(parent)
    , m_path(std::move(path))
    , m_cancelled(std::make_shared<std::atomic<bool>>(false))
{
    m_worker.setMaxThreadCount(1);
    // The folder too: an editor that saves by renaming a new file over the old one ends the
    // watch of the file itself.
    m_watch.addPath(QFileInfo(m_path).absolutePath());
    if (QFileInfo::exists(m_path))
        m_watch.addPath(m_path);
    connect(&m_watch, &QFileSystemWatcher::fileChanged, this, &CalendarWatch::fileTouched);
    connect(&m_watch, &QFileSystemWatcher::directoryChanged, this, &CalendarWatch::fileTouched);
}

void CalendarWatch::begin()
{
    // In the next turn of the event loop: what called this (the window, the link) goes first.
    QTimer::singleShot(0, this, [this] {
        if (m_started)
            return;
        m_started = true;
        start(m_asked.isValid() ? m_asked : QDateTime::currentDateTime(), true);
    });
}

CalendarWatch::~CalendarWatch()
{
    m_cancelled->store(true);
    m_worker.waitForDone();
}

QList<Appointment> CalendarWatch::next(const QDateTime& from)
{
    m_asked = from;
    if (m_started && (from < m_expansion.from || from >= m_expansion.complete))
        start(from, true);
    return StationCalendar::pick(m_expansion.appointments, from);
}

void CalendarWatch::fileTouched()
{
    if (!m_watch.files().contains(m_path) && QFileInfo::exists(m_path))
        m_watch.addPath(m_path);
    if (m_started)
        start(m_asked.isValid() ? m_asked : QDateTime::currentDateTime(), false);
}

void CalendarWatch::start(const QDateTime& from, bool windowRanOut)
{
    if (m_running) {
        m_again = true;
        return;
    }
    m_running = true;
    m_again = false;
    const bool reachesFar = !windowRanOut && from >= m_expansion.from && from < m_expansion.complete;
    m_worker.start([this, path = m_path, before = m_bytes, modified = m_modified, fault = m_fault, reachesFar, from,
                       cancelled = m_cancelled] {
        Result r;
        const QFileInfo info(path);
        r.modified = info.lastModified();
        const bool readWell = fault.isEmpty() || fault == kNoCalendar;
        // The folder changes with every file written into it: the calendar, untouched, is not read.
        if (reachesFar && readWell && info.isFile() && info.size() == before.size() && r.modified == modified) {
            r.same = true;
            r.bytes = before;
            QMetaObject::invokeMethod(
                this, [this, r] { take(r); }, Qt::QueuedConnection);
            return;
        }
        QFile file(path);
        if (!info.isFile() || !file.open(QIODevice::ReadOnly))
            r.fault = QStringLiteral("cannot be read");
        else if (file.size() > kMostBytes)
            r.fault = QStringLiteral("is larger than %1 bytes").arg(kMostBytes);
        else
            r.bytes = file.readAll();
        // The same file once more: nothing to do.
        r.same = reachesFar && r.bytes == before && (r.fault.isEmpty() ? readWell : r.fault == fault);
        if (!r.same && r.fault.isEmpty()) {
            StationCalendar::Bounds bounds;
            bounds.cancelled = cancelled.get();
            // A day more than shown: the list serves every minute of the next day from here.
            r.expansion = StationCalendar::expand(r.bytes, from, StationCalendar::kDays + 1, bounds);
            if (!r.expansion.calendar)
                r.fault = kNoCalendar;
        }
        if (!r.fault.isEmpty()) {
            r.expansion = StationCalendar::Expansion {};
            r.expansion.from = from;
            r.expansion.complete = from.addDays(1);
        }
        if (!cancelled->load())
            QMetaObject::invokeMethod(
                this, [this, r] { take(r); }, Qt::QueuedConnection);
    });
}

void CalendarWatch::take(const Result& r)
{
    m_running = false;
    m_modified = r.modified;
    if (!r.same) {
        if (!r.fault.isEmpty() && m_fault.isEmpty())
            qCWarning(lcFiles).noquote() << "The calendar" << m_path << r.fault << "; no appointments are shown";
        if (r.bytes != m_bytes)
            m_warnedBounds = false;
        if (!r.expansion.exceeded.isEmpty() && !m_warnedBounds) {
            qCWarning(lcFiles).noquote() << "The calendar" << m_path
                                         << "is beyond its bounds:" << r.expansion.exceeded.join(QStringLiteral("; "))
                                         << "; the appointments read in time are shown";
            m_warnedBounds = true;
        }
        m_fault = r.fault;
        m_bytes = r.bytes;
        m_expansion = r.expansion;
        emit changed();
    }
    const bool ranOut = m_asked.isValid() && (m_asked < m_expansion.from || m_asked >= m_expansion.complete);
    if (m_again || ranOut)
        start(m_asked.isValid() ? m_asked : QDateTime::currentDateTime(), ranOut);
}
