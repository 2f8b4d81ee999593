#pragma once

#include <QObject>
#include <QString>

#include <chrono>
#include <optional>
#include <sys/types.h>

class QProcess;
class QTimer;

// One run of an outside program (the speech program's script), watched without ever holding the
// thread: finished() comes through the event loop. The program runs in a process group of its own,
// so that it can be ended together with everything it started.
class ProgramRun : public QObject {
    Q_OBJECT

public:
    // The longest a speech program may talk. One that is still running then is ended with
    // everything it started, and the announcement goes on.
    static constexpr std::chrono::milliseconds kTimeLimit = std::chrono::seconds(120);
    // How long an ended program may take to go after SIGTERM before SIGKILL follows.
    static constexpr std::chrono::milliseconds kGracePeriod = std::chrono::seconds(5);

    explicit ProgramRun(QObject* parent = nullptr);
    // A program still running is sent SIGTERM with its group and left to go by itself.
    ~ProgramRun() override;

    // Starts the file at the path (a ".sh" file through /bin/sh) in its own folder, with no pipes.
    // False when it does not exist, cannot be started or a run is under way; finished() follows
    // only a true.
    bool start(const QString& path);

    // Ends the run: SIGTERM to the whole group, SIGKILL after the grace period. finished() follows
    // once no process of the group is left.
    void end();
    // The same for a monitor that is ending, whose event loop turns no more: returns once the
    // group has gone, at most the grace period and a moment for the SIGKILL later.
    void endAndWait();

    [[nodiscard]] bool running() const { return m_process != nullptr; }

    // Shorter limits for tests.
    std::chrono::milliseconds timeLimit = kTimeLimit;
    std::chrono::milliseconds gracePeriod = kGracePeriod;

signals:
    // The exit code; nothing when the program was ended (end() or the time limit) or killed.
    void finished(std::optional<int> exitCode);

private:
    void onExited();
    void checkGroupGone();
    void done(std::optional<int> exitCode);

    QProcess* m_process = nullptr;
    pid_t m_group = 0;
    bool m_ending = false;
    bool m_killed = false;
    QTimer* m_limit = nullptr;
    QTimer* m_groupCheck = nullptr;
    QTimer* m_grace = nullptr;
};
