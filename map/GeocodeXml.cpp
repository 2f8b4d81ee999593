#include "map/GeocodeXml.h"

#include "common/NumberText.h"

#include <QRegularExpression>

#include <cmath>

namespace GeocodeXml {

namespace {

// A plain decimal number and nothing else: the answer's coordinates look like this, an error
// message or an empty element does not.
std::optional<double> plainNumber(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral("^[-+]?(\\d+\\.?\\d*|\\.\\d+)([eE][-+]?\\d+)?$"));
    if (!pattern.match(text).hasMatch())
        return std::nullopt;
    const double value = NumberText::readLeadingNumber(text, { .allowExponent = true });
    if (!std::isfinite(value))
        return std::nullopt;
    return value;
}

} // namespace

QString GetXmlTagValue(const QString& xml, const QString& tag)
{
    const QString open = QLatin1Char('<') + tag + QLatin1Char('>');
    const qsizetype start = xml.indexOf(open);
    if (start < 0)
        return {};
    QString s = xml.mid(start + open.size());
    const qsizetype end = s.indexOf(QStringLiteral("</") + tag + QLatin1Char('>'));
    if (end >= 0)
        s.truncate(end);
    s.remove(QLatin1Char('\r'));
    s.remove(QLatin1Char('\n'));
    return s.trimmed();
}

std::optional<QString> findLocation(const QString& xml)
{
    const QString location = GetXmlTagValue(xml, QStringLiteral("location"));
    const QString lat = GetXmlTagValue(location, QStringLiteral("lat"));
    const QString lng = GetXmlTagValue(location, QStringLiteral("lng"));
    const std::optional<double> latValue = plainNumber(lat);
    const std::optional<double> lngValue = plainNumber(lng);
    if (!latValue || !lngValue || std::abs(*latValue) > 90 || std::abs(*lngValue) > 180)
        return std::nullopt;
    return lat + QLatin1Char(',') + lng;
}

} // namespace GeocodeXml
