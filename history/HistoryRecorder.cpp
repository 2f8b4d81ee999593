#include "history/HistoryRecorder.h"

#include "alarm/AlarmCore.h"
#include "alarm/AlarmPlan.h"
#include "alarm/AlarmRows.h"
#include "alarm/Incident.h"
#include "alarm/LastAlarmStore.h"
#include "common/HandOver.h"
#include "common/Log.h"
#include "common/NumberText.h"
#include "crew/CrewWatch.h"
#include "history/HistoryStore.h"
#include "paths/AlarmCopies.h"
#include "print/Printout.h"

#include <QFileInfo>
#include <QSemaphore>
#include <QTimer>

#include <deque>
#include <memory>

namespace {

constexpr int kRetentionIntervalMs = 24 * 60 * 60 * 1000;
// More holders than a station's pagers come from a broken feed: the oldest are forgotten.
constexpr int kMostPagerHolders = 2000;
// What could not be written waits in memory, in order, up to this many writes; beyond, the oldest
// is left out with a warning.
constexpr std::size_t kMostWaiting = 20000;
// What waits is tried again this often while the file fails.
constexpr int kRetryMs = 5000;
// Feedback, positions and routes are gathered this long into one transaction.
constexpr int kGatherMs = 100;
// The ids of this many of the latest station alarms are known, for what arrives after them.
constexpr qint64 kKnownAlarms = 64;
// The arrival number of the newest station alarm of the file as it was opened.
constexpr qint64 kStoredLatest = -1;
// The printout and the history note an alarm's time each on its own, within this of each other.
constexpr qint64 kSameAlarmMs = 10000;

// One write for the history, kept until it is in the file.
struct Write {
    enum class What { Alarm, Place, Route, Answer, Printout, Water, Strength, Copies };
    What what = What::Alarm;
    // The station alarm it belongs to, by its number of arrival (the alarm's own for an alarm).
    qint64 alarm = 0;
    HistoryEntry entry;
    QPointF position;
    double meters = 0, seconds = 0;
    QDateTime at;
    QString pagerId, name, fileName, water, strength, counts;
    int code = 0;
    QStringList fields; // merged from an alarm's copies; empty: the paths alone

    static Write of(What what, qint64 alarm)
    {
        Write w;
        w.what = what;
        w.alarm = alarm;
        return w;
    }

    [[nodiscard]] QString text() const
    {
        static const char* const names[] = { "Alarm", "Incident position", "Route", "Pager feedback",
            "Printout's file name", "Water sources", "Strength", "Alarm's copies" };
        return QString::fromLatin1(names[int(what)]);
    }
};

} // namespace

// Lives on the recorder's thread and owns the store's connection there. Every write waits in a
// queue, in the order it came, until it is in the file: a write that fails (a locked, full,
// read-only, damaged or replaced file) stays there and is tried again with the next one and on a
// timer, the file opened anew. The queue is written in two transactions: the alarms first, then
// everything else, so that a flood of feedback never holds an alarm's row.
class HistoryWorker : public QObject {
    Q_OBJECT

public:
    HistoryWorker(QString path, HistorySettings settings)
        : m_store(std::move(path))
        , m_settings(settings)
        , m_retry(new QTimer(this))
        , m_gather(new QTimer(this))
    {
        for (QTimer* timer : { m_retry, m_gather }) {
            timer->setSingleShot(true);
            connect(timer, &QTimer::timeout, this, &HistoryWorker::flush);
        }
    }

    // At the end, what waits is written once more.
    ~HistoryWorker() override
    {
        if (!m_waiting.empty())
            flush();
    }

    std::function<QDateTime()> clock;

    // lastAlarm: last.dat as it was before this run's first live alarm, if there was one.
    void start(const std::optional<HistoryEntry>& lastAlarm)
    {
        const bool open = ensureOpen();
        if (open && m_store.isNew() && lastAlarm)
            takeOverLastAlarm(*lastAlarm);
        if (open)
            retention();
        auto* daily = new QTimer(this);
        connect(daily, &QTimer::timeout, this, &HistoryWorker::retention);
        daily->start(kRetentionIntervalMs);
        emit started(open);
    }

    void store(const HistoryEntry& entry, qint64 arrival)
    {
        Write w = Write::of(Write::What::Alarm, arrival);
        w.entry = entry;
        if (entry.kind == HistoryEntry::Kind::Station) // whatever follows belongs to this alarm, or to none
            m_latest = { arrival, entry.received };
        enqueue(std::move(w));
    }

    void place(QPointF position)
    {
        if (m_latest) {
            Write w = Write::of(Write::What::Place, m_latest->first);
            w.position = position;
            enqueue(std::move(w));
        }
    }

    void water(const QString& line)
    {
        if (m_latest) {
            Write w = Write::of(Write::What::Water, m_latest->first);
            w.water = line;
            enqueue(std::move(w));
        }
    }

    void strength(const QString& strength, const QString& counts)
    {
        if (m_latest) {
            Write w = Write::of(Write::What::Strength, m_latest->first);
            w.strength = strength;
            w.counts = counts;
            enqueue(std::move(w));
        }
    }

    void route(double meters, double seconds)
    {
        if (m_latest) {
            Write w = Write::of(Write::What::Route, m_latest->first);
            w.meters = meters;
            w.seconds = seconds;
            enqueue(std::move(w));
        }
    }

    void answer(const QDateTime& at, const QString& pagerId, const QString& name, int code)
    {
        if (!m_latest || m_latest->second.secsTo(at) > HistoryStore::kAnswerWindowSecs
            || m_latest->second.secsTo(at) < 0)
            return;
        Write w = Write::of(Write::What::Answer, m_latest->first);
        w.at = at;
        w.pagerId = pagerId;
        w.name = name;
        w.code = code;
        enqueue(std::move(w));
    }

    void printout(qint64 arrival, const QString& fileName)
    {
        Write w = Write::of(Write::What::Printout, arrival);
        w.fileName = fileName;
        enqueue(std::move(w));
    }

    // What the copies of station alarm `arrival` brought; 0: an alarm of before a restart, known by
    // its time of receipt.
    void copies(qint64 arrival, const QDateTime& first, const QStringList& fields, const QString& paths)
    {
        Write w = Write::of(Write::What::Copies, arrival);
        w.at = first;
        w.fields = fields;
        w.name = paths;
        enqueue(std::move(w));
    }

    void setSettings(const HistorySettings& settings) { m_settings = settings; }

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

    // Writes what waits, the alarms first.
    void flush()
    {
        m_flushPosted = false;
        m_refused = false;
        m_retry->stop();
        m_gather->stop();
        std::deque<Write> batches[2];
        for (Write& w : m_waiting)
            batches[w.what == Write::What::Alarm ? 0 : 1].push_back(std::move(w));
        m_waiting.clear();
        for (std::deque<Write>& batch : batches) {
            while (!batch.empty()) {
                if (!ensureOpen() || !write(batch)) {
                    // Kept as they came, the alarms first, for the next try.
                    for (std::deque<Write>& rest : batches)
                        std::move(rest.begin(), rest.end(), std::back_inserter(m_waiting));
                    m_retry->start(kRetryMs);
                    return;
                }
            }
        }
        if (std::exchange(m_failing, false))
            qCInfo(lcHistory) << "The history is written again; nothing waits";
    }

signals:
    void written();
    void failed(const QString& reason);
    void started(bool open);

private:
    void enqueue(Write w)
    {
        if (m_waiting.size() >= kMostWaiting) {
            warn(m_waiting.front().text() + QStringLiteral(" left out of the history: too much waits unwritten"));
            m_waiting.pop_front();
        }
        const bool alarm = w.what == Write::What::Alarm;
        m_waiting.push_back(std::move(w));
        // An alarm is written at once; the rest is gathered for a moment into one transaction, and
        // while the file fails, waits for the next alarm or the retry.
        if (alarm && !std::exchange(m_flushPosted, true))
            QMetaObject::invokeMethod(this, &HistoryWorker::flush, Qt::QueuedConnection);
        else if (!alarm && !m_failing && !m_gather->isActive())
            m_gather->start(kGatherMs);
    }

    // Writes the batch in one transaction and empties it. What the file refuses for its content
    // is written alone, and left out when refused alone. False, the batch kept, when the file
    // failed.
    bool write(std::deque<Write>& batch)
    {
        if (m_store.replaced()) {
            qCWarning(lcHistory) << "The history's file was replaced or moved away; it is opened anew";
            m_store.close();
            m_ids.clear(); // ids of another file
            if (!ensureOpen())
                return false;
        }
        QHash<qint64, qint64> ids = m_ids;
        // The alarms of this transaction: station or unit, id.
        QList<std::pair<bool, qint64>> stored;
        const std::size_t count = batch.size() > 1 && !m_refused ? batch.size() : 1;
        const bool kept = m_store.transaction([&] {
            for (std::size_t i = 0; i < count; ++i) {
                if (!apply(batch[i], ids, stored))
                    return false;
            }
            return true;
        });
        if (!kept && m_store.lastFailurePasses()) {
            if (!std::exchange(m_failing, true))
                warn(batch.front().text() + QStringLiteral(" could not be kept in the history yet; it waits"));
            // A lock passes by itself; anything else may need the file opened anew.
            if (!m_store.lastFailureIsLock())
                m_store.close();
            return false;
        }
        if (!kept && count > 1) {
            m_refused = true; // one at a time from now on, for this batch
            return true;
        }
        if (!kept)
            warn(batch.front().text() + QStringLiteral(" refused by the history and left out"));
        m_refused = m_refused && batch.size() > 1;
        // Told once they are in the file for good.
        for (const auto& [station, id] : stored) {
            if (kept)
                qCInfo(lcHistory).noquote()
                    << (station ? "Station alarm" : "Unit alarm") << "kept in the history as" << id;
        }
        for (std::size_t i = 0; i < count; ++i) {
            if (kept)
                emit written();
            batch.pop_front();
        }
        m_ids = ids;
        for (auto it = m_ids.begin(); it != m_ids.end();)
            it = it.key() != kStoredLatest && it.key() < m_arrivalsKept - kKnownAlarms ? m_ids.erase(it) : ++it;
        return true;
    }

    bool apply(const Write& w, QHash<qint64, qint64>& ids, QList<std::pair<bool, qint64>>& alarms)
    {
        if (w.what == Write::What::Alarm) {
            const std::optional<QList<qint64>> stored = m_store.store({ w.entry });
            if (!stored)
                return false;
            if (w.entry.kind == HistoryEntry::Kind::Station) {
                ids.insert(w.alarm, stored->first());
                m_arrivalsKept = std::max(m_arrivalsKept, w.alarm);
            }
            alarms.append({ w.entry.kind == HistoryEntry::Kind::Station, stored->first() });
            return true;
        }
        if (w.what == Write::What::Copies && w.alarm == 0) {
            const std::optional<qint64> before = m_store.stationAlarmNear(w.at, kSameAlarmMs);
            return !before || copies(*before, w);
        }
        const auto id = ids.constFind(w.alarm);
        if (id == ids.constEnd())
            return true; // its alarm is not in this file
        switch (w.what) {
        case Write::What::Place:
            return m_store.place(*id, w.position);
        case Write::What::Route:
            return m_store.route(*id, w.meters, w.seconds);
        case Write::What::Answer:
            return m_store.answer(*id, w.at, w.pagerId, w.name, w.code);
        case Write::What::Printout:
            return m_store.printout(*id, w.fileName);
        case Write::What::Water:
            return m_store.water(*id, w.water);
        case Write::What::Strength:
            return m_store.strength(*id, w.strength, w.counts);
        case Write::What::Copies:
            return copies(*id, w);
        case Write::What::Alarm:
            break;
        }
        return true;
    }

    bool copies(qint64 id, const Write& w)
    {
        return (w.fields.isEmpty() || m_store.merge(id, w.fields)) && m_store.paths(id, w.name);
    }

    bool ensureOpen()
    {
        if (m_store.isOpen())
            return true;
        if (!m_store.open()) {
            if (!std::exchange(m_failing, true))
                warn(QStringLiteral("History could not be opened"));
            return false;
        }
        if (!m_store.setAside().isEmpty()) {
            qCWarning(lcHistory).noquote() << "History was damaged or no database; set aside as" << m_store.setAside()
                                           << "and started anew" << m_store.lastError();
            m_ids.clear();
        }
        // Feedback after a restart still belongs to the alarm before it.
        if (!std::exchange(m_knowsLatest, true) && !m_latest) {
            if (const auto latest = m_store.latestStationAlarm()) {
                m_latest = { kStoredLatest, latest->second };
                m_ids.insert(kStoredLatest, latest->first);
            }
        }
        return true;
    }

    void takeOverLastAlarm(const HistoryEntry& entry)
    {
        if (!m_store.store({ entry }))
            return warn(QStringLiteral("last.dat could not be taken into the history"));
        qCInfo(lcHistory) << "The alarm of last.dat taken into the new history";
    }

    void warn(const QString& what)
    {
        const QString reason = what + QStringLiteral(": ") + m_store.lastError();
        qCWarning(lcHistory).noquote() << reason;
        emit failed(reason);
    }

    HistoryStore m_store;
    HistorySettings m_settings;
    QTimer* m_retry;
    QTimer* m_gather;
    std::deque<Write> m_waiting;
    bool m_flushPosted = false;
    bool m_failing = false;
    bool m_refused = false;
    // The station alarm that feedback, position and route belong to: its number of arrival and time.
    std::optional<std::pair<qint64, QDateTime>> m_latest;
    bool m_knowsLatest = false;
    // Number of arrival → id in the file, of the latest station alarms.
    QHash<qint64, qint64> m_ids;
    qint64 m_arrivalsKept = 0;
};

HistoryRecorder::HistoryRecorder(QString path, QString lastAlarmPath, HistorySettings settings, QObject* parent)
    : QObject(parent)
    , m_lastAlarmPath(std::move(lastAlarmPath))
    , m_worker(new HistoryWorker(std::move(path), settings))
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
    // last.dat is read here, on the thread that takes the alarms: a live alarm that follows replaces
    // the file, and must not come into the history twice, once taken over and once as itself. Once
    // a live alarm was recorded, the file holds that one.
    std::optional<HistoryEntry> lastAlarm;
    if (m_stationAlarms == 0) {
        if (const std::optional<QString> message = LastAlarmStore::read(m_lastAlarmPath))
            lastAlarm = HistoryEntry { HistoryEntry::Kind::Station, QFileInfo(m_lastAlarmPath).lastModified(),
                message->split(QChar(9)) };
    }
    m_worker->clock = clock;
    m_thread.start();
    HandOver::post(m_worker, [w = m_worker, lastAlarm] { w->start(lastAlarm); });
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
    m_incident = &incident;
    // The replay of last.dat is no new alarm: neither its place nor its way is news. An alarm with
    // coordinates keeps them from its fields.
    const auto live = [&incident] { return !incident.isReplay() && incident.plan(); };
    connect(&incident, &Incident::placed, this, [this, &incident, live](const std::optional<QPointF>& position) {
        if (live() && !incident.plan()->coordinates && position)
            HandOver::post(m_worker, [w = m_worker, p = *position] { w->place(p); });
    });
    connect(&incident, &Incident::routed, this, [this, live](const std::optional<Route>& route) {
        if (live() && route)
            HandOver::post(m_worker, [w = m_worker, m = route->meters, s = route->seconds] { w->route(m, s); });
    });
}

void HistoryRecorder::recordStationAlarm(const StationAlarmPlan& plan, bool replay)
{
    if (replay)
        return;
    HistoryEntry entry { HistoryEntry::Kind::Station, clock(), plan.fields };
    m_received.insert(++m_stationAlarms, entry.received);
    m_received.remove(m_stationAlarms - kKnownAlarms);
    HandOver::post(m_worker, [w = m_worker, entry, arrival = m_stationAlarms] { w->store(entry, arrival); });
}

void HistoryRecorder::recordCopies(const AlarmCopies& copies)
{
    // A live alarm of this run by its number of arrival, as long as its number is known here.
    const qint64 arrival
        = copies.sequence != 0 && m_received.contains(qint64(copies.sequence)) ? qint64(copies.sequence) : 0;
    if (arrival == 0 && copies.sequence != 0)
        return;
    HandOver::post(m_worker, [w = m_worker, arrival, c = copies] { w->copies(arrival, c.first, c.fields, c.paths); });
}

void HistoryRecorder::recordUnitAlarm(const UnitAlarmPlan& plan)
{
    QString units;
    for (const QString& unit : plan.units)
        units += unit + QChar(7);
    HistoryEntry entry { HistoryEntry::Kind::Unit, clock(), { QStringLiteral("WACHALARM_EM"), units } };
    HandOver::post(m_worker, [w = m_worker, entry] { w->store(entry, 0); });
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
    // Kept as the code that came, whether the display knows a word for it or not.
    const std::optional<AlarmRows::Feedback> feedback = AlarmRows::feedback(message);
    const std::optional<qint16> code = NumberText::readInt16(message.section(QChar(9), 2, 2));
    if (!feedback || !code)
        return;
    const CrewFile::Member* member = m_crew ? m_crew->crew().find(feedback->pagerId) : nullptr;
    QString name = member ? member->name : QString();
    if (name.isEmpty())
        name = m_pagerHolders.value(feedback->pagerId);
    HandOver::post(m_worker, [w = m_worker, at = clock(), id = feedback->pagerId, name, code = int(*code)] {
        w->answer(at, id, name, code);
    });
}

void HistoryRecorder::recordPrintout(const PrintResult& result)
{
    // Only the page of a live station alarm of this run, whose time agrees.
    const auto received = m_received.constFind(qint64(result.alarmSequence));
    if (result.pdfPath.isEmpty() || received == m_received.constEnd()
        || std::abs(received->msecsTo(result.alarmTime)) > kSameAlarmMs)
        return;
    HandOver::post(m_worker, [w = m_worker, arrival = received.key(), name = QFileInfo(result.pdfPath).fileName()] {
        w->printout(arrival, name);
    });
}

void HistoryRecorder::recordWater(const WaterNearby& nearby)
{
    // Only the sources around the live incident's own position count.
    const QString line = nearby.line();
    if (!m_incident || m_incident->isReplay() || m_incident->position() != nearby.incident || line.isEmpty())
        return;
    HandOver::post(m_worker, [w = m_worker, line] { w->water(line); });
}

void HistoryRecorder::recordStrength(const Strength::Count& count, const Strength::Settings& settings)
{
    // The strength kept from before a restart is not replaced by a count that lacks its answers.
    if (!count.counting || count.replayed)
        return;
    QStringList counts;
    for (qsizetype i = 0; i < settings.shown.size() && i < count.shown.size(); ++i)
        counts << settings.shown[i] + QLatin1Char('=') + QString::number(count.shown[i]);
    HandOver::post(
        m_worker, [w = m_worker, s = count.strengthText(), c = counts.join(QLatin1Char(' '))] { w->strength(s, c); });
}

void HistoryRecorder::runRetention()
{
    QMetaObject::invokeMethod(m_worker, &HistoryWorker::retention, Qt::QueuedConnection);
}

void HistoryRecorder::setSettings(const HistorySettings& settings)
{
    // The worker reads its settings on its own thread: they go there in order with its work.
    QMetaObject::invokeMethod(
        m_worker, [w = m_worker, settings] { w->setSettings(settings); }, Qt::QueuedConnection);
    runRetention();
}

bool HistoryRecorder::waitForWrites(std::chrono::milliseconds bound)
{
    if (!m_thread.isRunning())
        return true;
    // Queued behind every write asked for so far; what is gathered for a moment goes now.
    const auto done = std::make_shared<QSemaphore>();
    HandOver::post(m_worker, [w = m_worker, done] {
        w->flush();
        done->release();
    });
    return done->tryAcquire(1, int(bound.count()));
}

#include "HistoryRecorder.moc"
