#include "water/WaterIndex.h"

#include "common/GeoPoint.h"

#include <QAtomicInteger>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>

#include <sys/stat.h>

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

// What tells a file from the same file copied over in place: the same inode keeps its number but
// not its size or its times.
struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified {};
    timespec changed {};

    static std::optional<FileStamp> of(const QString& path)
    {
        struct stat info { };
        if (::stat(QFile::encodeName(path).constData(), &info) != 0)
            return std::nullopt;
        return FileStamp { info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim };
    }
    bool operator==(const FileStamp& o) const
    {
        return device == o.device && inode == o.inode && size == o.size && modified.tv_sec == o.modified.tv_sec
            && modified.tv_nsec == o.modified.tv_nsec && changed.tv_sec == o.changed.tv_sec
            && changed.tv_nsec == o.changed.tv_nsec;
    }
};

} // namespace

namespace WaterIndex {

struct Reader::Open {
    explicit Open(const QString& file)
        : path(file)
        , connection(file, true)
    {
    }
    QString path;
    Connection connection;
    std::optional<FileStamp> stamp;
};

Reader::Reader(const QString& path)
{
    const QFileInfo file(path);
    if (!file.exists())
        return;
    m_failure.state = State::Unreadable;
    if (!file.isFile() || !file.isReadable())
        return;
    const std::optional<FileStamp> stamp = FileStamp::of(path);
    auto open = std::make_unique<Open>(path);
    m_failure.state = State::Broken;
    if (!open->connection.isOpen()) {
        m_failure.error = open->connection.error();
        return;
    }
    QSqlQuery q(open->connection.db());
    // Mapped pages of a file that another program shrinks are a SIGBUS at the next read: every
    // page is read into memory instead. The read transaction holds the file as it is now.
    if (!q.exec(QStringLiteral("PRAGMA mmap_size = 0")) || !q.exec(QStringLiteral("BEGIN"))
        || !q.exec(QStringLiteral("PRAGMA user_version")) || !q.next()) {
        m_failure.error = q.lastError().text();
        return;
    }
    if (q.value(0).toInt() != SchemaVersion) {
        m_failure.error = QStringLiteral("schema version %1, not %2").arg(q.value(0).toInt()).arg(SchemaVersion);
        return;
    }
    open->stamp = stamp;
    m_open = std::move(open);
}

Reader::~Reader() = default;

Answer Reader::nearby(QPointF incident, double radius, int limit)
{
    if (!m_open) {
        Answer answer = m_failure;
        answer.nearby.incident = incident;
        return answer;
    }
    Answer answer;
    answer.nearby.incident = incident;
    answer.state = State::Broken;
    QSqlQuery q(m_open->connection.db());
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
    const bool asked = q.exec();
    QList<WaterFound>& found = answer.nearby.sources;
    while (asked && q.next()) {
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
    const QSqlError error = q.lastError();
    q.finish();
    // What was read of a file changed in place is a mixture of two files, or of one and zeros.
    if (FileStamp::of(m_open->path) != m_open->stamp) {
        answer.nearby.sources.clear();
        answer.error
            = QStringLiteral("the file was changed while it was read; put a new index in place by renaming it");
        return answer;
    }
    if (error.isValid()) {
        answer.nearby.sources.clear();
        answer.error = error.text();
        return answer;
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

Answer nearby(const QString& path, QPointF incident, double radius, int limit)
{
    return Reader(path).nearby(incident, radius, limit);
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
