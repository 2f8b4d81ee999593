// Fuzzes the receiver and the dispatcher with arbitrary streams in arbitrary chunkings. Checks,
// besides the sanitizers: the messages do not depend on the chunking; each handler gets only its
// own type, never over the limit; a failing handler stops nothing; after reset() a frame gets through.
#include "tests/support/RecordingHandlers.h"

#include "common/CodePage.h"
#include "link/MessageReceiver.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const QStringList handlerTypes = { "HandleStationAlarm(0):WACHALARM\t", "HandleUnitAlarm:WACHALARM_EM\t",
        "HandleTickerMessage:WACHALARM_TICKER\t", "InsertStatusRow:WACHALARM_STATUS\t",
        "InsertPagerRow:WACHALARM_MELDER\t", "HandleFeedback:WACHALARM_RM\t", "DeleteTicker:" };
    if (size < 1)
        return 0;
    std::uint32_t state = data[0] * 2654435761u + 1;
    const QByteArrayView stream(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
    RecordingHandlers whole, pieces;
    whole.throwIn = pieces.throwIn = QStringLiteral("\x01");
    MessageReceiver one(whole), many(pieces);
    one.ReceiveChunk(stream);
    for (qsizetype at = 0; at < stream.size(); at += (state >> 24) % 48) {
        state = state * 1664525u + 1013904223u;
        many.ReceiveChunk(stream.sliced(at, qMin<qsizetype>(stream.size() - at, (state >> 24) % 48)));
    }
    MessageReceiver::DispatchMessage(CodePage::decode(stream), whole); // arbitrary text, straight in
    for (const QString& call : whole.calls) {
        if (call.size() > 40 + MessageReceiver::MaxPayloadBytes
            || std::none_of(handlerTypes.begin(), handlerTypes.end(),
                [&](const QString& type) { return (call + QLatin1Char('\t')).startsWith(type); }))
            std::abort();
    }
    if (whole.calls.mid(0, pieces.calls.size()) != pieces.calls || whole.calls.size() > pieces.calls.size() + 1)
        std::abort();
    many.reset();
    many.ReceiveChunk(MessageReceiver::frame(QStringLiteral("WACHALARM_DEL")));
    if (many.bufferedBytes() != 0 || pieces.calls.last() != QStringLiteral("DeleteTicker:"))
        std::abort();
    return 0;
}
