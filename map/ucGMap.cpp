#include "map/ucGMap.h"

#include <algorithm>

ucGMap::ucGMap(QWidget* parent)
    : QWidget(parent)
{
    setAutoFillBackground(true);
}

void ucGMap::setGZoom(int value)
{
    m_zoom = std::clamp(value, 0, 20);
}

void ucGMap::setMapType(int value)
{
    m_mapType = std::clamp(value, 0, 3);
}
