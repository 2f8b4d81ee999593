#pragma once

#include <QString>

// What the dispatcher hands each received message to. The main window implements it; tests put a
// recorder in its place. Every handler receives the whole message text, type field included.
class MessageHandlers {
public:
    virtual ~MessageHandlers() = default;

    virtual void HandleStationAlarm(const QString& message, int replay) = 0; // "WACHALARM"
    virtual void HandleUnitAlarm(const QString& message) = 0; // "WACHALARM_EM"
    virtual void HandleTickerMessage(const QString& message) = 0; // "WACHALARM_TICKER"
    virtual void InsertStatusRow(const QString& message) = 0; // "WACHALARM_STATUS"
    virtual void InsertPagerRow(const QString& message) = 0; // "WACHALARM_MELDER"
    virtual void DeleteTicker() = 0; // "WACHALARM_DEL"
    virtual void HandleFeedback(const QString& message) = 0; // "WACHALARM_RM"
};
