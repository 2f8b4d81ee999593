#include "app/ScreenWake.h"

#include "alarm/AlarmCore.h"
#include "station/Station.h"

#include "common/AppContext.h"
#include "common/ProcessGroup.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDebug>
#include <QProcess>

#include <utility>

#include <X11/Xlib.h>
#include <X11/extensions/dpms.h>

namespace {

const QString kService = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kPath = QStringLiteral("/org/freedesktop/ScreenSaver");

// While the saver is held off on X11 it is reset this often, well within any saver timeout.
constexpr int kX11ResetMs = 20000;

QDBusMessage screenSaverCall(const QString& method)
{
    return QDBusMessage::createMethodCall(kService, kPath, kService, method);
}

} // namespace

ScreenWake::ScreenWake(AppContext& ctx, QObject* parent)
    : QObject(parent)
    , m_ctx(ctx)
{
    connect(&m_ctx, &AppContext::ending, this, &ScreenWake::endCommandsNow);
    m_holdEnd.setSingleShot(true);
    connect(&m_holdEnd, &QTimer::timeout, this, &ScreenWake::release);
    m_x11Reset.setInterval(kX11ResetMs);
    connect(&m_x11Reset, &QTimer::timeout, this, &ScreenWake::wakeX11);
}

ScreenWake::~ScreenWake()
{
    endCommandsNow();
    if (m_display)
        XCloseDisplay(m_display);
}

void ScreenWake::configure(const DisplaySettings& settings)
{
    m_settings = settings;
}

void ScreenWake::alarm()
{
    if (m_settings.wake == DisplaySettings::Wake::Off)
        return;
    if (m_settings.wake == DisplaySettings::Wake::X11)
        wakeX11();
    else
        runCommand(m_settings.wakeOn, "wake.on");

    if (m_settings.awakeMinutes <= 0)
        return;
    if (!holding()) {
        inhibit();
        if (m_settings.wake == DisplaySettings::Wake::X11)
            m_x11Reset.start();
    }
    m_holdEnd.start(qRound(m_settings.awakeMinutes * 60000));
}

void ScreenWake::wakeX11()
{
    if (!m_displayTried) {
        m_displayTried = true;
        m_display = XOpenDisplay(nullptr);
        if (!m_display)
            qWarning("Screen wake: no X display (DISPLAY=%s)", qgetenv("DISPLAY").constData());
    }
    if (!m_display)
        return;
    XResetScreenSaver(m_display);
    int event = 0, error = 0;
    if (DPMSQueryExtension(m_display, &event, &error) && DPMSCapable(m_display)) {
        // Forcing a level while DPMS is disabled is an X error, which ends the program in Xlib's
        // default handler; a disabled DPMS never switched the screen off in the first place.
        CARD16 level = 0;
        BOOL enabled = False;
        if (DPMSInfo(m_display, &level, &enabled) && enabled)
            DPMSForceLevel(m_display, DPMSModeOn);
    } else if (!m_dpmsWarned) {
        m_dpmsWarned = true;
        qWarning("Screen wake: the X server has no DPMS; only its screen saver is reset");
    }
    XFlush(m_display);
}

void ScreenWake::runCommand(const QStringList& command, const char* what)
{
    if (m_ctx.ist_ende())
        return;
    if (command.isEmpty()) {
        qWarning("Screen wake: %s names no program", what);
        return;
    }
    // One at a time: a wake.off that hangs must not hold the screen dark, nor may each alarm add one.
    if (m_running) {
        qWarning().noquote() << "Screen wake:" << m_running->program() << "still running; ended for" << what;
        endCommand(m_running);
    }
    // Started and left to run: its end, or its failure, is only written to the log.
    auto* process = new QProcess(this);
    process->setProgram(command.first());
    process->setArguments(command.mid(1));
    DetachIntoOwnGroup(*process);
    connect(process, &QProcess::errorOccurred, this, [this, process, what](QProcess::ProcessError error) {
        qWarning().noquote() << "Screen wake:" << what << process->program() << "failed:" << process->errorString();
        if (error == QProcess::FailedToStart) {
            if (m_running == process)
                m_running = nullptr;
            process->deleteLater();
        }
    });
    connect(process, &QProcess::finished, this, [this, process, what](int code, QProcess::ExitStatus status) {
        if (status != QProcess::NormalExit || code != 0)
            qWarning().noquote() << "Screen wake:" << what << process->program() << "ended with" << code;
        if (m_running == process)
            m_running = nullptr;
        process->deleteLater();
    });
    process->start();
    if (process->state() == QProcess::NotRunning)
        return;
    m_running = process;
    QTimer::singleShot(timeLimit, process, [this, process, what] {
        if (m_running != process)
            return;
        qWarning().noquote() << "Screen wake:" << what << process->program() << "still running after"
                             << timeLimit.count() << "ms; ended with everything it started";
        endCommand(process);
    });
}

void ScreenWake::endCommand(QProcess* process)
{
    if (m_running == process)
        m_running = nullptr;
    const auto group = static_cast<pid_t>(process->processId());
    if (group <= 0)
        return;
    m_ending.insert(group);
    EndProcessGroup(group, gracePeriod);
    QTimer::singleShot(gracePeriod, this, [this, group] { m_ending.remove(group); });
}

void ScreenWake::endCommandsNow()
{
    QSet<pid_t> groups = std::exchange(m_ending, {});
    if (m_running)
        groups.insert(static_cast<pid_t>(std::exchange(m_running, nullptr)->processId()));
    for (const pid_t group : groups)
        EndProcessGroupAndWait(group, gracePeriod);
}

void ScreenWake::inhibit()
{
    if (m_cookie || m_inhibitPending)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        qWarning("Screen wake: no session D-Bus; the screen saver is not held off through it");
        return;
    }
    m_inhibitPending = true;
    QDBusMessage call = screenSaverCall(QStringLiteral("Inhibit"));
    call << QCoreApplication::applicationName() << QStringLiteral("Alarm");
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        m_inhibitPending = false;
        const QDBusPendingReply<uint> reply = *w;
        if (reply.isError()) {
            qWarning().noquote() << "Screen wake: the session's screen saver is not held off:"
                                 << reply.error().message();
            return;
        }
        m_cookie = reply.value();
        // The hold ended while the answer was on its way.
        if (!holding())
            unInhibit();
    });
}

void ScreenWake::unInhibit()
{
    if (!m_cookie)
        return;
    QDBusMessage call = screenSaverCall(QStringLiteral("UnInhibit"));
    call << *m_cookie;
    m_cookie.reset();
    QDBusConnection::sessionBus().asyncCall(call);
}

void ScreenWake::release()
{
    m_holdEnd.stop();
    m_x11Reset.stop();
    unInhibit();
    if (m_settings.wake == DisplaySettings::Wake::Command)
        runCommand(m_settings.wakeOff, "wake.off");
}

void ScreenWake::follow(Station& station)
{
    connect(&station, &Station::configured, this, [this, &station] { configure(station.display()); });
    connect(&station, &Station::replayAnnounced, this, &ScreenWake::alarm);
    connect(&station.core(), &AlarmCore::stationAlarm, this, [this](const StationAlarmPlan&, bool replay) {
        if (!replay)
            alarm();
    });
    connect(&station.core(), &AlarmCore::unitAlarm, this, &ScreenWake::alarm);
}
