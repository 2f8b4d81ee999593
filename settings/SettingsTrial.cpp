#include "settings/SettingsTrial.h"

#include "announce/AlsaSoundOutput.h"
#include "announce/ProgramRun.h"
#include "announce/SoundPlayer.h"
#include "announce/SpeechScript.h"
#include "common/AppContext.h"
#include "common/CodePage.h"
#include "common/FileExists.h"
#include "common/SafeFile.h"
#include "map/Geocoder.h"
#include "map/MapConfig.h"
#include "map/MapTiles.h"
#include "map/MapUrls.h"
#include "map/TileLoader.h"
#include "print/CupsQueue.h"
#include "route/RoutePlanner.h"
#include "route/RouteSettings.h"
#include "settings/SettingsFile.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QStandardPaths>

#include <cmath>

namespace {

quint32 bit(SettingsTrial::Trial trial)
{
    return 1u << int(trial);
}

QString seconds(std::chrono::milliseconds span)
{
    return QLocale(QLocale::German).toString(double(span.count()) / 1000.0);
}

// A page that says in large letters that it is a test.
QByteArray testPage()
{
    QByteArray pdf;
    QBuffer buffer(&pdf);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setResolution(300);
    writer.setTitle(QStringLiteral("Testdruck"));
    writer.setCreator(QStringLiteral("Kessvenn"));
    QPainter painter(&writer);
    const QRect page(QPoint(), QSize(writer.width(), writer.height()));
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(220);
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(
        page.adjusted(0, 0, 0, -page.height() / 2), Qt::AlignHCenter | Qt::AlignBottom, QStringLiteral("TESTDRUCK"));
    font.setPixelSize(60);
    font.setBold(false);
    painter.setFont(font);
    painter.drawText(page.adjusted(100, page.height() / 2 + 60, -100, 0),
        Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap,
        QStringLiteral("Kein Einsatz. Diese Seite prüft den Drucker des Alarmmonitors.\n%1")
            .arg(QLocale(QLocale::German).toString(QDateTime::currentDateTime(), QStringLiteral("dd.MM.yyyy HH:mm"))));
    painter.end();
    return pdf;
}

// The tile of `at` at the zoom, in the XYZ scheme.
QPoint tileOf(QPointF at, int zoom)
{
    const double n = std::exp2(zoom);
    const double lat = std::clamp(at.y(), -85.0, 85.0) * M_PI / 180.0;
    const int x = int(std::floor((at.x() + 180.0) / 360.0 * n));
    const int y = int(std::floor((1.0 - std::asinh(std::tan(lat)) / M_PI) / 2.0 * n));
    return { std::clamp(x, 0, int(n) - 1), std::clamp(y, 0, int(n) - 1) };
}

QString networkFailure(const QNetworkReply* reply)
{
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status == 401 || status == 403)
        return QStringLiteral("der Dienst verweigert den Zugriff (HTTP %1; fehlt der Schlüssel?)").arg(status);
    if (status >= 400)
        return QStringLiteral("der Dienst antwortet mit dem Fehler HTTP %1").arg(status);
    switch (reply->error()) {
    case QNetworkReply::HostNotFoundError:
        return QStringLiteral("den Server gibt es nicht (%1)").arg(reply->url().host());
    case QNetworkReply::ConnectionRefusedError:
        return QStringLiteral("der Server %1 nimmt keine Verbindung an").arg(reply->url().authority());
    case QNetworkReply::OperationCanceledError:
    case QNetworkReply::TimeoutError:
        return QStringLiteral("keine Antwort in der erlaubten Zeit");
    default:
        return QStringLiteral("keine Verbindung (%1)").arg(reply->errorString());
    }
}

} // namespace

const QString SettingsTrial::SpeechText = QStringLiteral("Dies ist eine Probe der Ansage. Kein Einsatz.");

SettingsTrial::SettingsTrial(AppContext& ctx, QObject* parent)
    : QObject(parent)
    , m_ctx(ctx)
{
}

SettingsTrial::~SettingsTrial()
{
    m_abandon = true;
    if (m_printer.joinable())
        m_printer.join();
    if (m_speech && m_speech->running())
        m_speech->end();
}

bool SettingsTrial::running(Trial trial) const
{
    return m_running & bit(trial);
}

void SettingsTrial::report(Trial trial, bool ok, const QString& text)
{
    m_running &= ~bit(trial);
    emit finished(trial, ok, text);
}

void SettingsTrial::playSound()
{
    if (running(Trial::Sound))
        return;
    const QString wave = m_ctx.programFile(QStringLiteral("alarm.wav"));
    QFile file(wave);
    if (!file.open(QIODevice::ReadOnly))
        return report(Trial::Sound, false,
            QStringLiteral("Die Datei alarm.wav fehlt oder lässt sich nicht lesen (%1).").arg(wave));
    const QByteArray head = file.read(12);
    if (!head.startsWith("RIFF") || head.mid(8, 4) != "WAVE")
        return report(
            Trial::Sound, false, QStringLiteral("%1 ist keine Wave-Datei: es wäre nichts zu hören.").arg(wave));
    // The device is asked first: where it does not open, the player plays into ALSA's "null" PCM
    // so that an announcement keeps its length, and nothing is heard.
    if (!AlsaSoundOutput::deviceOpens())
        return report(Trial::Sound, false,
            QStringLiteral("Kein Lautsprecher erreichbar: die Tonausgabe \"default\" lässt sich nicht öffnen "
                           "(keine Soundkarte, oder ein anderes Programm hält sie)."));
    m_running |= bit(Trial::Sound);
    if (!m_sound) {
        m_sound = new SoundPlayer(std::make_unique<AlsaSoundOutput>(), this);
        connect(m_sound, &SoundPlayer::played, this, [this] {
            report(Trial::Sound, true,
                QStringLiteral("alarm.wav wurde auf der Tonausgabe \"default\" abgespielt. Wer nichts gehört hat: "
                               "Lautstärke und Lautsprecher prüfen."));
        });
    }
    m_sound->play(wave);
}

QString SettingsTrial::speechTrialFile(const QString& usedTextFile)
{
    return QFileInfo(usedTextFile).dir().filePath(QStringLiteral("ansageprobe.txt"));
}

void SettingsTrial::speak(const Speech& speech)
{
    if (running(Trial::Speech))
        return;
    if (speech.program.trimmed().isEmpty())
        return report(Trial::Speech, false, QStringLiteral("Es ist kein Sprachprogramm eingetragen."));
    if (FileExists(speech.program) != 1)
        return report(
            Trial::Speech, false, QStringLiteral("Das Sprachprogramm \"%1\" gibt es nicht.").arg(speech.program));
    if (!QFileInfo(speech.program).isExecutable())
        return report(Trial::Speech, false,
            QStringLiteral("\"%1\" ist kein ausführbares Programm (fehlt das Ausführungsrecht?).").arg(speech.program));
    const QString used = SpeechTextPath(m_ctx, speech.textFile);
    const QFileInfo usedInfo(used);
    if (usedInfo.exists() ? !usedInfo.isWritable() : !QFileInfo(usedInfo.absolutePath()).isWritable())
        return report(Trial::Speech, false,
            QStringLiteral("Der Monitor darf die Datei für den Ansagetext nicht schreiben: %1").arg(used));
    const QString textFile = speechTrialFile(used);
    const QString script = m_ctx.dataFile(QStringLiteral("ansageprobe.sh"));
    if (!ReplaceFileWhole(textFile, CodePage::encode(SpeechText))
        || !ReplaceFileWhole(script,
            SpeechScript::Bytes(m_ctx.DataFolder,
                SpeechScript::CommandLine(speech.program, textFile, speech.argsBefore, speech.argsAfter))))
        return report(Trial::Speech, false,
            QStringLiteral("Der Probetext ließ sich nicht schreiben (%1, %2).").arg(textFile, script));
    if (!m_speech) {
        m_speech = new ProgramRun(this);
        connect(m_speech, &ProgramRun::finished, this, [this](std::optional<int> exitCode) {
            if (!exitCode)
                report(Trial::Speech, false,
                    QStringLiteral("Das Sprachprogramm lief länger als %1 s und wurde beendet: bei einem Alarm "
                                   "hielte es die Ansage auf.")
                        .arg(seconds(speechLimit)));
            else if (*exitCode != 0)
                report(Trial::Speech, false,
                    QStringLiteral("Das Sprachprogramm endete mit dem Fehlercode %1: die Ansage ist wohl nicht zu "
                                   "hören. Aufrufparameter prüfen.")
                        .arg(*exitCode));
            else
                report(Trial::Speech, true,
                    QStringLiteral("Das Sprachprogramm hat den Probetext \"%1\" gelesen und ist ohne Fehler "
                                   "beendet.")
                        .arg(SpeechText));
        });
    }
    m_speech->timeLimit = speechLimit;
    m_running |= bit(Trial::Speech);
    if (!m_speech->start(script))
        report(Trial::Speech, false, QStringLiteral("Das Sprachprogramm ließ sich nicht starten."));
}

void SettingsTrial::printTest(const QString& printer)
{
    if (running(Trial::Print))
        return;
    if (m_printer.joinable())
        m_printer.join();
    m_running |= bit(Trial::Print);
    m_printer = std::thread([this, printer, limit = printLimit] {
        const QString shown = printer.isEmpty() ? QStringLiteral("Standarddrucker") : printer;
        bool ok = false;
        QString text;
        if (!CupsQueue::isQueueName(printer) && !printer.isEmpty()) {
            text = QStringLiteral("\"%1\" kann kein Druckername sein.").arg(printer);
        } else {
            const CupsQueue::Submission sent
                = CupsQueue::submit(printer, QStringLiteral("Testdruck"), testPage(), 1, limit, &m_abandon);
            ok = sent.jobId > 0;
            if (ok && !sent.notice.isEmpty())
                text = QStringLiteral("Der Testdruck wartet in \"%1\" (Auftrag %2): der Drucker ist angehalten. "
                                      "In CUPS wieder freigeben.")
                           .arg(sent.queue)
                           .arg(sent.jobId);
            else if (ok)
                text = QStringLiteral("Der Testdruck ging an \"%1\" (Auftrag %2). Es sollte jetzt eine Seite mit "
                                      "\"TESTDRUCK\" herauskommen.")
                           .arg(sent.queue)
                           .arg(sent.jobId);
            else if (sent.failure.contains(QStringLiteral("cannot be reached")))
                text = QStringLiteral("Der Druckdienst CUPS ist nicht erreichbar: läuft er?");
            else if (sent.failure.contains(QStringLiteral("knows no default")))
                text = QStringLiteral("CUPS kennt keinen Standarddrucker: einen Drucker auswählen.");
            else if (sent.failure.contains(QStringLiteral("knows no such queue")))
                text = QStringLiteral("CUPS kennt keinen Drucker \"%1\".").arg(shown);
            else if (sent.failure.contains(QStringLiteral("did not answer")))
                text = QStringLiteral("Der Druckdienst CUPS antwortete nicht in %1 s.").arg(seconds(limit));
            else
                text = QStringLiteral("Der Drucker \"%1\" hat den Testdruck nicht angenommen (%2).")
                           .arg(shown, sent.failure);
        }
        QMetaObject::invokeMethod(this, [this, ok, text] { report(Trial::Print, ok, text); });
    });
}

void SettingsTrial::mapPartDone(bool ok, const QString& text)
{
    m_mapOk = m_mapOk && ok;
    m_mapTexts.append(text);
    // The map's line first, then the address search's, in whichever order they came.
    if (m_mapTexts.size() == 2 && m_mapTexts[1].startsWith(QStringLiteral("Die Karte")))
        m_mapTexts.swapItemsAt(0, 1);
    if (--m_mapParts == 0)
        report(Trial::Map, m_mapOk, m_mapTexts.join(QLatin1Char(' ')));
}

void SettingsTrial::tryMap(const MapConfig& map, QPointF at, const QString& address)
{
    if (running(Trial::Map))
        return;
    if (!map.isOsm() && !map.canSend())
        return report(Trial::Map, false,
            QStringLiteral("Ohne Schlüssel (key) fragt der Monitor den Kartendienst nicht: einen Schlüssel "
                           "eintragen oder provider=osm wählen."));
    m_running |= bit(Trial::Map);
    m_mapOk = true;
    m_mapTexts.clear();
    m_mapParts = address.trimmed().isEmpty() ? 1 : 2;
    if (!m_net)
        m_net = new QNetworkAccessManager(this);
    const QString centre = QStringLiteral("%1,%2").arg(at.y(), 0, 'f', 6).arg(at.x(), 0, 'f', 6);
    const int zoom = 15;
    const QPoint tile = tileOf(at, zoom);
    const QUrl url = map.isOsm()
        ? QUrl(MapTiles::tileUrl(map.tiles, zoom, tile.x(), tile.y()))
        : map.sendable(MapUrls::staticMapUrl(map.host, centre, zoom, QStringLiteral("roadmap"), {}, map.key))
              .value_or(QUrl());
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, TileLoader::userAgent(map.contact));
    request.setTransferTimeout(int(netLimit.count()));
    QNetworkReply* reply = m_net->get(request);
    connect(reply, &QNetworkReply::finished, this, [this, reply] {
        reply->deleteLater();
        const QByteArray body = reply->error() == QNetworkReply::NoError ? reply->readAll() : QByteArray();
        if (reply->error() != QNetworkReply::NoError)
            mapPartDone(false, QStringLiteral("Die Karte kam nicht: %1.").arg(networkFailure(reply)));
        else if (QImage::fromData(body).isNull())
            mapPartDone(false, QStringLiteral("Die Karte kam nicht: der Dienst schickte kein Bild."));
        else
            mapPartDone(true, QStringLiteral("Die Karte kam an."));
    });
    if (m_mapParts == 1)
        return;
    delete m_geocoder;
    m_geocoder = new Geocoder(m_ctx, m_record, this);
    m_geocoder->setConfig(map);
    m_geocoder->timeoutMs = int(netLimit.count());
    connect(m_geocoder, &Geocoder::answered, this, [this, address](quint64, const std::optional<QString>& coordinates) {
        if (coordinates)
            mapPartDone(true, QStringLiteral("Die Adresse \"%1\" wurde gefunden (%2).").arg(address, *coordinates));
        else
            mapPartDone(false,
                QStringLiteral("Die Adresssuche fand \"%1\" nicht oder antwortete nicht (Adresse der Suche, "
                               "Verbindung und Schlüssel prüfen).")
                    .arg(address));
    });
    m_geocoder->lookUp(address);
}

void SettingsTrial::tryRoute(const RouteSettings& route, QPointF to)
{
    if (running(Trial::Route))
        return;
    if (route.engine == RouteSettings::Engine::None)
        return report(Trial::Route, false, QStringLiteral("Es ist keine Route eingestellt (route=)."));
    if (!route.station)
        return report(Trial::Route, false, QStringLiteral("Der Standort der Wache (station=) fehlt."));
    if (route.engine == RouteSettings::Engine::Routino && !QFileInfo(route.data).isDir())
        return report(Trial::Route, false,
            QStringLiteral("Den Ordner mit den Routino-Daten gibt es nicht: \"%1\".").arg(route.data));
    if (route.engine == RouteSettings::Engine::Routino && QStandardPaths::findExecutable(routinoRouter).isEmpty()
        && !QFileInfo(routinoRouter).isExecutable())
        return report(Trial::Route, false,
            QStringLiteral("Das Programm %1 ist nicht installiert (Paket routino).").arg(routinoRouter));
    m_running |= bit(Trial::Route);
    delete m_route;
    m_route = new RoutePlanner(route, this);
    m_route->routinoRouter = routinoRouter;
    m_route->timeLimit = netLimit;
    connect(m_route, &RoutePlanner::routeFound, this, [this](const Route& found) {
        report(Trial::Route, true,
            QStringLiteral("Route gefunden: %1 km, etwa %2 Minuten Fahrt.")
                .arg(QLocale(QLocale::German).toString(found.meters / 1000.0, 'f', 1))
                .arg(qRound(found.seconds / 60.0)));
    });
    connect(m_route, &RoutePlanner::routeFailed, this, [this] {
        report(Trial::Route, false,
            QStringLiteral("Keine Route von der Wache zur Kartenmitte: %1.").arg(m_route->lastFailure()));
    });
    m_route->plan(to);
}
