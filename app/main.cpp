#include "app/Form1.h"
#include "app/GermanTexts.h"
#include "common/AppContext.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDebug>

#include <unistd.h>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kessvenn"));
    QApplication::setApplicationVersion(
        QStringLiteral("%1.%2.%3").arg(KESSVENN_VERSION_MAJOR).arg(KESSVENN_VERSION_MINOR).arg(KESSVENN_VERSION_PATCH));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Alarm monitor of the fire and rescue station"));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption fullscreen(QStringLiteral("fullscreen"),
        QStringLiteral("The window covers the whole screen without a frame (as fullscreen=1 in display.ini)."));
    parser.addOption(fullscreen);
    parser.process(app);

    if (!installGermanQtTexts(app))
        qWarning("Qt's German texts were not found; its buttons and dialogs speak English");

    AppContext ctx;
    ctx.ProgramFolder = QCoreApplication::applicationDirPath();
    // Shutdown ends the program at once: no handler runs after it and no wait resumes. Every file
    // is complete on disk at that point, and a running speech program is left to finish on its own.
    ctx.endProcess = [] { ::_exit(0); };

    Form1 window(ctx);
    window.setFullScreen(parser.isSet(fullscreen));
    window.showOnScreen();
    window.load();
    return QApplication::exec();
}
