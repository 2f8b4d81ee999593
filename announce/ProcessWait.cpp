#include "announce/ProcessWait.h"

#include "common/AppContext.h"
#include "common/FileExists.h"
#include "common/Log.h"

#include <QDebug>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>

#include <csignal>
#include <functional>

#include <unistd.h>

namespace {

// Whether a process of the group is still running. Members that have ended but wait to be reaped
// by whoever adopted them do not count: they take no signal any more.
bool groupAlive(pid_t group)
{
    if (::kill(-group, 0) != 0)
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

// Waits with events handled until the condition holds, the time is up or the program ends.
void waitFor(AppContext& ctx, std::chrono::milliseconds limit, const std::function<bool()>& done)
{
    if (done())
        return;
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QObject::connect(&ctx, &AppContext::ending, &loop, &QEventLoop::quit);
    deadline.start(limit);
    check.start(20);
    loop.exec();
}

} // namespace

ProcessWait::ProcessWait(AppContext& ctx)
    : m_ctx(ctx)
{
}

std::optional<int> ProcessWait::ShellAndWait(const QString& path)
{
    if (FileExists(path) != 1)
        return std::nullopt;
    // A closing monitor starts nothing it would not wait for.
    if (m_ctx.ist_ende() != 0)
        return std::nullopt;

    const QFileInfo info(path);
    // Owned by nobody while it runs: a child that outlives the wait must not be killed by the
    // QProcess going away.
    auto* process = new QProcess;
    process->setWorkingDirectory(info.absolutePath());
    if (info.suffix() == QLatin1String("sh")) {
        process->setProgram(QStringLiteral("/bin/sh"));
        process->setArguments({ info.fileName() });
    } else {
        process->setProgram(info.absoluteFilePath());
    }
    // No pipes to the child: it may outlive the monitor, and nothing here reads what it prints.
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    // A group of its own, so that the script and the speech program it starts can be ended together.
    process->setChildProcessModifier([] { ::setpgid(0, 0); });

    bool finished = false;
    bool failed = false;
    QEventLoop loop;
    QObject::connect(process, &QProcess::finished, &loop, [&] {
        finished = true;
        loop.quit();
    });
    QObject::connect(process, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            failed = true;
            loop.quit();
        }
    });
    QObject::connect(&m_ctx, &AppContext::ending, &loop, &QEventLoop::quit);
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);

    process->start();
    if (process->state() == QProcess::NotRunning && !finished)
        failed = true;
    const auto group = static_cast<pid_t>(process->processId());
    if (!finished && !failed) {
        limit.start(timeLimit);
        loop.exec();
        finished = finished || process->state() == QProcess::NotRunning;
    }

    if (failed) {
        qCWarning(lcAnnounce).noquote() << "Speech program" << process->program()
                                        << "could not be started:" << process->errorString();
        delete process;
        return std::nullopt;
    }
    if (finished) {
        const int code = process->exitCode();
        if (process->exitStatus() == QProcess::CrashExit)
            qCWarning(lcAnnounce).noquote() << "Announcement ended: the speech program was killed by a signal";
        else
            qCInfo(lcAnnounce).noquote() << "Announcement ended: the speech program exited with code" << code;
        delete process;
        return code;
    }
    if (m_ctx.ist_ende() != 0) {
        // The program is ending: leave the child to itself and let the QProcess go once it has ended.
        QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
        return std::nullopt;
    }

    qCWarning(lcAnnounce).noquote() << "Speech program still running after" << timeLimit.count() << "ms; ending it";
    ::kill(-group, SIGTERM);
    waitFor(m_ctx, gracePeriod, [&] { return process->state() == QProcess::NotRunning && !groupAlive(group); });
    if (groupAlive(group)) {
        qCWarning(lcAnnounce).noquote() << "Speech program did not end on SIGTERM; sent SIGKILL";
        ::kill(-group, SIGKILL);
    }
    if (process->state() == QProcess::NotRunning)
        process->deleteLater();
    else
        QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
    return std::nullopt;
}
