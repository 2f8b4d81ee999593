#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

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
// Handlers may run a nested event loop and with it a nested ReceiveChunk(); the nested call
// dispatches its own messages before the outer one goes on.
class MessageReceiver {
public:
    // The largest payload accepted. Unterminated data beyond it is dropped, together with the rest
    // of that frame, so that a peer sending garbage cannot exhaust memory.
    static constexpr qsizetype MaxPayloadBytes = 1024 * 1024;

    explicit MessageReceiver(MessageHandlers& handlers);

    // Takes the next bytes of the stream and dispatches every message they complete.
    void ReceiveChunk(QByteArrayView chunk);

    // Forgets everything received so far: text of a broken connection never joins the next one.
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
    // The message of the text before a terminator, or nothing when that text is to be dropped.
    [[nodiscard]] static QByteArrayView messageOf(QByteArrayView piece);
    void dropOverlongFrame();

    MessageHandlers& m_handlers;
    QByteArray m_buffer;
};
