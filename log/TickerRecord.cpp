#include "log/TickerRecord.h"

#include <optional>

namespace {

constexpr QChar kFieldSeparator(9);
constexpr QChar kSubfieldSeparator(7);

// Field 1 of a line, or nothing when the line has no TAB.
std::optional<QStringView> recordField(QStringView line)
{
    const qsizetype start = line.indexOf(kFieldSeparator);
    if (start < 0)
        return std::nullopt;
    QStringView rest = line.mid(start + 1);
    const qsizetype end = rest.indexOf(kFieldSeparator);
    return end < 0 ? rest : rest.left(end);
}

} // namespace

TickerRecord TickerRecord::fromLine(QStringView line)
{
    TickerRecord record;
    const std::optional<QStringView> field = recordField(line);
    if (!field)
        return record;

    QString* const targets[7] = { &record.sender, &record.ea, &record.timeLine1, &record.timeLine2, &record.fromName,
        &record.headline, &record.body };
    QStringView rest = *field;
    for (int i = 0; i < 7; ++i) {
        const qsizetype end = rest.indexOf(kSubfieldSeparator);
        *targets[i] = (end < 0 ? rest : rest.left(end)).toString();
        record.subfieldCount = i + 1;
        if (end < 0)
            break;
        rest = rest.mid(end + 1);
    }
    return record;
}
