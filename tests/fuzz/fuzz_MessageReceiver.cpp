// Fuzzes the receiver and the dispatcher with arbitrary streams in arbitrary chunkings.
//
// Checks, besides the sanitizers: the messages dispatched do not depend on the chunking; every
// handler call carries a message of the handler's own type and no larger than the limit; a
// handler that throws stops nothing; after reset() a good frame is dispatched exactly.
#include "common/CodePage.h"
#include "link/MessageHandlers.h"
#include "link/MessageReceiver.h"

#include <QList>
#include <QString>

#include <cstdint>
#include <cstdlib>
#include <stdexcept>

namespace {

class Recorder : public MessageHandlers {
public:
    QList<QString> calls;

    void HandleStationAlarm(const QString& message, int replay) override
    {
        check(message, "WACHALARM");
        if (replay != 0)
            std::abort();
    }
    void HandleUnitAlarm(const QString& message) override { check(message, "WACHALARM_EM"); }
    void HandleTickerMessage(const QString& message) override { check(message, "WACHALARM_TICKER"); }
    void InsertStatusRow(const QString& message) override { check(message, "WACHALARM_STATUS"); }
    void InsertPagerRow(const QString& message) override { check(message, "WACHALARM_MELDER"); }
    void DeleteTicker() override { calls.append(QStringLiteral("WACHALARM_DEL")); }
    void HandleFeedback(const QString& message) override { check(message, "WACHALARM_RM"); }

private:
    void check(const QString& message, const char* type)
    {
        const QString expected = QString::fromLatin1(type);
        if (message.section(QChar(9), 0, 0) != expected || message.size() > MessageReceiver::MaxPayloadBytes)
            std::abort();
        calls.append(message);
        // Some handlers fail; the receiver must carry on all the same.
        if (message.size() % 3 == 0)
            throw std::runtime_error("handler failed");
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    std::uint32_t state = data[0] * 2654435761u + 1;
    const QByteArrayView stream(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));

    Recorder whole;
    MessageReceiver one(whole);
    one.ReceiveChunk(stream);

    Recorder pieces;
    MessageReceiver many(pieces);
    for (qsizetype at = 0; at < stream.size();) {
        state = state * 1664525u + 1013904223u;
        const qsizetype length = qMin<qsizetype>(stream.size() - at, (state >> 24) % 48);
        many.ReceiveChunk(stream.sliced(at, length));
        at += length;
    }
    if (whole.calls != pieces.calls)
        std::abort();

    // Arbitrary text straight into the dispatcher.
    MessageReceiver::DispatchMessage(CodePage::decode(stream), whole);

    many.reset();
    if (many.bufferedBytes() != 0)
        std::abort();
    const qsizetype before = pieces.calls.size();
    many.ReceiveChunk(MessageReceiver::frame(QStringLiteral("WACHALARM_STATUS\tF1\t3")));
    if (pieces.calls.size() != before + 1 || pieces.calls.last() != QStringLiteral("WACHALARM_STATUS\tF1\t3"))
        std::abort();
    return 0;
}
