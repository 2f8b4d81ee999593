#include "history/HistoryReader.h"

#include "alarm/AlarmRows.h"
#include "alarm/LastAlarmStore.h"
#include "alarm/StationAlarm.h"
#include "history/HistoryFields.h"
#include "print/PrintArchive.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QIODevice>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

const QString kUnitSeparator = QStringLiteral(", ");

// The units of the field as UnitList splits them, with ", " between them.
QString shownUnits(QString field)
{
    field.truncate(std::max<qsizetype>(0, field.lastIndexOf(QChar(7))));
    return field.replace(QChar(7), kUnitSeparator);
}

QString searchText(const QString& keyword, const QString& address, const QString& remark, const QString& units)
{
    QString text;
    text.reserve(keyword.size() + address.size() + remark.size() + units.size() + 3);
    text.append(keyword).append(QLatin1Char('\n')).append(address).append(QLatin1Char('\n')).append(remark);
    text.append(QLatin1Char('\n')).append(units);
    // Most texts are plain ASCII, where folding is lowering and needs no table.
    for (QChar& c : text) {
        const char16_t u = c.unicode();
        if (u >= 0x80)
            return text.toCaseFolded();
        if (u >= 'A' && u <= 'Z')
            c = QChar(u + ('a' - 'A'));
    }
    return text;
}

// RFC 4180: a field with the separator, a quote or a line break is quoted, its quotes doubled. A
// field that begins as a formula does in a spreadsheet gets a leading "'" and stays text.
QString csvField(QString text)
{
    static const QString formulaStarts = QStringLiteral("=+-@\t\r");
    if (!text.isEmpty() && formulaStarts.contains(text.front()))
        text.prepend(QLatin1Char('\''));
    if (!text.contains(QLatin1Char(';')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n'))
        && !text.contains(QLatin1Char('\r')))
        return text;
    text.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// The kept counts of the qualifications, "AGT=4 Ma=2", as qualification and count.
QList<std::pair<QString, QString>> keptCounts(const QString& counts)
{
    QList<std::pair<QString, QString>> pairs;
    for (const QString& count : counts.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        pairs.append({ count.section(QLatin1Char('='), 0, 0), count.section(QLatin1Char('='), 1) });
    return pairs;
}

// The strength's count of each qualification column; empty where the alarm counted none.
QStringList qualificationCounts(const QString& counts, const QStringList& qualifications)
{
    QStringList cells(qualifications.size());
    for (const auto& [name, count] : keptCounts(counts)) {
        const qsizetype at = qualifications.indexOf(name);
        if (at >= 0)
            cells[at] = count;
    }
    return cells;
}

QString yearCondition(std::optional<int> year)
{
    return year ? QStringLiteral(" WHERE year = %1").arg(*year) : QString();
}

} // namespace

void HistoryRow::makeSearchText()
{
    search = searchText(keyword, address, remark, units);
}

namespace HistorySearch {

QStringList terms(QStringView text)
{
    QStringList words;
    for (QStringView word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        words << word.toString().toCaseFolded();
    return words;
}

bool matches(const QString& search, const QStringList& terms)
{
    for (const QString& term : terms) {
        if (!search.contains(term))
            return false;
    }
    return true;
}

} // namespace HistorySearch

HistoryReader::HistoryReader(QString path, bool readOnly)
    : m_path(std::move(path))
    , m_connection(QStringLiteral("history-reader-%1").arg(quintptr(this)))
    , m_readOnly(readOnly)
{
}

HistoryReader::~HistoryReader()
{
    if (QSqlDatabase::contains(m_connection)) {
        QSqlDatabase::database(m_connection, false).close();
        QSqlDatabase::removeDatabase(m_connection);
    }
}

bool HistoryReader::open()
{
    QSqlDatabase db = QSqlDatabase::contains(m_connection)
        ? QSqlDatabase::database(m_connection, false)
        : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(m_path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=250")
        + (m_readOnly ? QStringLiteral(";QSQLITE_OPEN_READONLY") : QString()));
    // The list reads every page of a year: mapped, they are not copied once more.
    if (db.isOpen())
        return true;
    if (db.open()) {
        QSqlQuery(db).exec(QStringLiteral("PRAGMA mmap_size = 268435456"));
        return true;
    }
    m_error = db.lastError().text();
    return false;
}

QList<int> HistoryReader::years()
{
    QList<int> list;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    if (!q.exec(QStringLiteral("SELECT DISTINCT year FROM alarms ORDER BY year DESC"))) {
        m_error = q.lastError().text();
        return list;
    }
    while (q.next())
        list << q.value(0).toInt();
    return list;
}

std::vector<HistoryRow> HistoryReader::rows(std::optional<int> year)
{
    std::vector<HistoryRow> rows;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT id, kind, received_local, keyword, address, units, coalesce(remark, ''),"
                               " coming, coalesce(strength, ''), ")
            + QLatin1String(HistoryFields::kTestSql) + QStringLiteral(" FROM alarms") + yearCondition(year)
            + QStringLiteral(" ORDER BY received_utc DESC, id DESC"))) {
        m_error = q.lastError().text();
        return rows;
    }
    while (q.next()) {
        HistoryRow& row = rows.emplace_back();
        row.id = q.value(0).toLongLong();
        row.station = q.value(1).toString() == QLatin1String("station");
        row.local = q.value(2).toString();
        row.keyword = q.value(3).toString();
        row.address = q.value(4).toString();
        row.units = shownUnits(q.value(5).toString());
        row.coming = q.value(7).toInt();
        row.remark = q.value(6).toString();
        row.strength = q.value(8).toString();
        row.test = q.value(9).toBool();
    }
    return rows;
}

std::optional<HistoryAlarm> HistoryReader::alarm(qint64 id)
{
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.prepare(QStringLiteral("SELECT received_local, fields, remark, informant, printout FROM alarms WHERE id = ?"));
    q.addBindValue(id);
    if (!q.exec() || !q.next()) {
        m_error = q.lastError().text();
        return std::nullopt;
    }
    HistoryAlarm alarm { QDateTime::fromString(q.value(0).toString(), Qt::ISODate),
        q.value(1).toString().split(QChar(9)), {} };
    // Only a plain name: the file is looked for in the printouts' folder and nowhere else.
    const QString printout = q.value(4).toString();
    if (!printout.isEmpty() && printout == QFileInfo(printout).fileName() && !printout.startsWith(QLatin1Char('.')))
        alarm.printout = QFileInfo(m_path).dir().filePath(PrintArchive::FolderName + QLatin1Char('/') + printout);
    for (const auto& [index, column] :
        { std::pair(HistoryFields::kRemark, 2), std::pair(HistoryFields::kInformant, 3) }) {
        if (index < alarm.fields.size())
            alarm.fields[index] = q.value(column).toString();
    }
    return alarm;
}

std::optional<HistoryAnswered> HistoryReader::storedAlarm(const QString& lastAlarmPath)
{
    const std::optional<QString> stored = LastAlarmStore::read(lastAlarmPath);
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    // last.dat never holds a test alarm.
    if (!stored
        || !q.exec(QStringLiteral("SELECT id FROM alarms WHERE kind = 'station' AND NOT ")
            + QLatin1String(HistoryFields::kTestSql) + QStringLiteral(" ORDER BY id DESC LIMIT 1"))
        || !q.next()) {
        m_error = q.lastError().text();
        return std::nullopt;
    }
    const qint64 id = q.value(0).toLongLong();
    std::optional<HistoryAlarm> alarm = this->alarm(id);
    if (!alarm || LastAlarmStore::messageFromBytes(LastAlarmStore::bytes(alarm->fields)) != *stored)
        return std::nullopt;
    q.prepare(
        QStringLiteral("SELECT received_utc, pager_id, coalesce(name, ''), code FROM answers WHERE alarm_id = ?"));
    q.addBindValue(id);
    if (!q.exec()) {
        m_error = q.lastError().text();
        return std::nullopt;
    }
    HistoryAnswered answered { std::move(*alarm), {} };
    while (q.next())
        answered.answers.append({ QDateTime::fromString(q.value(0).toString(), Qt::ISODateWithMs),
            q.value(1).toString(), q.value(2).toString(), q.value(3).toInt() });
    return answered;
}

void HistoryReader::writeCsvHeading(QIODevice& out, const QStringList& qualifications)
{
    out.write("\xEF\xBB\xBF"
              "Datum;Uhrzeit;Nummer;Art;Stichwort;Meldebild;Stra\xC3\x9F"
              "e;Ort;Objekt;Einheiten;kommt;sp\xC3\xA4ter;nicht;"
              "Mitteiler;Vermerk;R\xC3\xBC"
              "ckmeldungen;St\xC3\xA4rke");
    for (const QString& q : qualifications)
        out.write(QByteArray(1, ';') + csvField(q).toUtf8());
    out.write("\r\n");
}

bool HistoryReader::writeCsv(QIODevice& out, std::optional<int> year, QStringView search)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    // Names and answers of every alarm first: one pass over the answers, not one query per alarm.
    struct Answers {
        int counts[3] = {};
        QStringList names;
    };
    QHash<qint64, Answers> answers;
    QSqlQuery q(db);
    q.setForwardOnly(true);
    // The columns kommt, später, nicht.
    const int codes[3] = { 1, 2, 0 };
    if (!q.exec(QStringLiteral("SELECT alarm_id, code, name, received_utc FROM answers ORDER BY received_utc, id"))) {
        m_error = q.lastError().text();
        return false;
    }
    while (q.next()) {
        Answers& a = answers[q.value(0).toLongLong()];
        const int code = q.value(1).toInt();
        for (int i = 0; i < 3; ++i)
            a.counts[i] += code == codes[i] ? 1 : 0;
        QString word = AlarmRows::feedbackForCode(code).word;
        if (word.isEmpty())
            word = QString::number(code);
        if (!q.value(2).isNull()) {
            const QString at = QDateTime::fromString(q.value(3).toString(), Qt::ISODateWithMs)
                                   .toLocalTime()
                                   .toString(QStringLiteral("HH:mm"));
            a.names << q.value(2).toString() + QLatin1Char(' ') + word + QLatin1Char(' ') + at;
        }
    }
    // The counted qualifications' columns, in the order they first occur.
    QStringList qualifications;
    if (!q.exec(QStringLiteral("SELECT coalesce(strength_counts, '') FROM alarms") + yearCondition(year)
            + QStringLiteral(" ORDER BY received_utc, id"))) {
        m_error = q.lastError().text();
        return false;
    }
    while (q.next()) {
        for (const auto& [name, count] : keptCounts(q.value(0).toString())) {
            if (!qualifications.contains(name))
                qualifications << name;
        }
    }
    if (!q.exec(QStringLiteral("SELECT id, kind, received_local, number, fields, units, coalesce(remark, ''),"
                               " coalesce(informant, ''), coalesce(strength, ''), coalesce(strength_counts, '')"
                               " FROM alarms")
            + yearCondition(year) + QStringLiteral(" ORDER BY received_utc, id"))) {
        m_error = q.lastError().text();
        return false;
    }
    const QStringList terms = HistorySearch::terms(search);
    const auto line = [&out](const QStringList& fields) {
        QStringList quoted;
        for (const QString& f : fields)
            quoted << csvField(f);
        out.write((quoted.join(QLatin1Char(';')) + QStringLiteral("\r\n")).toUtf8());
    };
    writeCsvHeading(out, qualifications);
    while (q.next()) {
        const bool station = q.value(1).toString() == QLatin1String("station");
        const QStringList fields = q.value(4).toString().split(QChar(9));
        const QString keyword = station ? HistoryFields::keyword(fields) : QString();
        const QString address = station ? HistoryFields::address(fields) : QString();
        const QString units = shownUnits(q.value(5).toString());
        const QString remark = q.value(6).toString();
        if (!HistorySearch::matches(searchText(keyword, address, remark, units), terms))
            continue;
        const QString local = q.value(2).toString();
        const Answers a = answers.value(q.value(0).toLongLong());
        line(
            QStringList { local.mid(8, 2) + QLatin1Char('.') + local.mid(5, 2) + QLatin1Char('.') + local.left(4),
                local.mid(11, 5), q.value(3).isNull() ? QString() : q.value(3).toString(),
                !station                           ? QStringLiteral("Einheitenalarm")
                    : StationAlarm::isTest(fields) ? QStringLiteral("Probealarm")
                                                   : QStringLiteral("Wachalarm"),
                keyword, station ? HistoryFields::incidentPicture(fields) : QString(),
                station ? HistoryFields::street(fields) : QString(), station ? HistoryFields::place(fields) : QString(),
                station ? HistoryFields::object(fields) : QString(), units, QString::number(a.counts[0]),
                QString::number(a.counts[1]), QString::number(a.counts[2]), q.value(7).toString(), remark,
                a.names.join(kUnitSeparator), q.value(8).toString() }
            + qualificationCounts(q.value(9).toString(), qualifications));
    }
    return true;
}
