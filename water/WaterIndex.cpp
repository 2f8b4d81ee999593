#include "water/WaterIndex.h"

#include "common/GeoPoint.h"

#include <QAtomicInteger>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

QString connectionName()
{
    static QAtomicInteger<quint64> counter;
    return QStringLiteral("kessvenn-water-%1").arg(counter.fetchAndAddRelaxed(1));
}

// One connection of its own, removed when done; Qt wants the database object gone first.
class Connection {
public:
    Connection(const QString& path, bool readOnly)
        : m_name(connectionName())
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(path);
        if (readOnly)
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        m_open = db.open();
        if (!m_open)
            m_error = db.lastError().text();
    }
    ~Connection()
    {
        {
            QSqlDatabase db = QSqlDatabase::database(m_name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_name);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    [[nodiscard]] QSqlDatabase db() const { return QSqlDatabase::database(m_name, false); }
    [[nodiscard]] bool isOpen() const { return m_open; }
    [[nodiscard]] const QString& error() const { return m_error; }

private:
    QString m_name;
    bool m_open = false;
    QString m_error;
};

const char* const kSchema[] = {
    "CREATE TABLE water ("
    " id INTEGER PRIMARY KEY,"
    " kind TEXT NOT NULL,"
    " diameter INTEGER,"
    " ref TEXT,"
    " osm_type TEXT NOT NULL,"
    " osm_id INTEGER NOT NULL,"
    " lat REAL NOT NULL,"
    " lon REAL NOT NULL)",
    "CREATE VIRTUAL TABLE water_place USING rtree(id, min_lat, max_lat, min_lon, max_lon)",
};

} // namespace

namespace WaterIndex {

Answer nearby(const QString& path, QPointF incident, double radius, int limit)
{
    Answer answer;
    answer.nearby.incident = incident;
    const QFileInfo file(path);
    if (!file.exists())
        return answer;
    answer.state = State::Unreadable;
    if (!file.isFile() || !file.isReadable())
        return answer;
    Connection connection(path, true);
    answer.state = State::Broken;
    if (!connection.isOpen()) {
        answer.error = connection.error();
        return answer;
    }
    QSqlQuery q(connection.db());
    // The index is only read: its pages are mapped rather than copied.
    q.exec(QStringLiteral("PRAGMA mmap_size = 268435456"));
    if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next()) {
        answer.error = q.lastError().text();
        return answer;
    }
    if (q.value(0).toInt() != SchemaVersion) {
        answer.error = QStringLiteral("schema version %1, not %2").arg(q.value(0).toInt()).arg(SchemaVersion);
        return answer;
    }
    // The box around the circle; the R*Tree keeps its corners rounded outwards, so nothing inside
    // is lost, and the distance sorts out what lies in the box's corners.
    const double lat = incident.y(), lon = incident.x();
    const double dLat = radius / 111'000.0;
    const double dLon = radius / (111'000.0 * std::max(0.01, std::cos(lat * std::numbers::pi / 180)));
    q.prepare(QStringLiteral("SELECT w.kind, w.diameter, w.ref, w.osm_type, w.osm_id, w.lat, w.lon"
                             " FROM water_place p JOIN water w ON w.id = p.id"
                             " WHERE p.max_lat >= ? AND p.min_lat <= ? AND p.max_lon >= ? AND p.min_lon <= ?"));
    q.addBindValue(lat - dLat);
    q.addBindValue(lat + dLat);
    q.addBindValue(lon - dLon);
    q.addBindValue(lon + dLon);
    if (!q.exec()) {
        answer.error = q.lastError().text();
        return answer;
    }
    QList<WaterFound>& found = answer.nearby.sources;
    while (q.next()) {
        WaterFound f;
        WaterSource& s = f.source;
        const std::optional<WaterKind> kind = Water::kindFromName(q.value(0).toString());
        if (!kind)
            continue;
        s.kind = *kind;
        s.diameterMm = q.value(1).toInt();
        s.ref = q.value(2).toString();
        s.osmType = q.value(3).toString() == QLatin1String("w") ? 'w' : 'n';
        s.osmId = q.value(4).toLongLong();
        s.lat = q.value(5).toDouble();
        s.lon = q.value(6).toDouble();
        const QPointF place(s.lon, s.lat);
        f.meters = GeoPoint::meters(incident, place);
        if (f.meters > radius)
            continue;
        if (f.meters >= 0.5)
            f.direction = Water::direction(incident, place);
        found.append(f);
    }
    std::sort(found.begin(), found.end(), [](const WaterFound& a, const WaterFound& b) {
        return a.meters != b.meters ? a.meters < b.meters : a.source.osmId < b.source.osmId;
    });
    if (found.size() > limit)
        found.resize(limit);
    answer.state = State::Read;
    answer.nearby.indexRead = true;
    return answer;
}

bool write(const QString& path, const std::vector<WaterSource>& sources, QString* error)
{
    Connection connection(path, false);
    const auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    if (!connection.isOpen())
        return fail(connection.error());
    QSqlDatabase db = connection.db();
    QSqlQuery q(db);
    // The file is new and only renamed into place once complete: no journal is needed.
    for (const char* pragma : { "PRAGMA journal_mode = OFF", "PRAGMA synchronous = OFF" })
        q.exec(QString::fromLatin1(pragma));
    if (!db.transaction())
        return fail(db.lastError().text());
    for (const char* statement : kSchema) {
        if (!q.exec(QString::fromLatin1(statement)))
            return fail(q.lastError().text());
    }
    if (!q.prepare(QStringLiteral("INSERT INTO water (id, kind, diameter, ref, osm_type, osm_id, lat, lon)"
                                  " VALUES (?, ?, ?, ?, ?, ?, ?, ?)")))
        return fail(q.lastError().text());
    qint64 id = 0;
    for (const WaterSource& s : sources) {
        q.bindValue(0, ++id);
        q.bindValue(1, Water::kindName(s.kind));
        q.bindValue(2, s.diameterMm > 0 ? QVariant(s.diameterMm) : QVariant());
        q.bindValue(3, s.ref.isEmpty() ? QVariant() : QVariant(s.ref));
        q.bindValue(4, QString(QLatin1Char(s.osmType)));
        q.bindValue(5, s.osmId);
        q.bindValue(6, s.lat);
        q.bindValue(7, s.lon);
        if (!q.exec())
            return fail(q.lastError().text());
    }
    q.finish();
    if (!q.exec(QStringLiteral("INSERT INTO water_place SELECT id, lat, lat, lon, lon FROM water"))
        || !q.exec(QStringLiteral("PRAGMA user_version = %1").arg(SchemaVersion)))
        return fail(q.lastError().text());
    if (!db.commit())
        return fail(db.lastError().text());
    return true;
}

} // namespace WaterIndex
