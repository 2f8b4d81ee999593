#include "app/Form1.h"
#include "app/GermanTexts.h"
#include "app/ServiceManager.h"
#include "common/AppContext.h"
#include "common/Log.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDebug>

#include <unistd.h>

namespace {

const QCommandLineOption kFullScreen(QStringLiteral("fullscreen"),
    QStringLiteral("The window covers the whole screen without a frame (as fullscreen=1 in display.ini)."));

void describeProgram(QCommandLineParser& parser)
{
    QCoreApplication::setApplicationName(QStringLiteral("Kessvenn"));
    QCoreApplication::setApplicationVersion(
        QStringLiteral("%1.%2.%3").arg(KESSVENN_VERSION_MAJOR).arg(KESSVENN_VERSION_MINOR).arg(KESSVENN_VERSION_PATCH));
    parser.setApplicationDescription(QStringLiteral("Alarm monitor of the fire and rescue station"));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(kFullScreen);
}

// --help and --version answer without a screen.
bool onlyAsksAboutTheProgram(int argc, char* argv[])
{
    const QStringList questions = { "-h", "--help", "-?", "--help-all", "-v", "--version" };
    for (int i = 1; i < argc; ++i) {
        if (questions.contains(QString::fromLocal8Bit(argv[i])))
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char* argv[])
{
    Log::useJournalWhenThere();
    QCommandLineParser parser;
    if (onlyAsksAboutTheProgram(argc, argv)) {
        QCoreApplication core(argc, argv);
        describeProgram(parser);
        parser.process(core);
        return 0;
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
