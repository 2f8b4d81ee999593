#pragma once

#include <QString>

#include <chrono>
#include <optional>

class AppContext;

// Starts a program and waits for it with the thread's events handled, so that the window, the
// timer and the link keep working and a further alarm can be announced inside the wait.
class ProcessWait {
public:
    // The longest a speech program may talk. One that is still running then is ended with
    // everything it started, and the announcement goes on.
    static constexpr std::chrono::milliseconds kTimeLimit = std::chrono::seconds(120);
    // How long an ended program may take to go after SIGTERM before SIGKILL follows.
    static constexpr std::chrono::milliseconds kGracePeriod = std::chrono::seconds(5);

    explicit ProcessWait(AppContext& ctx);

    // Starts the file at the path (a ".sh" file through /bin/sh) in its own folder and process
    // group, and waits until it has ended. Returns its exit code; nothing when the file does not
    // exist or cannot be started, when it ran past the time limit (it and its children are then
    // ended: SIGTERM to the group, SIGKILL after the grace period), or when the program began to
    // end first (the child then runs on by itself).
    std::optional<int> ShellAndWait(const QString& path);

    // Shorter limits for tests.
    std::chrono::milliseconds timeLimit = kTimeLimit;
    std::chrono::milliseconds gracePeriod = kGracePeriod;

private:
    AppContext& m_ctx;
};
