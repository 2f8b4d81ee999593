#include "station/Station.h"

#include "alarm/AlarmCore.h"
#include "alarm/Incident.h"
#include "announce/AlsaSoundOutput.h"
#include "announce/AnnouncementQueue.h"
#include "announce/Announcer.h"
#include "common/AppContext.h"
#include "common/Log.h"
#include "config/Configuration.h"
#include "crew/CrewWatch.h"
#include "crew/VehicleBoard.h"
#include "history/HistoryFields.h"
#include "history/HistoryReader.h"
#include "history/HistoryRecorder.h"
#include "history/HistorySettings.h"
#include "link/ServerLink.h"
#include "log/TickerStore.h"
#include "map/Geocoder.h"
#include "paths/AlarmInbox.h"
#include "paths/PathStates.h"
#include "paths/PathWatch.h"
#include "paths/RadioPath.h"
#include "print/Printout.h"
#include "route/RoutePlanner.h"
#include "settings/DataFolders.h"
#include "settings/SettingsFile.h"
#include "station/ControlServer.h"
#include "water/WaterLookup.h"

#include <QFileInfo>
#include <QHostInfo>
#include <QPointer>
#include <QTimer>

#include <chrono>

namespace {

// How long an ending monitor waits for the history's writes: a few of SQLite's 5 s waits for a lock.
constexpr std::chrono::seconds kHistoryEndingWait { 15 };
// How long a live alarm on screen keeps a test alarm from replacing it.
constexpr qint64 kTestAlarmYieldsSeconds = 3600;

} // namespace

Station::Station(AppContext& ctx, Link link, QObject* parent)
    : QObject(parent)
    , m_ctx(ctx)
{
    m_config = new Configuration(this);
    m_announcer = new Announcer(m_ctx, this);
    m_announcements = new AnnouncementQueue(m_ctx, *m_announcer, this);
    holdDuringAnnouncements();
    connect(m_config, &Configuration::changed, this, [this](ConfigFile file) {
        if (m_loading)
            return;
        apply(file);
        emit configured();
    });
    m_core = new AlarmCore(m_ctx, m_settings, this);
    m_core->setAnnouncements(m_announcements);
    m_geocoder = new Geocoder(m_ctx, m_settings, this);
    m_viewGeocoder = new Geocoder(m_ctx, m_settings, this);
    // The incident opens before anything else sees the alarm, so that every consumer finds it open.
    m_incident = new Incident(*m_geocoder, this);
    m_incident->follow(*m_core);
    connect(m_core, &AlarmCore::stationAlarm, this, [this](const StationAlarmPlan& plan, bool replay) {
        m_liveAlarmCame = m_liveAlarmCame || !replay;
        if (!replay && plan.source != AlarmSource::Test)
            m_liveAlarmAt = QDateTime::currentDateTime();
    });
    m_printout = new Printout(m_ctx, m_settings, this);
    m_printout->setMapConfig([this] { return m_map; });
    m_printout->follow(*m_incident);
    m_printout->watch(*m_core);
    m_inbox = new AlarmInbox(m_ctx, *m_core, this);
    m_paths = new PathStates(this);
    m_watch = new PathWatch(*m_paths, this);
    connect(m_inbox, &AlarmInbox::delivered, m_watch,
        [this](int path, const QByteArray& key, bool) { m_watch->delivered(path, key); });
    connect(m_watch, &PathWatch::reconnect, this, [this](int host) {
        if (host >= 0 && host < m_links.size())
            m_links[host]->reconnect();
    });
    m_link = new ServerLink(m_ctx, m_settings, m_inbox->dispatchPath(0), this);
    m_links.append(m_link);
    connect(
        m_link, &ServerLink::linkStatusChanged, m_watch, [this](bool connected) { m_watch->linkStatus(0, connected); });
    setUpLinks();
    // A real unit alarm takes a test alarm off the screen; its announcement is cut in the queue.
    connect(m_core, &AlarmCore::unitAlarm, this, [this](const UnitAlarmPlan& plan) {
        if (!plan.units.isEmpty() && m_incident->plan() && m_incident->plan()->source == AlarmSource::Test)
            m_incident->close();
    });
    // A shell on this computer starts a test alarm and reads the paths' states.
    m_control = new ControlServer(this);
    m_control->handle(QStringLiteral("test-alarm"), [this] { return testAlarm(); });
    m_control->handle(QStringLiteral("status"), [this] {
        const QStringList lines = m_paths->describe();
        return ControlAnswer { true,
            lines.isEmpty() ? QStringLiteral("Keine Alarmwege") : lines.join(QLatin1Char('\n')) };
    });
    // The station's log is kept whether or not a window shows it.
    m_ticker = new TickerStore(m_ctx, this);
    connect(m_core, &AlarmCore::tickerMessage, m_ticker, &TickerStore::store);
    connect(m_core, &AlarmCore::tickerDeleted, m_ticker, &TickerStore::clear);
    // The water sources are looked up around each incident's place, off the alarm's thread.
    m_water = new WaterLookup(this);
    connect(m_incident, &Incident::opened, m_water, &WaterLookup::cancel);
    connect(m_incident, &Incident::closed, m_water, &WaterLookup::cancel);
    connect(m_incident, &Incident::placed, m_water, [this](const std::optional<QPointF>& position) {
        if (position)
            m_water->lookUp(*position);
    });
    connect(m_water, &WaterLookup::found, m_printout, &Printout::waterFound);

    // The timer runs from the moment the station exists; its first tick opens the link.
    m_linkTimer = new QTimer(this);
    m_linkTimer->setObjectName(QStringLiteral("Timer1"));
    m_linkTimer->setInterval(1000);
    connect(m_linkTimer, &QTimer::timeout, this, [this] {
        if (m_ctx.ist_ende())
            m_linkTimer->stop();
        else
            superviseLinks();
    });
    if (link == Link::Supervised)
        m_linkTimer->start();
}

Station::~Station()
{
    // The decoder's group ends while the paths it reports to are still there.
    delete std::exchange(m_radio, nullptr);
    // The planner goes before the incident that asks it.
    m_incident->setPlanner(nullptr);
}

void Station::load()
{
    m_link->SendPending = false;
    InitDataFolders(m_ctx);
    m_ctx.ServerPort = 4750;
    m_ctx.MonitorName = QHostInfo::localHostName();
    m_ctx.TickerPath = m_ctx.dataFile(QStringLiteral("ticker.dat"));
    m_ctx.LastAlarmPath = m_ctx.dataFile(QStringLiteral("last.dat"));
    m_loading = true;
    m_config->load(m_ctx.DataFolder);
    m_loading = false;
    readFiles();
    // Copies of an alarm that came before a restart are still known as such, within the window the
    // files set.
    m_inbox->setStateFile(m_ctx.dataFile(QString::fromLatin1(AlarmInbox::kStateFileName)));
    // The device is tried once, at start: while an alarm plays it may be taken.
    m_soundDevice = AlsaSoundOutput::deviceOpens();
    if (!m_soundDevice)
        qCWarning(lcAnnounce) << "No sound device could be opened (ALSA \"default\"): alarms are not heard";
    noteSilence();
    if (!m_history) {
        m_history = new HistoryRecorder(m_ctx.dataFile(QStringLiteral("history.sqlite")), m_ctx.LastAlarmPath,
            HistorySettings::from(m_config->values(ConfigFile::History)), this);
        m_history->watch(*m_core);
        m_history->follow(*m_incident);
        // The history keeps the name of each alarm's kept page.
        connect(m_printout, &Printout::printed, m_history, &HistoryRecorder::recordPrintout);
        connect(m_water, &WaterLookup::found, m_history, &HistoryRecorder::recordWater);
        connect(m_inbox, &AlarmInbox::copied, m_history, &HistoryRecorder::recordCopies);
        // "Programmende" leaves every alarm received on disk, unless another program holds the file.
        connect(&m_ctx, &AppContext::ending, m_history, [history = m_history] {
            if (!history->waitForWrites(kHistoryEndingWait))
                qCWarning(lcHistory) << "The history's last writes were not done when the monitor ended";
        });
        m_history->start();
    }
    setUpCrew();
    if (m_control->path().isEmpty())
        m_control->listen(m_ctx.DataFolder);
    emit configured();
}

void Station::holdDuringAnnouncements()
{
    // A change saved while an alarm is announced applies once the announcement has ended.
    connect(m_announcements, &AnnouncementQueue::begun, m_config, [this] { m_config->hold(true); });
    connect(m_announcements, &AnnouncementQueue::idle, m_config, [this] { m_config->hold(false); });
}

void Station::noteSilence()
{
    // A fresh data folder has every sound off, and a machine without a sound card plays into
    // nothing: neither may go unnoticed on a monitor whose first duty is to be heard.
    QStringList warnings;
    if (!m_settings.PlayAlarmWav) {
        warnings << QStringLiteral("Alarmton ausgeschaltet (Einstellungen)");
        qCWarning(lcAnnounce) << "The alarm sound is switched off in the settings: alarms are not sounded";
    }
    if (!m_soundDevice)
        warnings << QStringLiteral("Kein Tonausgabegerät: Alarme sind nicht zu hören");
    m_soundWarning = warnings.join(QStringLiteral(" · "));
}

void Station::reload()
{
    // Each file whose values changed applies through changed(), now or after the announcement.
    m_config->reload();
    noteSilence();
    emit configured();
}

void Station::readFiles()
{
    for (const ConfigFile file : configFiles())
        apply(file);
}

void Station::apply(ConfigFile file)
{
    const ConfigValues& values = m_config->values(file);
    switch (file) {
    case ConfigFile::Settings:
        m_settings = LoadSettings(m_ctx, values);
        // A further host that now is settings.dat's own is not held twice.
        setUpLinks();
        break;
    case ConfigFile::Display:
        m_display = DisplaySettings::from(values);
        m_printout->setHallView(m_display.privacy);
        if (m_crew && m_crew->settings() != m_display.strength)
            m_crew->setSettings(m_display.strength);
        break;
    case ConfigFile::Map: {
        // map.ini holds the map's keys and the route's.
        m_map = MapConfig::from(values);
        m_geocoder->setConfig(m_map);
        m_viewGeocoder->setConfig(m_map);
        m_water->setIndex(m_map.water);
        m_printout->setWaterExpected(m_water->active());
        const RouteSettings route = RouteSettings::from(values);
        if (!m_planner || route != m_route) {
            m_route = route;
            setUpRoute();
        }
        break;
    }
    case ConfigFile::Print:
        m_printout->setSettings(PrintSettings::from(values));
        break;
    case ConfigFile::History:
        if (m_history)
            m_history->setSettings(HistorySettings::from(values));
        break;
    case ConfigFile::Paths:
        m_pathSettings = AlarmPathSettings::from(values);
        m_watch->setSilentMinutes(m_pathSettings.silentMinutes);
        m_inbox->setMergeWindow(std::chrono::minutes(m_pathSettings.mergeMinutes));
        setUpLinks();
        setRadio(m_pathSettings.radio, m_pathSettings.mergeMinutes);
        break;
    }
}

void Station::setUpLinks()
{
    // settings.dat's host is the first; alarmwege.ini's further hosts follow, each once.
    const DispatchHost first { m_link->ServerAddress(), m_link->ServerPort() };
    QList<DispatchHost> wanted;
    for (const DispatchHost& host : m_pathSettings.dispatch) {
        if (host != first && !wanted.contains(host))
            wanted.append(host);
    }
    QList<DispatchHost> held;
    for (qsizetype i = 1; i < m_links.size(); ++i)
        held.append({ m_links[i]->ServerAddress(), m_links[i]->ServerPort() });
    if (held == wanted && !m_paths->paths().isEmpty())
        return;
    // The links that stay keep their connections: only those after the first difference go.
    qsizetype kept = 0;
    while (kept < wanted.size() && kept < held.size() && wanted[kept] == held[kept])
        ++kept;
    while (m_links.size() > kept + 1) {
        ServerLink* gone = m_links.takeLast();
        gone->disconnect(this);
        gone->disconnect(m_watch);
        gone->retire();
        m_retiredLinks.append(gone);
    }
    for (qsizetype i = kept; i < wanted.size(); ++i) {
        const int index = int(m_links.size());
        auto* link = new ServerLink(m_ctx, m_settings, m_inbox->dispatchPath(index), this);
        link->setHost(wanted[i].host, wanted[i].port);
        connect(link, &ServerLink::linkStatusChanged, m_watch,
            [this, index](bool connected) { m_watch->linkStatus(index, connected); });
        m_links.append(link);
        if (m_linkTimer && m_linkTimer->isActive())
            QTimer::singleShot(0, link, [link] { link->superviseTick(); });
    }
    qCInfo(lcLink).noquote() << "Dispatch hosts:" << m_links.size();
    // The dispatch hosts come first; the paths after them (the radio decoder) keep their states.
    const QList<PathStates::Path> others = m_paths->paths().mid(m_watch->hostCount());
    m_paths->clear();
    QList<int> statePaths;
    for (qsizetype i = 0; i < m_links.size(); ++i)
        statePaths << m_paths->add(QStringLiteral("Leitstelle %1").arg(i + 1));
    for (const PathStates::Path& other : others)
        m_paths->add(other.name, other.state, other.since);
    m_watch->setHosts(statePaths);
    for (qsizetype i = 0; i < m_links.size(); ++i)
        m_watch->linkStatus(int(i), m_links[i]->LinkStatus());
}

void Station::superviseLinks()
{
    // A link given up is deleted once none of its waits is on the stack.
    for (qsizetype i = m_retiredLinks.size() - 1; i >= 0; --i) {
        if (!m_retiredLinks[i]->busy())
            delete m_retiredLinks.takeAt(i);
    }
    // Each link's step may wait in an event loop, in which the hosts may change.
    const QList<QPointer<ServerLink>> links(m_links.begin(), m_links.end());
    for (const QPointer<ServerLink>& link : links) {
        if (m_ctx.ist_ende())
            return;
        if (link && m_links.contains(link.data()))
            link->superviseTick();
    }
}

void Station::setUpCrew()
{
    // Once the data folder is known; the crew file and display.ini's keys are read again later.
    if (m_crew)
        return;
    m_vehicles = new VehicleBoard(m_ctx.DataFolder, this);
    m_vehicles->watch(*m_core);
    m_crew = new CrewWatch(m_ctx.dataFile(CrewFile::FileName), m_ctx.LastAlarmPath, m_display.strength, this);
    m_crew->watch(*m_core);
    // Answers count against the alarm on screen; once it is cleared, against nothing.
    connect(m_incident, &Incident::closed, m_crew, &CrewWatch::alarmCleared);
    if (m_history) {
        m_history->setCrew(m_crew);
        connect(m_crew, &CrewWatch::strengthChanged, m_history,
            [this](const Strength::Count& count) { m_history->recordStrength(count, m_crew->settings()); });
    }
}

void Station::setUpRoute()
{
    m_incident->setPlanner(nullptr);
    delete m_planner;
    m_planner = nullptr;
    if (!m_route.active())
        return;
    m_planner = new RoutePlanner(m_route, this);
    m_incident->setPlanner(m_planner);
}

void Station::replayLastAlarm()
{
    // A live alarm that came in meanwhile is newer than last.dat.
    if (m_liveAlarmCame)
        return;
    // After a long power cut the stored alarm is old news: shown, but not sounded in the night.
    const QFileInfo stored(m_ctx.LastAlarmPath);
    // The file system's zero time (1970-01-01, a clock that was never set) reads as no time at all:
    // no age that could be trusted either.
    const QDateTime modified = stored.lastModified();
    const qint64 ageMs = modified.isValid() ? modified.msecsTo(QDateTime::currentDateTime()) : -1;
    const double limitMs = m_display.replayAnnounceMinutes * 60000;
    // A file from the future (a clock set back) has no age that could be trusted.
    const bool announce = limitMs <= 0 || (ageMs >= 0 && double(ageMs) < limitMs);
    if (announce && stored.exists())
        emit replayAnnounced();
    // What last.dat has no room for, the history keeps: the informant, and the answers before a restart.
    std::optional<HistoryAnswered> kept;
    if (const QString path = m_ctx.dataFile(QStringLiteral("history.sqlite")); QFileInfo::exists(path)) {
        HistoryReader reader(path, true);
        kept = reader.open() ? reader.storedAlarm(m_ctx.LastAlarmPath) : std::nullopt;
    }
    m_core->ReplayLastAlarm(announce, kept ? kept->alarm.fields.value(HistoryFields::kInformant) : QString());
    if (kept && m_crew)
        m_crew->restoreAnswers(kept->answers);
}

void Station::openLink()
{
    if (!m_linkTimer->isActive())
        return;
    for (ServerLink* link : std::as_const(m_links))
        QTimer::singleShot(0, link, [link] { link->superviseTick(); });
}

void Station::setRadio(const RadioSettings& radio, int mergeMinutes)
{
    if (!radio.active()) {
        delete std::exchange(m_radio, nullptr);
        return;
    }
    if (!m_radio)
        m_radio = new RadioPath(*m_inbox, *m_paths, this);
    m_radio->setWindow(std::chrono::minutes(mergeMinutes));
    m_radio->setSettings(radio);
}

void Station::shutDown()
{
    m_ctx.beginEnding();
    m_linkTimer->stop();
    if (m_radio)
        m_radio->stop();
    for (ServerLink* link : std::as_const(m_links)) {
        link->SendPending = false;
        link->closeSocket();
    }
    if (m_ctx.endProcess)
        m_ctx.endProcess();
}

void Station::clearIncident()
{
    m_incident->close();
}

ControlAnswer Station::testAlarm()
{
    // A test alarm never takes a live alarm of the last hour off the screen: it waits for Ctrl+C.
    const std::optional<StationAlarmPlan>& shown = m_incident->plan();
    if (shown && shown->source != AlarmSource::Test && m_liveAlarmAt.isValid()
        && m_liveAlarmAt.secsTo(QDateTime::currentDateTime()) < kTestAlarmYieldsSeconds)
        return { false,
            QStringLiteral("Kein Probealarm: der Einsatz von %1 steht auf dem Schirm (Strg+C beendet ihn)")
                .arg(m_liveAlarmAt.toString(QStringLiteral("HH:mm"))) };
    if (!m_core->HandleTestAlarm())
        return { false, QStringLiteral("Kein Probealarm: eine Alarmansage läuft") };
    return { true, QStringLiteral("Probealarm ausgelöst") };
}

void Station::setAnnouncementOutput(AnnouncementOutput* output)
{
    delete m_announcements;
    m_config->hold(false);
    m_announcements = new AnnouncementQueue(m_ctx, *output, this);
    holdDuringAnnouncements();
    m_core->setAnnouncements(m_announcements);
}
