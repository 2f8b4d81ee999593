#include "paths/RadioPath.h"

#include "common/ProcessGroup.h"
#include "paths/AlarmInbox.h"
#include "paths/PocsagLine.h"

#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <csignal>

#include <unistd.h>

namespace {

// What is read of the decoder's output at a time.
constexpr qint64 kReadChunk = 64 * 1024;
// How many messages the repeat window keeps at most; the oldest go first.
constexpr qsizetype kMostSeen = 1000;
// How much of the decoder's stderr is kept, for the journal line when it ends.
constexpr qsizetype kErrorTail = 512;

QString seconds(std::chrono::milliseconds pause)
{
    return QString::number(double(pause.count()) / 1000.0);
}

} // namespace

const QString RadioPath::PathName = QStringLiteral("Funkmeldeempfänger");

RadioPath::RadioPath(AlarmInbox& inbox, PathStates& paths, QObject* parent)
    : QObject(parent)
    , m_inbox(inbox)
    , m_paths(paths)
    , m_clock([] { return std::chrono::steady_clock::now(); })
    , m_restart(new QTimer(this))
    , m_watch(new QTimer(this))
    , m_settle(new QTimer(this))
{
    m_settle->setSingleShot(true);
    m_settle->setInterval(SettleTime);
    connect(m_settle, &QTimer::timeout, this, [this] {
        if (m_process)
            setState(PathStates::State::Connected);
    });
    m_restart->setSingleShot(true);
    connect(m_restart, &QTimer::timeout, this, &RadioPath::start);
    m_watch->setInterval(WatchInterval);
    connect(m_watch, &QTimer::timeout, this, &RadioPath::checkTestMessage);
    (void)pathIndex();
}

RadioPath::~RadioPath()
{
    stop();
    const int index = pathIndex();
    m_paths.remove(index);
}

void RadioPath::setSettings(const RadioSettings& settings)
{
    const bool newCommand = settings.command != m_settings.command;
    const bool newTest = settings.testRic != m_settings.testRic || settings.testMinutes != m_settings.testMinutes;
    m_settings = settings;
    if (newTest)
        m_lastTest = m_clock();
    if (m_stopped)
        return;
    const bool watched = !m_settings.testRic.isEmpty() && m_settings.testMinutes > 0;
    if (m_process && watched)
        m_watch->start();
    else if (!watched)
        m_watch->stop();
    if (newCommand) {
        stop();
        m_stopped = false;
        m_pause = FirstPause;
        if (m_settings.active())
            start();
    }
}

void RadioPath::setWindow(std::chrono::minutes window)
{
    m_window = window;
}

void RadioPath::setClock(Clock clock)
{
    m_clock = std::move(clock);
    m_lastTest = m_startedAt = m_clock();
}

bool RadioPath::running() const
{
    return m_process != nullptr;
}

void RadioPath::start()
{
    if (m_process || m_stopped || !m_settings.active())
        return;
    auto* process = new QProcess(this);
    process->setProgram(QStringLiteral("/bin/sh"));
    process->setArguments({ QStringLiteral("-c"), m_settings.command });
    process->setStandardInputFile(QProcess::nullDevice());
    process->setChildProcessModifier([] { ::setpgid(0, 0); });
    connect(process, &QProcess::readyReadStandardOutput, this, &RadioPath::onOutput);
    connect(process, &QProcess::readyReadStandardError, this, &RadioPath::onErrorOutput);
    connect(process, &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
        onEnded(status == QProcess::CrashExit ? QStringLiteral("was killed by a signal")
                                              : QStringLiteral("exited with code %1").arg(code));
    });
    connect(process, &QProcess::errorOccurred, this, [this, process](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            onEnded(QStringLiteral("could not be started: ") + process->errorString());
    });
    m_process = process;
    m_line.clear();
    m_errorTail.clear();
    m_lineCut = false;
    process->start();
    if (m_process != process)
        return; // failed at once; onEnded() has planned the next start
    m_group = static_cast<pid_t>(process->processId());
    m_startedAt = m_lastTest = m_clock();
    qCInfo(lcLink).noquote() << "Radio decoder started:" << m_settings.command;
    m_settle->start();
    if (!m_settings.testRic.isEmpty() && m_settings.testMinutes > 0)
        m_watch->start();
    emit decoderStarted();
}

void RadioPath::stop()
{
    m_stopped = true;
    m_restart->stop();
    m_watch->stop();
    m_settle->stop();
    if (m_process) {
        QProcess* process = std::exchange(m_process, nullptr);
        process->disconnect(this);
        EndProcessGroupAndWait(std::exchange(m_group, 0), EndGrace);
        process->waitForFinished(int(EndGrace.count()));
        delete process;
        qCInfo(lcLink).noquote() << "Radio decoder ended";
    }
    setState(PathStates::State::Down);
}

void RadioPath::onOutput()
{
    if (!m_process)
        return;
    for (QByteArray chunk = m_process->read(kReadChunk); !chunk.isEmpty(); chunk = m_process->read(kReadChunk)) {
        if (m_settle->isActive()) {
            m_settle->stop();
            setState(PathStates::State::Connected);
        }
        qsizetype from = 0;
        while (from < chunk.size()) {
            const qsizetype lineEnd = chunk.indexOf('\n', from);
            const qsizetype end = lineEnd < 0 ? chunk.size() : lineEnd;
            if (!m_lineCut) {
                const qsizetype room = MaxLineBytes - m_line.size();
                m_line.append(chunk.constData() + from, std::min(room, end - from));
                m_lineCut = end - from > room;
            }
            if (lineEnd < 0)
                break;
            takeLine(std::exchange(m_line, QByteArray()));
            m_lineCut = false;
            from = lineEnd + 1;
        }
        if (!m_process)
            return;
    }
}

void RadioPath::onErrorOutput()
{
    if (!m_process)
        return;
    m_errorTail = (m_errorTail + m_process->readAllStandardError()).right(kErrorTail);
}

void RadioPath::onEnded(const QString& how)
{
    QProcess* process = std::exchange(m_process, nullptr);
    if (!process)
        return;
    // What the decoder printed last is read; a last line without its line break too.
    m_process = process;
    onOutput();
    onErrorOutput();
    m_process = nullptr;
    if (!m_line.isEmpty())
        takeLine(std::exchange(m_line, QByteArray()));
    process->disconnect(this);
    process->deleteLater();
    // Whatever the command started and left behind (a receiver holding its device) goes too.
    EndProcessGroup(std::exchange(m_group, 0), EndGrace);
    m_watch->stop();
    m_settle->stop();
    setState(PathStates::State::Down);

    // Why it ended, as far as the decoder said: its last line on stderr ("No supported devices found").
    const QString said = QString::fromUtf8(m_errorTail.trimmed().split('\n').last()).simplified();
    const QString ended = said.isEmpty() ? how : how + QStringLiteral(" (\"%1\")").arg(said);
    const auto now = m_clock();
    if (now - m_startedAt >= LongestPause) {
        m_pause = FirstPause;
        m_endings.success();
    }
    int leftOut = 0;
    if (m_endings.failure(Log::RepeatLimit::Clock::now(), &leftOut)) {
        if (leftOut == 0)
            qCWarning(lcLink).noquote() << "Radio decoder" << ended << "- started again in" << seconds(m_pause) << "s";
        else
            qCWarning(lcLink).noquote() << "Radio decoder" << ended << "- still ending," << leftOut
                                        << "more times since the last report; started again in" << seconds(m_pause)
                                        << "s";
    }
    if (!m_stopped) {
        m_restart->start(m_pause);
        m_pause = std::min(m_pause * 2, LongestPause);
    }
}

void RadioPath::takeLine(const QByteArray& line)
{
    const std::optional<PocsagMessage> message = ParsePocsagLine(line);
    if (!message)
        return;
    const auto now = m_clock();
    const auto sameRic = [&](const QString& ric) { return ric.toUInt() == message->ric.toUInt(); };
    if (!m_settings.testRic.isEmpty() && sameRic(m_settings.testRic)) {
        m_lastTest = now;
        setState(PathStates::State::Connected);
        return;
    }
    // A RIC named with the message's sub-address before the RIC named alone.
    const QChar sub = QLatin1Char(char('A' + message->function));
    const StationRic* match = nullptr;
    for (const StationRic& ric : m_settings.rics) {
        if (sameRic(ric.ric) && (ric.subAddress == sub || (ric.subAddress.isNull() && !match)))
            match = &ric;
    }
    if (!match)
        return;
    const RadioAlarm alarm { message->ric, match->subAddress, match->text, message->text };
    if (isRepeat(alarm, now))
        return;
    m_inbox.takeRadioAlarm(alarm);
    emit handedOn(alarm);
}

bool RadioPath::isRepeat(const RadioAlarm& alarm, std::chrono::steady_clock::time_point now)
{
    m_seen.removeIf([&](const Seen& seen) { return now - seen.at >= m_window; });
    const QString address = alarm.ric + alarm.subAddress;
    // The same text again is the network's repeat; a tone-only message after any message of the RIC
    // brings nothing new. A text after a tone-only message goes on: it is that alarm's text.
    const bool repeat = std::any_of(m_seen.cbegin(), m_seen.cend(),
        [&](const Seen& seen) { return seen.address == address && (seen.text == alarm.text || alarm.text.isEmpty()); });
    if (repeat)
        return true;
    if (m_seen.size() >= kMostSeen)
        m_seen.removeFirst();
    m_seen.append(Seen { address, alarm.text, now });
    return false;
}

void RadioPath::checkTestMessage()
{
    if (!m_process || m_settings.testRic.isEmpty() || m_settings.testMinutes <= 0)
        return;
    if (m_clock() - m_lastTest > std::chrono::minutes(m_settings.testMinutes) + TestLateness)
        setState(PathStates::State::Silent);
}

void RadioPath::setState(PathStates::State state)
{
    m_paths.set(pathIndex(), state);
}

int RadioPath::pathIndex()
{
    const QList<PathStates::Path>& paths = m_paths.paths();
    for (qsizetype i = 0; i < paths.size(); ++i) {
        if (paths[i].name == PathName)
            return int(i);
    }
    return m_paths.add(PathName);
}
