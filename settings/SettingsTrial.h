#pragma once

#include "config/StationSettings.h"

#include <QObject>
#include <QPointF>
#include <QString>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

class AppContext;
class Geocoder;
class ProgramRun;
class QNetworkAccessManager;
class RoutePlanner;
class SoundPlayer;
struct MapConfig;
struct RouteSettings;

// Tries a setting for real, where the station would otherwise wait for an alarm to find out: the
// alarm sound on the loudspeakers, the speech program on a test text, a test page on the printer,
// one map tile and one address search, a route from the station. Each trial runs beside the thread
// that takes alarms (a thread of its own, a process, the event loop) and ends with finished(): what
// happened and why, in words a station understands. A trial under way is not started again.
class SettingsTrial : public QObject {
    Q_OBJECT

public:
    enum class Trial { Sound, Speech, Print, Map, Route };

    explicit SettingsTrial(AppContext& ctx, QObject* parent = nullptr);
    // Gives up what is under way: the printer's wait, the speech program (with what it started).
    ~SettingsTrial() override;

    struct Speech {
        QString program;
        QString textFile; // as on line 5: empty or relative means the data folder's sabbel.txt
        QString argsBefore;
        QString argsAfter;
    };

    // The program folder's alarm.wav on ALSA's default device.
    void playSound();
    // The speech program on the test text, through a script as an alarm runs it. The test text
    // goes to a file of its own beside the speech text, so that an alarm's text is never replaced.
    void speak(const Speech& speech);
    // A page marked as a test to the queue; empty: CUPS's default printer.
    void printTest(const QString& printer);
    // One tile of the map at `at` (x longitude, y latitude) and, when `address` is not empty, one
    // address search; both where the map settings say.
    void tryMap(const MapConfig& map, QPointF at, const QString& address);
    // The settings record whose proxy the map's trial goes through, as the live map would.
    void setRecord(const StationSettings& record) { m_record = record; }
    // The way from the station to `to`.
    void tryRoute(const RouteSettings& route, QPointF to);

    [[nodiscard]] bool running(Trial trial) const;

    static const QString SpeechText;
    // The test text's file, beside the speech text file that is used.
    [[nodiscard]] static QString speechTrialFile(const QString& usedTextFile);

    // Limits; shorter in tests.
    std::chrono::milliseconds printLimit = std::chrono::seconds(30);
    std::chrono::milliseconds speechLimit = std::chrono::seconds(120);
    std::chrono::milliseconds netLimit = std::chrono::seconds(10);
    QString routinoRouter = QStringLiteral("routino-router");

signals:
    void finished(SettingsTrial::Trial trial, bool ok, const QString& text);

private:
    void report(Trial trial, bool ok, const QString& text);
    void mapPartDone(bool ok, const QString& text);

    AppContext& m_ctx;
    StationSettings m_record; // the proxy the map's trial goes through
    quint32 m_running = 0; // a bit per Trial
    SoundPlayer* m_sound = nullptr;
    ProgramRun* m_speech = nullptr;
    std::thread m_printer;
    std::atomic_bool m_abandon { false };
    QNetworkAccessManager* m_net = nullptr;
    Geocoder* m_geocoder = nullptr;
    int m_mapParts = 0;
    bool m_mapOk = true;
    QStringList m_mapTexts;
    RoutePlanner* m_route = nullptr;
};
