#pragma once

#include "map/MapConfig.h"

#include <QObject>
#include <QString>

#include <optional>

class AddressSearch;
class AppContext;
struct StationSettings;
class MapClient;

// Looks an address up where map.ini says: the static map service's geocoding, or the address
// search of the tile map ("provider=osm"). Needs no window. A newer lookup replaces a running one,
// which then answers nothing; every lookup answers within its time limit at the latest.
class Geocoder : public QObject {
    Q_OBJECT

public:
    static constexpr int DefaultTimeoutMs = 10000;

    // The context gives the ending flag, the settings (the Station's record) the proxy.
    Geocoder(AppContext& ctx, const StationSettings& settings, QObject* parent = nullptr);
    ~Geocoder() override;

    // map.ini as the station read it.
    void setConfig(const MapConfig& config) { m_config = config; }
    [[nodiscard]] const MapConfig& config() const { return m_config; }

    // Starts lookup of `address` and returns its number; answered(number, …) follows from the
    // event loop. An empty address, a program that is ending or no usable service answers nothing.
    quint64 lookUp(const QString& address);

    // The number of the latest lookup.
    [[nodiscard]] quint64 lastLookup() const { return m_id; }
    int timeoutMs = DefaultTimeoutMs;

signals:
    // The coordinate text found ("lat,lng"), or nothing.
    void answered(quint64 id, const std::optional<QString>& coordinates);

private:
    AppContext& m_ctx;
    const StationSettings& m_settings;
    MapConfig m_config;
    MapClient* m_client = nullptr;
    AddressSearch* m_search = nullptr;
    quint64 m_id = 0;
};
