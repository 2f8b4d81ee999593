#include "history/HistoryStore.h"

#include "alarm/StationAlarm.h"
#include "common/SafeFile.h"
#include "history/HistoryFields.h"
#include "history/HistorySettings.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <sys/stat.h>

namespace {

// SQLite's result codes that mean the file is no database of its own or is damaged; a busy or
// locked file is neither and is left alone.
const QString kNotADatabase = QStringLiteral("26");
const QString kCorrupt = QStringLiteral("11");
// Result codes of the file or its folder rather than of the data: busy, locked, read-only, I/O,
// damaged, full, cannot open, no database.
constexpr int kPassingCodes[] = { 5, 6, 8, 10, 11, 13, 14, 26 };

// A writer waits this long for another connection's lock, then gives up on this write.
constexpr int kBusyTimeoutMs = 250;

// Step i brings the schema from version i to i + 1.
const char* const kMigrations[] = {
    "CREATE TABLE alarms ("
    " id INTEGER PRIMARY KEY,"
    " kind TEXT NOT NULL CHECK (kind IN ('station', 'unit')),"
    " received_utc TEXT NOT NULL,"
    " received_local TEXT NOT NULL,"
    " year INTEGER NOT NULL,"
    " number INTEGER,"
    " fields TEXT NOT NULL,"
    " keyword TEXT NOT NULL,"
    " address TEXT NOT NULL,"
    " units TEXT NOT NULL,"
    " coming INTEGER NOT NULL DEFAULT 0,"
    " remark TEXT,"
    " informant TEXT,"
    " lat REAL,"
    " lon REAL,"
    " position TEXT);"
    "CREATE INDEX alarms_year ON alarms (year, received_utc);"
    "CREATE INDEX alarms_number ON alarms (year, number);"
    "CREATE INDEX alarms_received ON alarms (received_utc);"
    "CREATE TABLE answers ("
    " id INTEGER PRIMARY KEY,"
    " alarm_id INTEGER NOT NULL REFERENCES alarms (id) ON DELETE CASCADE,"
    " pager_id TEXT NOT NULL,"
    " name TEXT,"
    " answer TEXT NOT NULL,"
    " received_utc TEXT NOT NULL,"
    " UNIQUE (alarm_id, pager_id));",
    // The way from the station: distance in metres and drive time in seconds, once found.
    "ALTER TABLE alarms ADD COLUMN route_m REAL;"
    "ALTER TABLE alarms ADD COLUMN route_s REAL;",
    // Feedback kept as its code, whatever the code; the file name of the kept printout.
    "CREATE TABLE answers_by_code ("
    " id INTEGER PRIMARY KEY,"
    " alarm_id INTEGER NOT NULL REFERENCES alarms (id) ON DELETE CASCADE,"
    " pager_id TEXT NOT NULL,"
    " name TEXT,"
    " code INTEGER NOT NULL,"
    " received_utc TEXT NOT NULL,"
    " UNIQUE (alarm_id, pager_id));"
    "INSERT INTO answers_by_code SELECT id, alarm_id, pager_id, name, CASE lower(answer) WHEN 'nicht' THEN 0"
    " WHEN 'kommt' THEN 1 WHEN 'später' THEN 2 WHEN 'selbst' THEN 3 WHEN 'sonst.' THEN 4 ELSE -1 END,"
    " received_utc FROM answers;"
    "DROP TABLE answers;"
    "ALTER TABLE answers_by_code RENAME TO answers;"
    "UPDATE alarms SET coming = (SELECT count(*) FROM answers WHERE alarm_id = alarms.id AND code = 1);"
    "ALTER TABLE alarms ADD COLUMN printout TEXT;",
    // The nearest water sources as the screen listed them.
    "ALTER TABLE alarms ADD COLUMN water TEXT;",
    // The crew's strength of a station alarm, "1/2/6/9", and the counted qualifications, "AGT=4 Ma=2".
    "ALTER TABLE alarms ADD COLUMN strength TEXT;"
    "ALTER TABLE alarms ADD COLUMN strength_counts TEXT;",
    // The paths that brought a station alarm and how much later each copy came.
    "ALTER TABLE alarms ADD COLUMN paths TEXT;",
};
static_assert(std::size(kMigrations) == HistoryStore::kSchemaVersion);

QVariant textOrNull(const QString& text)
{
    return text.isEmpty() ? QVariant(QMetaType::fromType<QString>()) : QVariant(text);
}

// A column that is never NULL: the empty text where there is none.
QVariant text(const QString& text)
{
    return text.isNull() ? QVariant(QString(QLatin1String(""))) : QVariant(text);
}

} // namespace

HistoryStore::HistoryStore(QString path)
    : m_path(std::move(path))
    , m_connection(QStringLiteral("history-store-%1").arg(quintptr(this)))
{
}

HistoryStore::~HistoryStore()
{
    close();
}

QString HistoryStore::utcText(const QDateTime& t)
{
    return t.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"));
}

bool HistoryStore::fail(const QString& what, const QSqlError& error)
{
    m_error = what + QStringLiteral(": ") + error.text();
    // A transaction that cannot begin or end failed for the file (its code is not told).
    const int code = error.nativeErrorCode().toInt() & 0xff;
    m_locked = code == 5 || code == 6;
    m_passes = error.type() == QSqlError::TransactionError
        || std::find(std::begin(kPassingCodes), std::end(kPassingCodes), code) != std::end(kPassingCodes);
    return false;
}

namespace {

std::optional<std::pair<quint64, quint64>> identity(const QString& path)
{
    struct stat info { };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return std::pair<quint64, quint64>(info.st_dev, info.st_ino);
}

} // namespace

bool HistoryStore::replaced() const
{
    return m_open && identity(m_path) != m_identity;
}

void HistoryStore::ownerOnly() const
{
    for (const char* companion : { "", "-wal", "-shm" })
        KeepOwnerOnly(m_path + QLatin1String(companion));
}

bool HistoryStore::exec(const QString& sql)
{
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    for (const QString& statement : sql.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        if (!q.exec(statement))
            return fail(statement.section(QLatin1Char(' '), 0, 2), q.lastError());
    }
    return true;
}

void HistoryStore::close()
{
    if (!QSqlDatabase::contains(m_connection))
        return;
    QSqlDatabase::database(m_connection, false).close();
    QSqlDatabase::removeDatabase(m_connection);
    m_open = false;
}

bool HistoryStore::openFile()
{
    close();
    // SQLite gives the log and the shared memory the mode of the file: made the owner's before them.
    if (!QFileInfo::exists(m_path)) {
        QFile file(m_path);
        if (file.open(QIODevice::WriteOnly))
            file.setPermissions(kOwnerOnlyFile);
    }
    ownerOnly();
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(m_path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
    if (!db.open()) {
        fail(QStringLiteral("open"), db.lastError());
        m_passes = true;
        return false;
    }
    m_identity = identity(m_path).value_or(std::pair<quint64, quint64>());
    return true;
}

bool HistoryStore::open()
{
    m_new = false;
    m_setAside.clear();
    m_error.clear();
    if (!openFile())
        return false;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    // Reading the schema and checking the pages finds a file that is not a database or is damaged.
    bool damaged = false;
    int tables = 0;
    if (q.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")) && q.next()) {
        tables = q.value(0).toInt();
        damaged = !q.exec(QStringLiteral("PRAGMA quick_check")) || !q.next()
            || q.value(0).toString() != QLatin1String("ok");
        if (damaged && !q.lastError().isValid())
            m_error = QStringLiteral("quick_check: ") + q.value(0).toString();
    } else {
        damaged = true;
    }
    const QString code = q.lastError().nativeErrorCode();
    if (damaged && q.lastError().isValid() && code != kNotADatabase && code != kCorrupt)
        return fail(QStringLiteral("read"), q.lastError());
    q.finish();
    int version = 0;
    if (!damaged && q.exec(QStringLiteral("PRAGMA user_version")) && q.next())
        version = q.value(0).toInt();
    // An unfinished statement would hold a read transaction, in which the journal mode cannot change.
    q.finish();
    // A database of something else is no history either.
    if (damaged || (version == 0 && tables > 0)) {
        if (!damaged)
            m_error = QStringLiteral("a database of another program");
        else if (q.lastError().isValid())
            fail(QStringLiteral("read"), q.lastError());
        q = QSqlQuery();
        close();
        const QString broken = m_path + QStringLiteral(".broken-") + QDate::currentDate().toString(Qt::ISODate);
        QString aside = broken;
        for (int n = 2; QFile::exists(aside); ++n)
            aside = broken + QStringLiteral("-%1").arg(n);
        if (!QFile::rename(m_path, aside)) {
            m_error += QStringLiteral("; could not be renamed to ") + aside;
            return false;
        }
        for (const char* companion : { "-wal", "-shm" }) {
            if (QFile::exists(m_path + QLatin1String(companion)))
                QFile::rename(m_path + QLatin1String(companion), aside + QLatin1String(companion));
        }
        m_setAside = aside;
        if (!openFile())
            return false;
        q = QSqlQuery(QSqlDatabase::database(m_connection, false));
        version = 0;
    }
    if (version > kSchemaVersion) {
        m_error = QStringLiteral("schema version %1 is of a newer program").arg(version);
        close();
        return false;
    }
    // The log is checked: a reader in the middle of a read must never make a write fail.
    if (!exec(QStringLiteral("PRAGMA foreign_keys = ON;PRAGMA secure_delete = ON;PRAGMA journal_mode = WAL;"
                             "PRAGMA synchronous = FULL")))
        return false;
    {
        QSqlQuery mode(QSqlDatabase::database(m_connection, false));
        if (!mode.exec(QStringLiteral("PRAGMA journal_mode")) || !mode.next()
            || mode.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0) {
            m_error = QStringLiteral("no write-ahead log: ") + mode.value(0).toString() + mode.lastError().text();
            m_passes = true;
            close();
            return false;
        }
    }
    if (version < kSchemaVersion && !migrate(version))
        return false;
    ownerOnly();
    m_new = version == 0;
    m_open = true;
    return true;
}

bool HistoryStore::migrate(int from)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.transaction())
        return fail(QStringLiteral("begin"), db.lastError());
    for (int v = from; v < kSchemaVersion; ++v) {
        if (!exec(QString::fromUtf8(kMigrations[v]))) {
            db.rollback();
            return false;
        }
    }
    if (!exec(QStringLiteral("PRAGMA user_version = %1").arg(kSchemaVersion)) || !db.commit()) {
        if (m_error.isEmpty())
            fail(QStringLiteral("commit"), db.lastError());
        db.rollback();
        return false;
    }
    return true;
}

bool HistoryStore::begin(QSqlDatabase& db)
{
    if (!m_open) {
        m_error = QStringLiteral("not open");
        m_passes = true;
        return false;
    }
    return m_inTransaction || db.transaction() || fail(QStringLiteral("begin"), db.lastError());
}

bool HistoryStore::transaction(const std::function<bool()>& work)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (m_inTransaction)
        return work();
    if (!begin(db))
        return false;
    m_inTransaction = true;
    m_uncommitted = m_numbers;
    m_answered.clear();
    bool done = work();
    // The list shows the count with every alarm; it is kept with the alarm rather than counted
    // for each of a hundred thousand rows, once for each alarm answered in the transaction.
    for (auto id = m_answered.cbegin(); done && id != m_answered.cend(); ++id)
        done = update(QStringLiteral("answer count"),
            QStringLiteral("UPDATE alarms SET coming = (SELECT count(*) FROM answers WHERE alarm_id = ?"
                           " AND code = 1) WHERE id = ?"),
            { *id, *id });
    m_inTransaction = false;
    if (done && db.commit()) {
        m_numbers = m_uncommitted;
        return true;
    }
    if (done)
        fail(QStringLiteral("commit"), db.lastError());
    db.rollback();
    return false;
}

std::optional<QList<qint64>> HistoryStore::store(const QList<HistoryEntry>& entries)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QList<qint64> ids;
    if (!transaction([&] { return insert(db, entries, ids); }))
        return std::nullopt;
    return ids;
}

bool HistoryStore::insert(QSqlDatabase& db, const QList<HistoryEntry>& entries, QList<qint64>& ids)
{
    QHash<int, int>& numbers = m_uncommitted;
    QSqlQuery number(db), insert(db);
    number.prepare(QStringLiteral("SELECT max(coalesce(max(number), 0), ?) + 1 FROM alarms WHERE year = ?"));
    insert.prepare(QStringLiteral("INSERT INTO alarms (kind, received_utc, received_local, year, number, fields,"
                                  " keyword, address, units, remark, informant, lat, lon, position)"
                                  " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    const auto rollback
        = [&](const char* what, const QSqlQuery& q) { return fail(QString::fromLatin1(what), q.lastError()); };
    for (const HistoryEntry& e : entries) {
        const bool station = e.kind == HistoryEntry::Kind::Station;
        const QDateTime local = e.received.toLocalTime();
        QVariant runningNumber(QMetaType::fromType<int>());
        // A test alarm has no number: it is no alarm of the year.
        if (station && !StationAlarm::isTest(e.fields)) {
            const int year = local.date().year();
            number.addBindValue(numbers.value(year));
            number.addBindValue(year);
            if (!number.exec() || !number.next())
                return rollback("number", number);
            runningNumber = number.value(0);
            numbers[year] = runningNumber.toInt();
            number.finish();
        }
        QStringList kept = e.fields;
        QVariant lat(QMetaType::fromType<double>()), lon(QMetaType::fromType<double>());
        QVariant position(QMetaType::fromType<QString>());
        if (station) {
            for (int personal : { HistoryFields::kRemark, HistoryFields::kInformant }) {
                if (personal < kept.size())
                    kept[personal].clear();
            }
            const std::optional<StationAlarm> alarm = StationAlarm::parse(e.fields.join(QChar(9)));
            if (const std::optional<QString> at = alarm ? alarm->coordinates() : std::nullopt) {
                lat = at->section(QLatin1Char(','), 0, 0).toDouble();
                lon = at->section(QLatin1Char(','), 1, 1).toDouble();
                position = QStringLiteral("alarm");
            }
        }
        for (const QVariant& v :
            { QVariant(station ? QStringLiteral("station") : QStringLiteral("unit")), QVariant(utcText(e.received)),
                QVariant(local.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"))), QVariant(local.date().year()),
                runningNumber, text(kept.join(QChar(9))), text(station ? HistoryFields::keyword(e.fields) : QString()),
                text(station ? HistoryFields::address(e.fields) : QString()),
                text(e.fields.value(station ? HistoryFields::kUnits : 1)),
                station ? textOrNull(e.fields.value(HistoryFields::kRemark)) : QVariant(QMetaType::fromType<QString>()),
                station ? textOrNull(e.fields.value(HistoryFields::kInformant))
                        : QVariant(QMetaType::fromType<QString>()),
                lat, lon, position })
            insert.addBindValue(v);
        if (!insert.exec())
            return rollback("insert", insert);
        ids << insert.lastInsertId().toLongLong();
    }
    return true;
}

std::optional<std::pair<qint64, QDateTime>> HistoryStore::latestStationAlarm()
{
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    if (!m_open
        || !q.exec(
            QStringLiteral("SELECT id, received_utc FROM alarms WHERE kind = 'station' ORDER BY id DESC LIMIT 1"))
        || !q.next())
        return std::nullopt;
    return std::pair(q.value(0).toLongLong(), QDateTime::fromString(q.value(1).toString(), Qt::ISODateWithMs));
}

bool HistoryStore::update(const QString& what, const QString& sql, const QVariantList& values)
{
    if (!m_open) {
        m_error = QStringLiteral("not open");
        m_passes = true;
        return false;
    }
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.prepare(sql);
    for (const QVariant& v : values)
        q.addBindValue(v);
    return q.exec() || fail(what, q.lastError());
}

bool HistoryStore::place(qint64 alarmId, QPointF position)
{
    return update(QStringLiteral("place"),
        QStringLiteral("UPDATE alarms SET lat = ?, lon = ?, position = 'lookup' WHERE id = ? AND position IS NULL"),
        { position.y(), position.x(), alarmId });
}

bool HistoryStore::merge(qint64 alarmId, const QStringList& fields)
{
    QStringList kept = fields;
    for (int personal : { HistoryFields::kRemark, HistoryFields::kInformant }) {
        if (personal < kept.size())
            kept[personal].clear();
    }
    QVariant lat(QMetaType::fromType<double>()), lon(QMetaType::fromType<double>());
    const std::optional<StationAlarm> alarm = StationAlarm::parse(fields.join(QChar(9)));
    if (const std::optional<QString> at = alarm ? alarm->coordinates() : std::nullopt) {
        lat = at->section(QLatin1Char(','), 0, 0).toDouble();
        lon = at->section(QLatin1Char(','), 1, 1).toDouble();
    }
    // The alarm's own coordinates, once a copy brings them, stand before a looked-up place; a
    // personal field the copies do not carry (they came after a restart) stays as it was.
    return update(QStringLiteral("merge"),
        QStringLiteral("UPDATE alarms SET fields = ?, keyword = ?, address = ?, units = ?,"
                       " remark = coalesce(?, remark), informant = coalesce(?, informant),"
                       " lat = coalesce(?, lat), lon = coalesce(?, lon),"
                       " position = CASE WHEN ? IS NULL THEN position ELSE 'alarm' END"
                       " WHERE id = ? AND kind = 'station'"),
        { text(kept.join(QChar(9))), text(HistoryFields::keyword(fields)), text(HistoryFields::address(fields)),
            text(fields.value(HistoryFields::kUnits)), textOrNull(fields.value(HistoryFields::kRemark)),
            textOrNull(fields.value(HistoryFields::kInformant)), lat, lon, lat, alarmId });
}

bool HistoryStore::paths(qint64 alarmId, const QString& paths)
{
    return update(
        QStringLiteral("paths"), QStringLiteral("UPDATE alarms SET paths = ? WHERE id = ?"), { paths, alarmId });
}

std::optional<qint64> HistoryStore::stationAlarmNear(const QDateTime& at, qint64 withinMs)
{
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.prepare(QStringLiteral("SELECT id, received_utc FROM alarms WHERE kind = 'station'"
                             " AND received_utc BETWEEN ? AND ? ORDER BY received_utc"));
    q.addBindValue(utcText(at.addMSecs(-withinMs)));
    q.addBindValue(utcText(at.addMSecs(withinMs)));
    if (!m_open || !q.exec())
        return std::nullopt;
    std::optional<qint64> nearest;
    qint64 best = withinMs + 1;
    while (q.next()) {
        const qint64 off = std::abs(at.msecsTo(QDateTime::fromString(q.value(1).toString(), Qt::ISODateWithMs)));
        if (off < best) {
            best = off;
            nearest = q.value(0).toLongLong();
        }
    }
    return nearest;
}

bool HistoryStore::route(qint64 alarmId, double meters, double seconds)
{
    return update(QStringLiteral("route"), QStringLiteral("UPDATE alarms SET route_m = ?, route_s = ? WHERE id = ?"),
        { meters, seconds, alarmId });
}

bool HistoryStore::printout(qint64 alarmId, const QString& fileName)
{
    return update(QStringLiteral("printout"), QStringLiteral("UPDATE alarms SET printout = ? WHERE id = ?"),
        { fileName, alarmId });
}

bool HistoryStore::water(qint64 alarmId, const QString& line)
{
    return update(
        QStringLiteral("water"), QStringLiteral("UPDATE alarms SET water = ? WHERE id = ?"), { line, alarmId });
}

bool HistoryStore::strength(qint64 alarmId, const QString& strength, const QString& counts)
{
    return update(QStringLiteral("strength"),
        QStringLiteral("UPDATE alarms SET strength = ?, strength_counts = ? WHERE id = ?"),
        { strength, counts, alarmId });
}

bool HistoryStore::answer(qint64 alarmId, const QDateTime& at, const QString& pagerId, const QString& name, int code)
{
    return transaction([&] {
        m_answered.insert(alarmId);
        return update(QStringLiteral("answer"),
            QStringLiteral("INSERT INTO answers (alarm_id, pager_id, name, code, received_utc)"
                           " SELECT ?, ?, ?, ?, ? WHERE EXISTS (SELECT 1 FROM alarms WHERE id = ?)"
                           " ON CONFLICT (alarm_id, pager_id) DO UPDATE SET code = excluded.code,"
                           " received_utc = excluded.received_utc, name = coalesce(excluded.name, name)"),
            { alarmId, pagerId, textOrNull(name), code, utcText(at), alarmId });
    });
}

std::optional<std::pair<int, int>> HistoryStore::applyRetention(const HistorySettings& s, const QDateTime& now)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!begin(db))
        return std::nullopt;
    QSqlQuery q(db);
    const auto run = [&](const QString& sql, int days) -> std::optional<int> {
        if (days <= 0)
            return 0;
        q.prepare(sql);
        q.addBindValue(utcText(now.addDays(-days)));
        if (!q.exec()) {
            fail(sql.section(QLatin1Char(' '), 0, 1), q.lastError());
            return std::nullopt;
        }
        return q.numRowsAffected();
    };
    const std::optional<int> names = run(QStringLiteral("UPDATE answers SET name = NULL WHERE name IS NOT NULL AND"
                                                        " alarm_id IN (SELECT id FROM alarms WHERE received_utc < ?)"),
        s.keepPersonalDays);
    const std::optional<int> cleared = names ? run(QStringLiteral("UPDATE alarms SET remark = NULL, informant = NULL"
                                                                  " WHERE received_utc < ? AND (remark IS NOT NULL"
                                                                  " OR informant IS NOT NULL)"),
                                           s.keepPersonalDays)
                                             : std::nullopt;
    const std::optional<int> deleted
        = cleared ? run(QStringLiteral("DELETE FROM alarms WHERE received_utc < ?"), s.keepDays) : std::nullopt;
    if (!deleted || !db.commit()) {
        if (deleted)
            fail(QStringLiteral("commit"), db.lastError());
        db.rollback();
        return std::nullopt;
    }
    // The cleared pages were overwritten in the file; their earlier versions still stand in the
    // log until it is written back and emptied.
    if (*names + *cleared + *deleted > 0)
        exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    return std::pair(*cleared, *deleted);
}
