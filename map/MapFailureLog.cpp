#include "map/MapFailureLog.h"

void MapFailureLog::failed(const QString& what, const QString& reason)
{
    int leftOut = 0;
    if (!m_limits[what + QLatin1Char('\n') + reason].failure(Log::RepeatLimit::Clock::now(), &leftOut))
        return;
    const QString more = leftOut > 0 ? QStringLiteral(" (%1 more since the last report)").arg(leftOut) : QString();
    qCWarning(lcMap).noquote() << what << "failed:" << reason + more;
}
