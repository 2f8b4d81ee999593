#include "app/StationCalendar.h"

#include "common/Log.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTimeZone>

#include <libical/ical.h>

#include <algorithm>
#include <memory>

namespace {

struct Collected {
    QList<Appointment> list;
    QString title;
    bool allDay = false;
    bool floating = false;
    // Instances of the event that an event of their own (RECURRENCE-ID) replaces.
    QSet<qint64> replaced;
};

// Floating times and all-day dates are wall-clock times; libical hands them over as if UTC.
QDateTime localStart(time_t start, bool wallClock)
{
    const QDateTime utc = QDateTime::fromSecsSinceEpoch(qint64(start), Qt::UTC);
    return wallClock ? QDateTime(utc.date(), utc.time()) : utc.toLocalTime();
}

void collect(icalcomponent*, icaltime_span* span, void* data)
{
    auto& c = *static_cast<Collected*>(data);
    if (c.replaced.contains(qint64(span->start)))
        return;
    c.list.append({ localStart(span->start, c.allDay || c.floating), c.allDay, c.title });
}

struct CalendarFree {
    void operator()(icalcomponent* c) const { icalcomponent_free(c); }
};

qint64 utcSeconds(icaltimetype t)
{
    return qint64(icaltime_as_timet_with_zone(t, t.zone ? t.zone : icaltimezone_get_utc_timezone()));
}

} // namespace

namespace StationCalendar {

std::optional<QList<Appointment>> parse(const QByteArray& ics, const QDateTime& from, int days, int most)
{
    icalerror_set_errors_are_fatal(0);
    const std::unique_ptr<icalcomponent, CalendarFree> root(icalparser_parse_string(ics.constData()));
    if (!root || icalcomponent_isa(root.get()) != ICAL_VCALENDAR_COMPONENT)
        return std::nullopt;

    // Moved or changed instances of a recurring event, by the event's UID.
    QHash<QString, QSet<qint64>> replaced;
    for (icalcomponent* e = icalcomponent_get_first_component(root.get(), ICAL_VEVENT_COMPONENT); e;
         e = icalcomponent_get_next_component(root.get(), ICAL_VEVENT_COMPONENT)) {
        const icaltimetype id = icalcomponent_get_recurrenceid(e);
        if (!icaltime_is_null_time(id))
            replaced[QString::fromUtf8(icalcomponent_get_uid(e))].insert(utcSeconds(id));
    }

    const QDateTime to = from.addDays(days);
    // The range is widened by a day each way: all-day and floating times are matched to the local
    // day below, once their wall-clock time is known.
    const icaltimetype start
        = icaltime_from_timet_with_zone(time_t(from.toSecsSinceEpoch() - 86400), 0, icaltimezone_get_utc_timezone());
    const icaltimetype end
        = icaltime_from_timet_with_zone(time_t(to.toSecsSinceEpoch() + 86400), 0, icaltimezone_get_utc_timezone());
    QList<Appointment> all;
    for (icalcomponent* e = icalcomponent_get_first_component(root.get(), ICAL_VEVENT_COMPONENT); e;
         e = icalcomponent_get_next_component(root.get(), ICAL_VEVENT_COMPONENT)) {
        const icaltimetype dtstart = icalcomponent_get_dtstart(e);
        if (icaltime_is_null_time(dtstart) || icalcomponent_get_status(e) == ICAL_STATUS_CANCELLED)
            continue;
        Collected c;
        c.title = QString::fromUtf8(icalcomponent_get_summary(e)).simplified();
        c.allDay = icaltime_is_date(dtstart);
        c.floating = !dtstart.zone && !icaltime_is_utc(dtstart);
        if (icaltime_is_null_time(icalcomponent_get_recurrenceid(e)))
            c.replaced = replaced.value(QString::fromUtf8(icalcomponent_get_uid(e)));
        const icaldurationtype length = icalcomponent_get_duration(e);
        const int seconds = icaldurationtype_as_int(length);
        icalcomponent_foreach_recurrence(e, start, end, collect, &c);
        for (Appointment& a : c.list) {
            const QDateTime ends = a.allDay
                ? QDateTime(a.start.date().addDays(std::max(1, seconds / 86400)), QTime(0, 0))
                : a.start.addSecs(std::max(0, seconds));
            if (ends > from && a.start < to)
                all.append(a);
        }
    }
    std::stable_sort(
        all.begin(), all.end(), [](const Appointment& a, const Appointment& b) { return a.start < b.start; });
    all.erase(std::unique(all.begin(), all.end()), all.end());
    return all.mid(0, most);
}

QString text(const Appointment& a)
{
    static const char* const weekdays[] = { "Mo", "Di", "Mi", "Do", "Fr", "Sa", "So" };
    return QStringLiteral("%1 %2 %3  %4")
        .arg(QString::fromLatin1(weekdays[a.start.date().dayOfWeek() - 1]), a.start.toString(QStringLiteral("dd.MM.")),
            a.allDay ? QStringLiteral("ganztägig") : a.start.toString(QStringLiteral("HH:mm")), a.title);
}

} // namespace StationCalendar

CalendarWatch::CalendarWatch(QString path, QObject* parent)
    : QObject(parent)
    , m_path(std::move(path))
{
    // The folder too: an editor that saves by renaming a new file over the old one ends the
    // watch of the file itself.
    m_watch.addPath(QFileInfo(m_path).absolutePath());
    connect(&m_watch, &QFileSystemWatcher::fileChanged, this, &CalendarWatch::read);
    connect(&m_watch, &QFileSystemWatcher::directoryChanged, this, &CalendarWatch::read);
    read();
}

QList<Appointment> CalendarWatch::next(const QDateTime& from) const
{
    return StationCalendar::parse(m_bytes, from).value_or(QList<Appointment>());
}

void CalendarWatch::read()
{
    if (!m_watch.files().contains(m_path) && QFileInfo::exists(m_path))
        m_watch.addPath(m_path);
    QFile file(m_path);
    QString fault;
    QByteArray bytes;
    if (!QFileInfo(m_path).isFile() || !file.open(QIODevice::ReadOnly))
        fault = QStringLiteral("cannot be read");
    else if (file.size() > kMostBytes)
        fault = QStringLiteral("is larger than %1 bytes").arg(kMostBytes);
    else if (bytes = file.readAll(); !StationCalendar::parse(bytes, QDateTime::currentDateTime(), 0, 0))
        fault = QStringLiteral("holds no calendar");
    if (!fault.isEmpty())
        bytes.clear();
    if (bytes == m_bytes && fault.isEmpty() == !m_warned)
        return;
    if (!fault.isEmpty() && !m_warned)
        qCWarning(lcFiles).noquote() << "The calendar" << m_path << fault << "; no appointments are shown";
    m_warned = !fault.isEmpty();
    m_bytes = bytes;
    emit changed();
}
