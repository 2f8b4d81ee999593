#pragma once

#include "water/WaterSource.h"

#include <QObject>
#include <QThreadPool>

// Looks up the water sources around each incident on a worker thread of its own, never on the
// alarm's thread, and reports on the owner's thread. Only the answer to the latest incident is
// reported. Without an index (map.ini names none) nothing is looked up; a missing or unreadable
// file reports a nearby list without an index; a broken one is one warning in the journal until it
// has been read again.
class WaterLookup : public QObject {
    Q_OBJECT

public:
    explicit WaterLookup(QObject* parent = nullptr);
    ~WaterLookup() override;

    // The index file; empty switches the look-up off.
    void setIndex(const QString& path);
    [[nodiscard]] bool active() const { return !m_path.isEmpty(); }

    // Looks around the incident (x longitude, y latitude); nothing when off.
    void lookUp(QPointF incident);
    // The alarm that asked has gone: its answer is dropped.
    void cancel() { ++m_generation; }

signals:
    void found(const WaterNearby& nearby);

private:
    QString m_path;
    quint64 m_generation = 0;
    bool m_warned = false;
    QThreadPool m_pool;
};
