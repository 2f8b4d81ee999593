#include "app/CommandLine.h"

#include <QCoreApplication>

namespace {

// Qt's own options of a windowed program, which its application object takes out of the
// arguments: those with a value, and those without.
const QStringList kQtOptionsWithValue { "platform", "platformpluginpath", "platformtheme", "plugin", "display",
    "qwindowgeometry", "qwindowicon", "qwindowtitle", "session", "style", "stylesheet" };
const QStringList kQtFlags { "reverse", "widgetcount" };

// The name of a Qt option ("-style", "--style", "-style=fusion"), or nothing.
QString qtOptionName(const QString& argument)
{
    if (!argument.startsWith(QLatin1Char('-')))
        return {};
    QString name = argument.mid(argument.startsWith(QLatin1String("--")) ? 2 : 1);
    name.truncate(name.indexOf(QLatin1Char('=')) >= 0 ? name.indexOf(QLatin1Char('=')) : name.size());
    return kQtOptionsWithValue.contains(name) || kQtFlags.contains(name) ? name : QString();
}

} // namespace

CommandLine::CommandLine(const QStringList& arguments)
    : m_fullScreen(QStringLiteral("fullscreen"),
        QStringLiteral("The window covers the whole screen without a frame (as fullscreen=1 in display.ini)."))
    , m_headless(QStringLiteral("headless"),
          QStringLiteral("Runs without a window, for the loudspeakers or the printer where no screen hangs."))
    , m_exportHistory(QStringLiteral("export-history"),
          QStringLiteral("Writes the alarm history, or the alarms of YEAR, as CSV to standard output and exits."))
    , m_importWater(QStringLiteral("import-water"),
          QStringLiteral("Reads the water sources of an OpenStreetMap extract (.osm.pbf or .osm) into the index "
                         "(default /var/lib/kessvenn/water.sqlite) and exits."))
    , m_checkConfig(QStringLiteral("check-config"),
          QStringLiteral("Checks every settings file of the data folder and the files they name, prints each "
                         "problem and exits: 0 when there is none, 1 otherwise."))
    , m_printConfig(QStringLiteral("print-config"),
          QStringLiteral("Prints every setting in force and where it comes from (file and line, or the default) "
                         "and exits."))
    , m_testAlarm(QStringLiteral("test-alarm"),
          QStringLiteral("Starts a test alarm (\"Probealarm\") on the monitor running on this data folder and "
                         "exits: 0 when it started, 1 otherwise."))
    , m_status(QStringLiteral("status"),
          QStringLiteral("Prints the state of each alarm path of the monitor running on this data folder and "
                         "exits: 0 when it answered, 1 otherwise."))
{
    QCoreApplication::setApplicationName(QStringLiteral("Kessvenn"));
    QCoreApplication::setApplicationVersion(
        QStringLiteral("%1.%2.%3").arg(KESSVENN_VERSION_MAJOR).arg(KESSVENN_VERSION_MINOR).arg(KESSVENN_VERSION_PATCH));
    m_parser.setApplicationDescription(QStringLiteral("Alarm monitor of the fire and rescue station"));
    const QCommandLineOption help = m_parser.addHelpOption();
    const QCommandLineOption version = m_parser.addVersionOption();
    m_parser.addOption(m_fullScreen);
    m_parser.addOption(m_headless);
    m_parser.addOption(m_exportHistory);
    m_parser.addOption(m_importWater);
    m_parser.addOption(m_checkConfig);
    m_parser.addOption(m_printConfig);
    m_parser.addOption(m_testAlarm);
    m_parser.addOption(m_status);
    m_parser.addPositionalArgument(
        QStringLiteral("YEAR"), QStringLiteral("The year of --export-history."), QStringLiteral("[YEAR]"));
    m_parser.addPositionalArgument(QStringLiteral("EXTRACT [INDEX]"),
        QStringLiteral("The extract and the index file of --import-water."), QStringLiteral("[EXTRACT [INDEX]]"));

    QStringList own;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString name = i > 0 ? qtOptionName(arguments[i]) : QString();
        if (name.isEmpty()) {
            own << arguments[i];
            continue;
        }
        m_namesDisplay = m_namesDisplay || name == QLatin1String("platform") || name == QLatin1String("display");
        if (kQtOptionsWithValue.contains(name) && !arguments[i].contains(QLatin1Char('=')))
            ++i;
    }
    if (!m_parser.parse(own)) {
        m_error = m_parser.errorText();
        return;
    }
    if (m_parser.isSet(help))
        m_run = Run::Help;
    else if (m_parser.isSet(version))
        m_run = Run::Version;
    else if (m_parser.isSet(m_importWater))
        m_run = Run::ImportWater;
    else if (m_parser.isSet(m_exportHistory))
        m_run = Run::ExportHistory;
    else if (!m_parser.positionalArguments().isEmpty())
        m_error = QStringLiteral(
            "Unexpected argument '%1': a year goes with --export-history, an extract with --import-water.")
                      .arg(m_parser.positionalArguments().constFirst());
    else if (m_parser.isSet(m_checkConfig))
        m_run = Run::CheckConfig;
    else if (m_parser.isSet(m_printConfig))
        m_run = Run::PrintConfig;
    else if (m_parser.isSet(m_testAlarm))
        m_run = Run::TestAlarm;
    else if (m_parser.isSet(m_status))
        m_run = Run::Status;
    else if (m_parser.isSet(m_headless))
        m_run = Run::Headless;
}

bool CommandLine::fullScreen() const
{
    return m_parser.isSet(m_fullScreen);
}
