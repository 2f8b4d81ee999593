// The printout of a scenario's first station alarm as a PDF, without a printer and without maps
// (the page shows where they go): the demo's sheet and the README's picture.
//   kessvenn-printout <scenario> <out.pdf> [A4|A5|letter]
#include "print/PrintPage.h"
#include "tools/ScenarioScript.h"

#include <QFile>
#include <QGuiApplication>
#include <QSaveFile>

#include <cstdio>

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: kessvenn-printout <scenario> <out.pdf> [A4|A5|letter]\n");
        return 2;
    }
    QFile scenario(args.at(1));
    if (!scenario.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "kessvenn-printout: cannot read %s\n", qPrintable(args.at(1)));
        return 1;
    }
    QStringList fields;
    for (const ScenarioScript::Step& step : ScenarioScript::parseScript(QString::fromUtf8(scenario.readAll()))) {
        if (step.kind == ScenarioScript::Step::Kind::Message && step.message.startsWith(QLatin1String("WACHALARM\t"))) {
            fields = ScenarioScript::stamp(step.message, QDateTime::currentDateTime()).split(QLatin1Char('\t'));
            break;
        }
    }
    if (fields.size() < 7) {
        std::fprintf(stderr, "kessvenn-printout: the scenario has no station alarm\n");
        return 1;
    }
    PrintPageContent page = PrintPage::fromAlarm(fields, true, true);
    page.monitorName = QStringLiteral("Wache Demo");
    page.alarmTime = page.printedTime = QDateTime::currentDateTime();
    page.version = QStringLiteral("%1.%2.%3")
                       .arg(KESSVENN_VERSION_MAJOR)
                       .arg(KESSVENN_VERSION_MINOR)
                       .arg(KESSVENN_VERSION_PATCH);
    const QString paper = args.value(3).toLower();
    page.paper = paper == QLatin1String("a5") ? QPageSize::A5
        : paper == QLatin1String("letter")    ? QPageSize::Letter
                                              : QPageSize::A4;
    bool latOk = false, lngOk = false;
    const double lat = QString(fields.value(16)).replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&latOk);
    const double lng = QString(fields.value(17)).replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&lngOk);
    if (latOk && lngOk)
        page.position = QPointF(lng, lat);
    QSaveFile out(args.at(2));
    if (!out.open(QIODevice::WriteOnly) || out.write(PrintPage::render(page)) < 0 || !out.commit()) {
        std::fprintf(stderr, "kessvenn-printout: cannot write %s\n", qPrintable(args.at(2)));
        return 1;
    }
    return 0;
}
