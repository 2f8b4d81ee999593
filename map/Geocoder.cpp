#include "map/Geocoder.h"

#include "common/AppContext.h"
#include "common/CodePage.h"
#include "config/StationSettings.h"
#include "map/AddressSearch.h"
#include "map/GeocodeXml.h"
#include "map/MapClient.h"
#include "map/MapUrls.h"
#include "map/TileLoader.h"

Geocoder::Geocoder(AppContext& ctx, const StationSettings& settings, QObject* parent)
    : QObject(parent)
    , m_ctx(ctx)
    , m_settings(settings)
    , m_client(new MapClient(this))
{
    connect(m_client, &MapClient::lookupAnswered, this, [this](quint64 id, const std::optional<QByteArray>& body) {
        // Only the ASCII digits, signs and points of the coordinates are read from the answer.
        emit answered(id, body ? GeocodeXml::findLocation(CodePage::decode(*body)) : std::nullopt);
    });
}

Geocoder::~Geocoder() = default;

quint64 Geocoder::lookUp(const QString& address)
{
    const quint64 id = ++m_id;
    std::optional<QUrl> url;
    if (!m_ctx.ist_ende() && !address.trimmed().isEmpty()) {
        if (m_config.isOsm()) {
            if (!m_search) {
                m_search = new AddressSearch(this);
                connect(m_search, &AddressSearch::answered, this, &Geocoder::answered);
            }
            m_search->setUserAgent(TileLoader::userAgent(m_config.contact));
            m_search->setProxy(MapClient::proxyFor(m_settings));
            m_search->start(id, AddressSearch::searchUrl(m_config.search, address, m_config.countrycodes), timeoutMs);
            return id;
        }
        m_client->setProxy(MapClient::proxyFor(m_settings));
        url = m_config.sendable(MapUrls::geocodeUrl(m_config.host, address, m_config.key));
    }
    m_client->startLookup(id, url, timeoutMs);
    return id;
}
