#include "print/Printout.h"

#include "alarm/AlarmCore.h"
#include "alarm/Incident.h"
#include "alarm/StationAlarm.h"
#include "common/AppContext.h"
#include "common/GeoPoint.h"
#include "common/HandOver.h"
#include "common/Log.h"
#include "config/StationSettings.h"
#include "print/CupsQueue.h"
#include "print/PrintArchive.h"
#include "print/PrintMaps.h"
#include "print/PrintPage.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>

#include <chrono>

namespace {

QString version()
{
    return QStringLiteral("%1.%2.%3")
        .arg(KESSVENN_VERSION_MAJOR)
        .arg(KESSVENN_VERSION_MINOR)
        .arg(KESSVENN_VERSION_PATCH);
}

struct Place {
    QPointF position;
    int decimals = 0;
};

// The alarm's coordinate text, and the decimals its fields 16 and 17 were sent with.
std::optional<Place> readCoordinates(const QString& text, const QStringList& fields)
{
    const std::optional<GeoPoint> point = GeoPoint::parse(text);
    if (!point)
        return std::nullopt;
    int decimals = 0;
    for (int i : { 16, 17 }) {
        const QString sent = fields.value(i).trimmed();
        const qsizetype separator = std::max(sent.indexOf(QLatin1Char(',')), sent.indexOf(QLatin1Char('.')));
        if (separator >= 0)
            decimals = std::max(decimals, int(sent.size() - separator - 1));
    }
    return Place { point->toPointF(), std::clamp(decimals, 0, 6) };
}

struct Job {
    PrintPageContent content;
    QString folder;
    QString fileName;
    QStringList warnings;
    quint64 sequence = 0;
};

// On the worker thread: the PDF and its copy. A copy that cannot be written is one warning.
std::pair<PrintResult, QByteArray> render(const Job& job)
{
    PrintResult result;
    result.warnings = job.warnings;
    result.alarmTime = job.content.alarmTime;
    result.alarmSequence = job.sequence;
    const QByteArray pdf = PrintPage::render(job.content);
    if (const std::optional<QString> path = PrintArchive::store(job.folder, job.fileName, pdf)) {
        result.pdfPath = *path;
    } else {
        const QString text = QStringLiteral("%1 %2: the PDF copy could not be written to %3")
                                 .arg(job.content.title, job.content.keyword, job.folder);
        qCWarning(lcPrint).noquote() << text;
        result.warnings << text;
    }
    return { result, pdf };
}

} // namespace

Printout::Printout(AppContext& ctx, const StationSettings& settings, QObject* parent)
    : QObject(parent)
    , m_ctx(ctx)
    , m_stationSettings(settings)
    , m_maps(new PrintMaps(ctx, settings, {}, this))
{
    // One printout after the other, in the order of the alarms.
    m_pool.setMaxThreadCount(1);
    m_cups.setMaxThreadCount(1);
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, &Printout::finishWaiting);
    m_daily.setInterval(std::chrono::hours(24));
    connect(&m_daily, &QTimer::timeout, this, &Printout::pruneArchive);
    // The window learns its data folder only when it loads, after it has wired the printout: the
    // first prune waits for the folder.
    connect(&m_firstPrune, &QTimer::timeout, this, [this] {
        if (m_ctx.DataFolder.isEmpty()) {
            m_firstPrune.setInterval(std::chrono::seconds(1));
            return;
        }
        m_firstPrune.stop();
        pruneArchive();
    });
    connect(m_maps, &PrintMaps::gathered, this, [this] {
        // Only the maps of the alarm's own position count.
        if (m_waiting && m_alarm && placed()) {
            m_waiting->mapsIn = true;
            checkWaiting();
        }
    });
}

Printout::~Printout()
{
    // A job CUPS is taking is given up; the rest would only wait.
    m_ending->store(true);
    m_pool.waitForDone();
    m_cups.waitForDone();
}

void Printout::setMapConfig(std::function<MapConfig()> source)
{
    m_maps->configSource = std::move(source);
}

void Printout::watch(AlarmCore& core)
{
    connect(&core, &AlarmCore::stationAlarmAnnounced, this, &Printout::onStationAlarm);
    connect(&core, &AlarmCore::unitAlarmAnnounced, this, &Printout::onUnitAlarm);
    // Before a unit alarm takes a test alarm off the screen, which would send its page.
    connect(&core, &AlarmCore::unitAlarm, this, [this](const UnitAlarmPlan& plan) {
        if (!plan.units.isEmpty())
            dropWaitingTest();
    });
    connect(&core, &AlarmCore::stationAlarmMerged, this, &Printout::onStationAlarmMerged);
    m_firstPrune.start(0);
    m_daily.start();
}

void Printout::follow(Incident& incident)
{
    m_incident = &incident;
    connect(&incident, &Incident::placed, this, &Printout::onPlaced);
    connect(&incident, &Incident::routed, this, &Printout::onRouted);
    connect(&incident, &Incident::closed, this, [this] {
        // Ctrl+P has nothing to print until the next alarm; the automatic printout goes out now.
        m_onScreen = false;
        finishWaiting();
    });
}

bool Printout::placed() const
{
    return !m_incident || m_incident->isPlaced();
}

void Printout::onStationAlarm(const StationAlarmPlan& plan, bool replay)
{
    // The older alarm goes out at once with what it has; a test's page is dropped for a real alarm.
    if (plan.source != AlarmSource::Test)
        dropWaitingTest();
    finishWaiting();
    m_settings = m_current;
    m_alarm = Alarm {};
    m_alarm->fields = plan.fields;
    m_alarm->time = clock();
    m_alarm->sequence = replay ? 0 : ++m_liveAlarms;
    m_onScreen = true;
    if (!m_settings)
        return;
    // A test alarm goes on paper only when print.ini asks for test pages.
    if (!replay && m_settings->copies > 0 && (plan.source != AlarmSource::Test || m_settings->testPages)) {
        m_waiting = Waiting {};
        m_waiting->copies = m_settings->copies;
        m_waiting->waterIn = !m_waterExpected;
        // A radio alarm's page waits for its dispatch data too, as for its place.
        m_waiting->dataIn = plan.source != AlarmSource::Radio;
        m_deadline.start(std::chrono::seconds(m_settings->waitSeconds));
    }
    // A position the alarm carried is printed with the decimals it came with.
    if (plan.coordinates) {
        if (const std::optional<Place> place = readCoordinates(*plan.coordinates, plan.fields))
            m_alarm->decimals = place->decimals;
    }
    // The incident's place is told after the announcement has started; without an incident there
    // is none to wait for.
    if (!m_incident)
        onPlaced(std::nullopt);
}

void Printout::onStationAlarmMerged(const StationAlarmPlan& plan, quint64 sequence)
{
    // What a later copy filled in goes on a page that is not yet printed, and on Ctrl+P's; a page
    // that went out stays as it was.
    if (!m_alarm || m_alarm->sequence != sequence || sequence == 0)
        return;
    m_alarm->fields = plan.fields;
    if (plan.coordinates && !m_alarm->position) {
        if (const std::optional<Place> place = readCoordinates(*plan.coordinates, plan.fields))
            m_alarm->decimals = place->decimals;
    }
    if (m_waiting) {
        m_waiting->dataIn = true;
        checkWaiting();
    }
}

void Printout::onPlaced(const std::optional<QPointF>& position)
{
    if (!m_alarm)
        return;
    m_alarm->position = position;
    if (!position) {
        // Without a place there are no maps and no route to wait for.
        if (m_waiting)
            m_waiting->mapsIn = m_waiting->waterIn = true;
        checkWaiting();
        return;
    }
    // A place found after none (a later copy brought the address) has its maps and water to come.
    if (m_waiting) {
        m_waiting->mapsIn = false;
        m_waiting->waterIn = !m_waterExpected;
    }
    if (m_settings)
        m_maps->gather(*position); // gathered may follow at once
}

void Printout::onRouted(const std::optional<Route>& route)
{
    if (!m_alarm || !m_alarm->position)
        return;
    if (route) {
        m_alarm->route = route;
        // The overview now shows the whole way; its tiles are gathered anew.
        if (m_settings) {
            if (m_waiting)
                m_waiting->mapsIn = false;
            m_maps->gather(*m_alarm->position, route->points);
        }
    }
    checkWaiting();
}

void Printout::waterFound(const WaterNearby& nearby)
{
    // Only the sources around the alarm's own position count.
    if (!m_alarm || !m_alarm->position || *m_alarm->position != nearby.incident)
        return;
    m_alarm->water = nearby;
    if (m_waiting)
        m_waiting->waterIn = true;
    checkWaiting();
}

void Printout::checkWaiting()
{
    if (m_waiting && m_alarm && placed() && m_waiting->mapsIn && m_waiting->waterIn && m_waiting->dataIn
        && !(m_incident && m_incident->awaitsRoute()))
        finishWaiting();
}

void Printout::dropWaitingTest()
{
    if (!m_waiting || !m_alarm || !StationAlarm::isTest(m_alarm->fields))
        return;
    qCInfo(lcPrint) << "The test alarm's printout dropped for a real alarm";
    m_waiting.reset();
    m_deadline.stop();
}

void Printout::finishWaiting()
{
    if (!m_waiting || !m_alarm || !m_settings)
        return;
    const int copies = m_waiting->copies;
    m_waiting.reset();
    m_deadline.stop();
    send(*m_alarm, *m_settings, copies, std::nullopt, QStringLiteral("Einsatzauftrag"));
}

void Printout::printNow()
{
    const std::optional<PrintSettings>& settings = m_current;
    if (!settings) {
        qCInfo(lcPrint) << "Nothing printed: no readable" << PrintSettings::FileName << "in the data folder";
        return;
    }
    if (!m_alarm || !m_onScreen) {
        qCInfo(lcPrint) << "Nothing printed: no alarm on screen";
        return;
    }
    send(*m_alarm, *settings, 1, std::nullopt, QStringLiteral("Einsatzauftrag"));
}

void Printout::printAgain(const QStringList& fields, const QDateTime& received, const QString& keptCopy)
{
    const std::optional<PrintSettings>& settings = m_current;
    if (!settings) {
        qCInfo(lcPrint) << "Nothing printed: the data folder has no" << PrintSettings::FileName;
        return;
    }
    // The page as it was printed then, where its copy is kept.
    if (!keptCopy.isEmpty() && QFileInfo(keptCopy).isFile()) {
        Sending again;
        again.what = QFileInfo(keptCopy).fileName();
        again.printer = settings->printer;
        again.copies = 1;
        again.again = true;
        again.result.pdfPath = keptCopy;
        again.result.copies = 1;
        queueSending(again);
        return;
    }
    Alarm alarm;
    alarm.fields = fields;
    alarm.time = received;
    const std::optional<StationAlarmPlan> plan
        = PlanStationAlarm(fields.join(QChar(9)), true, m_ctx, m_stationSettings);
    if (plan && plan->coordinates) {
        if (const std::optional<Place> place = readCoordinates(*plan->coordinates, fields)) {
            alarm.position = place->position;
            alarm.decimals = place->decimals;
        }
    }
    send(alarm, *settings, 1, std::nullopt, QStringLiteral("Einsatzauftrag"));
}

void Printout::onUnitAlarm(const UnitAlarmPlan& plan)
{
    const std::optional<PrintSettings>& settings = m_current;
    if (!settings || !settings->unitAlarms || settings->copies <= 0 || plan.units.isEmpty())
        return;
    // The incident on screen with the units alarmed now; never a test's.
    Alarm alarm = m_alarm && !StationAlarm::isTest(m_alarm->fields) ? *m_alarm : Alarm {};
    alarm.time = clock();
    alarm.sequence = 0;
    send(alarm, *settings, settings->copies, plan.units, QStringLiteral("Nachalarmierung"));
}

void Printout::send(const Alarm& alarm, const PrintSettings& settings, int copies,
    const std::optional<QStringList>& units, const QString& title)
{
    Job job;
    job.content = PrintPage::fromAlarm(
        alarm.fields, settings.printsInformant(m_hallView), settings.printsRemark(m_hallView), units);
    // A test alarm's paper says so wherever it is printed from.
    job.content.title = StationAlarm::isTest(alarm.fields) ? QStringLiteral("Probealarm – kein Einsatz") : title;
    job.content.monitorName = m_ctx.MonitorName;
    job.content.alarmTime = alarm.time;
    job.content.printedTime = clock();
    job.content.version = version();
    job.content.paper = settings.paper == PrintSettings::Paper::A5 ? QPageSize::A5
        : settings.paper == PrintSettings::Paper::Letter           ? QPageSize::Letter
                                                                   : QPageSize::A4;
    job.content.position = alarm.position;
    job.content.decimals = alarm.decimals;
    if (alarm.route) {
        QStringList steps;
        for (const Route::Step& step : alarm.route->steps)
            steps << RouteText::step(step);
        job.content.rows.append({ QStringLiteral("Anfahrt"),
            RouteText::summary(*alarm.route, m_incident ? m_incident->routeFactor() : 1.0).section(QLatin1Char(' '), 1)
                + QStringLiteral(": ") + steps.join(QStringLiteral(" \u2192 ")) });
    }
    if (alarm.position) {
        const QList<QPointF> route = alarm.route ? alarm.route->points : QList<QPointF>();
        const QList<WaterFound> water = alarm.water ? alarm.water->sources : QList<WaterFound>();
        const PrintMaps::Maps maps = m_maps->compose(*alarm.position, route, water);
        if (alarm.water)
            job.content.water = alarm.water->line();
        job.content.overview = maps.overview;
        job.content.detail = maps.detail;
        if (maps.missing > 0) {
            const QString text = QStringLiteral("%1 %2: the maps lack %3 of %4 parts; printed with what had arrived")
                                     .arg(title, job.content.keyword)
                                     .arg(maps.missing)
                                     .arg(maps.wanted);
            qCWarning(lcPrint).noquote() << text;
            job.warnings << text;
        }
    }
    job.folder = m_ctx.dataFile(PrintArchive::FolderName);
    job.fileName = PrintArchive::fileName(alarm.time, job.content.keyword);
    job.sequence = alarm.sequence;
    Sending sending;
    sending.what = title + QLatin1Char(' ') + job.content.keyword;
    sending.alarmTime = alarm.time;
    sending.printer = settings.printer;
    sending.copies = copies;
    HandOver::start(m_pool, [this, job, sending]() mutable {
        std::tie(sending.result, sending.pdf) = render(job);
        sending.result.copies = sending.copies;
        HandOver::post(this, [this, sending] { queueSending(sending); });
    });
}

void Printout::queueSending(Sending sending)
{
    if (sending.copies <= 0) {
        emit printed(sending.result);
        return;
    }
    sending.timeLimit = cupsTimeLimit;
    m_toSend.push_back(std::move(sending));
    if (m_toSend.size() > size_t(kMostWaiting)) {
        // The printer is behind: the oldest waiting page makes room for the newer alarm's.
        Sending dropped = std::move(m_toSend.front());
        m_toSend.pop_front();
        const QString text
            = QStringLiteral("%1 of the alarm at %2 not printed: %3 newer printouts wait for the printer")
                  .arg(dropped.what, dropped.alarmTime.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")))
                  .arg(kMostWaiting);
        qCWarning(lcPrint).noquote() << text;
        dropped.result.warnings << text;
        emit printed(dropped.result);
    }
    sendNext();
}

void Printout::sendNext()
{
    if (m_sending || m_toSend.empty())
        return;
    m_sending = true;
    Sending sending = std::move(m_toSend.front());
    m_toSend.pop_front();
    HandOver::start(m_cups, [this, sending = std::move(sending), ending = m_ending]() mutable {
        PrintResult& result = sending.result;
        const auto warn = [&result](const QString& text) {
            qCWarning(lcPrint).noquote() << text;
            result.warnings << text;
        };
        if (sending.pdf.isEmpty()) {
            QFile file(result.pdfPath);
            if (file.open(QIODevice::ReadOnly))
                sending.pdf = file.readAll();
        }
        const CupsQueue::Submission sent = CupsQueue::submit(
            sending.printer, sending.what, sending.pdf, sending.copies, sending.timeLimit, ending.get());
        result.queue = sent.queue;
        result.jobId = sent.jobId;
        const QString queue = sent.queue.isEmpty() ? QStringLiteral("the default printer") : sent.queue;
        if (sending.again && sent.jobId > 0)
            qCInfo(lcPrint).noquote() << result.pdfPath << "printed again: CUPS job" << sent.jobId << "on" << queue;
        else if (sending.again)
            warn(QStringLiteral("%1 not printed again: %2").arg(result.pdfPath, sent.failure));
        else if (sent.jobId <= 0)
            warn(QStringLiteral("%1 not printed on %2: %3").arg(sending.what, queue, sent.failure));
        else if (!sent.notice.isEmpty())
            warn(QStringLiteral("%1: CUPS job %2 on %3, but %4")
                     .arg(sending.what)
                     .arg(sent.jobId)
                     .arg(queue, sent.notice));
        else
            qCInfo(lcPrint).noquote() << QStringLiteral("%1: CUPS job %2 on %3, %4 copies")
                                             .arg(sending.what)
                                             .arg(sent.jobId)
                                             .arg(queue)
                                             .arg(sending.copies);
        HandOver::post(this, [this, result] {
            m_sending = false;
            emit printed(result);
            sendNext();
        });
    });
}

void Printout::pruneArchive()
{
    const std::optional<PrintSettings>& settings = m_current;
    if (!settings)
        return;
    const QString folder = m_ctx.dataFile(PrintArchive::FolderName);
    const int keepDays = settings->keepDays;
    const QDateTime now = clock();
    HandOver::start(m_pool, [folder, keepDays, now] {
        if (const int deleted = PrintArchive::prune(folder, keepDays, now))
            qCInfo(lcPrint) << deleted << "printouts older than" << keepDays << "days deleted";
    });
}
