#include "tests/support/RecordingHandlers.h"

#include "common/CodePage.h"
#include "link/MessageReceiver.h"

#include <QRandomGenerator>
#include <QTest>

namespace {

const QByteArray kEnd("\x02\x02\x02\x03\x03\x03\x04\x04\x04\x04", 10);

QByteArray frame(const QByteArray& payload)
{
    return '\x05' + payload + kEnd;
}

QStringList feed(const QList<QByteArray>& chunks)
{
    RecordingHandlers handlers;
    MessageReceiver receiver(handlers);
    for (const QByteArray& chunk : chunks)
        receiver.ReceiveChunk(chunk);
    return handlers.calls;
}

QString call(const char* handler, const QByteArray& payload)
{
    return QString::fromLatin1(handler) + QLatin1Char(':') + CodePage::decode(payload);
}

// Every byte value but TAB, and not forming a terminator (no byte 4 after a 3).
QByteArray everyFieldByte()
{
    QByteArray bytes;
    for (int b = 0; b < 256; ++b) {
        if (b != 9)
            bytes.append(char(b));
    }
    return bytes;
}

} // namespace

class MessageReceiverTest : public QObject {
    Q_OBJECT

private slots:
    void dispatchTable_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QStringList>("expected");

        const QByteArray alarm("WACHALARM\tB3\tFeuer\tHauptstr. 1\t12345 Ort\t\tObjekt");
        QTest::newRow("station alarm") << alarm << QStringList { call("HandleStationAlarm(0)", alarm) };
        QTest::newRow("unit alarm") << QByteArray("WACHALARM_EM\tHLF 20(A)\x07")
                                    << QStringList { call("HandleUnitAlarm", "WACHALARM_EM\tHLF 20(A)\x07") };
        QTest::newRow("ticker") << QByteArray("WACHALARM_TICKER\ta\x07"
                                              "b")
                                << QStringList { call("HandleTickerMessage",
                                       "WACHALARM_TICKER\ta\x07"
                                       "b") };
        QTest::newRow("status") << QByteArray("WACHALARM_STATUS\tFlorian 1\t3")
                                << QStringList { call("InsertStatusRow", "WACHALARM_STATUS\tFlorian 1\t3") };
        QTest::newRow("pager") << QByteArray("WACHALARM_MELDER\tMeier\t1234")
                               << QStringList { call("InsertPagerRow", "WACHALARM_MELDER\tMeier\t1234") };
        QTest::newRow("feedback") << QByteArray("WACHALARM_RM\t1234\t2")
                                  << QStringList { call("HandleFeedback", "WACHALARM_RM\t1234\t2") };
        QTest::newRow("delete ticker, one field") << QByteArray("WACHALARM_DEL") << QStringList { "DeleteTicker:" };
        QTest::newRow("delete ticker with fields") << QByteArray("WACHALARM_DEL\tx") << QStringList { "DeleteTicker:" };
        QTest::newRow("one-field alarm") << QByteArray("WACHALARM")
                                         << QStringList { call("HandleStationAlarm(0)", "WACHALARM") };
        // Ignored, without a trace.
        QTest::newRow("version") << QByteArray("VERSION\t4.2") << QStringList {};
        QTest::newRow("lower case") << QByteArray("wachalarm\tB3") << QStringList {};
        QTest::newRow("type with suffix") << QByteArray("WACHALARMX\tB3") << QStringList {};
        QTest::newRow("type with blank") << QByteArray("WACHALARM \tB3") << QStringList {};
        QTest::newRow("empty type") << QByteArray("\tWACHALARM") << QStringList {};
        QTest::newRow("registration echoed") << QByteArray("HIER_MEIN_NAME\tx\tMONITOR\tMONITOR\t1") << QStringList {};
        QTest::newRow("single character") << QByteArray("W") << QStringList {};
        QTest::newRow("empty frame") << QByteArray() << QStringList {};
        // Text is Windows-1252, one byte one character, all 256 values intact, NUL and 5 included.
        const QByteArray umlauts("WACHALARM_STATUS\tL\xf6schzug S\xfc\x64\t\x80\x81\x9f\xff");
        QTest::newRow("windows-1252") << umlauts
                                      << QStringList { QStringLiteral(
                                             "InsertStatusRow:WACHALARM_STATUS\tLöschzug Süd\t€\u0081Ÿÿ") };
        const QByteArray every = "WACHALARM_TICKER\t" + everyFieldByte() + "\t\0\0"_qba;
        QTest::newRow("every byte value in fields") << every << QStringList { call("HandleTickerMessage", every) };
        const QByteArray crlf("WACHALARM\tB3\tFeuer\tStr\tOrt\t\tBMA\tZeile 1\r\nZeile 2");
        QTest::newRow("CR LF in a field") << crlf << QStringList { call("HandleStationAlarm(0)", crlf) };
    }

    void dispatchTable()
    {
        QFETCH(QByteArray, payload);
        QFETCH(QStringList, expected);
        QCOMPARE(feed({ frame(payload) }), expected);
        // The same, straight into the dispatcher.
        RecordingHandlers handlers;
        MessageReceiver::DispatchMessage(CodePage::decode(payload), handlers);
        if (payload.isEmpty() || payload.size() == 1)
            QCOMPARE(handlers.calls, QStringList {});
        else
            QCOMPARE(handlers.calls, expected);
    }

    // What each kind of damaged stream gets; the good frame after it always gets through.
    void badInput_data()
    {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<QStringList>("expected");

        const QByteArray good = frame("WACHALARM_STATUS\tFlorian 1\t2");
        const QString goodCall = call("InsertStatusRow", "WACHALARM_STATUS\tFlorian 1\t2");

        QTest::newRow("frame without start byte: dropped")
            << QList<QByteArray> { "WACHALARM\tB3\tFeuer" + kEnd + good } << QStringList { goodCall };
        QTest::newRow("bytes before the start byte: skipped, frame dispatched")
            << QList<QByteArray> { "\r\n\x01xyz" + frame("WACHALARM_EM\tRTW 1\x07") }
            << QStringList { call("HandleUnitAlarm", "WACHALARM_EM\tRTW 1\x07") };
        QTest::newRow("half frame, then a whole one: half dropped")
            << QList<QByteArray> { "\x05WACHALARM\tB3\tFeu", good } << QStringList { goodCall };
        QTest::newRow("half frame and a whole one in one chunk: half dropped")
            << QList<QByteArray> { "\x05WACHALARM\tB3\tFeu" + good } << QStringList { goodCall };
        QTest::newRow("empty frame") << QList<QByteArray> { frame("") + good } << QStringList { goodCall };
        QTest::newRow("only a terminator") << QList<QByteArray> { kEnd + good } << QStringList { goodCall };
        QTest::newRow("terminators back to back")
            << QList<QByteArray> { kEnd + kEnd + kEnd, good } << QStringList { goodCall };
        QTest::newRow("start bytes only")
            << QList<QByteArray> { "\x05\x05\x05" + kEnd + good } << QStringList { goodCall };
        QTest::newRow("part of a terminator in a field")
            << QList<QByteArray> { frame("WACHALARM_RM\t1\x02\x02\x02\x03\x03\x03\x04\x04\x04\t2") }
            << QStringList { call("HandleFeedback", "WACHALARM_RM\t1\x02\x02\x02\x03\x03\x03\x04\x04\x04\t2") };
        QTest::newRow("start byte and type inside a field of an unknown type")
            << QList<QByteArray> { frame("UNBEKANNT\tx\x05y") } << QStringList {};
        QTest::newRow("garbage of every byte value")
            << QList<QByteArray> { everyFieldByte() + kEnd + good } << QStringList { goodCall };
    }

    void badInput()
    {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(QStringList, expected);
        QCOMPARE(feed(chunks), expected);
    }

    // The messages do not depend on how the stream is cut into chunks: every cut into two and three
    // chunks, one byte at a time, and random cuts.
    void everyChunking()
    {
        const QList<QByteArray> payloads = {
            "WACHALARM\tB3\tFeuer\tHauptstra\xdf"
            "e 1\t12345 M\xfcnchen\t\tObjekt\tZeile\r\nZwei",
            "WACHALARM_EM\tELW 1\x07HLF 20(A)\x07",
            "VERSION\t1",
            "WACHALARM_RM\t7\t\x05\x02\x02\x03\x04",
            "WACHALARM_DEL",
            "W",
            "",
            "WACHALARM_TICKER\t\0\x01\x05\xff"_qba,
        };
        QByteArray stream;
        for (const QByteArray& p : payloads)
            stream += frame(p);
        const QStringList expected = {
            call("HandleStationAlarm(0)", payloads[0]),
            call("HandleUnitAlarm", payloads[1]),
            call("HandleFeedback", payloads[3]),
            "DeleteTicker:",
            call("HandleTickerMessage", payloads[7]),
        };
        QCOMPARE(feed({ stream }), expected);

        for (qsizetype i = 1; i < stream.size(); ++i)
            QCOMPARE(feed({ stream.left(i), stream.mid(i) }), expected);
        for (qsizetype i = 1; i < stream.size(); ++i) {
            for (qsizetype j = i + 1; j < stream.size(); ++j) {
                const QStringList got = feed({ stream.left(i), stream.mid(i, j - i), stream.mid(j) });
                if (got != expected)
                    QFAIL(qPrintable(QStringLiteral("cut at %1 and %2").arg(i).arg(j)));
            }
        }
        QList<QByteArray> bytes;
        for (char c : stream)
            bytes.append(QByteArray(1, c));
        QCOMPARE(feed(bytes), expected);

        QRandomGenerator random(4750);
        for (int round = 0; round < 200; ++round) {
            QList<QByteArray> chunks;
            for (qsizetype at = 0; at < stream.size();) {
                const qsizetype size = 1 + random.bounded(40);
                chunks.append(stream.mid(at, size));
                at += size;
            }
            QCOMPARE(feed(chunks), expected);
        }
    }

    // A frame is dispatched as soon as its terminator is in, also when the beginning of the next
    // frame came with it and the stream goes on.
    void dispatchedAsSoonAsComplete()
    {
        RecordingHandlers handlers;
        MessageReceiver receiver(handlers);
        receiver.ReceiveChunk(frame("WACHALARM\tB3") + "\x05WACHALARM_ST");
        QCOMPARE(handlers.calls, QStringList { call("HandleStationAlarm(0)", "WACHALARM\tB3") });
        receiver.ReceiveChunk("ATUS\tF1\t3");
        QCOMPARE(handlers.calls.size(), 1);
        receiver.ReceiveChunk(kEnd.left(4));
        receiver.ReceiveChunk(kEnd.mid(4) + "\x05VER");
        QCOMPARE(handlers.calls.size(), 2);
        QCOMPARE(handlers.calls.last(), call("InsertStatusRow", "WACHALARM_STATUS\tF1\t3"));
        QCOMPARE(receiver.bufferedBytes(), 4);
    }

    // A new connection starts with an empty buffer: the rest of a broken one is not glued to it.
    void resetDropsTheRestOfTheOldConnection()
    {
        RecordingHandlers handlers;
        MessageReceiver receiver(handlers);
        receiver.ReceiveChunk("\x05WACHALARM_STATUS\tF1\t3\x02\x02");
        receiver.reset();
        QCOMPARE(receiver.bufferedBytes(), 0);
        receiver.ReceiveChunk("\x03\x03\x03\x04\x04\x04\x04");
        receiver.ReceiveChunk("X" + frame("WACHALARM_DEL").mid(1)); // first frame lost its start byte
        receiver.ReceiveChunk(frame("WACHALARM_EM\tRTW 1\x07"));
        QCOMPARE(handlers.calls, QStringList { call("HandleUnitAlarm", "WACHALARM_EM\tRTW 1\x07") });
    }

    void largestFrame_data()
    {
        QTest::addColumn<int>("chunkSize");
        QTest::newRow("whole") << 0;
        QTest::newRow("one byte at a time") << 1;
        QTest::newRow("1000 bytes at a time") << 1000;
    }

    // A payload of 1 MiB gets through whole; one byte more and the frame is dropped, and the next
    // frame still gets through, also when it starts before the overlong one has ended. The buffer never holds much more
    // than one largest frame.
    void largestFrame()
    {
        QFETCH(int, chunkSize);
        QByteArray payload = "WACHALARM_TICKER\t";
        payload += QByteArray(MessageReceiver::MaxPayloadBytes - payload.size(), 'x');
        const QByteArray tooLong = payload + "y";
        const QByteArray next = "WACHALARM_STATUS\tF1\t3";
        const QByteArray restarted = "WACHALARM_EM\tRTW 1\x07";
        // The third frame is broken off after 2 MiB and started anew.
        const QByteArray brokenOff = "\x05WACHALARM_TICKER\t" + QByteArray(2 * 1024 * 1024, 'z');
        const QByteArray stream = frame(payload) + frame(tooLong) + brokenOff + frame(restarted) + frame(next);

        RecordingHandlers handlers;
        MessageReceiver receiver(handlers);
        qsizetype largestBuffer = 0;
        const qsizetype step = chunkSize == 0 ? stream.size() : chunkSize;
        for (qsizetype at = 0; at < stream.size(); at += step) {
            receiver.ReceiveChunk(QByteArrayView(stream).sliced(at, qMin(step, stream.size() - at)));
            largestBuffer = qMax(largestBuffer, receiver.bufferedBytes());
        }
        QCOMPARE(handlers.calls.size(), 3);
        QCOMPARE(handlers.calls[0].size(), QStringLiteral("HandleTickerMessage:").size() + payload.size());
        QVERIFY(handlers.calls[0].endsWith(QStringLiteral("xxx")));
        QCOMPARE(handlers.calls[1], call("HandleUnitAlarm", restarted));
        QCOMPARE(handlers.calls[2], call("InsertStatusRow", next));
        QVERIFY(largestBuffer <= MessageReceiver::MaxPayloadBytes + 10 + step);
    }

    void garbageWithoutTerminator_data()
    {
        QTest::addColumn<int>("chunkSize");
        QTest::newRow("whole") << 0;
        QTest::newRow("one byte at a time") << 1;
        QTest::newRow("4096 bytes at a time") << 4096;
    }

    // 3 MiB of random bytes (start bytes included, no terminator): the buffer stays bounded, and
    // the alarm that follows is dispatched.
    void garbageWithoutTerminator()
    {
        QFETCH(int, chunkSize);
        QRandomGenerator random(1);
        QByteArray garbage(3 * 1024 * 1024, Qt::Uninitialized);
        for (char& c : garbage) {
            c = char(random.bounded(256));
            if (c == 4)
                c = 5;
        }
        const QByteArray alarm = "WACHALARM\tB3\tFeuer\tStr\tOrt";
        const QByteArray stream = garbage + frame(alarm);

        RecordingHandlers handlers;
        MessageReceiver receiver(handlers);
        qsizetype largestBuffer = 0;
        const qsizetype step = chunkSize == 0 ? stream.size() : chunkSize;
        for (qsizetype at = 0; at < stream.size(); at += step) {
            receiver.ReceiveChunk(QByteArrayView(stream).sliced(at, qMin(step, stream.size() - at)));
            largestBuffer = qMax(largestBuffer, receiver.bufferedBytes());
        }
        QCOMPARE(handlers.calls, QStringList { call("HandleStationAlarm(0)", alarm) });
        QVERIFY(largestBuffer <= MessageReceiver::MaxPayloadBytes + 10 + step);
        QCOMPARE(receiver.bufferedBytes(), 0);
    }

    // A handler that fails loses its own message; the receiver goes on with the next.
    void failingHandlerDoesNotStopTheReceiver()
    {
        RecordingHandlers handlers;
        handlers.throwIn = QStringLiteral("HandleStationAlarm");
        MessageReceiver receiver(handlers);
        receiver.ReceiveChunk(frame("WACHALARM\tB3") + frame("WACHALARM_DEL") + frame("WACHALARM\tB4"));
        receiver.ReceiveChunk(frame("WACHALARM_RM\t1\t2"));
        QCOMPARE(handlers.calls,
            (QStringList { call("HandleStationAlarm(0)", "WACHALARM\tB3"), "DeleteTicker:",
                call("HandleStationAlarm(0)", "WACHALARM\tB4"), call("HandleFeedback", "WACHALARM_RM\t1\t2") }));
    }

    // A handler that runs the event loop may receive further chunks inside its call: their messages
    // are handled before the rest of the outer chunk's, and none is lost or doubled.
    void nestedReceive()
    {
        struct Nesting : RecordingHandlers {
            MessageReceiver* receiver = nullptr;
            void HandleStationAlarm(const QString& message, int replay) override
            {
                RecordingHandlers::HandleStationAlarm(message, replay);
                receiver->ReceiveChunk(frame("WACHALARM_EM\tELW 1\x07") + "\x05WACHALARM_R");
            }
        } handlers;
        MessageReceiver receiver(handlers);
        handlers.receiver = &receiver;
        receiver.ReceiveChunk(frame("WACHALARM\tB3") + frame("WACHALARM_DEL") + "\x05WACHALARM_STA");
        receiver.ReceiveChunk("M\t5\t1" + kEnd);
        QCOMPARE(handlers.calls,
            (QStringList { call("HandleStationAlarm(0)", "WACHALARM\tB3"),
                call("HandleUnitAlarm", "WACHALARM_EM\tELW 1\x07"),
                "DeleteTicker:", call("HandleFeedback", "WACHALARM_RM\t5\t1") }));
    }

    void frameBytes()
    {
        QCOMPARE(MessageReceiver::frame(QStringLiteral("A\tÄ€")),
            QByteArray("\x05"
                       "A\t\xc4\x80")
                + kEnd);
    }
};

QTEST_GUILESS_MAIN(MessageReceiverTest)
#include "tst_MessageReceiver.moc"
