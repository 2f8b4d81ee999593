#include "history/HistoryRecorder.h"

#include "alarm/AlarmCore.h"
#include "alarm/AlarmPlan.h"
#include "alarm/AlarmRows.h"
#include "alarm/Incident.h"
#include "alarm/LastAlarmStore.h"
#include "common/Log.h"
#include "history/HistoryStore.h"

#include <QFileInfo>
#include <QTimer>

namespace {

constexpr int kRetentionIntervalMs = 24 * 60 * 60 * 1000;
// More holders than a station's pagers come from a broken feed: the oldest are forgotten.
constexpr int kMostPagerHolders = 2000;

} // namespace

// Lives on the recorder's thread and owns the store's connection there.
class HistoryWorker : public QObject {
    Q_OBJECT

public:
    HistoryWorker(QString path, QString lastAlarmPath, HistorySettings settings)
        : m_store(std::move(path))
        , m_lastAlarmPath(std::move(lastAlarmPath))
        , m_settings(settings)
    {
    }

    std::function<QDateTime()> clock;

    void start()
    {
        const bool open = ensureOpen();
        if (open && m_store.isNew())
            takeOverLastAlarm();
        if (open)
            retention();
        auto* daily = new QTimer(this);
        connect(daily, &QTimer::timeout, this, &HistoryWorker::retention);
        daily->start(kRetentionIntervalMs);
        emit started(open);
    }

    void store(const HistoryEntry& entry)
    {
        const bool station = entry.kind == HistoryEntry::Kind::Station;
        if (station)
            m_latest.reset(); // whatever follows belongs to this alarm, or to none
        if (!ensureOpen())
            return;
        const std::optional<QList<qint64>> ids = m_store.store({ entry });
        if (!ids)
            return warn(QStringLiteral("Alarm could not be kept in the history"));
        if (station)
            m_latest = { ids->first(), entry.received };
        qCInfo(lcHistory).noquote() << (station ? "Station alarm" : "Unit alarm") << "kept in the history as"
                                    << ids->first();
        emit written();
    }

    void place(QPointF position)
    {
        if (m_latest && ensureOpen())
            done(m_store.place(m_latest->first, position), QStringLiteral("Incident position"));
    }

    void route(double meters, double seconds)
    {
        if (m_latest && ensureOpen())
            done(m_store.route(m_latest->first, meters, seconds), QStringLiteral("Route"));
    }

    void answer(const QDateTime& at, const QString& pagerId, const QString& name, const QString& word)
    {
        if (!m_latest || m_latest->second.secsTo(at) > HistoryStore::kAnswerWindowSecs
            || m_latest->second.secsTo(at) < 0 || !ensureOpen())
            return;
        done(m_store.answer(m_latest->first, at, pagerId, name, word), QStringLiteral("Pager feedback"));
    }

    void retention()
    {
        if (!ensureOpen())
            return;
        const std::optional<std::pair<int, int>> counts = m_store.applyRetention(m_settings, clock());
        if (counts && (counts->first > 0 || counts->second > 0))
            qCInfo(lcHistory) << "Personal fields of" << counts->first << "alarms cleared," << counts->second
                              << "alarms deleted from the history";
        if (!counts)
            warn(QStringLiteral("The history's retention failed"));
    }

signals:
    void written();
    void failed(const QString& reason);
    void started(bool open);

private:
    bool ensureOpen()
    {
        if (m_store.isOpen())
            return true;
        if (!m_store.open()) {
            warn(QStringLiteral("History could not be opened"));
            return false;
        }
        if (!m_store.setAside().isEmpty())
            qCWarning(lcHistory).noquote() << "History was damaged or no database; set aside as" << m_store.setAside()
                                           << "and started anew" << m_store.lastError();
        // Feedback after a restart still belongs to the alarm before it; after a failed alarm, to none.
        if (!std::exchange(m_knowsLatest, true))
            m_latest = m_store.latestStationAlarm();
        return true;
    }

    void takeOverLastAlarm()
    {
        const std::optional<QString> message = LastAlarmStore::read(m_lastAlarmPath);
        if (!message)
            return;
        const HistoryEntry entry { HistoryEntry::Kind::Station, QFileInfo(m_lastAlarmPath).lastModified(),
            message->split(QChar(9)) };
        if (!m_store.store({ entry }))
            return warn(QStringLiteral("last.dat could not be taken into the history"));
        qCInfo(lcHistory) << "The alarm of last.dat taken into the new history";
    }

    void done(bool ok, const QString& what)
    {
        if (!ok)
            return warn(what + QStringLiteral(" could not be kept in the history"));
        emit written();
    }

    void warn(const QString& what)
    {
        const QString reason = what + QStringLiteral(": ") + m_store.lastError();
        qCWarning(lcHistory).noquote() << reason;
        emit failed(reason);
    }

    HistoryStore m_store;
    QString m_lastAlarmPath;
    HistorySettings m_settings;
    std::optional<std::pair<qint64, QDateTime>> m_latest;
    bool m_knowsLatest = false;
};

HistoryRecorder::HistoryRecorder(QString path, QString lastAlarmPath, HistorySettings settings, QObject* parent)
    : QObject(parent)
    , m_worker(new HistoryWorker(std::move(path), std::move(lastAlarmPath), settings))
{
    m_thread.setObjectName(QStringLiteral("history"));
    m_worker->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    connect(m_worker, &HistoryWorker::written, this, &HistoryRecorder::written);
    connect(m_worker, &HistoryWorker::failed, this, &HistoryRecorder::failed);
    connect(m_worker, &HistoryWorker::started, this, &HistoryRecorder::started);
}

HistoryRecorder::~HistoryRecorder()
{
    if (m_thread.isRunning()) {
        m_thread.quit();
        m_thread.wait();
    } else {
        delete m_worker;
    }
}

void HistoryRecorder::start()
{
    m_worker->clock = clock;
    m_thread.start();
    QMetaObject::invokeMethod(m_worker, &HistoryWorker::start, Qt::QueuedConnection);
}

void HistoryRecorder::watch(AlarmCore& core)
{
    connect(&core, &AlarmCore::stationAlarmAnnounced, this, &HistoryRecorder::recordStationAlarm);
    connect(&core, &AlarmCore::unitAlarmAnnounced, this, &HistoryRecorder::recordUnitAlarm);
    connect(&core, &AlarmCore::pagerMessage, this, &HistoryRecorder::recordPagerRow);
    connect(&core, &AlarmCore::feedbackMessage, this, &HistoryRecorder::recordFeedback);
}

void HistoryRecorder::follow(Incident& incident)
{
    // The replay of last.dat is no new alarm: neither its place nor its way is news. An alarm with
    // coordinates keeps them from its fields.
    const auto live = [&incident] { return !incident.isReplay() && incident.plan(); };
    connect(&incident, &Incident::placed, this, [this, &incident, live](const std::optional<QPointF>& position) {
        if (live() && !incident.plan()->coordinates && position)
            QMetaObject::invokeMethod(
                m_worker, [w = m_worker, p = *position] { w->place(p); }, Qt::QueuedConnection);
    });
    connect(&incident, &Incident::routed, this, [this, live](const std::optional<Route>& route) {
        if (live() && route)
            QMetaObject::invokeMethod(
                m_worker, [w = m_worker, m = route->meters, s = route->seconds] { w->route(m, s); },
                Qt::QueuedConnection);
    });
}

void HistoryRecorder::recordStationAlarm(const StationAlarmPlan& plan, bool replay)
{
    if (replay)
        return;
    HistoryEntry entry { HistoryEntry::Kind::Station, clock(), plan.fields };
    QMetaObject::invokeMethod(
        m_worker, [w = m_worker, entry] { w->store(entry); }, Qt::QueuedConnection);
}

void HistoryRecorder::recordUnitAlarm(const UnitAlarmPlan& plan)
{
    QString units;
    for (const QString& unit : plan.units)
        units += unit + QChar(7);
    HistoryEntry entry { HistoryEntry::Kind::Unit, clock(), { QStringLiteral("WACHALARM_EM"), units } };
    QMetaObject::invokeMethod(
        m_worker, [w = m_worker, entry] { w->store(entry); }, Qt::QueuedConnection);
}

void HistoryRecorder::recordPagerRow(const QString& message)
{
    if (const auto row = AlarmRows::pagerRow(message)) {
        if (m_pagerHolders.size() >= kMostPagerHolders)
            m_pagerHolders.clear();
        m_pagerHolders.insert((*row)[AlarmRows::kPagerIdColumn], (*row)[0]);
    }
}

void HistoryRecorder::recordFeedback(const QString& message)
{
    const std::optional<AlarmRows::Feedback> feedback = AlarmRows::feedback(message);
    if (!feedback)
        return;
    QMetaObject::invokeMethod(
        m_worker,
        [w = m_worker, at = clock(), id = feedback->pagerId, name = m_pagerHolders.value(feedback->pagerId),
            word = feedback->word] { w->answer(at, id, name, word); },
        Qt::QueuedConnection);
}

void HistoryRecorder::runRetention()
{
    QMetaObject::invokeMethod(m_worker, &HistoryWorker::retention, Qt::QueuedConnection);
}

#include "HistoryRecorder.moc"
