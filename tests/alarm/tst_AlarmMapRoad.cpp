// The station alarm on the real map control, with the map service played by a local HTTP server:
// the marker follows the coordinates at once, or the address lookup's answer when it comes.
#include "alarm/AlarmHandler.h"
#include "alarm/GMapAlarmMap.h"
#include "app/Form1.h"
#include "common/AppContext.h"
#include "map/ucGMap.h"

#include <QFile>
#include <QLabel>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

// Answers geocoding requests with the XML it is given; map image requests get a 404. When
// silent, it takes every request and never answers.
class MapService : public QObject {
public:
    QTcpServer server;
    QByteArray geocodeAnswer;
    bool silent = false;
    QStringList requests;

    MapService()
    {
        server.listen(QHostAddress::LocalHost, 0);
        connect(&server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* peer = server.nextPendingConnection()) {
                connect(peer, &QTcpSocket::readyRead, peer, [this, peer] {
                    const QByteArray head = peer->peek(peer->bytesAvailable());
                    if (!head.contains("\r\n\r\n"))
                        return;
                    peer->readAll();
                    const QByteArray path = head.split(' ').value(1);
                    requests << QString::fromLatin1(path);
                    if (silent)
                        return;
                    const bool geocode = path.contains("/geocode/");
                    const QByteArray body = geocode ? geocodeAnswer : QByteArray("no map here");
                    peer->write((geocode ? "HTTP/1.1 200 OK\r\n" : "HTTP/1.1 404 Not Found\r\n")
                                + QByteArray("Content-Type: text/xml\r\nConnection: close\r\nContent-Length: ")
                                + QByteArray::number(body.size()) + "\r\n\r\n" + body);
                    peer->disconnectFromHost();
                });
            }
        });
    }
};

QByteArray location(const char* lat, const char* lng)
{
    return QByteArray("<GeocodeResponse><status>OK</status><result><geometry><location>\n  <lat>") + lat
        + "</lat>\n  <lng>" + lng + "</lng>\n</location><location_type>ROOFTOP</location_type></geometry></result>"
                                    "</GeocodeResponse>";
}

const QChar kBell(7);

QString alarm(const QString& lat, const QString& lng, const QString& street = QStringLiteral("Marienplatz"))
{
    return QStringList{QStringLiteral("WACHALARM"), "Kopf", "RD 1", "Brand", "F2", "80331", QStringLiteral("München"),
                       street, "1", "", "", "", "", "", QStringLiteral("ELW 1") + kBell, "1", lat, lng}
        .join(QChar(9));
}

} // namespace

class AlarmMapRoadTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_data;
    MapService m_service;
    AppContext m_ctx;
    std::unique_ptr<Form1> m_form;
    std::unique_ptr<GMapAlarmMap> m_map;
    std::unique_ptr<AlarmHandler> m_handler;

    ucGMap& gmap() { return *m_form->ucGMap1; }

    bool lookupAnswered()
    {
        QSignalSpy spy(m_form->ucGMap1, &ucGMap::locationLookupFinished);
        return spy.wait(10000);
    }

private slots:
    void init()
    {
        QVERIFY(m_service.server.isListening());
        m_service.silent = false;
        m_service.requests.clear();
        QFile ini(m_data.filePath(QStringLiteral("map.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(QStringLiteral("host=http://127.0.0.1:%1\nkey=test\n").arg(m_service.server.serverPort()).toLatin1());
        ini.close();
        m_ctx.DataFolder = m_data.path();
        m_ctx.ProgramFolder = m_data.path();
        m_ctx.LastAlarmPath = m_data.filePath(QStringLiteral("last.dat"));
        m_form = std::make_unique<Form1>(m_ctx);
        m_form->Timer1->stop();
        AlarmControls controls;
        controls.label_einsatz = m_form->label_einsatz;
        controls.MSFlexGrid1 = m_form->MSFlexGrid1;
        m_map = std::make_unique<GMapAlarmMap>(gmap());
        m_handler = std::make_unique<AlarmHandler>(m_ctx, controls, m_map.get(), nullptr);
    }

    void cleanup()
    {
        m_handler.reset();
        m_map.reset();
        m_form.reset();
    }

    void coordinatesWithCommas()
    {
        m_handler->HandleStationAlarm(alarm(QStringLiteral("51,5"), QStringLiteral("7,4")), 0);
        QCOMPARE(gmap().GPoint(), QStringLiteral("51.5,7.4"));
        QCOMPARE(gmap().Markers, QStringList{"&markers=color:0x00FF00%7Clabel:E%7C51.5,7.4"});
    }

    void addressLookedUpAndMarked()
    {
        m_service.geocodeAnswer = location("48.1372", "11.5755");
        m_handler->HandleStationAlarm(alarm(QString(), QString()), 0);
        QVERIFY(gmap().Markers.isEmpty()); // nothing marked before the answer
        QVERIFY(lookupAnswered());
        QCOMPARE(gmap().GPoint(), QStringLiteral("48.1372,11.5755"));
        // The map keeps its centre as 32-bit numbers; the marker takes them widened, 15 digits.
        QCOMPARE(gmap().Markers, QStringList{"&markers=color:0x00FF00%7Clabel:E%7C48.1371994018555,11.5754995346069"});
        QVERIFY(m_service.requests.join('\n').contains("address=80331 M%C3%BCnchen,Marienplatz 1")
                || m_service.requests.join('\n').contains("address=80331%20M%C3%BCnchen,Marienplatz%201"));
    }

    // The service finds nothing: the last incident's marker goes and no new one is placed.
    void addressNotFound()
    {
        m_handler->HandleStationAlarm(alarm(QStringLiteral("51,5"), QStringLiteral("7,4")), 0);
        QCOMPARE(gmap().Markers.size(), 1);
        m_service.geocodeAnswer = "<GeocodeResponse><status>ZERO_RESULTS</status></GeocodeResponse>";
        m_handler->HandleStationAlarm(alarm(QString(), QString()), 0);
        QVERIFY(lookupAnswered());
        QVERIFY(gmap().Markers.isEmpty());
        QCOMPARE(gmap().GPoint(), QStringLiteral("51.5,7.4"));
    }

    // A silent service: the alarm goes on without waiting, and a later alarm with coordinates is
    // marked at once; the older lookup never marks anything.
    void silentServiceThenCoordinates()
    {
        m_service.silent = true;
        m_handler->HandleStationAlarm(alarm(QString(), QString()), 0);
        QCOMPARE(m_form->label_einsatz[1]->text(), QStringLiteral("F2"));
        m_handler->HandleStationAlarm(alarm(QStringLiteral("52.1"), QStringLiteral("8.2")), 0);
        QCOMPARE(gmap().Markers, QStringList{"&markers=color:0x00FF00%7Clabel:E%7C52.1,8.2"});
        QTest::qWait(200);
        QCOMPARE(gmap().Markers, QStringList{"&markers=color:0x00FF00%7Clabel:E%7C52.1,8.2"});
        QCOMPARE(gmap().GPoint(), QStringLiteral("52.1,8.2"));
    }

    // Two address alarms in a row: only the newer lookup's answer counts.
    void newerAddressWins()
    {
        m_service.geocodeAnswer = location("48.2", "11.6");
        m_handler->HandleStationAlarm(alarm(QString(), QString(), QStringLiteral("Erste")), 0);
        m_handler->HandleStationAlarm(alarm(QString(), QString(), QStringLiteral("Zweite")), 0);
        QVERIFY(lookupAnswered());
        QCOMPARE(gmap().Markers, QStringList{"&markers=color:0x00FF00%7Clabel:E%7C48.2000007629395,11.6000003814697"});
    }
};

QTEST_MAIN(AlarmMapRoadTest)
#include "tst_AlarmMapRoad.moc"
