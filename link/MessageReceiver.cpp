#include "link/MessageReceiver.h"

#include "common/CodePage.h"
#include "link/Framing.h"
#include "link/MessageHandlers.h"

#include <QList>

#include <array>
#include <cstddef>
#include <cstring>
#include <optional>
#include <utility>

namespace {

using Framing::FieldSeparator;
using Framing::FrameEnd;
using Framing::FrameStart;

// The largest unterminated text that can still become a valid frame: start byte, payload and all
// but the last byte of the terminator.
constexpr qsizetype kMaxUnterminated
    = 1 + MessageReceiver::MaxPayloadBytes + qsizetype(Framing::FrameEndBytes.size()) - 1;

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

// The type the text begins with, ending at a TAB or at the end; none for an unknown type.
std::optional<MessageType> typeOf(QByteArrayView text)
{
    for (const TypeEntry& entry : kTypes) {
        if (text.startsWith(entry.name)
            && (text.size() == entry.name.size() || text[entry.name.size()] == FieldSeparator))
            return entry.type;
    }
    return std::nullopt;
}

bool isAlarm(QByteArrayView message)
{
    const std::optional<MessageType> type = typeOf(message);
    return type == MessageType::StationAlarm || type == MessageType::UnitAlarm;
}

} // namespace

MessageReceiver::MessageReceiver(MessageHandlers& handlers)
    : m_handlers(handlers)
{
}

void MessageReceiver::reset()
{
    m_buffer = QByteArray();
}

void MessageReceiver::ReceiveChunk(QByteArrayView chunk)
{
    take(chunk);
    dispatchUntil(Clock::time_point::max());
}

void MessageReceiver::take(QByteArrayView chunk)
{
    if (chunk.isEmpty())
        return;

    const qsizetype oldSize = m_buffer.size();
    m_buffer.append(chunk);

    const std::size_t firstNew = m_waiting.size();
    qsizetype pieceStart = 0;
    // A terminator that completes in this chunk ends in a byte 4; without one the chunk only adds.
    if (std::memchr(chunk.data(), 4, chunk.size())) {
        // Everything before oldSize - 9 was searched when it arrived.
        qsizetype from = qMax<qsizetype>(0, oldSize - (FrameEnd.size() - 1));
        for (;;) {
            const qsizetype end = QByteArrayView(m_buffer).indexOf(FrameEnd, from);
            if (end < 0)
                break;
            if (const QByteArrayView message = messageOf(QByteArrayView(m_buffer).sliced(pieceStart, end - pieceStart));
                !message.isEmpty())
                enqueue(message);
            pieceStart = end + FrameEnd.size();
            from = pieceStart;
        }
    }
    if (pieceStart > 0)
        m_buffer.remove(0, pieceStart);
    if (m_buffer.size() > kMaxUnterminated)
        dropOverlongFrame();
    announceAhead(firstNew);
}

void MessageReceiver::enqueue(QByteArrayView message)
{
    const bool alarm = isAlarm(message);
    m_waiting.push_back({ message.toByteArray(), alarm, false });
    if (!alarm)
        ++m_waitingOthers;
    // An alarm first in the queue, or behind alarms alone, is dispatched next and heard then.
    else if (m_waitingOthers > 0)
        m_announceDue = true;
}

void MessageReceiver::announceAhead(std::size_t firstNew)
{
    if (!std::exchange(m_announceDue, false))
        return;
    // Alarms are heard in the order they came. Those not yet announced before this chunk stand at
    // the front of the queue, before any other message, since an alarm behind one announces all.
    QList<QByteArray> alarms;
    const auto note = [&alarms](Waiting& waiting) {
        if (waiting.alarm && !std::exchange(waiting.announced, true))
            alarms.append(waiting.message);
    };
    for (std::size_t i = 0; i < firstNew && m_waiting[i].alarm; ++i)
        note(m_waiting[i]);
    for (std::size_t i = firstNew; i < m_waiting.size(); ++i)
        note(m_waiting[i]);
    // Announcing may run the event loop and with it a nested ReceiveChunk; the queue is left alone.
    for (const QByteArray& alarm : std::as_const(alarms)) {
        try {
            m_handlers.AnnounceAhead(CodePage::decode(alarm));
        } catch (...) {
            // The alarm is still dispatched in its turn.
        }
    }
}

bool MessageReceiver::dispatchUntil(Clock::time_point deadline)
{
    // Each message leaves the queue before it is dispatched: a handler that runs the event loop
    // (and with it a nested ReceiveChunk) finds the queue consistent and goes on with it.
    while (!m_waiting.empty()) {
        const Waiting waiting = std::move(m_waiting.front());
        m_waiting.pop_front();
        if (!waiting.alarm)
            --m_waitingOthers;
        DispatchMessage(CodePage::decode(waiting.message), m_handlers);
        if (!m_waiting.empty() && deadline != Clock::time_point::max() && Clock::now() >= deadline)
            return true;
    }
    return false;
}

QByteArrayView MessageReceiver::messageOf(QByteArrayView piece)
{
    // A frame that its sender broke off and started anew leaves the broken part in front of the
    // new start byte, and so do stray bytes before a frame: the frame begins at the last start
    // byte. What stands before it is never part of the message, whatever type follows.
    const qsizetype start = piece.lastIndexOf(FrameStart);
    if (start < 0)
        return {};
    const QByteArrayView message = piece.sliced(start + 1);
    // An overlong frame, an empty one and one of a type the monitor does not handle are dropped
    // whole.
    if (message.size() > MaxPayloadBytes || !typeOf(message))
        return {};
    return message;
}

void MessageReceiver::dropOverlongFrame()
{
    // What can still become a frame is kept: from a later start byte on, or else the last bytes,
    // which may hold the beginning of a terminator that ends the dropped frame.
    const qsizetype start = m_buffer.lastIndexOf(FrameStart);
    if (start > 0 && m_buffer.size() - start <= kMaxUnterminated)
        m_buffer.remove(0, start);
    else
        m_buffer = m_buffer.last(FrameEnd.size() - 1);
}

void MessageReceiver::DispatchMessage(const QString& message, MessageHandlers& handlers)
{
    try {
        const qsizetype tab = message.indexOf(QChar(FieldSeparator));
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
    bytes.reserve(message.size() + 1 + FrameEnd.size());
    bytes.append(FrameStart);
    bytes.append(CodePage::encode(message));
    bytes.append(FrameEnd);
    return bytes;
}
