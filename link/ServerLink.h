#pragma once

#include "common/Log.h"
#include "link/MessageReceiver.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

class AppContext;
struct StationSettings;
class MessageHandlers;
class QTcpSocket;

// The TCP client of the dispatch computer. The main window's one-second timer calls superviseTick(),
// which reopens the connection whenever it is not up; every new connection is registered with the
// one message the monitor ever sends. What arrives goes through the receiver to the handlers.
//
// Every wait blocks in an event loop until its condition, its time limit or the end of the program;
// nothing is reported to the caller and no error is shown.
class ServerLink : public QObject {
    Q_OBJECT

public:
    // Time limits of the waits, in milliseconds.
    static constexpr int CloseWaitMs = 5000;
    static constexpr int ConnectWaitMs = 2500;
    static constexpr int RegistrationWaitMs = 2000;
    static constexpr int SendWaitMs = 5000;
    // The longest run of dispatching received messages before the socket is read again.
    static constexpr int DispatchSliceMs = 5;

    // TCP keepalive: a peer that vanished without closing (cable pulled, machine frozen) is noticed
    // after at most 20 + 4 × 5 = 40 s; unacknowledged sent data gives up after as long.
    static constexpr int KeepAliveIdleSeconds = 20;
    static constexpr int KeepAliveIntervalSeconds = 5;
    static constexpr int KeepAliveProbes = 4;
    static constexpr int UnacknowledgedLimitMs = 40000;

    // The settings are the Station's record (the dispatch computer's address).
    ServerLink(AppContext& ctx, const StationSettings& settings, MessageHandlers& handlers, QObject* parent = nullptr);
    ~ServerLink() override;

    // The supervision step, once per timer tick: reconnects when the socket is closed, connecting,
    // closing or failed, and tells linkStatusChanged() when the status changes.
    void superviseTick();

    // Closes and reopens the connection; returns when it is up, when the waits run out, or when
    // the program is ending.
    void ConnectToServer(const QString& address);

    // Sends one message as a frame when connected, and waits (bounded) until it is handed to the
    // network.
    void SendToServer(const QString& message);

    // Shutdown: closes the socket unless it is closed already.
    void closeSocket();

    // The state of the socket; Error: an error since the last connect or close.
    enum class State { Closed, Open, Resolving, Connecting, Connected, Closing, Error };
    [[nodiscard]] State LinkState() const;

    // The status last reported: whether the link is connected.
    [[nodiscard]] bool LinkStatus() const { return m_linkStatus; }
    // In a supervision step or one of its waits, or messages received wait for their handlers: the
    // link must not be deleted now.
    [[nodiscard]] bool busy() const { return m_inSupervision || m_waits > 0 || m_deliveryQueued; }
    // The host is no longer wanted: the connection is closed and never opened again; what was
    // received is still handed on.
    void retire();

    // The host of the dispatch computer: the one set with setHost(), else the settings' ("localhost"
    // when they give none).
    [[nodiscard]] QString ServerAddress() const;
    // The port of the dispatch computer: the one set with setHost(), else the context's (4750).
    [[nodiscard]] quint16 ServerPort() const;
    // A dispatch host of its own, beside settings.dat's; takes effect at the next connection.
    void setHost(const QString& host, quint16 port);

    // Drops the connection (a host that is connected but silent); the next supervision step
    // opens it again.
    void reconnect();

    // "HIER_MEIN_NAME", MonitorName, "MONITOR", "MONITOR", "1", separated by TAB.
    [[nodiscard]] QString registrationMessage() const;

    QTcpSocket* const Winsock_Klein;

    // Whether a send awaits its completion notice. One flag for all sends: a send made inside the
    // wait of another sets and clears the same flag.
    bool SendPending = false;

signals:
    // The link went up (true) or down (false); emitted only on a change.
    void linkStatusChanged(bool connected);

private:
    void onConnected();
    void onReadyRead();
    void queueDelivery();
    void deliverReceived();
    // Reads what the system holds for the socket now, if anything, through readyRead.
    void readWaitingBytes();
    void enableKeepAlive();
    void onDisconnected();
    // Logs a failed connection attempt: the first of a row, then once a minute with a count.
    void logFailedAttempt(const QString& address);
    // Blocks in an event loop until done() holds, limitMs have passed, or the program is ending.
    void waitUntil(const std::function<bool()>& done, int limitMs);

    AppContext& m_ctx;
    const StationSettings& m_settings;
    QString m_host; // empty: the settings' host and the context's port
    quint16 m_port = 0;
    MessageReceiver m_receiver;
    QByteArray m_received;
    bool m_deliveryQueued = false;
    bool m_errorSinceConnect = false;
    bool m_inSupervision = false;
    int m_waits = 0; // waits under way, one inside the other
    bool m_retired = false;
    bool m_linkStatus = false;
    bool m_up = false; // connected; cleared (and logged) when the connection ends
    Log::RepeatLimit m_failedAttempts;
};
