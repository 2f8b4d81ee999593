#include "app/Form1.h"
#include "app/GermanTexts.h"
#include "common/AppContext.h"

#include <QApplication>
#include <QDebug>

#include <unistd.h>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kessvenn"));
    if (!installGermanQtTexts(app))
        qWarning("Qt's German texts were not found; its buttons and dialogs speak English");

    AppContext ctx;
    ctx.ProgramFolder = QCoreApplication::applicationDirPath();
    // Shutdown ends the program at once: no handler runs after it and no wait resumes. Every file
    // is complete on disk at that point, and a running speech program is left to finish on its own.
    ctx.endProcess = [] { ::_exit(0); };

    Form1 window(ctx);
    window.showOnScreen();
    window.load();
    return QApplication::exec();
}
