#pragma once

#include <QObject>
#include <QString>

#include <functional>

// The settings record: the 27 values of settings.dat, in the order of its lines. The file's 0/1
// lines and numbers are read and written by settings/SettingsFile only.
struct Settings {
    QString ServerAddress;
    bool SpeechEnabled = false;
    bool PlayAlarmWav = false;
    QString SpeechProgramPath;
    QString SpeechTextFile;
    QString SpeechArgsBefore;
    QString SpeechArgsAfter;
    QString LeadText;
    QString TrailText;
    bool SpeakLeadText = false;
    bool SpeakTrailText = false;
    bool SpeakIncidentType = false;
    bool SpeakKeyword = false;
    bool SpeakTown = false;
    bool SpeakStreet = false;
    bool SpeakSupplement = false;
    bool SpeakDistrict = false;
    bool SpeakObject = false;
    bool SpeakOutsideTown = false;
    bool SpeakUnits = false;
    bool PlayUnitWavs = false;
    bool UseProxy = false;
    QString ProxyServer;
    quint16 ProxyPort = 0; // 0: none
    bool ProxyAuthRequired = false;
    QString ProxyLogin;
    QString ProxyPassword;

    bool operator==(const Settings&) const = default;
};

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
