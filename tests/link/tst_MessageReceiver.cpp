#include "tests/support/DataRows.h"
#include "tests/support/RecordingHandlers.h"

#include "common/CodePage.h"
#include "link/Framing.h"
#include "link/MessageReceiver.h"

#include <QRandomGenerator>
#include <QTest>

namespace {

const QByteArray kEnd = Framing::FrameEnd.toByteArray();

const auto frame = [](const QByteArray& payload) { return Framing::FrameStart + payload + kEnd; };
const auto call
    = [](const char* handler, const QByteArray& payload) { return handler + (':' + CodePage::decode(payload)); };

} // namespace

class MessageReceiverTest : public QObject {
    Q_OBJECT

private slots:
    // What each stream gets. The messages never depend on how the stream is cut into chunks; the
    // buffer never holds more than one largest frame.
    void stream_data()
    {
        columns<QByteArray, QByteArray, QStringList>("stream", "nested", "expected");
        const QByteArray alarm = "WACHALARM\tB3\tFeuer\tHauptstr. 1\t12345 Ort\t\tObjekt\tZeile 1\r\nZeile 2";
        const QByteArray status = "WACHALARM_STATUS\tFlorian 1\t2";
        const QString alarmCall = call("HandleStationAlarm(0)", alarm);
        const QString statusCall = call("InsertStatusRow", status);
        // Frames that their sender broke off 25 bytes before the terminator.
        const QByteArray brokenAlarm = frame(alarm + "\tBRUCHSTUECK " + QByteArray(30, 'x')).chopped(35);
        const QByteArray brokenTicker
            = frame("WACHALARM_TICKER\t06.12.\x07 BRUCHSTUECK" + QByteArray(30, 'x')).chopped(35);
        const QByteArray none;

        row("every type to its handler, VERSION ignored, a failing handler stops nothing",
            frame(alarm) + frame("WACHALARM_EM\tFEHLER\x07") + frame("WACHALARM_TICKER\ta\x07z") + frame(status)
                + frame("VERSION\t4.2") + frame("WACHALARM_MELDER\tMeier\t1234") + frame("WACHALARM_DEL\tx")
                + frame("WACHALARM_RM\t1234\t2") + frame("WACHALARM") + "\x05WACHALARM_ST",
            none,
            QStringList { alarmCall, call("HandleUnitAlarm", "WACHALARM_EM\tFEHLER\x07"),
                call("HandleTickerMessage", "WACHALARM_TICKER\ta\x07z"), statusCall,
                call("InsertPagerRow", "WACHALARM_MELDER\tMeier\t1234"), "DeleteTicker:",
                call("HandleFeedback", "WACHALARM_RM\t1234\t2"), call("HandleStationAlarm(0)", "WACHALARM") });
        row("windows-1252 and control bytes in fields, part of a terminator included",
            frame("WACHALARM_RM\tL\xf6schzug\t\x80\xff\0\x07\x02\x02\x02\x03\x03\x03\x04\x04\x04"_qba), none,
            QStringList { QStringLiteral("HandleFeedback:WACHALARM_RM\tLöschzug\t€ÿ") + QChar(0)
                + QStringLiteral("\x07\x02\x02\x02\x03\x03\x03\x04\x04\x04") });
        row("unknown, lower-case, longer, empty, one-letter types; text without a start byte: dropped",
            "\r\n\x01xyz" + frame("wachalarm\tB3") + frame("WACHALARMX\tB3") + frame("WACHALARM \tB3")
                + frame("\tWACHALARM") + frame("HIER_MEIN_NAME\tx") + frame("W") + frame("") + frame(status) + alarm
                + kEnd + kEnd + "\x05\x05" + kEnd,
            none, QStringList { statusCall });
        row("start byte inside a field: the frame begins there",
            frame("WACHALARM_RM\t7\tx\x05y") + frame("WACHALARM_TICKER\tx\x05WACHALARM_DEL"), none,
            QStringList { "DeleteTicker:" });
        row("broken-off alarm or ticker, then an unknown or lower-case type: neither; then a whole one",
            frame(alarm) + brokenAlarm + frame("NEUER_TYP\tx") + brokenAlarm + frame("wachalarm_status\tx")
                + brokenTicker + frame("NEUER_TYP\tx") + brokenAlarm + frame(status),
            none, QStringList { alarmCall, statusCall });
        // The nested chunk completes the frame that the outer one left open; the nested call goes on
        // with the outer chunk's messages, in stream order.
        row("nested delivery inside a handler", frame(alarm) + frame("WACHALARM_DEL") + "\x05WACHALARM_R",
            "M\t5\t1" + kEnd + frame(status),
            QStringList { alarmCall, "DeleteTicker:", call("HandleFeedback", "WACHALARM_RM\t5\t1"), statusCall });

        QByteArray largest = "WACHALARM_TICKER\t";
        largest += QByteArray(MessageReceiver::MaxPayloadBytes - largest.size(), 'x');
        row("largest frame through, one byte more dropped, an overlong frame broken off",
            frame(largest) + frame(largest + "y") + "\x05WACHALARM_TICKER\t" + QByteArray(2 << 20, 'z') + frame(status),
            none, QStringList { call("HandleTickerMessage", largest), statusCall });
        QRandomGenerator random(1);
        QByteArray garbage(3 << 20, Qt::Uninitialized);
        random.fillRange(reinterpret_cast<quint32*>(garbage.data()), garbage.size() / 4);
        row("3 MiB of garbage without a terminator", garbage.replace('\x04', '\x05') + frame(status), none,
            QStringList { statusCall });
    }

    void stream()
    {
        auto [stream, nested, expected] = fetch<QByteArray, QByteArray, QStringList>("stream", "nested", "expected");
        QList<QList<qsizetype>> cuttings = { {} };
        for (const qsizetype step : { 1, 7, 4096 }) {
            cuttings.append(QList<qsizetype>());
            for (qsizetype at = step; at < stream.size(); at += step)
                cuttings.last().append(at);
        }
        for (qsizetype i = 1; stream.size() < 600 && i < stream.size(); ++i)
            for (qsizetype j = i; j < stream.size(); ++j)
                cuttings.append(i == j ? QList<qsizetype> { i } : QList<qsizetype> { i, j });
        // Nested delivery depends on where the outer chunk ends: fed whole only.
        for (const QList<qsizetype>& cuts : nested.isEmpty() ? cuttings : QList<QList<qsizetype>> { {} }) {
            RecordingHandlers handlers;
            handlers.throwIn = QStringLiteral("FEHLER");
            MessageReceiver receiver(handlers);
            if (!nested.isEmpty())
                handlers.insideNextStationAlarm = [&] { receiver.ReceiveChunk(nested); };
            qsizetype at = 0;
            for (const qsizetype cut : cuts + QList<qsizetype> { stream.size() }) {
                receiver.ReceiveChunk(QByteArrayView(stream).sliced(at, cut - at));
                at = cut;
                if (receiver.bufferedBytes() > MessageReceiver::MaxPayloadBytes + kEnd.size())
                    QFAIL("the buffer holds more than one largest frame");
            }
            if (handlers.calls != expected)
                QCOMPARE(handlers.calls, expected);
        }
    }

    // Reads taken one after the other, then dispatched: which alarms are announced ahead, in what
    // order. Every alarm is announced ahead once one waits behind another message.
    void announcedAhead_data()
    {
        columns<QList<QByteArray>, QStringList>("reads", "expected");
        const QByteArray a = frame("WACHALARM\tA"), unit = frame("WACHALARM_EM\tU\x07"), s = frame("WACHALARM_DEL");
        const QString aCall = "HandleStationAlarm(0):WACHALARM\tA", uCall = "HandleUnitAlarm:WACHALARM_EM\tU\x07";
        const QString aAhead = "AnnounceAhead:WACHALARM\tA", uAhead = "AnnounceAhead:WACHALARM_EM\tU\x07";
        row("alarms first in the queue: in their turn", QList { a + unit + s },
            QStringList { aCall, uCall, "DeleteTicker:" });
        row("an alarm behind a message", QList { s + a }, QStringList { aAhead, "DeleteTicker:", aCall });
        row("behind one in an earlier read", QList { s, a }, QStringList { aAhead, "DeleteTicker:", aCall });
        row("the queued alarm before it first", QList { a, s + unit },
            QStringList { aAhead, uAhead, aCall, "DeleteTicker:", uCall });
    }
    void announcedAhead()
    {
        auto [reads, expected] = fetch<QList<QByteArray>, QStringList>("reads", "expected");
        RecordingHandlers handlers;
        handlers.recordAhead = true;
        MessageReceiver receiver(handlers);
        for (const QByteArray& read : reads)
            receiver.take(read);
        QCOMPARE(receiver.dispatchUntil(MessageReceiver::Clock::time_point::max()), false);
        QCOMPARE(handlers.calls, expected);
    }
};

QTEST_GUILESS_MAIN(MessageReceiverTest)
#include "tst_MessageReceiver.moc"
