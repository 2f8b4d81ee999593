#pragma once

#include "config/ConfigSchema.h"
#include "config/StationSettings.h"
#include "map/MapConfig.h"
#include "paths/AlarmPathSettings.h"
#include "route/RouteSettings.h"
#include "settings/DisplaySettings.h"

#include <QDateTime>
#include <QObject>
#include <QStringList>

class AlarmCore;
class AlarmInbox;
class AnnouncementOutput;
class AnnouncementQueue;
class Announcer;
class AppContext;
class Configuration;
class ControlServer;
struct ControlAnswer;
class CrewWatch;
class Geocoder;
class HistoryRecorder;
class Incident;
class PathStates;
class PathWatch;
class Printout;
class QTimer;
class RadioPath;
struct RadioSettings;
class RoutePlanner;
class ServerLink;
class TickerStore;
class VehicleBoard;
class WaterLookup;

// The station without a window: owns the configuration (settings.dat, display.ini, map.ini,
// print.ini, history.ini), hands its values to whoever uses them, and owns the alarm's whole way: the
// link to the dispatch computer, the alarm core with last.dat, the announcement, the incident with
// its address lookup and route, the printout and the history. Whatever shows or uses an alarm (the
// window, the wake, a wall screen) subscribes to the core and the incident itself.
class Station : public QObject {
    Q_OBJECT

public:
    // Whether the one-second supervision of the link runs. The program always runs it; a window
    // built for a picture or a test may leave the link alone.
    enum class Link { Supervised, Idle };

    explicit Station(AppContext& ctx, Link link = Link::Supervised, QObject* parent = nullptr);
    ~Station() override;

    // The start-up: data folders, settings.dat, the station's files, the link's values, the
    // history opened, the route set up. Nothing is heard yet.
    void load();
    // The station's files read again, after the settings dialog has closed. A change applies at
    // once, or, while an alarm is being announced, once the announcement has ended.
    void reload();
    // Shows and, unless display.ini asks for a younger last.dat than there is, announces the
    // stored alarm; nothing when a live alarm came first.
    void replayLastAlarm();
    // Opens the link now rather than at the timer's first tick.
    void openLink();
    // "Programmende": the link closed, the speech program ended, the process left.
    void shutDown();

    // The radio pager path of alarmwege.ini: started when the command is set (the path
    // "Funkmeldeempfänger"), ended when it is empty. `mergeMinutes` is the window of its repeats.
    void setRadio(const RadioSettings& radio, int mergeMinutes = 10);

    // The alarm has left the screen (Ctrl+C).
    void clearIncident();
    // "Probealarm" from the window, the settings dialog or the control socket: started, or why not.
    ControlAnswer testAlarm();

    // Where alarms are heard: the loudspeakers and the speech program unless replaced. The output
    // must outlive the station.
    void setAnnouncementOutput(AnnouncementOutput* output);

    [[nodiscard]] AppContext& context() const { return m_ctx; }
    // settings.dat as read at load(); the settings dialog edits it in place.
    [[nodiscard]] StationSettings& settings() { return m_settings; }
    [[nodiscard]] const StationSettings& settings() const { return m_settings; }
    // Every setting of the station's files; the one place that reads and writes them.
    [[nodiscard]] Configuration& config() const { return *m_config; }
    [[nodiscard]] AlarmCore& core() const { return *m_core; }
    [[nodiscard]] Incident& incident() const { return *m_incident; }
    // The link to settings.dat's dispatch host.
    [[nodiscard]] ServerLink& link() const { return *m_link; }
    // Every dispatch host's link, settings.dat's first, then alarmwege.ini's; link i hands its
    // messages to the inbox's path i.
    [[nodiscard]] const QList<ServerLink*>& links() const { return m_links; }
    // alarmwege.ini's values in force.
    [[nodiscard]] const AlarmPathSettings& pathSettings() const { return m_pathSettings; }
    // Whether each dispatch host delivers.
    [[nodiscard]] PathWatch& pathWatch() const { return *m_watch; }
    // Where every path's messages meet before the core.
    [[nodiscard]] AlarmInbox& inbox() const { return *m_inbox; }
    // Whether each path an alarm can come by is up.
    [[nodiscard]] PathStates& paths() const { return *m_paths; }
    // kessvenn.sock in the data folder, open from load() on.
    [[nodiscard]] ControlServer& control() const { return *m_control; }
    // The radio pager path; null while alarmwege.ini names no decoder command.
    [[nodiscard]] RadioPath* radio() const { return m_radio; }
    [[nodiscard]] Printout& printout() const { return *m_printout; }
    [[nodiscard]] AnnouncementQueue& announcements() const { return *m_announcements; }
    // The station's log, ticker.dat, kept with or without a window.
    [[nodiscard]] TickerStore& ticker() const { return *m_ticker; }
    // What keeps alarms from being heard: the alarm sound switched off (at load() and reload()),
    // no sound device to open (at load()). Empty when nothing does; the journal has it too.
    [[nodiscard]] const QString& soundWarning() const { return m_soundWarning; }
    // The water sources around each live incident, when map.ini names their index.
    [[nodiscard]] WaterLookup& water() const { return *m_water; }
    // Null until load(), or when the history could not be set up.
    [[nodiscard]] HistoryRecorder* history() const { return m_history; }
    // The crew's strength for the alarm on screen (mannschaft.csv) and the vehicles' radio status
    // (fahrzeuge.ini). Null until load().
    [[nodiscard]] CrewWatch* crew() const { return m_crew; }
    [[nodiscard]] VehicleBoard* vehicles() const { return m_vehicles; }
    // A lookup of its own for a view that shows an alarm again (the incident keeps its own).
    [[nodiscard]] Geocoder& viewGeocoder() const { return *m_viewGeocoder; }
    [[nodiscard]] const MapConfig& mapConfig() const { return m_map; }
    [[nodiscard]] const RouteSettings& routeSettings() const { return m_route; }
    [[nodiscard]] const DisplaySettings& display() const { return m_display; }

signals:
    // The station's files have been read (at load() and at every reload()), or a file's values
    // have changed and apply now.
    void configured();
    // The stored alarm is replayed with its sound.
    void replayAnnounced();

private:
    void readFiles();
    void apply(ConfigFile file);
    void holdDuringAnnouncements();
    void noteSilence();
    void setUpRoute();
    void setUpCrew();
    void setUpLinks();
    void superviseLinks();

    AppContext& m_ctx;
    StationSettings m_settings;
    Configuration* m_config = nullptr;
    bool m_loading = false;
    MapConfig m_map;
    RouteSettings m_route;
    DisplaySettings m_display;
    QTimer* m_linkTimer = nullptr;
    Announcer* m_announcer = nullptr;
    AnnouncementQueue* m_announcements = nullptr;
    AlarmCore* m_core = nullptr;
    AlarmInbox* m_inbox = nullptr;
    PathStates* m_paths = nullptr;
    ControlServer* m_control = nullptr;
    RadioPath* m_radio = nullptr;
    Geocoder* m_geocoder = nullptr;
    Geocoder* m_viewGeocoder = nullptr;
    Incident* m_incident = nullptr;
    RoutePlanner* m_planner = nullptr;
    Printout* m_printout = nullptr;
    HistoryRecorder* m_history = nullptr;
    ServerLink* m_link = nullptr;
    QList<ServerLink*> m_links;
    QList<ServerLink*> m_retiredLinks; // deleted once out of their waits
    PathWatch* m_watch = nullptr;
    AlarmPathSettings m_pathSettings;
    WaterLookup* m_water = nullptr;
    TickerStore* m_ticker = nullptr;
    QString m_soundWarning;
    bool m_soundDevice = true; // ALSA's "default" could be opened at load()
    CrewWatch* m_crew = nullptr;
    VehicleBoard* m_vehicles = nullptr;
    // A live alarm has come since the start: the stored one is not shown over it.
    bool m_liveAlarmCame = false;
    // When the live alarm on screen came (not a test): a test alarm never hides it for the first hour.
    QDateTime m_liveAlarmAt;
};
