#include "tests/support/RecordingHandlers.h"

#include "common/CodePage.h"
#include "link/Framing.h"
#include "link/MessageReceiver.h"

#include <QRandomGenerator>
#include <QTest>

namespace {

const QByteArray kEnd = Framing::FrameEnd.toByteArray();

QByteArray frame(const QByteArray& payload)
{
    return Framing::FrameStart + payload + kEnd;
}

QString call(const char* handler, const QByteArray& payload)
{
    return QString::fromLatin1(handler) + QLatin1Char(':') + CodePage::decode(payload);
}

struct Fed {
    QStringList calls;
    qsizetype largestBuffer = 0;
};

// Feeds the stream cut at `cuts`; `nested` arrives inside the first station alarm's handler.
Fed feed(const QByteArray& stream, QList<qsizetype> cuts, const QByteArray& nested = {})
{
    RecordingHandlers handlers;
    handlers.throwIn = QStringLiteral("FEHLER");
    MessageReceiver receiver(handlers);
    if (!nested.isEmpty())
        handlers.insideNextStationAlarm = [&] { receiver.ReceiveChunk(nested); };
    Fed fed;
    cuts.append(stream.size());
    for (qsizetype at = 0; const qsizetype cut : cuts) {
        receiver.ReceiveChunk(QByteArrayView(stream).sliced(at, cut - at));
        fed.largestBuffer = qMax(fed.largestBuffer, receiver.bufferedBytes());
        at = cut;
    }
    fed.calls = handlers.calls;
    return fed;
}

QList<qsizetype> everyCut(qsizetype size, qsizetype step)
{
    QList<qsizetype> cuts;
    for (qsizetype at = step; at < size; at += step)
        cuts.append(at);
    return cuts;
}

} // namespace

class MessageReceiverTest : public QObject {
    Q_OBJECT

private slots:
    // What each stream gets. The messages never depend on how the stream is cut into chunks; the
    // buffer never holds much more than one largest frame.
    void stream_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QByteArray>("nested");
        QTest::addColumn<QStringList>("expected");

        const QByteArray alarm = "WACHALARM\tB3\tFeuer\tHauptstr. 1\t12345 Ort\t\tObjekt\tZeile 1\r\nZeile 2";
        const QByteArray status = "WACHALARM_STATUS\tFlorian 1\t2";
        const QString alarmCall = call("HandleStationAlarm(0)", alarm);
        const QString statusCall = call("InsertStatusRow", status);
        // An alarm whose sender broke it off 25 bytes before its terminator.
        const QByteArray brokenAlarm
            = (Framing::FrameStart + alarm + "\tBRUCHSTUECK " + QByteArray(30, 'x')).chopped(25);
        const QByteArray brokenTicker = QByteArray(1, Framing::FrameStart) + "WACHALARM_TICKER\t06.12.\x07 BRUCHSTUECK";
        const QByteArray none;

        QTest::newRow("every type to its handler, VERSION ignored")
            << frame(alarm) + frame("WACHALARM_EM\tHLF 20(A)\x07") + frame("WACHALARM_TICKER\ta\x07z") + frame(status)
                + frame("VERSION\t4.2") + frame("WACHALARM_MELDER\tMeier\t1234") + frame("WACHALARM_DEL\tx")
                + frame("WACHALARM_RM\t1234\t2") + frame("WACHALARM")
            << none
            << QStringList { alarmCall, call("HandleUnitAlarm", "WACHALARM_EM\tHLF 20(A)\x07"),
                   call("HandleTickerMessage", "WACHALARM_TICKER\ta\x07z"), statusCall,
                   call("InsertPagerRow", "WACHALARM_MELDER\tMeier\t1234"),
                   "DeleteTicker:", call("HandleFeedback", "WACHALARM_RM\t1234\t2"),
                   call("HandleStationAlarm(0)", "WACHALARM") };
        QTest::newRow("windows-1252 and control bytes in fields, NUL and part of a terminator included")
            << frame("WACHALARM_RM\tL\xf6schzug S\xfc\x64\t\x80\x9f\xff\0\x07\x02\x02\x02\x03\x03\x03\x04\x04\x04"_qba)
            << none
            << QStringList { QStringLiteral("HandleFeedback:WACHALARM_RM\tLöschzug Süd\t€Ÿÿ") + QChar(0)
                   + QStringLiteral("\x07\x02\x02\x02\x03\x03\x03\x04\x04\x04") };
        QTest::newRow("unknown, lower-case, longer, empty and one-letter types, echoed registration: dropped")
            << frame("wachalarm\tB3") + frame("WACHALARMX\tB3") + frame("WACHALARM \tB3") + frame("\tWACHALARM")
                + frame("HIER_MEIN_NAME\tx\tMONITOR\tMONITOR\t1") + frame("W") + frame("") + frame(status)
            << none << QStringList { statusCall };
        QTest::newRow("stray bytes before a frame: skipped")
            << "\r\n\x01xyz" + frame(status) << none << QStringList { statusCall };
        QTest::newRow("frame without a start byte: dropped")
            << alarm + kEnd + frame(status) << none << QStringList { statusCall };
        QTest::newRow("terminators and start bytes alone: nothing")
            << kEnd + kEnd + "\x05\x05\x05" + kEnd + frame(status) << none << QStringList { statusCall };
        QTest::newRow("start byte inside a field: the frame begins there") << frame("WACHALARM_RM\t7\tx\x05y")
                + frame("WACHALARM_TICKER\tx\x05WACHALARM_DEL") << none << QStringList { "DeleteTicker:" };
        QTest::newRow("broken-off frame, then a whole one: the broken part dropped")
            << brokenAlarm + frame(status) << none << QStringList { statusCall };
        QTest::newRow("broken-off alarm, then an unknown type: neither dispatched")
            << frame(alarm) + brokenAlarm + frame("NEUER_TYP\tx") << none << QStringList { alarmCall };
        QTest::newRow("broken-off alarm, then a lower-case type: neither dispatched")
            << frame(alarm) + brokenAlarm + frame("wachalarm_status\tx") << none << QStringList { alarmCall };
        QTest::newRow("broken-off ticker, then an unknown type: neither dispatched")
            << frame(alarm) + brokenTicker + frame("NEUER_TYP\tx") << none << QStringList { alarmCall };
        QTest::newRow("failing handler loses only its own message")
            << frame("WACHALARM\tFEHLER") + frame("WACHALARM_DEL") << none
            << QStringList { "HandleStationAlarm(0):WACHALARM\tFEHLER", "DeleteTicker:" };
        // The nested chunk completes the frame that the outer one left open; its messages are
        // handled before the rest of the outer chunk's.
        QTest::newRow("nested delivery inside a handler")
            << frame(alarm) + frame("WACHALARM_DEL") + "\x05WACHALARM_R"
            << "M\t5\t1" + kEnd + frame(status)
            << QStringList { alarmCall, call("HandleFeedback", "WACHALARM_RM\t5\t1"), statusCall, "DeleteTicker:" };

        QByteArray largest = "WACHALARM_TICKER\t";
        largest += QByteArray(MessageReceiver::MaxPayloadBytes - largest.size(), 'x');
        QTest::newRow("largest payload through, one byte more dropped, an overlong frame broken off and begun anew")
            << frame(largest) + frame(largest + "y") + "\x05WACHALARM_TICKER\t" + QByteArray(2 << 20, 'z')
                + frame(status)
            << none << QStringList { call("HandleTickerMessage", largest), statusCall };
        QRandomGenerator random(1);
        QByteArray garbage(3 << 20, Qt::Uninitialized);
        for (char& c : garbage)
            c = char(random.bounded(256));
        garbage.replace('\x04', '\x05');
        QTest::newRow("3 MiB of garbage without a terminator, then a frame")
            << garbage + frame(status) << none << QStringList { statusCall };
    }

    void stream()
    {
        QFETCH(QByteArray, stream);
        QFETCH(QByteArray, nested);
        QFETCH(QStringList, expected);
        if (!nested.isEmpty()) {
            QCOMPARE(feed(stream, {}, nested).calls, expected);
            return;
        }
        QList<QList<qsizetype>> cuttings = { {}, everyCut(stream.size(), 1), everyCut(stream.size(), 4096) };
        QRandomGenerator random(4750);
        for (int round = 0; round < 20; ++round) {
            QList<qsizetype> cuts;
            for (qsizetype at = 1 + random.bounded(40); at < stream.size(); at += 1 + random.bounded(2000))
                cuts.append(at);
            cuttings.append(cuts);
        }
        if (stream.size() < 600) {
            for (qsizetype i = 1; i < stream.size(); ++i) {
                for (qsizetype j = i; j < stream.size(); ++j)
                    cuttings.append(i == j ? QList<qsizetype> { i } : QList<qsizetype> { i, j });
            }
        }
        for (const QList<qsizetype>& cuts : std::as_const(cuttings)) {
            const Fed fed = feed(stream, cuts);
            if (fed.calls != expected) {
                qWarning() << "cut at" << cuts.first(qMin<qsizetype>(cuts.size(), 8));
                QCOMPARE(fed.calls, expected);
            }
            QVERIFY(fed.largestBuffer <= MessageReceiver::MaxPayloadBytes + kEnd.size());
        }
    }

    // A new connection starts with an empty buffer: the rest of a broken one is not glued to it.
    void resetDropsTheRestOfTheOldConnection()
    {
        RecordingHandlers handlers;
        MessageReceiver receiver(handlers);
        receiver.ReceiveChunk("\x05WACHALARM_STATUS\tF1\t3\x02\x02");
        receiver.reset();
        receiver.ReceiveChunk("\x02\x03\x03\x03\x04\x04\x04\x04" + frame("WACHALARM_DEL"));
        QCOMPARE(handlers.calls, QStringList { "DeleteTicker:" });
        QCOMPARE(receiver.bufferedBytes(), 0);
    }
};

QTEST_GUILESS_MAIN(MessageReceiverTest)
#include "tst_MessageReceiver.moc"
