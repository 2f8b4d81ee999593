#pragma once

#include "common/Log.h"
#include "paths/AlarmPathSettings.h"
#include "paths/PathStates.h"
#include "paths/RadioAlarm.h"

#include <QByteArray>
#include <QList>
#include <QObject>

#include <chrono>
#include <functional>

#include <sys/types.h>

class AlarmInbox;
class QProcess;
class QTimer;

// The radio pager path: the station's receiver and decoder (for example rtl_fm into multimon-ng),
// run as RadioSettings::command by /bin/sh in a process group of its own and started again, after a
// growing pause, whenever it ends. Every line it prints that is a decoded POCSAG message for one of
// the station's RICs goes to the inbox at once; the network's repeats of a message are taken once,
// and a text that follows a tone-only message of the same RIC goes on as that alarm's text. The
// path "Funkmeldeempfänger" in PathStates is down while the decoder does not run, and silent when
// the network's test message ("Funkprobe") stays away longer than the station expects it.
class RadioPath : public QObject {
    Q_OBJECT

public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // The path's name in PathStates.
    static const QString PathName;
    // A longer line is cut here: its head is read, the rest dropped up to the next line break.
    static constexpr qsizetype MaxLineBytes = 4096;
    // The pause before the decoder's next start doubles from the first to the longest; a decoder
    // that ran for the longest pause at least starts over at the first.
    static constexpr std::chrono::milliseconds FirstPause { 1000 };
    static constexpr std::chrono::milliseconds LongestPause { 60000 };
    // How often the watch looks for a missed test message, and how late one may come: a missed test
    // message is reported at most WatchInterval + TestLateness after it was due.
    static constexpr std::chrono::seconds WatchInterval { 10 };
    static constexpr std::chrono::seconds TestLateness { 60 };
    // A decoder counts as running once it has printed something or run this long, so that a command
    // that fails at once does not show the path up between its tries.
    static constexpr std::chrono::milliseconds SettleTime { 2000 };
    // How long the decoder is given to end on SIGTERM before the SIGKILL.
    static constexpr std::chrono::milliseconds EndGrace { 2000 };

    RadioPath(AlarmInbox& inbox, PathStates& paths, QObject* parent = nullptr);
    // Ends the decoder's process group, waiting for it; the path leaves PathStates.
    ~RadioPath() override;

    // The command, the RICs and the test message. A new command ends the running decoder and starts
    // the new one; an empty one stops the path.
    void setSettings(const RadioSettings& settings);
    // Within this window the same RIC, sub-address and text is one message (default 10 minutes).
    void setWindow(std::chrono::minutes window);
    // The clock of the repeat window and of the test message's watch (a steady clock by default).
    void setClock(Clock clock);
    // Ends the decoder and starts it no more ("Programmende").
    void stop();

    [[nodiscard]] bool running() const;
    // Reports the path silent when the test message is overdue; the watch's timer calls it.
    void checkTestMessage();

signals:
    // A message for one of the station's RICs has gone to the inbox.
    void handedOn(const RadioAlarm& alarm);
    // The decoder has been started (again).
    void decoderStarted();

private:
    struct Seen {
        QString address; // RIC and sub-address
        QString text;
        std::chrono::steady_clock::time_point at;
    };

    void start();
    void onOutput();
    void onErrorOutput();
    void onEnded(const QString& how);
    void takeLine(const QByteArray& line);
    [[nodiscard]] bool isRepeat(const RadioAlarm& alarm, std::chrono::steady_clock::time_point now);
    void setState(PathStates::State state);
    [[nodiscard]] int pathIndex();

    AlarmInbox& m_inbox;
    PathStates& m_paths;
    RadioSettings m_settings;
    std::chrono::minutes m_window { 10 };
    Clock m_clock;
    QProcess* m_process = nullptr;
    pid_t m_group = 0;
    QTimer* m_restart = nullptr;
    QTimer* m_watch = nullptr;
    QTimer* m_settle = nullptr;
    std::chrono::milliseconds m_pause = FirstPause;
    std::chrono::steady_clock::time_point m_startedAt;
    std::chrono::steady_clock::time_point m_lastTest;
    QByteArray m_line;
    QByteArray m_errorTail; // the end of what the decoder wrote to stderr, for the journal
    bool m_lineCut = false;
    bool m_stopped = false;
    QList<Seen> m_seen;
    Log::RepeatLimit m_endings;
};
