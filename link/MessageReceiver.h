#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <chrono>
#include <cstddef>
#include <deque>
#include <vector>

class MessageHandlers;

// Turns the byte stream of the dispatch computer into messages and hands each one to its handler.
// A frame is the byte 5, the payload and the terminator 2,2,2,3,3,3,4,4,4,4; the payload is
// Windows-1252 text whose fields are separated by TAB, field 0 being the message type.
//
// The receiver owns no socket: the link feeds it whatever arrives, in chunks of any size, and
// calls reset() when a new connection begins. A complete frame is dispatched as soon as its
// terminator has arrived, whatever the chunking. A frame begins at the last start byte in front of
// its terminator, so stray bytes and a frame broken off by its sender are dropped and never joined
// to the frame that follows; text without a start byte and frames of an unknown type are dropped.
//
// Complete frames wait in the order they came until they are dispatched. An alarm ("WACHALARM",
// "WACHALARM_EM") that waits behind other messages is announced ahead (MessageHandlers::
// AnnounceAhead) as soon as its frame is complete, every waiting alarm in the order they came; the
// alarm itself and everything else are dispatched strictly in stream order, so an answer or a status
// that came before an alarm is handled before it. Handlers may run a nested event loop and with it a
// nested ReceiveChunk(); the nested call goes on with the same queue, in stream order.
class MessageReceiver {
public:
    // The largest payload accepted. Unterminated data beyond it is dropped, together with the rest
    // of that frame, so that a peer sending garbage cannot exhaust memory.
    static constexpr qsizetype MaxPayloadBytes = 1024 * 1024;

    explicit MessageReceiver(MessageHandlers& handlers);

    using Clock = std::chrono::steady_clock;

    // Takes the next bytes of the stream and dispatches every message waiting.
    void ReceiveChunk(QByteArrayView chunk);

    // Takes the next bytes of the stream: the frames they complete wait for dispatchUntil(); alarms
    // behind other messages are announced ahead at once.
    void take(QByteArrayView chunk);
    // Dispatches waiting messages in order until none waits or `deadline` has passed (at least
    // one); true when messages are still waiting.
    bool dispatchUntil(Clock::time_point deadline);
    // The messages waiting to be dispatched.
    [[nodiscard]] qsizetype waitingMessages() const { return qsizetype(m_waiting.size()); }

    // Forgets the text of an unfinished frame: it never joins the next connection. Complete frames
    // still wait for their dispatch.
    void reset();

    // The bytes held back, waiting for their terminator.
    [[nodiscard]] qsizetype bufferedBytes() const { return m_buffer.size(); }

    // Picks the handler by the message type (the text before the first TAB, compared exactly).
    // "VERSION", unknown and empty types are ignored. A handler that throws ends only its own work
    // on this message.
    static void DispatchMessage(const QString& message, MessageHandlers& handlers);

    // The frame of a message as it goes over the wire (Windows-1252).
    [[nodiscard]] static QByteArray frame(const QString& message);

private:
    // A message waiting: its place in the bytes read with it, which it shares with the others of
    // that read rather than a copy of its own.
    struct Waiting {
        QByteArray read;
        qsizetype from = 0, size = 0;
        bool alarm = false; // "WACHALARM" or "WACHALARM_EM"
        bool announced = false; // announced ahead
        [[nodiscard]] QByteArrayView message() const { return QByteArrayView(read).sliced(from, size); }
    };

    // The message of the text before a terminator, or nothing when that text is to be dropped.
    // `alarm` tells whether it is "WACHALARM" or "WACHALARM_EM".
    [[nodiscard]] static QByteArrayView messageOf(QByteArrayView piece, bool* alarm = nullptr);
    void dropOverlongFrame();
    // A message found in the buffer: where it is, whether it is an alarm, whether announced.
    struct Cut {
        qsizetype from = 0, size = 0;
        bool alarm = false, announced = false;
    };
    // Cuts the complete frames out of the buffer and queues their messages.
    void cut(QByteArrayView chunk);
    // Once an alarm of `cuts` waits behind another message, announces ahead, in order, every
    // alarm queued or cut and not yet announced.
    void announceAhead(std::vector<Cut>& cuts);

    MessageHandlers& m_handlers;
    QByteArray m_buffer;
    std::deque<Waiting> m_waiting;
    qsizetype m_waitingOthers = 0; // waiting messages that are no alarm
    bool m_taking = false;
    QByteArray m_deferred; // taken while a chunk is cut
};
