#include "app/Form1.h"
#include "common/AppContext.h"

#include <QApplication>
#include <QScreen>

#include <unistd.h>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kessvenn"));

    AppContext ctx;
    ctx.ProgramFolder = QCoreApplication::applicationDirPath();
    // Shutdown ends the program at once: no handler runs after it and no wait resumes. Every file
    // is complete on disk at that point, and a running speech program is left to finish on its own.
    ctx.endProcess = [] { ::_exit(0); };

    Form1 window(ctx);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = window.frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window.move(frame.topLeft());
    }
    window.show();
    window.load();
    return QApplication::exec();
}
