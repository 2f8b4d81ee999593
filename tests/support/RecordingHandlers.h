#pragma once

#include "link/MessageHandlers.h"

#include <QString>
#include <QStringList>

#include <stdexcept>

// Writes down every handler call as "Handler:message", in order. Can be told to throw from one
// handler, as a failing handler would.
class RecordingHandlers : public MessageHandlers {
public:
    QStringList calls;
    QString throwIn;

    void HandleStationAlarm(const QString& message, int replay) override
    {
        record(QStringLiteral("HandleStationAlarm(%1)").arg(replay), message);
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

private:
    void record(const QString& handler, const QString& message)
    {
        calls.append(handler + QLatin1Char(':') + message);
        if (!throwIn.isEmpty() && handler.startsWith(throwIn))
            throw std::runtime_error("handler failed");
    }
};
