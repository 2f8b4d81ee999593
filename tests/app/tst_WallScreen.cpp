// The wall screen's helpers without a window: the wake program as a process that misbehaves, the
// dead-link band's wait, and the station's calendar.
#include "app/LinkWarning.h"
#include "app/ScreenWake.h"
#include "app/StationCalendar.h"
#include "common/AppContext.h"
#include "tests/support/DataRows.h"
#include "tests/support/HostileCalendars.h"
#include "tests/support/TestFiles.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <cstdio>

namespace {

// A weekly exercise (one evening left out, one moved), an all-day event, a past and a cancelled one.
const QByteArray kCalendar
    = "BEGIN:VCALENDAR\nVERSION:2.0\nPRODID:-//Wache//Termine//DE\n"
      "BEGIN:VEVENT\nUID:uebung@wache\nDTSTART:20261103T190000\nDURATION:PT2H\nRRULE:FREQ=WEEKLY;BYDAY=TU\n"
      "EXDATE:20261215T190000\nSUMMARY:Übungsabend\nEND:VEVENT\n"
      "BEGIN:VEVENT\nUID:uebung@wache\nRECURRENCE-ID:20261222T190000\nDTSTART:20261223T180000\nDURATION:PT2H\n"
      "SUMMARY:Übungsabend (verlegt)\nEND:VEVENT\n"
      "BEGIN:VEVENT\nUID:hydranten@wache\nDTSTART;VALUE=DATE:20261210\nDTEND;VALUE=DATE:20261211\n"
      "SUMMARY:Hydranten\n prüfung\nEND:VEVENT\n"
      "BEGIN:VEVENT\nUID:alt@wache\nDTSTART:20261201T100000\nDTEND:20261201T110000\nSUMMARY:Vorbei\nEND:VEVENT\n"
      "BEGIN:VEVENT\nUID:abgesagt@wache\nDTSTART:20261209T100000\nSTATUS:CANCELLED\nSUMMARY:Abgesagt\nEND:VEVENT\n"
      "END:VCALENDAR\n";

// Replaces the file at once, as an editor's save does, so that no reader sees it half written.
bool replaceFile(const QString& path, const QByteArray& bytes)
{
    const QString next = path + ".new";
    return TestFiles::writeAll(next, bytes) && std::rename(qPrintable(next), qPrintable(path)) == 0;
}

} // namespace

class WallScreenTest : public QObject {
    Q_OBJECT

private slots:
    // The wake program starts a child in its group that records its standard input, output and
    // error, and a SIGTERM; then both wait for ever.
    void wakeProgram_data()
    {
        columns<int, int, bool>("alarms", "limitMs", "monitorEnds");
        QTest::newRow("at its time limit it is ended with its group") << 1 << 300 << false;
        QTest::newRow("one at a time: each alarm ends the one before") << 3 << 600000 << false;
        QTest::newRow("the monitor's end ends it") << 1 << 600000 << true;
    }
    void wakeProgram()
    {
        auto [alarms, limitMs, monitorEnds] = fetch<int, int, bool>("alarms", "limitMs", "monitorEnds");
        const QTemporaryDir folder;
        const QString script = R"(sh -c 'trap "echo term >> @; exit" TERM; echo start $(readlink /proc/$$/fd/[012]) >> @
                                  sleep 600 & wait' & wait)";
        QVERIFY(TestFiles::writeAll(
            folder.filePath("wake.sh"), QString(script).replace("@", folder.filePath("rec")).toUtf8()));
        const auto lines = [&](const char* word) {
            return QString(TestFiles::readAll(folder.filePath("rec"))).split('\n').filter(QLatin1String(word));
        };
        AppContext ctx;
        ScreenWake wake(ctx);
        wake.timeLimit = std::chrono::milliseconds(limitMs);
        DisplaySettings settings;
        settings.wake = DisplaySettings::Wake::Command;
        settings.wakeOn = QStringList { "/bin/sh", folder.filePath("wake.sh") };
        settings.awakeMinutes = 0;
        wake.configure(settings);
        for (int i = 1; i <= alarms; ++i) {
            wake.alarm();
            QTRY_COMPARE_WITH_TIMEOUT(lines("start").size(), i, 20000);
        }
        if (monitorEnds)
            ctx.beginEnding();
        QTRY_COMPARE_WITH_TIMEOUT(lines("term").size(), alarms - 1 + (limitMs < 1000 || monitorEnds), 20000);
        QCOMPARE(lines("start"), QStringList(alarms, "start /dev/null /dev/null /dev/null"));
    }
    // The paths' states: one dispatch host down reads as ever, else each path down or silent is
    // named; each once it has been so for the set time, no sooner (less a timer's 5 % leeway).
    void linkWarning_data()
    {
        using S = PathStates::State;
        const QDateTime old = QDateTime::currentDateTime().addSecs(-120), now; // null: when the row runs
        const QString was = " seit " + old.toString("HH:mm");
        columns<QList<PathStates::Path>, QString, QString>("paths", "atOnce", "later");
        row("one host down", QList<PathStates::Path> { { "Leitstelle 1", S::Down, now } }, QString(),
            "Keine Verbindung zur Leitstelle seit {now}");
        row("one host silent", QList<PathStates::Path> { { "Leitstelle 1", S::Silent, old } },
            "Leitstelle 1 still" + was, "Leitstelle 1 still" + was);
        row("the second down, the radio path later",
            QList<PathStates::Path> { { "Leitstelle 1", S::Connected, old }, { "Leitstelle 2", S::Down, old },
                { "Funkmeldeempfänger", S::Silent, now } },
            "Leitstelle 2 getrennt" + was, "Leitstelle 2 getrennt" + was + "\nFunkmeldeempfänger still seit {now}");
        row("every path up", QList<PathStates::Path> { { "Leitstelle 1", S::Connected, old } }, QString(), QString());
    }
    void linkWarning()
    {
        auto [paths, atOnce, later] = fetch<QList<PathStates::Path>, QString, QString>("paths", "atOnce", "later");
        QWidget window;
        auto* band = new LinkWarning(&window);
        band->setDelaySeconds(1);
        window.show();
        QElapsedTimer set;
        set.start();
        for (PathStates::Path& path : paths)
            if (!path.since.isValid())
                later.replace("{now}", (path.since = QDateTime::currentDateTime()).toString("HH:mm"));
        band->setPaths(paths);
        const auto shown = [band] { return band->isVisible() ? band->text() : QString(); };
        QCOMPARE(shown(), atOnce);
        QTRY_COMPARE(shown(), later);
        if (later != atOnce)
            QCOMPARE_GE(set.elapsed(), 950);
    }
    void calendar_data()
    {
        // bounded: a bound was reached and is noted for the journal; ms: the time the expansion may take; the other
        // bounds as they are
        columns<QByteArray, QDateTime, int, int, QString, bool, int>(
            "ics", "from", "days", "most", "want", "bounded", "ms");
        const QDateTime morning(QDate(2026, 12, 8), QTime(8, 0));
        const QString exercise = "Di 08.12. 19:00  Übungsabend", hydrants = "Do 10.12. ganztägig  Hydrantenprüfung",
                      moved = "Mi 23.12. 18:00  Übungsabend (verlegt)";
        const auto row = [](const char* name, const QByteArray& ics, const QDateTime& from, int days, int most,
                             const QString& want, bool bounded = false, int ms = 600'000) {
            QTest::newRow(name) << ics << from << days << most << want << bounded << ms;
        };
        row("two weeks", kCalendar, morning, 14, 6, QStringList { exercise, hydrants }.join('|'));
        row("three weeks: the evening left out, the moved one", kCalendar, morning, 21, 6,
            QStringList { exercise, hydrants, moved }.join('|'));
        row("an exercise under way", kCalendar, morning.addSecs(12 * 3600), 3, 6, exercise + '|' + hydrants);
        row("after it, on the all-day event's day", kCalendar, QDateTime(QDate(2026, 12, 10), QTime(23, 59)), 14, 6,
            hydrants + '|' + moved);
        row("at most two", kCalendar, morning, 60, 2, exercise + '|' + hydrants);
        row("out of time before the first event", kCalendar, morning, 14, 6, "", true, -1);
        row("the next months expand", kCalendar, QDateTime(QDate(2027, 3, 1), QTime(0, 0)), 14, 6,
            "Di 02.03. 19:00  Übungsabend|Di 09.03. 19:00  Übungsabend");
        namespace H = HostileCalendars;
        row("all-day over three days, on its second",
            H::calendar(H::event(1, ";VALUE=DATE:20261210", "")
                + "BEGIN:VEVENT\r\n"
                  "UID:2@wache\r\nDTSTART;VALUE=DATE:20261210\r\nDTEND;VALUE=DATE:20261213\r\nSUMMARY:Zeltlager\r\n"
                  "END:VEVENT\r\n"),
            QDateTime(QDate(2026, 12, 11), QTime(8, 0)), 14, 6, "Do 10.12. – Sa 12.12.  Zeltlager");
        row("every twelve hours on Tuesdays",
            H::calendar(H::event(1, ":20261201T070000", "FREQ=HOURLY;INTERVAL=12;BYDAY=TU")), morning, 8, 6,
            "Di 08.12. 19:00  Termin 1|Di 15.12. 07:00  Termin 1|Di 15.12. 19:00  Termin 1");
        row("hourly on a day there never is",
            H::calendar(H::event(1, ":20260101T000000", "FREQ=HOURLY;BYMONTH=2;BYMONTHDAY=30")), morning, 14, 6, "");
        row("secondly on a day there never is",
            H::calendar(H::event(1, ":20260101T000000", "FREQ=SECONDLY;BYMONTH=2;BYMONTHDAY=30")), morning, 14, 6, "",
            true);
        const QString sixAtEight = QStringList(6, "Di 08.12. 08:00  Termin 1").join('|');
        const QList<QPair<const char*, QByteArray>> hostile = H::all();
        row(hostile[0].first, hostile[0].second, morning, 14, 6, sixAtEight, true);
        row(hostile[1].first, hostile[1].second, morning, 14, 6, sixAtEight, true);
        QStringList firstSix;
        for (int n = 1; n <= 6; ++n)
            firstSix << QString("Di 08.12. 08:01  Termin %1").arg(n);
        row(hostile[2].first, hostile[2].second, morning, 14, 6, firstSix.join('|'), true);
        // Read by the zone's name.
        const QDateTime berlin(QDate(2026, 12, 8), QTime(19, 0), QTimeZone("Europe/Berlin"));
        row(hostile[3].first, hostile[3].second, morning, 14, 6,
            "Di 08.12. " + berlin.toLocalTime().toString("HH:mm") + "  Termin 1", true);
        row("per-minute VTIMEZONE of a zone nobody knows: local time",
            H::calendar(H::minuteZone("Wache/Eigene") + H::event(1, ";TZID=Wache/Eigene:20261208T190000", "")), morning,
            14, 6, "Di 08.12. 19:00  Termin 1", true);
    }
    void calendar()
    {
        auto [ics, from, days, most, want, bounded, ms] = fetch<QByteArray, QDateTime, int, int, QString, bool, int>(
            "ics", "from", "days", "most", "want", "bounded", "ms");
        StationCalendar::Bounds bounds;
        bounds.time = std::chrono::milliseconds(ms);
        const StationCalendar::Expansion expansion = StationCalendar::expand(ics, from, days, bounds);
        QVERIFY(expansion.calendar);
        QStringList got;
        for (const Appointment& a : StationCalendar::pick(expansion.appointments, from, days, most))
            got << StationCalendar::text(a);
        QCOMPARE(got.join('|'), want);
        QCOMPARE(!expansion.exceeded.isEmpty(), bounded);
    }
    // A missing file, then the calendar, then a broken file, the calendar again, and one beyond the
    // bounds: each fault one warning, no appointments; the bounds one warning, what was read in time.
    void calendarFileWatched()
    {
        const QTemporaryDir folder;
        const QString path = folder.filePath("termine.ics");
        const QRegularExpression warning("The calendar .*termine.ics (cannot be read|holds no calendar)");
        QTest::ignoreMessage(QtWarningMsg, warning);
        CalendarWatch watch(path);
        QSignalSpy changed(&watch, &CalendarWatch::changed);
        const QDateTime morning(QDate(2026, 12, 8), QTime(8, 0));
        // Nothing is read on the caller's thread, and nothing before the event loop runs.
        watch.begin();
        QVERIFY(watch.next(morning).isEmpty());
        QTRY_COMPARE(changed.size(), 1);
        QVERIFY(replaceFile(path, kCalendar));
        QTRY_COMPARE(watch.next(morning).size(), 2);
        QTest::ignoreMessage(QtWarningMsg, warning);
        QVERIFY(replaceFile(path, "BEGIN:VCARD\nEND:VCARD\n"));
        QTRY_VERIFY(watch.next(morning).isEmpty());
        QVERIFY(replaceFile(path, kCalendar));
        QTRY_COMPARE(watch.next(morning).size(), 2);
        QCOMPARE(changed.size(), 4);
        QTest::ignoreMessage(QtWarningMsg,
            QRegularExpression("termine.ics is beyond its bounds: .*\"Termin 1\" recurs more "
                               "than 64 times.*the appointments read in time are shown"));
        QVERIFY(replaceFile(
            path, HostileCalendars::calendar(HostileCalendars::event(1, ":20000101T000000", "FREQ=MINUTELY"))));
        QTRY_COMPARE(watch.next(morning).size(), 6);
    }
};

QTEST_MAIN(WallScreenTest)
#include "tst_WallScreen.moc"
