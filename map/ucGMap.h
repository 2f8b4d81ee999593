#pragma once

#include <QWidget>

// The map control: a static map image of the incident's surroundings, stretched over the control.
class ucGMap : public QWidget {
    Q_OBJECT

public:
    explicit ucGMap(QWidget* parent = nullptr);

    [[nodiscard]] int GZoom() const { return m_zoom; }
    void setGZoom(int value);

    [[nodiscard]] int MapType() const { return m_mapType; }
    void setMapType(int value);

private:
    int m_zoom = 0;
    int m_mapType = 0;
};
