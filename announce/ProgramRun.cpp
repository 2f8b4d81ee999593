#include "announce/ProgramRun.h"

#include "common/FileExists.h"
#include "common/Log.h"
#include "common/ProcessGroup.h"

#include <QDebug>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>

#include <csignal>

namespace {

// How often an ended group is looked at until its last process has gone.
constexpr std::chrono::milliseconds kGroupCheck { 20 };

QTimer* makeTimer(QObject* parent, std::chrono::milliseconds interval, bool singleShot)
{
    auto* timer = new QTimer(parent);
    timer->setSingleShot(singleShot);
    timer->setInterval(interval);
    return timer;
}

} // namespace

ProgramRun::ProgramRun(QObject* parent)
    : QObject(parent)
    , m_limit(makeTimer(this, kTimeLimit, true))
    , m_groupCheck(makeTimer(this, kGroupCheck, false))
    , m_grace(makeTimer(this, kGracePeriod, true))
{
    connect(m_limit, &QTimer::timeout, this, [this] {
        qCWarning(lcAnnounce).noquote() << "Speech program still running after" << timeLimit.count() << "ms; ending it";
        end();
    });
    connect(m_groupCheck, &QTimer::timeout, this, &ProgramRun::checkGroupGone);
    connect(m_grace, &QTimer::timeout, this, [this] {
        if (!ProcessGroupAlive(m_group))
            return;
        qCWarning(lcAnnounce).noquote() << "Speech program did not end on SIGTERM; sent SIGKILL";
        m_killed = true;
        ::kill(-m_group, SIGKILL);
    });
}

ProgramRun::~ProgramRun()
{
    if (!m_process)
        return;
    // The monitor is going: whatever still speaks goes with it, and the QProcess lets the child be.
    ::kill(-m_group, SIGTERM);
    m_process->disconnect(this);
    m_process->setParent(nullptr);
    QObject::connect(m_process, &QProcess::finished, m_process, &QObject::deleteLater);
    if (m_process->state() == QProcess::NotRunning)
        m_process->deleteLater();
}

bool ProgramRun::start(const QString& path)
{
    if (m_process || !FileExists(path))
        return false;

    const QFileInfo info(path);
    auto* process = new QProcess(this);
    process->setWorkingDirectory(info.absolutePath());
    if (info.suffix() == QLatin1String("sh")) {
        process->setProgram(QStringLiteral("/bin/sh"));
        process->setArguments({ info.fileName() });
    } else {
        process->setProgram(info.absoluteFilePath());
    }
    DetachIntoOwnGroup(*process);

    process->start();
    if (!process->waitForStarted(-1) || process->state() == QProcess::NotRunning) {
        qCWarning(lcAnnounce).noquote() << "Speech program" << process->program()
                                        << "could not be started:" << process->errorString();
        delete process;
        return false;
    }
    m_process = process;
    m_group = static_cast<pid_t>(process->processId());
    m_ending = m_killed = false;
    connect(process, &QProcess::finished, this, &ProgramRun::onExited);
    m_limit->start(timeLimit);
    return true;
}

void ProgramRun::end()
{
    if (!m_process || m_ending)
        return;
    m_ending = true;
    m_limit->stop();
    ::kill(-m_group, SIGTERM);
    m_grace->start(gracePeriod);
    m_groupCheck->start();
}

void ProgramRun::endAndWait()
{
    if (!m_process)
        return;
    m_limit->stop();
    m_grace->stop();
    m_groupCheck->stop();
    EndProcessGroupAndWait(m_group, gracePeriod);
}

void ProgramRun::onExited()
{
    if (m_ending)
        return checkGroupGone();
    m_limit->stop();
    const int code = m_process->exitCode();
    if (m_process->exitStatus() == QProcess::CrashExit) {
        qCWarning(lcAnnounce).noquote() << "Announcement ended: the speech program was killed by a signal";
        return done(std::nullopt);
    }
    qCInfo(lcAnnounce).noquote() << "Announcement ended: the speech program exited with code" << code;
    done(code);
}

void ProgramRun::checkGroupGone()
{
    // Ended only when the script has been reaped and nothing it started speaks on.
    if (!m_process || m_process->state() != QProcess::NotRunning || ProcessGroupAlive(m_group))
        return;
    done(std::nullopt);
}

void ProgramRun::done(std::optional<int> exitCode)
{
    m_limit->stop();
    m_grace->stop();
    m_groupCheck->stop();
    m_process->deleteLater();
    m_process = nullptr;
    emit finished(exitCode);
}
