#pragma once

#include "alarm/AlarmHandler.h"
#include "alarm/AlarmPlan.h"

#include <QObject>

#include <functional>

#include <optional>

class AppContext;
class HistoryView;
class QPushButton;
struct HistoryAlarm;

// The history in the main window: opens the list ("Einsätze", Ctrl+E), and shows a chosen alarm on the alarm display as
// the replay does, without sound and without touching last.dat, under a band that names it an archived alarm. Esc, a
// click on the band or any new alarm returns to the live alarm.
class HistoryDesk : public QObject {
    Q_OBJECT

public:
    // The button goes into `bar`, the band over it. The core and the handler must outlive the desk.
    HistoryDesk(AppContext& ctx, AlarmCore& core, AlarmHandler& handler, QWidget* bar, QObject* parent = nullptr);

    void openList();
    // On a screen that the public may see the list is never opened.
    void setLocked(bool locked) { m_locked = locked; }
    // Whether print.ini is in force (the station's configuration); the list prints only then.
    std::function<bool()> printable;
    void showArchived(const HistoryAlarm& alarm);
    [[nodiscard]] bool showsArchive() const { return m_archive; }
    void returnToLive();

    [[nodiscard]] HistoryView* view() const { return m_view; }
    [[nodiscard]] QPushButton* band() const { return m_band; }

signals:
    // "Drucken" in the list: the alarm to be printed again.
    void printRequested(const HistoryAlarm& alarm);

private:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void placeBand();
    void onStationAlarm(const StationAlarmPlan& plan);
    void onUnitAlarm(const UnitAlarmPlan& plan);

    AppContext& m_ctx;
    AlarmCore& m_core;
    AlarmHandler& m_handler;
    QWidget* m_bar = nullptr;
    HistoryView* m_view = nullptr; // a child of the window, made when first opened
    QPushButton* m_band = nullptr;
    bool m_archive = false;
    bool m_locked = false;
    // The units of a unit alarm after the newest station alarm, shown with the live incident.
    std::optional<QStringList> m_liveUnits;
};
