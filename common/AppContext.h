#pragma once

#include <QObject>
#include <QString>

#include <functional>

// The process-wide values of the monitor: the folders, the link's port and name, the ending.
// Created once at start-up and handed to whoever needs them; the settings are the Station's
// (StationSettings). Nothing else keeps global state.
class AppContext : public QObject {
    Q_OBJECT

public:
    explicit AppContext(QObject* parent = nullptr);

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
