#pragma once

#include <QDateTime>
#include <QFileSystemWatcher>
#include <QList>
#include <QObject>
#include <QString>

#include <optional>

// One appointment of the station's calendar as the standby view lists it.
struct Appointment {
    QDateTime start; // local time; an all-day appointment starts at its day's midnight
    bool allDay = false;
    QString title;

    bool operator==(const Appointment&) const = default;
};

// The station's appointments from an iCalendar file (the format every calendar program exports),
// read with libical: recurring events expand as a calendar program shows them (exceptions and
// moved instances included), cancelled ones are left out.
namespace StationCalendar {

// The appointments that have not ended by `from` and begin within `days` days of it, soonest
// first, at most `most`. Nothing when the bytes are no iCalendar data.
[[nodiscard]] std::optional<QList<Appointment>> parse(
    const QByteArray& ics, const QDateTime& from, int days = 14, int most = 6);

// "Di 08.12. 19:00  Übungsabend", "Mi 09.12. ganztägig  Hydrantenprüfung".
[[nodiscard]] QString text(const Appointment& appointment);

} // namespace StationCalendar

// The calendar file, read again whenever it changes (an editor's save replaces the file, which the
// watch follows). A missing or broken file is one warning under kessvenn.files and no
// appointments; the same fault again is not repeated until the file was read well in between.
class CalendarWatch : public QObject {
    Q_OBJECT

public:
    // A calendar file larger than this is not read.
    static constexpr qint64 kMostBytes = 4 * 1024 * 1024;

    explicit CalendarWatch(QString path, QObject* parent = nullptr);

    // The appointments from `from` on, as the file read last holds them.
    [[nodiscard]] QList<Appointment> next(const QDateTime& from) const;

signals:
    // The file was read anew.
    void changed();

private:
    void read();

    QString m_path;
    QByteArray m_bytes;
    bool m_warned = false;
    QFileSystemWatcher m_watch;
};
