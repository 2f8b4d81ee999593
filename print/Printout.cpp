#include "print/Printout.h"

#include "alarm/AlarmCore.h"
#include "common/AppContext.h"
#include "common/Log.h"
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

std::optional<QPointF> readCoordinates(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    bool latOk = false, lngOk = false;
    const double lat = parts.value(0).toDouble(&latOk);
    const double lng = parts.value(1).toDouble(&lngOk);
    if (parts.size() != 2 || !latOk || !lngOk)
        return std::nullopt;
    return QPointF(lng, lat);
}

struct Job {
    PrintPageContent content;
    QString folder;
    QString fileName;
    QString printer;
    int copies = 0;
    QStringList warnings;
    quint64 sequence = 0;
};

// On the worker thread: the PDF, its copy and the job. Each fault is one warning.
PrintResult run(const Job& job)
{
    PrintResult result;
    result.copies = job.copies;
    result.warnings = job.warnings;
    result.alarmTime = job.content.alarmTime;
    result.alarmSequence = job.sequence;
    const auto warn = [&result](const QString& text) {
        qCWarning(lcPrint).noquote() << text;
        result.warnings << text;
    };
    const QByteArray pdf = PrintPage::render(job.content);
    const QString what = job.content.title + QLatin1Char(' ') + job.content.keyword;
    if (const std::optional<QString> path = PrintArchive::store(job.folder, job.fileName, pdf))
        result.pdfPath = *path;
    else
        warn(QStringLiteral("%1: the PDF copy could not be written to %2").arg(what, job.folder));
    if (job.copies <= 0)
        return result;
    const CupsQueue::Submission sent = CupsQueue::submit(job.printer, what, pdf, job.copies);
    result.queue = sent.queue;
    result.jobId = sent.jobId;
    if (sent.jobId <= 0) {
        warn(QStringLiteral("%1 not printed on %2: %3")
                 .arg(what, sent.queue.isEmpty() ? QStringLiteral("the default printer") : sent.queue, sent.failure));
    } else if (!sent.notice.isEmpty()) {
        warn(QStringLiteral("%1: CUPS job %2 on %3, but %4").arg(what).arg(sent.jobId).arg(sent.queue, sent.notice));
    } else {
        qCInfo(lcPrint).noquote() << QStringLiteral("%1: CUPS job %2 on %3, %4 copies")
                                         .arg(what)
                                         .arg(sent.jobId)
                                         .arg(sent.queue)
                                         .arg(job.copies);
    }
    return result;
}

} // namespace

Printout::Printout(AppContext& ctx, QObject* parent)
    : QObject(parent)
    , m_ctx(ctx)
    , m_maps(new PrintMaps(ctx, {}, this))
{
    // One printout after the other, in the order of the alarms.
    m_pool.setMaxThreadCount(1);
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, &Printout::finishWaiting);
    m_daily.setInterval(std::chrono::hours(24));
    connect(&m_daily, &QTimer::timeout, this, &Printout::pruneArchive);
    connect(m_maps, &PrintMaps::gathered, this, [this] {
        // Only the maps of the alarm's own position count.
        if (m_waiting && m_alarm && m_alarm->placed) {
            m_waiting->mapsIn = true;
            checkWaiting();
        }
    });
}

Printout::~Printout()
{
    m_pool.waitForDone();
}

void Printout::setMapConfig(std::function<MapConfig()> source)
{
    m_maps->configSource = std::move(source);
}

void Printout::watch(AlarmCore& core)
{
    connect(&core, &AlarmCore::stationAlarmAnnounced, this, &Printout::onStationAlarm);
    connect(&core, &AlarmCore::unitAlarmAnnounced, this, &Printout::onUnitAlarm);
    pruneArchive();
    m_daily.start();
}

void Printout::onStationAlarm(const StationAlarmPlan& plan, bool replay)
{
    // The older alarm goes out at once with what it has.
    finishWaiting();
    m_settings = PrintSettings::read(m_ctx.DataFolder);
    m_alarm = Alarm {};
    m_alarm->fields = plan.fields;
    m_alarm->time = clock();
    m_alarm->sequence = replay ? 0 : ++m_liveAlarms;
    m_onScreen = true;
    if (!m_settings)
        return;
    if (!replay && m_settings->copies > 0) {
        m_waiting = Waiting {};
        m_waiting->copies = m_settings->copies;
        m_waiting->routeIn = !m_routeExpected;
        m_waiting->waterIn = !m_waterExpected;
        m_deadline.start(std::chrono::seconds(m_settings->waitSeconds));
    }
    if (plan.coordinates)
        incidentPlaced(readCoordinates(*plan.coordinates));
}

void Printout::incidentPlaced(std::optional<QPointF> position)
{
    if (!m_alarm || m_alarm->placed)
        return;
    m_alarm->placed = true;
    m_alarm->position = position;
    if (!position) {
        // Without a place there are no maps and no route to wait for.
        if (m_waiting)
            m_waiting->mapsIn = m_waiting->routeIn = m_waiting->waterIn = true;
        checkWaiting();
        return;
    }
    if (m_settings)
        m_maps->gather(*position); // gathered may follow at once
}

void Printout::routeFound(const Route& route)
{
    if (!m_alarm || !m_alarm->position)
        return;
    m_alarm->route = route;
    // The overview now shows the whole way; its tiles are gathered anew.
    if (m_settings) {
        if (m_waiting)
            m_waiting->mapsIn = false;
        m_maps->gather(*m_alarm->position, route.points);
    }
    routeFailed();
}

void Printout::routeFailed()
{
    if (m_waiting)
        m_waiting->routeIn = true;
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
    if (m_waiting && m_alarm && m_alarm->placed && m_waiting->mapsIn && m_waiting->routeIn && m_waiting->waterIn)
        finishWaiting();
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
    const std::optional<PrintSettings> settings = PrintSettings::read(m_ctx.DataFolder);
    if (!settings) {
        qCInfo(lcPrint) << "Nothing printed: the data folder has no" << PrintSettings::FileName;
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
    const std::optional<PrintSettings> settings = PrintSettings::read(m_ctx.DataFolder);
    if (!settings) {
        qCInfo(lcPrint) << "Nothing printed: the data folder has no" << PrintSettings::FileName;
        return;
    }
    // The page as it was printed then, where its copy is kept.
    if (!keptCopy.isEmpty() && QFileInfo(keptCopy).isFile()) {
        m_pool.start([this, path = keptCopy, printer = settings->printer] {
            PrintResult result;
            result.pdfPath = path;
            result.copies = 1;
            QFile file(path);
            const QByteArray pdf = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
            const CupsQueue::Submission sent = CupsQueue::submit(printer, QFileInfo(path).fileName(), pdf, 1);
            result.queue = sent.queue;
            result.jobId = sent.jobId;
            if (sent.jobId > 0)
                qCInfo(lcPrint).noquote() << path << "printed again: CUPS job" << sent.jobId << "on" << sent.queue;
            else
                qCWarning(lcPrint).noquote() << path << "not printed again:" << sent.failure;
            QMetaObject::invokeMethod(
                this, [this, result] { emit printed(result); }, Qt::QueuedConnection);
        });
        return;
    }
    Alarm alarm;
    alarm.fields = fields;
    alarm.time = received;
    const std::optional<StationAlarmPlan> plan = PlanStationAlarm(fields.join(QChar(9)), true, m_ctx);
    if (plan && plan->coordinates)
        alarm.position = readCoordinates(*plan->coordinates);
    send(alarm, *settings, 1, std::nullopt, QStringLiteral("Einsatzauftrag"));
}

void Printout::onUnitAlarm(const UnitAlarmPlan& plan)
{
    const std::optional<PrintSettings> settings = PrintSettings::read(m_ctx.DataFolder);
    if (!settings || !settings->unitAlarms || settings->copies <= 0 || plan.units.isEmpty())
        return;
    // The incident on screen with the units alarmed now.
    Alarm alarm = m_alarm.value_or(Alarm {});
    alarm.time = clock();
    alarm.sequence = 0;
    send(alarm, *settings, settings->copies, plan.units, QStringLiteral("Nachalarmierung"));
}

void Printout::send(const Alarm& alarm, const PrintSettings& settings, int copies,
    const std::optional<QStringList>& units, const QString& title)
{
    Job job;
    job.content = PrintPage::fromAlarm(alarm.fields, settings.informant, units);
    job.content.title = title;
    job.content.monitorName = m_ctx.MonitorName;
    job.content.alarmTime = alarm.time;
    job.content.printedTime = clock();
    job.content.version = version();
    job.content.paper = settings.paper == PrintSettings::Paper::A5 ? QPageSize::A5
        : settings.paper == PrintSettings::Paper::Letter           ? QPageSize::Letter
                                                                   : QPageSize::A4;
    job.content.position = alarm.position;
    if (alarm.route) {
        QStringList steps;
        for (const Route::Step& step : alarm.route->steps)
            steps << RouteText::step(step);
        job.content.rows.append({ QStringLiteral("Anfahrt"),
            RouteText::summary(*alarm.route, m_routeFactor).section(QLatin1Char(' '), 1) + QStringLiteral(": ")
                + steps.join(QStringLiteral(" \u2192 ")) });
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
    job.printer = settings.printer;
    job.copies = copies;
    job.sequence = alarm.sequence;
    m_pool.start([this, job] {
        const PrintResult result = run(job);
        QMetaObject::invokeMethod(
            this, [this, result] { emit printed(result); }, Qt::QueuedConnection);
    });
}

void Printout::pruneArchive()
{
    const std::optional<PrintSettings> settings = PrintSettings::read(m_ctx.DataFolder);
    if (!settings)
        return;
    const QString folder = m_ctx.dataFile(PrintArchive::FolderName);
    const int keepDays = settings->keepDays;
    const QDateTime now = clock();
    m_pool.start([folder, keepDays, now] {
        if (const int deleted = PrintArchive::prune(folder, keepDays, now))
            qCInfo(lcPrint) << deleted << "printouts older than" << keepDays << "days deleted";
    });
}
