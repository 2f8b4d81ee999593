#include "app/CommandLine.h"
#include "app/Form1.h"
#include "app/GermanTexts.h"
#include "app/ServiceManager.h"
#include "app/StopSignals.h"
#include "common/AppContext.h"
#include "common/Log.h"
#include "config/ConfigCheck.h"
#include "history/HistoryReader.h"
#include "settings/DataFolders.h"
#include "station/ControlServer.h"
#include "station/Station.h"
#include "water/WaterImport.h"
#include "water/WaterIndex.h"

#include <QApplication>
#include <QDebug>
#include <QFile>
#include <QGuiApplication>
#include <QLockFile>
#include <QLoggingCategory>

#include <csignal>
#include <cstdio>
#include <memory>

#include <unistd.h>

namespace {

const QString kLockFile = QStringLiteral("kessvenn.lock");

void printTo(FILE* stream, const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

// The history as CSV on standard output; the file is only read. 0 when written, 1 otherwise.
int exportHistory(const QStringList& arguments)
{
    bool ok = arguments.isEmpty();
    const int year = arguments.value(0).toInt(ok ? nullptr : &ok);
    if (!ok || arguments.size() > 1 || (!arguments.isEmpty() && (year < 1900 || year > 9999))) {
        qCritical().noquote() << "--export-history takes one year, such as 2026";
        return 1;
    }
    AppContext ctx;
    ctx.ProgramFolder = QCoreApplication::applicationDirPath();
    InitDataFolders(ctx);
    const QString path = ctx.dataFile(QStringLiteral("history.sqlite"));
    QFile out;
    if (!out.open(stdout, QIODevice::WriteOnly))
        return 1;
    if (!QFile::exists(path)) {
        HistoryReader::writeCsvHeading(out);
        return out.flush() ? 0 : 1;
    }
    HistoryReader reader(path, true);
    if (!reader.open() || !reader.writeCsv(out, arguments.isEmpty() ? std::nullopt : std::optional(year))) {
        qCritical().noquote() << "The history" << path << "could not be read:" << reader.lastError();
        return 1;
    }
    return out.flush() ? 0 : 1;
}

// The water index from an extract, with progress on standard output. 0 when written, 1 otherwise.
int importWater(const QStringList& arguments)
{
    if (arguments.isEmpty() || arguments.size() > 2) {
        qCritical().noquote() << "--import-water takes an extract (.osm.pbf or .osm) and optionally the index file";
        return 1;
    }
    const QString index = arguments.value(1, WaterIndex::DefaultPath);
    const auto progress = [](qint64 nodes, qint64 found) {
        std::printf("%lld nodes read, %lld water sources found\n", static_cast<long long>(nodes),
            static_cast<long long>(found));
        std::fflush(stdout);
    };
    const WaterImport::Result result = WaterImport::run(arguments.first(), index, progress);
    if (!result.ok) {
        qCritical().noquote() << "No water index written:" << result.error;
        return 1;
    }
    std::printf("%lld water sources written to %s\n", static_cast<long long>(result.sources),
        QFile::encodeName(index).constData());
    return 0;
}

// The data folder as the monitor finds it, neither made nor locked nor changed: a monitor may be
// running on it.
ConfigCheck checkOfDataFolder()
{
    const QString programFolder = QCoreApplication::applicationDirPath();
    // The readers' own warnings would repeat on stderr what is printed here.
    QLoggingCategory::setFilterRules(QStringLiteral("kessvenn.files.warning=false"));
    return ConfigCheck(FindDataFolder(programFolder), programFolder);
}

// Every problem of the station's files on standard output. 0 when there is none, 1 otherwise.
int checkConfig()
{
    const ConfigCheck check = checkOfDataFolder();
    const QList<ConfigProblem> problems = check.problems();
    QString text;
    for (const ConfigProblem& problem : problems)
        text += problem.text() + QLatin1Char('\n');
    printTo(stdout, text);
    printTo(stderr,
        problems.isEmpty() ? QStringLiteral("No problems found.\n")
                           : QStringLiteral("%1 problem(s) found.\n").arg(problems.size()));
    return problems.isEmpty() ? 0 : 1;
}

// Every value in force with where it came from, on standard output.
int printConfig()
{
    printTo(stdout, checkOfDataFolder().effective().join(QLatin1Char('\n')) + QLatin1Char('\n'));
    return 0;
}

// The monitor running on this data folder, asked through its control socket (--test-alarm,
// --status): its answer on standard output, 0; a refusal on standard error, 1; 1 with a line
// saying so when no monitor runs there.
int askMonitor(const QString& request)
{
    const QString folder = FindDataFolder(QCoreApplication::applicationDirPath());
    const std::optional<ControlAnswer> answer = ControlServer::ask(folder, request, std::chrono::seconds(10));
    if (!answer) {
        printTo(stderr, QStringLiteral("kessvenn: no monitor runs on the data folder %1\n").arg(folder));
        return 1;
    }
    printTo(answer->ok ? stdout : stderr, answer->text + QLatin1Char('\n'));
    return answer->ok ? 0 : 1;
}

AppContext& programContext()
{
    static AppContext ctx;
    ctx.ProgramFolder = QCoreApplication::applicationDirPath();
    // Shutdown ends the program at once: no handler runs after it and no wait resumes. By then the
    // speech program has ended with everything it started, the history's writes are on disk and
    // every other file was complete when written.
    ctx.endProcess = [] { ::_exit(0); };
    return ctx;
}

// One monitor per data folder: a second one would store, number and announce every alarm again.
// The lock is held for the program's life; one left behind by a monitor that died is taken over.
// False, with the holder named on stderr and in the journal, when another monitor holds it.
bool lockDataFolder(AppContext& ctx, QLockFile& lock)
{
    lock.setStaleLockTime(0); // held for months: only a dead holder leaves a stale lock
    if (lock.tryLock(0))
        return true;
    if (lock.error() != QLockFile::LockFailedError) {
        qCWarning(lcFiles).noquote() << "The data folder" << ctx.DataFolder
                                     << "could not be locked; a second monitor on it would not be noticed";
        return true;
    }
    qint64 pid = 0;
    QString host, name;
    (void)lock.getLockInfo(&pid, &host, &name);
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (comm.open(QIODevice::ReadOnly))
        name = QString::fromLocal8Bit(comm.readAll().trimmed());
    qCritical().noquote() << QStringLiteral("Another monitor (PID %1%2) already runs on the data folder %3; "
                                            "this one does not start")
                                 .arg(pid)
                                 .arg(name.isEmpty() ? QString() : QStringLiteral(", ") + name)
                                 .arg(ctx.DataFolder);
    return false;
}

// The data folder, found and locked for the program's life; null when another monitor holds it.
std::unique_ptr<QLockFile> takeDataFolder(AppContext& ctx)
{
    InitDataFolders(ctx);
    auto lock = std::make_unique<QLockFile>(ctx.dataFile(kLockFile));
    return lockDataFolder(ctx, *lock) ? std::move(lock) : nullptr;
}

void noteStart(const Station& station)
{
    const AppContext& ctx = station.context();
    qCInfo(lcFiles).noquote() << "Settings read from the data folder" << ctx.DataFolder << "; dispatch computer"
                              << station.settings().ServerAddress << "port" << ctx.ServerPort;
}

void noteSignal(int signal)
{
    qInfo().noquote() << "Ending on" << (signal == SIGINT ? "SIGINT" : "SIGTERM");
}

// The station without a window, for the computer that drives the loudspeakers or the printer in
// the vehicle hall. The printout's page is set in type, and Qt finds fonts only in a Gui
// application: one on the offscreen platform, which needs no display and touches none.
int runHeadless(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    qInfo().noquote() << "Kessvenn" << QCoreApplication::applicationVersion() << "starting without a window";
    AppContext& ctx = programContext();
    const std::unique_ptr<QLockFile> lock = takeDataFolder(ctx);
    if (!lock)
        return 1;
    Station station(ctx);
    // systemctl stop, kill and Ctrl+C end the monitor as "Programmende" does.
    StopSignals stopSignals;
    QObject::connect(&stopSignals, &StopSignals::received, &station, [&station](int signal) {
        noteSignal(signal);
        station.shutDown();
    });
    station.load();
    station.replayLastAlarm();
    station.openLink();
    noteStart(station);
    ServiceManager service;
    service.notifyReady();
    return QGuiApplication::exec();
}

// What needs no screen: the answers on the command line, the export, the water import, the check of
// the settings and their print-out, and an error
// in the arguments.
int runWithoutScreen(const CommandLine& line)
{
    if (!line.error().isEmpty()) {
        printTo(stderr, QStringLiteral("kessvenn: %1\n\n%2").arg(line.error(), line.helpText()));
        return 2;
    }
    switch (line.run()) {
    case CommandLine::Run::Help:
        printTo(stdout, line.helpText());
        return 0;
    case CommandLine::Run::Version:
        printTo(stdout, QCoreApplication::applicationName() + ' ' + QCoreApplication::applicationVersion() + '\n');
        return 0;
    case CommandLine::Run::ExportHistory:
        return exportHistory(line.arguments());
    case CommandLine::Run::ImportWater:
        return importWater(line.arguments());
    case CommandLine::Run::CheckConfig:
        return checkConfig();
    case CommandLine::Run::PrintConfig:
        return printConfig();
    case CommandLine::Run::TestAlarm:
        return askMonitor(QStringLiteral("test-alarm"));
    case CommandLine::Run::Status:
        return askMonitor(QStringLiteral("status"));
    case CommandLine::Run::Headless:
    case CommandLine::Run::Window:
        break;
    }
    return 2;
}

// Whether the window has a screen to go to: without one, Qt's platform would abort the program.
bool displayNamed(const CommandLine& line)
{
    return line.namesDisplay() || !qEnvironmentVariableIsEmpty("DISPLAY")
        || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

} // namespace

int main(int argc, char* argv[])
{
    Log::useJournalWhenThere();
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine line(arguments);
    if (line.error().isEmpty() && line.run() == CommandLine::Run::Headless)
        return runHeadless(argc, argv);
    if (!line.error().isEmpty() || line.run() != CommandLine::Run::Window) {
        QCoreApplication core(argc, argv);
        return runWithoutScreen(line);
    }
    if (!displayNamed(line)) {
        qCritical("kessvenn: no display: set DISPLAY or start with --headless");
        return 1;
    }

    QApplication app(argc, argv);
    qInfo().noquote() << "Kessvenn" << QCoreApplication::applicationVersion() << "starting";

    if (!installGermanQtTexts(app))
        qWarning("Qt's German texts were not found; its buttons and dialogs speak English");

    AppContext& ctx = programContext();
    const std::unique_ptr<QLockFile> lock = takeDataFolder(ctx);
    if (!lock)
        return 1;
    Station station(ctx);
    Form1 window(station);
    // systemctl stop, kill and Ctrl+C end the monitor as "Programmende" does.
    StopSignals stopSignals;
    QObject::connect(&stopSignals, &StopSignals::received, &window, [&window](int signal) {
        noteSignal(signal);
        window.close();
    });
    window.setFullScreen(line.fullScreen());
    window.showOnScreen();
    window.load();
    noteStart(station);
    ServiceManager service;
    service.notifyReady();
    return QApplication::exec();
}
