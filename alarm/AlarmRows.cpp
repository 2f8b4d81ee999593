#include "alarm/AlarmRows.h"

#include "common/NumberText.h"

namespace AlarmRows {

namespace {

constexpr Column kUnitColumns[] = { { "Einsatzmittel D/A", 5505 } };
constexpr Column kStatusColumns[] = { { "Zeit", 1200 }, { "Rufname", 4465 }, { "St", 500 } };
constexpr Column kPagerColumns[] = { { "Melder", 2715 }, { "St", 1200 }, { "id", 0 } };

constexpr int rgb(int red, int green, int blue)
{
    return red + 256 * green + 65536 * blue;
}

} // namespace

std::span<const Column> unitColumns()
{
    return kUnitColumns;
}

std::span<const Column> statusColumns()
{
    return kStatusColumns;
}

std::span<const Column> pagerColumns()
{
    return kPagerColumns;
}

std::optional<std::array<QString, 3>> statusRow(const QString& message, QTime now)
{
    const QStringList fields = message.split(QChar(9));
    if (fields.size() < 3)
        return std::nullopt;
    return std::array<QString, 3> { now.toString(QStringLiteral("HH:mm")), fields.at(1), fields.at(2) };
}

std::optional<std::array<QString, 3>> pagerRow(const QString& message)
{
    const QStringList fields = message.split(QChar(9));
    if (fields.size() < 3)
        return std::nullopt;
    return std::array<QString, 3> { fields.at(1), QString(), fields.at(2) };
}

Feedback feedbackForCode(int code)
{
    switch (code) {
    case -1:
        return { {}, QStringLiteral("Unb."), rgb(254, 244, 130) };
    case 0:
        return { {}, QStringLiteral("NICHT"), rgb(254, 150, 150) };
    case 1:
        return { {}, QStringLiteral("kommt"), rgb(0, 255, 0) };
    case 2:
        return { {}, QStringLiteral("später"), rgb(150, 254, 162) };
    case 3:
        return { {}, QStringLiteral("selbst"), rgb(254, 244, 130) };
    case 4:
        return { {}, QStringLiteral("Sonst."), rgb(160, 235, 254) };
    default:
        return { {}, QString(), 0 };
    }
}

std::optional<Feedback> feedback(const QString& message)
{
    const QStringList fields = message.split(QChar(9));
    if (fields.size() < 3)
        return std::nullopt;
    const std::optional<qint16> code = NumberText::readInt16(fields.at(2));
    if (!code)
        return std::nullopt;
    Feedback result = feedbackForCode(*code);
    result.pagerId = fields.at(1);
    result.code = *code;
    return result;
}

} // namespace AlarmRows
