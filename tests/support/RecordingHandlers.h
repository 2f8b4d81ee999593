#pragma once

#include "link/MessageHandlers.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <stdexcept>
#include <utility>

// Writes down every handler call as "Handler:message", in order. Throws, as a failing handler
// would, from every call whose record contains `throwIn`; runs `insideNextStationAlarm` inside the
// next station alarm's handler, as a handler that waits in the event loop lets other work run.
class RecordingHandlers : public MessageHandlers {
public:
    QStringList calls;
    QString throwIn;
    std::function<void()> insideNextStationAlarm;
    bool recordAhead = false; // AnnounceAhead too

    void HandleStationAlarm(const QString& message, int replay) override
    {
        record(QStringLiteral("HandleStationAlarm(%1)").arg(replay), message);
        if (auto inside = std::exchange(insideNextStationAlarm, {}))
            inside();
    }
    void HandleUnitAlarm(const QString& message) override { record(QStringLiteral("HandleUnitAlarm"), message); }
    void HandleTickerMessage(const QString& message) override
    {
        record(QStringLiteral("HandleTickerMessage"), message);
    }
    void InsertStatusRow(const QString& message) override { record(QStringLiteral("InsertStatusRow"), message); }
    void InsertPagerRow(const QString& message) override { record(QStringLiteral("InsertPagerRow"), message); }
    void DeleteTicker() override { record(QStringLiteral("DeleteTicker"), QString()); }
    void HandleFeedback(const QString& message) override { record(QStringLiteral("HandleFeedback"), message); }
    void AnnounceAhead(const QString& message) override
    {
        if (recordAhead)
            record(QStringLiteral("AnnounceAhead"), message);
    }

private:
    void record(const QString& handler, const QString& message)
    {
        calls.append(handler + QLatin1Char(':') + message);
        if (!throwIn.isEmpty() && calls.last().contains(throwIn))
            throw std::runtime_error("handler failed");
    }
};
