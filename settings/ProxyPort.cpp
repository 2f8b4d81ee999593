#include "settings/ProxyPort.h"

#include "common/NumberText.h"

std::optional<quint16> ProxyPortFromText(QStringView text)
{
    const QStringView trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return quint16(0);
    qsizetype i = 0;
    if (trimmed[0] == QLatin1Char('+') || trimmed[0] == QLatin1Char('-'))
        ++i;
    if (i == trimmed.size())
        return std::nullopt;
    for (; i < trimmed.size(); ++i) {
        if (trimmed[i] < QLatin1Char('0') || trimmed[i] > QLatin1Char('9'))
            return std::nullopt;
    }
    const std::optional<qint16> port = NumberText::readInt16(trimmed);
    if (!port || *port < 0)
        return std::nullopt;
    return quint16(*port);
}
