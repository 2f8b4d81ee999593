#include "link/MessageReceiver.h"

#include "common/CodePage.h"
#include "link/Framing.h"
#include "link/MessageHandlers.h"

#include <QList>
#include <QScopedValueRollback>

#include <algorithm>
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

constexpr qsizetype kLongestType = 16; // "WACHALARM_TICKER"

// The type the text begins with, ending at a TAB or at the end; none for an unknown type.
std::optional<MessageType> typeOf(QByteArrayView text)
{
    if (text.isEmpty())
        return std::nullopt;
    const void* tab = std::memchr(text.data(), FieldSeparator, std::size_t(std::min(text.size(), kLongestType + 1)));
    const qsizetype length = tab ? static_cast<const char*>(tab) - text.data() : text.size();
    for (const TypeEntry& entry : kTypes) {
        if (entry.name.size() == length && std::memcmp(entry.name.data(), text.data(), std::size_t(length)) == 0)
            return entry.type;
    }
    return std::nullopt;
}

// Where the next terminator begins at or after `from`, or -1: its first byte looked for with
// memchr, where a general search would set up its tables anew for each of a flood's frames.
qsizetype indexOfFrameEnd(QByteArrayView text, qsizetype from)
{
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    for (const char* at = begin + from; end - at >= FrameEnd.size(); ++at) {
        at = static_cast<const char*>(std::memchr(at, FrameEnd[0], std::size_t(end - at)));
        if (!at || end - at < FrameEnd.size())
            return -1;
        if (std::memcmp(at, FrameEnd.data(), std::size_t(FrameEnd.size())) == 0)
            return at - begin;
    }
    return -1;
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
    // Announcing ahead does not run the event loop; should a handler still take bytes inside it,
    // they are cut once this chunk is.
    if (m_taking) {
        m_deferred.append(chunk);
        return;
    }
    const QScopedValueRollback<bool> taking(m_taking, true);
    cut(chunk);
    while (!m_deferred.isEmpty())
        cut(std::exchange(m_deferred, QByteArray()));
}

void MessageReceiver::cut(QByteArrayView chunk)
{
    if (chunk.isEmpty())
        return;

    const qsizetype oldSize = m_buffer.size();
    m_buffer.append(chunk);

    // Where the messages are, found before any is copied, so that an alarm behind thousands of
    // them is heard before they are queued.
    std::vector<Cut> cuts;
    qsizetype pieceStart = 0;
    // A terminator that completes in this chunk ends in a byte 4; without one the chunk only adds.
    if (std::memchr(chunk.data(), 4, chunk.size())) {
        // Everything before oldSize - 9 was searched when it arrived.
        qsizetype from = qMax<qsizetype>(0, oldSize - (FrameEnd.size() - 1));
        for (;;) {
            const qsizetype end = indexOfFrameEnd(m_buffer, from);
            if (end < 0)
                break;
            bool alarm = false;
            if (const QByteArrayView message
                = messageOf(QByteArrayView(m_buffer).sliced(pieceStart, end - pieceStart), &alarm);
                !message.isEmpty())
                cuts.push_back({ message.data() - m_buffer.constData(), message.size(), alarm, false });
            pieceStart = end + FrameEnd.size();
            from = pieceStart;
        }
    }
    announceAhead(cuts);
    for (const Cut& cut : cuts) {
        m_waiting.push_back({ m_buffer, cut.from, cut.size, cut.alarm, cut.announced });
        m_waitingOthers += cut.alarm ? 0 : 1;
    }
    // The waiting messages keep the bytes they are in; the buffer goes on with a copy of the rest.
    if (pieceStart > 0)
        m_buffer = QByteArrayView(m_buffer).sliced(pieceStart).toByteArray();
    if (m_buffer.size() > kMaxUnterminated)
        dropOverlongFrame();
}

void MessageReceiver::announceAhead(std::vector<Cut>& cuts)
{
    // An alarm first in the queue, or behind alarms alone, is dispatched next and heard then.
    bool due = false;
    for (qsizetype others = m_waitingOthers; const Cut& cut : cuts) {
        if (cut.alarm && others > 0) {
            due = true;
            break;
        }
        others += cut.alarm ? 0 : 1;
    }
    if (!due)
        return;
    // Alarms are heard in the order they came. Those queued and not yet announced stand at the
    // front of the queue, before any other message, since an alarm behind one announces all.
    QList<QByteArray> alarms;
    for (Waiting& waiting : m_waiting) {
        if (!waiting.alarm)
            break;
        if (!std::exchange(waiting.announced, true))
            alarms.append(waiting.message().toByteArray());
    }
    for (Cut& cut : cuts) {
        if (cut.alarm) {
            cut.announced = true;
            alarms.append(m_buffer.sliced(cut.from, cut.size));
        }
    }
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
        DispatchMessage(CodePage::decode(waiting.message()), m_handlers);
        if (!m_waiting.empty() && deadline != Clock::time_point::max() && Clock::now() >= deadline)
            return true;
    }
    return false;
}

QByteArrayView MessageReceiver::messageOf(QByteArrayView piece, bool* alarm)
{
    // A frame that its sender broke off and started anew leaves the broken part in front of the
    // new start byte, and so do stray bytes before a frame: the frame begins at the last start
    // byte. What stands before it is never part of the message, whatever type follows.
    const void* start = piece.isEmpty() ? nullptr : ::memrchr(piece.data(), FrameStart, std::size_t(piece.size()));
    if (!start)
        return {};
    const QByteArrayView message = piece.sliced(static_cast<const char*>(start) - piece.data() + 1);
    // An overlong frame, an empty one and one of a type the monitor does not handle are dropped
    // whole.
    const std::optional<MessageType> type = message.size() > MaxPayloadBytes ? std::nullopt : typeOf(message);
    if (!type)
        return {};
    if (alarm)
        *alarm = type == MessageType::StationAlarm || type == MessageType::UnitAlarm;
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
