#pragma once

#include <QString>

#include <optional>

// Reading the geocoding service's XML answer. Only the first location element matters: it holds
// the lat and lng elements of the first result.
namespace GeocodeXml {

// The text between the first "<tag>" (exact, no attributes) and the next "</tag>" after it, or to
// the end when that closing tag is missing; line breaks removed, surrounding blanks trimmed.
// Empty when the opening tag does not occur.
[[nodiscard]] QString GetXmlTagValue(const QString& xml, const QString& tag);

// The coordinate text "lat,lng" of the first location, with both numbers as the answer writes
// them; nothing when the answer holds no location or its lat or lng is not a number in range.
[[nodiscard]] std::optional<QString> findLocation(const QString& xml);

} // namespace GeocodeXml
