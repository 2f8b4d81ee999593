#include "app/Form1.h"
#include "app/GermanTexts.h"
#include "app/ServiceManager.h"
#include "common/AppContext.h"
#include "common/Log.h"
#include "history/HistoryReader.h"
#include "settings/DataFolders.h"
#include "water/WaterImport.h"
#include "water/WaterIndex.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDebug>
#include <QFile>

#include <cstdio>

#include <unistd.h>

namespace {

const QCommandLineOption kFullScreen(QStringLiteral("fullscreen"),
    QStringLiteral("The window covers the whole screen without a frame (as fullscreen=1 in display.ini)."));
const QCommandLineOption kExportHistory(QStringLiteral("export-history"),
    QStringLiteral("Writes the alarm history, or the alarms of YEAR, as CSV to standard output and exits."));
const QCommandLineOption kImportWater(QStringLiteral("import-water"),
    QStringLiteral("Reads the water sources of an OpenStreetMap extract (.osm.pbf or .osm) into the index "
                   "(default /var/lib/kessvenn/water.sqlite) and exits."));

void describeProgram(QCommandLineParser& parser)
{
    QCoreApplication::setApplicationName(QStringLiteral("Kessvenn"));
    QCoreApplication::setApplicationVersion(
        QStringLiteral("%1.%2.%3").arg(KESSVENN_VERSION_MAJOR).arg(KESSVENN_VERSION_MINOR).arg(KESSVENN_VERSION_PATCH));
    parser.setApplicationDescription(QStringLiteral("Alarm monitor of the fire and rescue station"));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(kFullScreen);
    parser.addOption(kExportHistory);
    parser.addOption(kImportWater);
    parser.addPositionalArgument(
        QStringLiteral("YEAR"), QStringLiteral("The year of --export-history."), QStringLiteral("[YEAR]"));
}

// --help, --version and the export answer without a screen.
bool needsNoScreen(int argc, char* argv[])
{
    const QStringList questions
        = { "-h", "--help", "-?", "--help-all", "-v", "--version", "--export-history", "--import-water" };
    for (int i = 1; i < argc; ++i) {
        if (questions.contains(QString::fromLocal8Bit(argv[i])))
            return true;
    }
    return false;
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

} // namespace

int main(int argc, char* argv[])
{
    Log::useJournalWhenThere();
    QCommandLineParser parser;
    if (needsNoScreen(argc, argv)) {
        QCoreApplication core(argc, argv);
        describeProgram(parser);
        parser.process(core);
        if (parser.isSet(kImportWater))
            return importWater(parser.positionalArguments());
        return parser.isSet(kExportHistory) ? exportHistory(parser.positionalArguments()) : 0;
    }
    QApplication app(argc, argv);
    describeProgram(parser);
    parser.process(app);
    qInfo().noquote() << "Kessvenn" << QCoreApplication::applicationVersion() << "starting";

    if (!installGermanQtTexts(app))
        qWarning("Qt's German texts were not found; its buttons and dialogs speak English");

    AppContext ctx;
    ctx.ProgramFolder = QCoreApplication::applicationDirPath();
    // Shutdown ends the program at once: no handler runs after it and no wait resumes. Every file
    // is complete on disk at that point, and a speech program that was still talking has been sent
    // SIGTERM with everything it started.
    ctx.endProcess = [] { ::_exit(0); };

    Form1 window(ctx);
    window.setFullScreen(parser.isSet(kFullScreen));
    window.showOnScreen();
    window.load();
    qCInfo(lcFiles).noquote() << "Settings read from the data folder" << ctx.DataFolder << "; dispatch computer"
                              << ctx.settings.ServerAddress << "port" << ctx.ServerPort;
    ServiceManager service;
    service.notifyReady();
    return QApplication::exec();
}
