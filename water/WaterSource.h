#pragma once

#include <QList>
#include <QLoggingCategory>
#include <QPointF>
#include <QString>
#include <QStringView>

#include <optional>
#include <string_view>

Q_DECLARE_LOGGING_CATEGORY(lcWater)

// What kind of water a source gives. Its letter is the one on the sign and in the list:
// U underground hydrant (Unterflurhydrant), O pillar hydrant (Überflurhydrant, "oberirdisch"),
// W wall hydrant, R pipe (a dry pipe to pump from, "Rohr"), H hydrant of unknown kind,
// B tank (Löschwasserbehälter), T pond (Löschteich), S suction point (Saugstelle).
enum class WaterKind { Underground, Pillar, Wall, Pipe, Hydrant, Tank, Pond, SuctionPoint };

// One water source of the index: from a node, or from the centre of a way's nodes.
struct WaterSource {
    WaterKind kind = WaterKind::Hydrant;
    int diameterMm = 0; // 0: not known
    QString ref;
    char osmType = 'n'; // 'n' node, 'w' way
    qint64 osmId = 0;
    double lat = 0;
    double lon = 0;

    [[nodiscard]] bool operator==(const WaterSource&) const = default;
};

// A source near the incident: how far and in which direction from it.
struct WaterFound {
    WaterSource source;
    double meters = 0;
    QString direction; // N NO O SO S SW W NW
};

// What a look-up found around an incident, nearest first.
struct WaterNearby {
    static constexpr double Radius = 500;
    static constexpr int Listed = 3;

    bool indexRead = false; // false: no index, or one that could not be read
    QPointF incident; // x longitude, y latitude
    QList<WaterFound> sources;

    // The line on screen, on paper and in the history: the nearest three ("U 100 · 45 m NO, ..."),
    // "Kein Hydrant im Umkreis von 500 m" when the index holds none that near, empty without an
    // index.
    [[nodiscard]] QString line() const;
};

namespace Water {

[[nodiscard]] QChar letter(WaterKind kind);
// Hydrants get the red-framed sign, the other sources the blue one.
[[nodiscard]] bool isHydrant(WaterKind kind);
// The name kept in the index file.
[[nodiscard]] QString kindName(WaterKind kind);
[[nodiscard]] std::optional<WaterKind> kindFromName(QStringView name);

// The kind of an OpenStreetMap object from its tags (empty views for absent tags); nothing when it
// is no water source for the fire service. `amenity=fire_hydrant` is the old tagging of a hydrant;
// an old `fire_hydrant:type=pond` or `suction_point` names the same thing as the newer emergency
// tags, and so does a hydrant of unknown type whose `water_source` is open water or a tank.
[[nodiscard]] std::optional<WaterKind> classify(
    std::string_view emergency, std::string_view hydrantType, std::string_view amenity, std::string_view waterSource);

// The diameter in millimetres from a tag value such as "100", "DN 100", "100 mm"; 0 when the value
// is anything else (a list, inches, a word, a value no pipe has).
[[nodiscard]] int diameterFromText(std::string_view text);

// The direction from one point to another at eight German compass points.
[[nodiscard]] QString direction(QPointF from, QPointF to);
// One entry of the list: "U 100 · 45 m NO", "B · 120 m S" without a diameter.
[[nodiscard]] QString entry(const WaterFound& found);

} // namespace Water
Q_DECLARE_METATYPE(WaterNearby)
