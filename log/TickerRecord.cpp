#include "log/TickerRecord.h"

#include <QRegularExpression>

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

QString padded(const QString& number, int width)
{
    return number.rightJustified(width, QLatin1Char('0'));
}

} // namespace

TickerRecord TickerRecord::fromLine(QStringView line)
{
    TickerRecord record;
    const std::optional<QStringView> field = recordField(line);
    if (!field)
        return record;

    QString* const targets[7] = {&record.sender,   &record.ea,       &record.timeLine1, &record.timeLine2,
                                 &record.fromName, &record.headline, &record.body};
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

QString TickerRecord::timeSortKey() const
{
    static const QRegularExpression date(QStringLiteral("^\\s*(\\d{1,2})\\.(\\d{1,2})\\.(\\d{2,4})"));
    static const QRegularExpression time(QStringLiteral("^\\s*(\\d{1,2}):(\\d{1,2})(?::(\\d{1,2}))?"));

    QString key;
    if (const QRegularExpressionMatch m = date.match(timeLine1); m.hasMatch()) {
        QString year = m.captured(3);
        if (year.size() == 2)
            year.prepend(QStringLiteral("20"));
        key = padded(year, 4) + padded(m.captured(2), 2) + padded(m.captured(1), 2);
    } else {
        key = timeLine1;
    }
    key += QChar(1);
    if (const QRegularExpressionMatch m = time.match(timeLine2); m.hasMatch())
        key += padded(m.captured(1), 2) + padded(m.captured(2), 2) + padded(m.captured(3), 2);
    else
        key += timeLine2;
    return key;
}
