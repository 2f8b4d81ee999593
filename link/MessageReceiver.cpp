#include "link/MessageReceiver.h"

#include "common/CodePage.h"
#include "link/MessageHandlers.h"

#include <QList>

#include <array>
#include <cstring>
#include <exception>

namespace {

constexpr char kFrameStart = 5;
constexpr char kFieldSeparator = 9;
constexpr std::array<char, 10> kFrameEndBytes = { 2, 2, 2, 3, 3, 3, 4, 4, 4, 4 };
constexpr QByteArrayView kFrameEnd(kFrameEndBytes.data(), kFrameEndBytes.size());
constexpr qsizetype kFrameEndSize = kFrameEndBytes.size();

// The largest unterminated text that can still become a valid frame: start byte, payload and all
// but the last byte of the terminator.
constexpr qsizetype kMaxUnterminated = 1 + MessageReceiver::MaxPayloadBytes + kFrameEndSize - 1;

// What is kept of an overlong frame when it is dropped: enough to find a frame start
// ("\x05WACHALARM_TICKER\t") or a terminator that straddles the cut.
constexpr qsizetype kKeptTail = 32;

enum class MessageType { Ignored, StationAlarm, UnitAlarm, Ticker, Status, Pager, DeleteTicker, Feedback };

struct TypeEntry {
    QByteArrayView name;
    MessageType type;
};

// Types the dispatch computer sends; compared exactly, upper case only.
constexpr std::array<TypeEntry, 8> kTypes = { {
    { "VERSION", MessageType::Ignored },
    { "WACHALARM", MessageType::StationAlarm },
    { "WACHALARM_EM", MessageType::UnitAlarm },
    { "WACHALARM_TICKER", MessageType::Ticker },
    { "WACHALARM_STATUS", MessageType::Status },
    { "WACHALARM_MELDER", MessageType::Pager },
    { "WACHALARM_DEL", MessageType::DeleteTicker },
    { "WACHALARM_RM", MessageType::Feedback },
} };

// Whether the text begins with a known type that ends at a TAB or at the end.
bool startsWithKnownType(QByteArrayView text)
{
    for (const TypeEntry& entry : kTypes) {
        if (text.startsWith(entry.name)
            && (text.size() == entry.name.size() || text[entry.name.size()] == kFieldSeparator))
            return true;
    }
    return false;
}

} // namespace

MessageReceiver::MessageReceiver(MessageHandlers& handlers)
    : m_handlers(handlers)
{
}

void MessageReceiver::reset()
{
    m_buffer = QByteArray();
    m_lostStart = false;
}

void MessageReceiver::ReceiveChunk(QByteArrayView chunk)
{
    if (chunk.isEmpty())
        return;

    const qsizetype oldSize = m_buffer.size();
    m_buffer.append(chunk);

    // The messages are cut out of the buffer before any of them is dispatched, so that a handler
    // that runs the event loop (and with it a nested ReceiveChunk) finds the buffer consistent.
    QList<QByteArray> messages;
    qsizetype pieceStart = 0;
    // A terminator that completes in this chunk ends in a byte 4; without one the chunk only adds.
    if (std::memchr(chunk.data(), 4, chunk.size())) {
        // Everything before oldSize - 9 was searched when it arrived.
        qsizetype from = qMax<qsizetype>(0, oldSize - (kFrameEndSize - 1));
        for (;;) {
            const qsizetype end = QByteArrayView(m_buffer).indexOf(kFrameEnd, from);
            if (end < 0)
                break;
            QByteArray message
                = takeMessage(QByteArrayView(m_buffer).sliced(pieceStart, end - pieceStart), m_lostStart);
            m_lostStart = false;
            if (!message.isEmpty())
                messages.append(std::move(message));
            pieceStart = end + kFrameEndSize;
            from = pieceStart;
        }
    }
    if (pieceStart > 0)
        m_buffer.remove(0, pieceStart);
    if (m_buffer.size() > kMaxUnterminated)
        dropOverlongFrame();

    for (const QByteArray& message : std::as_const(messages))
        DispatchMessage(CodePage::decode(message), m_handlers);
}

QByteArray MessageReceiver::takeMessage(QByteArrayView piece, bool lostStart) const
{
    // A frame that its sender broke off and started anew leaves the broken part in front of the
    // new start byte, and so do stray bytes before a frame. The frame therefore begins at the last
    // start byte that a known type follows; a start byte inside a field is followed by no type.
    if (const qsizetype start = lastKnownFrameStart(piece); start >= 0) {
        const QByteArrayView message = piece.sliced(start + 1);
        return message.size() <= MaxPayloadBytes ? message.toByteArray() : QByteArray();
    }
    // An unknown type: dispatched to be ignored there. An empty payload is nothing to dispatch.
    if (!lostStart && !piece.isEmpty() && piece.front() == kFrameStart && piece.size() - 1 <= MaxPayloadBytes)
        return piece.sliced(1).toByteArray();
    // No start byte at all, or an overlong frame: dropped.
    return {};
}

qsizetype MessageReceiver::lastKnownFrameStart(QByteArrayView text)
{
    for (qsizetype at = text.lastIndexOf(kFrameStart); at >= 0;
         at = at > 0 ? text.lastIndexOf(kFrameStart, at - 1) : -1) {
        if (startsWithKnownType(text.sliced(at + 1)))
            return at;
    }
    return -1;
}

void MessageReceiver::dropOverlongFrame()
{
    // What can still become a frame is kept: from a later frame start on, or else the last bytes,
    // which may hold the beginning of a frame start or of a terminator.
    const qsizetype start = lastKnownFrameStart(m_buffer);
    if (start > 0 && m_buffer.size() - start <= kMaxUnterminated)
        m_buffer.remove(0, start);
    else
        m_buffer = m_buffer.last(kKeptTail);
    m_lostStart = true;
}

void MessageReceiver::DispatchMessage(const QString& message, MessageHandlers& handlers)
{
    try {
        const qsizetype tab = message.indexOf(QChar(kFieldSeparator));
        const QString type = tab < 0 ? message : message.left(tab);
        MessageType kind = MessageType::Ignored;
        for (const TypeEntry& entry : kTypes) {
            if (type.size() == entry.name.size() && type == QLatin1StringView(entry.name)) {
                kind = entry.type;
                break;
            }
        }
        switch (kind) {
        case MessageType::Ignored:
            break;
        case MessageType::StationAlarm:
            handlers.HandleStationAlarm(message, 0);
            break;
        case MessageType::UnitAlarm:
            handlers.HandleUnitAlarm(message);
            break;
        case MessageType::Ticker:
            handlers.HandleTickerMessage(message);
            break;
        case MessageType::Status:
            handlers.InsertStatusRow(message);
            break;
        case MessageType::Pager:
            handlers.InsertPagerRow(message);
            break;
        case MessageType::DeleteTicker:
            handlers.DeleteTicker();
            break;
        case MessageType::Feedback:
            handlers.HandleFeedback(message);
            break;
        }
    } catch (...) {
        // A failing handler loses its own message, never the receiver.
    }
}

QByteArray MessageReceiver::frame(const QString& message)
{
    QByteArray bytes;
    bytes.reserve(message.size() + 1 + kFrameEndSize);
    bytes.append(kFrameStart);
    bytes.append(CodePage::encode(message));
    bytes.append(kFrameEnd);
    return bytes;
}
