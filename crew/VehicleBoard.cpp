#include "crew/VehicleBoard.h"

#include "alarm/AlarmCore.h"
#include "alarm/AlarmRows.h"
#include "common/CodePage.h"
#include "common/HandOver.h"
#include "common/Log.h"
#include "common/SafeFile.h"
#include "crew/FileWarnings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

constexpr qint64 kMostFileBytes = 1024 * 1024;

QByteArray readSmallFile(const QString& path)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return {};
    QByteArray bytes = file.read(kMostFileBytes);
    // A larger file is read to the last whole line within the limit.
    if (!file.atEnd())
        bytes.truncate(bytes.lastIndexOf('\n') + 1);
    return bytes;
}

QList<QByteArrayView> linesOf(QByteArrayView bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3);
    QList<QByteArrayView> lines;
    for (qsizetype start = 0; start < bytes.size();) {
        qsizetype end = bytes.indexOf('\n', start);
        if (end < 0)
            end = bytes.size();
        lines << bytes.sliced(start, end - start);
        start = end + 1;
    }
    return lines;
}

} // namespace

QList<VehicleBoard::Vehicle> VehicleBoard::parseVehicles(
    QByteArrayView bytes, const QString& source, QStringList* warningLines)
{
    QList<Vehicle> vehicles;
    FileWarnings warnings(source);
    const QList<QByteArrayView> lines = linesOf(bytes);
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = CodePage::decodeWritten(lines[i]).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')) || line.startsWith(QLatin1Char(';')))
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        const QString callName = line.left(eq).simplified();
        if (eq < 0 || callName.isEmpty()) {
            warnings.warn(i + 1, QStringLiteral("no \"call name = short name\"; the line is ignored"));
            continue;
        }
        const QString shortName = line.mid(eq + 1).simplified();
        vehicles.append({ callName, shortName.isEmpty() ? callName : shortName });
    }
    warnings.finish();
    if (warningLines)
        *warningLines = warnings.lines();
    return vehicles;
}

VehicleBoard::VehicleBoard(const QString& dataFolder, QObject* parent)
    : QObject(parent)
    , m_statePath(dataFolder.isEmpty() ? QString() : QDir(dataFolder).filePath(StateFileName))
{
    m_writer.setMaxThreadCount(1);
    m_writeTimer.setSingleShot(true);
    m_writeTimer.setInterval(1000);
    connect(&m_writeTimer, &QTimer::timeout, this, &VehicleBoard::flush);
    m_changedTimer.setSingleShot(true);
    m_changedTimer.setInterval(kChangedMs);
    connect(&m_changedTimer, &QTimer::timeout, this, &VehicleBoard::changed);

    const QString listPath = dataFolder.isEmpty() ? QString() : QDir(dataFolder).filePath(FileName);
    m_listed = !listPath.isEmpty() && QFileInfo::exists(listPath);
    if (m_listed) {
        const QList<Vehicle> listed = parseVehicles(readSmallFile(listPath), listPath);
        for (const Vehicle& v : listed) {
            if (m_index.contains(v.callName))
                continue; // the first line of a call name keeps its place
            if (m_tiles.size() >= kMostTiles) {
                qCWarning(lcFiles).noquote()
                    << listPath + QStringLiteral(": more than %1 vehicles; the first %1 are shown").arg(kMostTiles);
                break;
            }
            m_index.insert(v.callName, m_tiles.size());
            m_tiles.append({ v.callName, v.shortName, {}, {} });
        }
    }
    readState();
}

VehicleBoard::~VehicleBoard()
{
    flush();
    m_writer.waitForDone();
}

void VehicleBoard::watch(AlarmCore& core)
{
    connect(&core, &AlarmCore::statusMessage, this, &VehicleBoard::statusMessage);
}

void VehicleBoard::readState()
{
    if (m_statePath.isEmpty())
        return;
    const QByteArray bytes = readSmallFile(m_statePath);
    for (const QByteArrayView raw : linesOf(bytes)) {
        const QStringList fields = QString::fromUtf8(raw).trimmed().split(QChar(9));
        const QDateTime since = QDateTime::fromString(fields.value(2), Qt::ISODate);
        if (fields.size() != 3 || fields[0].isEmpty() || !since.isValid())
            continue;
        auto it = m_index.constFind(fields[0]);
        if (it == m_index.cend()) {
            if (m_listed || m_tiles.size() >= kMostTiles)
                continue;
            it = m_index.insert(fields[0], m_tiles.size());
            m_tiles.append({ fields[0], fields[0], {}, {} });
        }
        m_tiles[*it].status = RadioStatus::read(fields[1]);
        m_tiles[*it].since = since.toLocalTime();
    }
    if (!m_listed)
        std::sort(m_tiles.begin(), m_tiles.end(),
            [](const VehicleTile& a, const VehicleTile& b) { return a.callName < b.callName; });
    for (qsizetype i = 0; i < m_tiles.size(); ++i)
        m_index.insert(m_tiles[i].callName, i);
}

void VehicleBoard::statusMessage(const QString& message)
{
    const std::optional<std::array<QString, 3>> row = AlarmRows::statusRow(message, {});
    if (!row)
        return;
    const QString callName = (*row)[1].simplified();
    if (callName.isEmpty())
        return;
    auto it = m_index.constFind(callName);
    if (it == m_index.cend()) {
        if (m_listed || m_tiles.size() >= kMostTiles)
            return;
        // A new call name takes its place in the order; those after it move by one.
        const auto at = std::lower_bound(m_tiles.begin(), m_tiles.end(), callName,
            [](const VehicleTile& t, const QString& name) { return t.callName < name; });
        const qsizetype position = at - m_tiles.begin();
        m_tiles.insert(position, { callName, callName, {}, {} });
        for (qsizetype i = position; i < m_tiles.size(); ++i)
            m_index.insert(m_tiles[i].callName, i);
        it = m_index.constFind(callName);
    }
    VehicleTile& tile = m_tiles[*it];
    tile.status = RadioStatus::read((*row)[2]);
    tile.since = clock();
    m_unwritten = true;
    if (!m_writeTimer.isActive())
        m_writeTimer.start();
    // Those who show the board hear of it once for a burst, never from within the message.
    if (!m_changedTimer.isActive())
        m_changedTimer.start();
}

void VehicleBoard::flush()
{
    if (m_statePath.isEmpty() || !std::exchange(m_unwritten, false))
        return;
    m_writeTimer.stop();
    QByteArray bytes;
    for (const VehicleTile& tile : std::as_const(m_tiles)) {
        if (!tile.since.isValid())
            continue;
        const QString text = tile.status.number ? QString::number(*tile.status.number) : tile.status.text;
        // A tab or line end in a status text would break the line; it is kept as a blank.
        QString kept = text;
        kept.replace(QChar(9), QChar(' ')).replace(QChar(10), QChar(' ')).replace(QChar(13), QChar(' '));
        bytes += (tile.callName + QChar(9) + kept + QChar(9) + tile.since.toUTC().toString(Qt::ISODate)).toUtf8()
            + "\r\n";
    }
    // The disk may be slow: the file is written off the thread that takes alarms, one write at a time.
    HandOver::start(m_writer, [path = m_statePath, bytes] {
        (void)ReplaceFileWhole(path, bytes, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    });
}
