#pragma once

#include "common/Log.h"

#include <QHash>
#include <QString>

// The map's failed requests and cache writes in the journal, under kessvenn.map: each kind of
// failure is logged the first time, then at most once a minute with how many were left out, so
// that a view of thirty failing tiles is one line, not thirty.
class MapFailureLog {
public:
    // "<what> failed: <reason>", what naming the request and its host (never the address, which
    // may carry the station's key); what and reason together are the kind.
    void failed(const QString& what, const QString& reason);

private:
    QHash<QString, Log::RepeatLimit> m_limits;
};
