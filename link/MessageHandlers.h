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

    // A "WACHALARM" or "WACHALARM_EM" that waits behind other messages of the stream: it may be
    // heard now. It still comes to its handler in its turn, after the messages before it. Called
    // while the link cuts what it read, so it never waits in the event loop.
    virtual void AnnounceAhead(const QString& message) { Q_UNUSED(message); }
};
