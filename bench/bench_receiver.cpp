// Throughput of the receiver: framing, decoding and dispatch of the wire stream.
#include "link/Framing.h"
#include "link/MessageHandlers.h"
#include "link/MessageReceiver.h"

#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QList>
#include <QRandomGenerator>

namespace {

class CountingHandlers : public MessageHandlers {
public:
    qint64 messages = 0;
    void HandleStationAlarm(const QString&, int) override { ++messages; }
    void HandleUnitAlarm(const QString&) override { ++messages; }
    void HandleTickerMessage(const QString&) override { ++messages; }
    void InsertStatusRow(const QString&) override { ++messages; }
    void InsertPagerRow(const QString&) override { ++messages; }
    void DeleteTicker() override { ++messages; }
    void HandleFeedback(const QString&) override { ++messages; }
};

const QByteArray kEnd = Framing::FrameEnd.toByteArray();

// 512 station alarms of 2 KB each (1 MiB), with umlauts, CR LF and unit lists.
QByteArray alarmStream()
{
    QByteArray stream;
    QByteArray payload = "WACHALARM\tAlarm\tZug 1\tFeuer\tB3 Wohnungsbrand\t58095\tHagen\tElberfelder Stra\xdf"
                         "e\t12\t";
    while (payload.size() < 2048 - 11 - 40)
        payload += "Rauch aus Fenster im 2. OG, Personen vermutlich im Geb\xe4ude.\r\n";
    payload += "\tMitte\tELW 1\x07HLF 20(A)\x07\t1\t51,3594\t7,4738";
    payload.truncate(2048 - 11);
    for (int i = 0; i < 512; ++i)
        stream += Framing::FrameStart + payload + kEnd;
    return stream;
}

// Cuts the stream into chunks of random size between 1 and maxChunk bytes.
QList<QByteArrayView> randomChunks(const QByteArray& stream, int maxChunk)
{
    QRandomGenerator random(4750);
    QList<QByteArrayView> chunks;
    for (qsizetype at = 0; at < stream.size();) {
        const qsizetype size = qMin<qsizetype>(1 + random.bounded(maxChunk), stream.size() - at);
        chunks.append(QByteArrayView(stream).sliced(at, size));
        at += size;
    }
    return chunks;
}

void BM_Receiver2KFrames(benchmark::State& state)
{
    const QByteArray stream = alarmStream();
    const QList<QByteArrayView> chunks = randomChunks(stream, static_cast<int>(state.range(0)));
    CountingHandlers handlers;
    for (auto _ : state) {
        MessageReceiver receiver(handlers);
        for (QByteArrayView chunk : chunks)
            receiver.ReceiveChunk(chunk);
    }
    if (handlers.messages != 512 * static_cast<qint64>(state.iterations()))
        state.SkipWithError("messages lost");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * stream.size());
    state.counters["chunks"] = static_cast<double>(chunks.size());
}
// Random chunk sizes up to: a few bytes, one Ethernet frame, a big socket read.
BENCHMARK(BM_Receiver2KFrames)->Arg(16)->Arg(1500)->Arg(65536)->Unit(benchmark::kMillisecond);

void BM_OneMiBFrameByteByByte(benchmark::State& state)
{
    QByteArray payload = "WACHALARM_TICKER\t";
    payload += QByteArray(MessageReceiver::MaxPayloadBytes - payload.size(), 'x');
    const QByteArray frame = Framing::FrameStart + payload + kEnd;
    CountingHandlers handlers;
    for (auto _ : state) {
        MessageReceiver receiver(handlers);
        for (qsizetype i = 0; i < frame.size(); ++i)
            receiver.ReceiveChunk(QByteArrayView(frame).sliced(i, 1));
    }
    if (handlers.messages != static_cast<qint64>(state.iterations()))
        state.SkipWithError("the frame was not dispatched");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * frame.size());
}
BENCHMARK(BM_OneMiBFrameByteByByte)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
