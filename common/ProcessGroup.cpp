#include "common/ProcessGroup.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTimer>

#include <csignal>
#include <thread>

#include <unistd.h>

void DetachIntoOwnGroup(QProcess& process)
{
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.setChildProcessModifier([] { ::setpgid(0, 0); });
}

bool ProcessGroupAlive(pid_t group)
{
    if (group <= 0 || ::kill(-group, 0) != 0)
        return false;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        QFile stat(QStringLiteral("/proc/") + entry + QStringLiteral("/stat"));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        // pid (name) state ppid pgrp ...; the name may hold blanks and parentheses.
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 2 && fields[2].toInt() == group && fields[0] != "Z")
            return true;
    }
    return false;
}

void EndProcessGroup(pid_t group, std::chrono::milliseconds grace)
{
    if (group <= 0 || ::kill(-group, SIGTERM) != 0)
        return;
    QTimer::singleShot(grace, [group] {
        if (ProcessGroupAlive(group))
            ::kill(-group, SIGKILL);
    });
}

void EndProcessGroupAndWait(pid_t group, std::chrono::milliseconds grace)
{
    if (group <= 0 || ::kill(-group, SIGTERM) != 0)
        return;
    const auto end = std::chrono::steady_clock::now() + grace;
    const auto waitUntil = [group](std::chrono::steady_clock::time_point until) {
        while (ProcessGroupAlive(group) && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    };
    waitUntil(end);
    if (ProcessGroupAlive(group) && ::kill(-group, SIGKILL) == 0)
        waitUntil(std::chrono::steady_clock::now() + std::chrono::seconds(1)); // SIGKILL takes a moment
}
