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
#include "print/Printout.h"
#include "route/RoutePlanner.h"
#include "settings/DataFolders.h"
#include "settings/SettingsFile.h"
#include "water/WaterLookup.h"

#include <QFileInfo>
#include <QHostInfo>
#include <QTimer>

#include <chrono>

namespace {

// How long an ending monitor waits for the history's writes: a few of SQLite's 5 s waits for a lock.
constexpr std::chrono::seconds kHistoryEndingWait { 15 };

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
    connect(m_core, &AlarmCore::stationAlarm, this,
        [this](const StationAlarmPlan&, bool replay) { m_liveAlarmCame = m_liveAlarmCame || !replay; });
    m_printout = new Printout(m_ctx, m_settings, this);
    m_printout->setMapConfig([this] { return m_map; });
    m_printout->follow(*m_incident);
    m_printout->watch(*m_core);
    m_inbox = new AlarmInbox(m_ctx, *m_core, this);
    m_paths = new PathStates(this);
    m_link = new ServerLink(m_ctx, m_settings, m_inbox->dispatchPath(0), this);
    const int firstHost = m_paths->add(QStringLiteral("Leitstelle 1"));
    connect(m_link, &ServerLink::linkStatusChanged, m_paths, [this, firstHost](bool connected) {
        m_paths->set(firstHost, connected ? PathStates::State::Connected : PathStates::State::Down);
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
            m_link->superviseTick();
    });
    if (link == Link::Supervised)
        m_linkTimer->start();
}

Station::~Station()
{
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
    if (m_linkTimer->isActive())
        QTimer::singleShot(0, m_link, [this] { m_link->superviseTick(); });
}

void Station::shutDown()
{
    m_ctx.beginEnding();
    m_linkTimer->stop();
    m_link->SendPending = false;
    m_link->closeSocket();
    if (m_ctx.endProcess)
        m_ctx.endProcess();
}

void Station::clearIncident()
{
    m_incident->close();
}

void Station::setAnnouncementOutput(AnnouncementOutput* output)
{
    delete m_announcements;
    m_config->hold(false);
    m_announcements = new AnnouncementQueue(m_ctx, *output, this);
    holdDuringAnnouncements();
    m_core->setAnnouncements(m_announcements);
}
