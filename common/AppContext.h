#pragma once

#include <QObject>
#include <QString>

#include <functional>

// The settings record: the 27 values of settings.dat, in the order of its lines.
// Flags hold 0 or 1; a reader treats exactly 1 as on (see isOn).
struct Settings {
    QString ServerAddress;
    qint16 SpeechEnabled = 0;
    qint16 PlayAlarmWav = 0;
    QString SpeechProgramPath;
    QString SpeechTextFile;
    QString SpeechArgsBefore;
    QString SpeechArgsAfter;
    QString LeadText;
    QString TrailText;
    qint16 SpeakLeadText = 0;
    qint16 SpeakTrailText = 0;
    qint16 SpeakIncidentType = 0;
    qint16 SpeakKeyword = 0;
    qint16 SpeakTown = 0;
    qint16 SpeakStreet = 0;
    qint16 SpeakSupplement = 0;
    qint16 SpeakDistrict = 0;
    qint16 SpeakObject = 0;
    qint16 SpeakOutsideTown = 0;
    qint16 SpeakUnits = 0;
    qint16 PlayUnitWavs = 0;
    qint16 UseProxy = 0;
    QString ProxyServer;
    qint16 ProxyPort = 0;
    qint16 ProxyAuthRequired = 0;
    QString ProxyLogin;
    QString ProxyPassword;

    bool operator==(const Settings&) const = default;
};

[[nodiscard]] constexpr bool isOn(qint16 flag)
{
    return flag == 1;
}

// The process-wide values of the monitor: created once at start-up and handed to whoever needs
// them. Nothing else keeps global state.
class AppContext : public QObject {
    Q_OBJECT

public:
    explicit AppContext(QObject* parent = nullptr);

    Settings settings;

    // The data folder (settings.dat, ticker.dat, last.dat, sound.sh, Ablage), without a trailing
    // separator; and the program folder (alarm.wav, the unit sounds, sabbel.txt).
    QString DataFolder;
    QString ProgramFolder;

    // The dispatch computer's port (tests choose a free one) and who this monitor is. The wire's
    // bytes belong to the link (link/Framing.h).
    quint16 ServerPort = 4750;
    QString MonitorName;
    QString TickerPath;
    QString LastAlarmPath;

    // Whether the program is ending. Only beginEnding() sets it.
    [[nodiscard]] bool ist_ende() const { return m_istEnde; }

    // Marks the program as ending and tells every wait to give up at once.
    void beginEnding();

    // The path of a file in the data folder or in the program folder.
    [[nodiscard]] QString dataFile(const QString& name) const;
    [[nodiscard]] QString programFile(const QString& name) const;

    // Ends the process once shutdown has closed what it closes. The program sets it to leave at once,
    // without resuming any wait; tests leave it empty.
    std::function<void()> endProcess;

signals:
    // Emitted once, when the program begins to end. Every wait listens to it.
    void ending();

private:
    bool m_istEnde = false;
};
