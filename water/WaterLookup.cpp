#include "water/WaterLookup.h"

#include "common/HandOver.h"
#include "water/WaterIndex.h"

WaterLookup::WaterLookup(QObject* parent)
    : QObject(parent)
{
    qRegisterMetaType<WaterNearby>();
    m_pool.setMaxThreadCount(1);
}

WaterLookup::~WaterLookup()
{
    ++m_generation;
    m_pool.waitForDone();
}

void WaterLookup::setIndex(const QString& path)
{
    if (path != m_path)
        m_warned = false;
    m_path = path;
}

void WaterLookup::lookUp(QPointF incident)
{
    const quint64 generation = ++m_generation;
    if (m_path.isEmpty())
        return;
    HandOver::start(m_pool, [this, path = m_path, incident, generation] {
        const WaterIndex::Answer answer = WaterIndex::nearby(path, incident);
        HandOver::post(this, [this, path, generation, answer] {
            if (answer.state == WaterIndex::State::Broken && !std::exchange(m_warned, true))
                qCWarning(lcWater).noquote() << "The water index" << path << "cannot be read:" << answer.error;
            if (answer.state == WaterIndex::State::Read)
                m_warned = false;
            if (generation == m_generation && path == m_path)
                emit found(answer.nearby);
        });
    });
}
