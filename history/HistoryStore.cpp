#include "history/HistoryStore.h"

#include "alarm/StationAlarm.h"
#include "history/HistoryFields.h"
#include "history/HistorySettings.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

// SQLite's result codes that mean the file is no database of its own or is damaged; a busy or
// locked file is neither and is left alone.
const QString kNotADatabase = QStringLiteral("26");
const QString kCorrupt = QStringLiteral("11");

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
    // The nearest water sources as the screen listed them.
    "ALTER TABLE alarms ADD COLUMN water TEXT;",
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
    return false;
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
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(m_path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
    if (!db.open())
        return fail(QStringLiteral("open"), db.lastError());
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
    if (!exec(QStringLiteral("PRAGMA foreign_keys = ON;PRAGMA journal_mode = WAL;PRAGMA synchronous = FULL")))
        return false;
    if (version < kSchemaVersion && !migrate(version))
        return false;
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
        if (!exec(QString::fromLatin1(kMigrations[v]))) {
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
        return false;
    }
    return db.transaction() || fail(QStringLiteral("begin"), db.lastError());
}

std::optional<QList<qint64>> HistoryStore::store(const QList<HistoryEntry>& entries)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!begin(db))
        return std::nullopt;
    QSqlQuery number(db), insert(db);
    number.prepare(QStringLiteral("SELECT coalesce(max(number), 0) + 1 FROM alarms WHERE year = ?"));
    insert.prepare(QStringLiteral("INSERT INTO alarms (kind, received_utc, received_local, year, number, fields,"
                                  " keyword, address, units, remark, informant, lat, lon, position)"
                                  " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    QList<qint64> ids;
    const auto rollback = [&](const char* what, const QSqlQuery& q) {
        fail(QString::fromLatin1(what), q.lastError());
        db.rollback();
        return std::nullopt;
    };
    for (const HistoryEntry& e : entries) {
        const bool station = e.kind == HistoryEntry::Kind::Station;
        const QDateTime local = e.received.toLocalTime();
        QVariant runningNumber(QMetaType::fromType<int>());
        if (station) {
            number.addBindValue(local.date().year());
            if (!number.exec() || !number.next())
                return rollback("number", number);
            runningNumber = number.value(0);
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
    if (!db.commit()) {
        fail(QStringLiteral("commit"), db.lastError());
        db.rollback();
        return std::nullopt;
    }
    return ids;
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

bool HistoryStore::place(qint64 alarmId, QPointF position)
{
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.prepare(
        QStringLiteral("UPDATE alarms SET lat = ?, lon = ?, position = 'lookup' WHERE id = ? AND position IS NULL"));
    q.addBindValue(position.y());
    q.addBindValue(position.x());
    q.addBindValue(alarmId);
    return m_open && (q.exec() || fail(QStringLiteral("place"), q.lastError()));
}

bool HistoryStore::route(qint64 alarmId, double meters, double seconds)
{
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.prepare(QStringLiteral("UPDATE alarms SET route_m = ?, route_s = ? WHERE id = ?"));
    q.addBindValue(meters);
    q.addBindValue(seconds);
    q.addBindValue(alarmId);
    return m_open && (q.exec() || fail(QStringLiteral("route"), q.lastError()));
}

bool HistoryStore::water(qint64 alarmId, const QString& line)
{
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.prepare(QStringLiteral("UPDATE alarms SET water = ? WHERE id = ?"));
    q.addBindValue(line);
    q.addBindValue(alarmId);
    return m_open && (q.exec() || fail(QStringLiteral("water"), q.lastError()));
}

bool HistoryStore::answer(
    qint64 alarmId, const QDateTime& at, const QString& pagerId, const QString& name, const QString& word)
{
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.prepare(
        QStringLiteral("INSERT INTO answers (alarm_id, pager_id, name, answer, received_utc) VALUES (?, ?, ?, ?, ?)"
                       " ON CONFLICT (alarm_id, pager_id) DO UPDATE SET answer = excluded.answer,"
                       " received_utc = excluded.received_utc, name = coalesce(excluded.name, name)"));
    for (const QVariant& v :
        { QVariant(alarmId), QVariant(pagerId), textOrNull(name), QVariant(word), QVariant(utcText(at)) })
        q.addBindValue(v);
    // The list shows the count with every alarm; it is kept with the alarm rather than counted
    // for each of a hundred thousand rows.
    QSqlQuery count(QSqlDatabase::database(m_connection, false));
    count.prepare(QStringLiteral("UPDATE alarms SET coming = (SELECT count(*) FROM answers WHERE alarm_id = ?"
                                 " AND answer = 'kommt') WHERE id = ?"));
    count.addBindValue(alarmId);
    count.addBindValue(alarmId);
    return m_open && (q.exec() || fail(QStringLiteral("answer"), q.lastError()))
        && (count.exec() || fail(QStringLiteral("answer count"), count.lastError()));
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
    return std::pair(*cleared, *deleted);
}
