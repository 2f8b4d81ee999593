#include "config/ConfigCheck.h"

#include "app/StationCalendar.h"
#include "crew/CrewFile.h"
#include "crew/VehicleBoard.h"
#include "paths/AlarmPathSettings.h"
#include "print/CupsQueue.h"
#include "water/WaterIndex.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <sndfile.h>

namespace {

// Sound files looked at in one folder: a station has a few dozen units.
constexpr int kMostSounds = 500;
// Routino's data as planetsplitter writes it into its folder.
const QStringList kRoutinoFiles { QStringLiteral("nodes.mem"), QStringLiteral("segments.mem"),
    QStringLiteral("ways.mem"), QStringLiteral("relations.mem") };

// Why the sound file cannot be played; empty when libsndfile opens it.
QString unplayable(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return info.isSymLink() ? QStringLiteral("is a link to a file that does not exist")
                                : QStringLiteral("does not exist");
    if (!info.isFile())
        return QStringLiteral("is no regular file");
    SF_INFO format {};
    SNDFILE* sound = sf_open(QFile::encodeName(path).constData(), SFM_READ, &format);
    if (!sound)
        return QStringLiteral("cannot be played: ") + QString::fromUtf8(sf_strerror(nullptr));
    sf_close(sound);
    return {};
}

// A program as the speech script names it: with a '/' a path (relative to the data folder, where
// the script runs), else looked up in PATH. Why it cannot be run; empty when it can.
QString notRunnable(const QString& program, const QString& dataFolder)
{
    if (!program.contains(QLatin1Char('/')))
        return QStandardPaths::findExecutable(program).isEmpty() ? QStringLiteral("is not found in PATH") : QString();
    const QFileInfo info(QDir(dataFolder).absoluteFilePath(program));
    if (!info.exists())
        return QStringLiteral("does not exist");
    if (!info.isFile())
        return QStringLiteral("is no file");
    if (!info.isExecutable())
        return QStringLiteral("is not executable");
    return {};
}

// A warning of the crew's readers about `source`, "<source> line 4: fewer than 3 fields; the line
// is ignored", as a problem of the file `fileName`.
ConfigProblem crewProblem(const QString& fileName, const QString& source, const QString& warning)
{
    static const QRegularExpression numbered(QStringLiteral("^ line (\\d+): "));
    ConfigProblem problem { fileName, 0, {}, warning.mid(source.size()), {} };
    if (const QRegularExpressionMatch match = numbered.match(problem.what); match.hasMatch()) {
        problem.line = match.captured(1).toInt();
        problem.what.remove(0, match.capturedLength());
    } else if (problem.what.startsWith(QStringLiteral(": "))) {
        problem.what.remove(0, 2);
    }
    if (const qsizetype semicolon = problem.what.lastIndexOf(QStringLiteral("; ")); semicolon >= 0) {
        problem.instead = problem.what.mid(semicolon + 2);
        problem.what.truncate(semicolon);
    }
    return problem;
}

QByteArray readAtMost(const QString& path, qint64 most, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return {};
    }
    return file.read(most + 1);
}

} // namespace

ConfigCheck::ConfigCheck(QString dataFolder, QString programFolder)
    : m_dataFolder(std::move(dataFolder))
    , m_programFolder(std::move(programFolder))
{
    for (const ConfigFile file : configFiles())
        m_values[static_cast<size_t>(file)] = ConfigValues::read(m_dataFolder, file);
}

QList<ConfigProblem> ConfigCheck::problems() const
{
    QList<ConfigProblem> problems;
    for (const ConfigFile file : configFiles()) {
        for (ConfigProblem problem : values(file).problems()) {
            problem.file = configFileName(file);
            problems << problem;
        }
    }
    checkSounds(problems);
    checkSpeech(problems);
    checkWake(problems);
    checkCalendar(problems);
    checkRoute(problems);
    checkWater(problems);
    checkPrinter(problems);
    checkCrew(problems);
    checkPaths(problems);
    return problems;
}

QStringList ConfigCheck::effective() const
{
    QStringList lines;
    for (const ConfigFile file : configFiles()) {
        const ConfigValues& file_values = values(file);
        QString heading = QStringLiteral("# ") + configFileName(file);
        if (!file_values.present())
            heading += QStringLiteral(" (no file)");
        else if (file_values.unread())
            heading += QStringLiteral(" (not read; the defaults)");
        lines << heading;
        for (const ConfigKey* schemaKey : configKeys(file)) {
            if (!schemaKey->pattern.isEmpty()) {
                // Each name the key stands for, as the file gives it.
                for (const auto& [name, value] : file_values.matching(*schemaKey))
                    lines << configFileName(file) + QLatin1Char(':') + QString::number(value.line) + QLatin1Char(' ')
                            + name + QLatin1Char('=') + value.text;
                continue;
            }
            const ConfigValue& value = file_values.at(schemaKey->key);
            const QString origin = value.line > 0
                ? configFileName(file) + QLatin1Char(':') + QString::number(value.line)
                : QStringLiteral("(default)");
            const QString text
                = schemaKey->type == KeyType::Secret && !value.text.isEmpty() ? QStringLiteral("(set)") : value.text;
            lines << origin + QLatin1Char(' ') + schemaKey->key + QLatin1Char('=') + text;
        }
    }
    return lines;
}

ConfigProblem ConfigCheck::about(ConfigFile file, const QString& key, QString what, QString instead) const
{
    return { configFileName(file), values(file).at(key).line, key, std::move(what), std::move(instead) };
}

void ConfigCheck::checkSounds(QList<ConfigProblem>& problems) const
{
    const ConfigValues& settings = values(ConfigFile::Settings);
    const QString alarmKey = QStringLiteral("alarm_wav");
    if (settings.flag(alarmKey)) {
        const QString path = QDir(m_programFolder).filePath(QStringLiteral("alarm.wav"));
        if (const QString why = unplayable(path); !why.isEmpty())
            problems << about(
                ConfigFile::Settings, alarmKey, path + QLatin1Char(' ') + why, QStringLiteral("no alarm sound"));
    }
    const QString unitKey = QStringLiteral("unit_wavs");
    if (!settings.flag(unitKey))
        return;
    const QString sounds = QDir(m_dataFolder).filePath(QStringLiteral("Sounds"));
    const QFileInfo soundsInfo(sounds);
    if (soundsInfo.exists() && (!soundsInfo.isDir() || !soundsInfo.isReadable() || !soundsInfo.isExecutable())) {
        problems << about(ConfigFile::Settings, unitKey, sounds + QStringLiteral(" is no folder that can be read"),
            QStringLiteral("the program folder's unit sounds"));
    }
    // Each unit's sound that the station put there or beside the program, as the announcement
    // would open it.
    for (const QString& folder : { sounds, m_programFolder }) {
        const QDir dir(folder);
        const QFileInfoList entries = dir.entryInfoList({ QStringLiteral("*.wav"), QStringLiteral("*.WAV") },
            QDir::Files | QDir::System | QDir::Hidden, QDir::Name);
        for (qsizetype i = 0; i < std::min<qsizetype>(entries.size(), kMostSounds); ++i) {
            if (folder == m_programFolder && entries[i].fileName() == QLatin1String("alarm.wav"))
                continue;
            if (const QString why = unplayable(entries[i].filePath()); !why.isEmpty())
                problems << about(ConfigFile::Settings, unitKey, entries[i].filePath() + QLatin1Char(' ') + why,
                    QStringLiteral("the unit's sound is left out"));
        }
    }
}

void ConfigCheck::checkSpeech(QList<ConfigProblem>& problems) const
{
    const ConfigValues& settings = values(ConfigFile::Settings);
    if (!settings.flag(QStringLiteral("speech")))
        return;
    const QString key = QStringLiteral("speech_program");
    const QString program = settings.text(key);
    if (program.trimmed().isEmpty())
        problems << about(ConfigFile::Settings, key, QStringLiteral("speech is on, but no program is named"),
            QStringLiteral("nothing is spoken"));
    else if (const QString why = notRunnable(program, m_dataFolder); !why.isEmpty())
        problems << about(
            ConfigFile::Settings, key, program + QLatin1Char(' ') + why, QStringLiteral("nothing is spoken"));
}

void ConfigCheck::checkWake(QList<ConfigProblem>& problems) const
{
    const ConfigValues& display = values(ConfigFile::Display);
    if (display.text(QStringLiteral("wake")) != QLatin1String("command"))
        return;
    for (const QString& key : { QStringLiteral("wake.on"), QStringLiteral("wake.off") }) {
        // Run without a shell, from the data folder.
        const QString program = display.list(key).value(0);
        if (program.isEmpty())
            continue;
        if (const QString why = notRunnable(program, m_dataFolder); !why.isEmpty())
            problems << about(ConfigFile::Display, key, program + QLatin1Char(' ') + why,
                QStringLiteral("the screen is not switched"));
    }
}

void ConfigCheck::checkCalendar(QList<ConfigProblem>& problems) const
{
    const QString key = QStringLiteral("calendar");
    const QString name = values(ConfigFile::Display).text(key);
    if (name.isEmpty())
        return;
    // A bare name is in the data folder, as the wall screen reads it.
    const QString path = QDir(m_dataFolder).absoluteFilePath(name);
    const QString instead = QStringLiteral("no appointments are shown");
    const QFileInfo info(path);
    if (!info.exists()) {
        problems << about(ConfigFile::Display, key, path + QStringLiteral(" does not exist"), instead);
        return;
    }
    if (!info.isFile() || info.size() > CalendarWatch::kMostBytes) {
        problems << about(ConfigFile::Display, key,
            path + QStringLiteral(" is no regular file of at most %1 bytes").arg(CalendarWatch::kMostBytes), instead);
        return;
    }
    QString error;
    const QByteArray bytes = readAtMost(path, CalendarWatch::kMostBytes, &error);
    if (!error.isEmpty()) {
        problems << about(ConfigFile::Display, key, path + QStringLiteral(" cannot be read: ") + error, instead);
        return;
    }
    // The days the standby view shows, within the reading's own bounds.
    StationCalendar::Bounds bounds;
    bounds.time = std::min(bounds.time, timeLimit);
    if (!StationCalendar::expand(bytes, QDateTime::currentDateTime(), StationCalendar::kDays, bounds).calendar)
        problems << about(ConfigFile::Display, key, path + QStringLiteral(" is no iCalendar file"), instead);
}

void ConfigCheck::checkRoute(QList<ConfigProblem>& problems) const
{
    const ConfigValues& map = values(ConfigFile::Map);
    const QString route = map.text(QStringLiteral("route"));
    if (route.isEmpty())
        return;
    const QString instead = QStringLiteral("no route");
    if (!map.given(QStringLiteral("station")))
        problems << about(ConfigFile::Map, QStringLiteral("route"),
            QStringLiteral("a route is asked for, but no station= says where the crews leave from"), instead);
    if (route != QLatin1String("routino"))
        return;
    if (QStandardPaths::findExecutable(QStringLiteral("routino-router")).isEmpty())
        problems << about(ConfigFile::Map, QStringLiteral("route"),
            QStringLiteral("routino-router is not found in PATH (the package routino)"), instead);
    const QString key = QStringLiteral("route.data");
    const QString folder = map.text(key);
    if (folder.isEmpty()) {
        problems << about(
            ConfigFile::Map, key, QStringLiteral("route=routino, but no folder of routing data is named"), instead);
        return;
    }
    if (!QFileInfo(folder).isDir()) {
        problems << about(ConfigFile::Map, key, folder + QStringLiteral(" is no folder"), instead);
        return;
    }
    QStringList missing;
    for (const QString& name : kRoutinoFiles) {
        const QFileInfo file(QDir(folder).filePath(name));
        if (!file.isFile() || !file.isReadable())
            missing << name;
    }
    if (!missing.isEmpty())
        problems << about(ConfigFile::Map, key,
            folder + QStringLiteral(" lacks planetsplitter's ") + missing.join(QStringLiteral(", ")), instead);
}

void ConfigCheck::checkWater(QList<ConfigProblem>& problems) const
{
    const QString key = QStringLiteral("water");
    const QString path = values(ConfigFile::Map).text(key);
    if (path.isEmpty())
        return;
    const WaterIndex::Answer answer = WaterIndex::nearby(path, QPointF(0, 0), 1, 1);
    const QString instead = QStringLiteral("no water sources are shown");
    switch (answer.state) {
    case WaterIndex::State::Read:
        return;
    case WaterIndex::State::Missing:
        problems << about(ConfigFile::Map, key, path + QStringLiteral(" does not exist"), instead);
        return;
    case WaterIndex::State::Unreadable:
        problems << about(ConfigFile::Map, key, path + QStringLiteral(" cannot be read"), instead);
        return;
    case WaterIndex::State::Broken:
        problems << about(ConfigFile::Map, key, path + QStringLiteral(" is no water index: ") + answer.error, instead);
        return;
    }
}

void ConfigCheck::checkPrinter(QList<ConfigProblem>& problems) const
{
    const ConfigValues& print = values(ConfigFile::Print);
    // Without print.ini nothing is printed, and nothing is asked of CUPS.
    if (!print.present() || print.unread())
        return;
    const QString key = QStringLiteral("printer");
    const QString printer = print.text(key);
    if (!printer.isEmpty() && !CupsQueue::isQueueName(printer))
        return; // the file's own problem says so
    if (const QString why = CupsQueue::check(printer, timeLimit); !why.isEmpty())
        problems << about(ConfigFile::Print, key,
            printer.isEmpty() ? why : QStringLiteral("\"%1\": %2").arg(printer, why),
            QStringLiteral("nothing is printed"));
}

void ConfigCheck::checkCrew(QList<ConfigProblem>& problems) const
{
    const QString crewPath = QDir(m_dataFolder).filePath(CrewFile::FileName);
    const CrewFile crew = CrewFile::read(crewPath);
    for (const QString& warning : crew.warnings())
        problems << crewProblem(CrewFile::FileName, crewPath, warning);

    const QString vehiclesPath = QDir(m_dataFolder).filePath(VehicleBoard::FileName);
    const QFileInfo info(vehiclesPath);
    if (!info.exists())
        return;
    constexpr qint64 kMostBytes = 4 * 1024 * 1024;
    QString error;
    const QByteArray bytes = info.isFile() ? readAtMost(vehiclesPath, kMostBytes, &error) : QByteArray();
    if (!info.isFile() || !error.isEmpty() || bytes.size() > kMostBytes) {
        problems << ConfigProblem { VehicleBoard::FileName, 0, {},
            error.isEmpty() ? QStringLiteral("no regular file of at most %1 bytes").arg(kMostBytes)
                            : QStringLiteral("cannot be read: ") + error,
            QStringLiteral("every call name seen is shown") };
        return;
    }
    QStringList warnings;
    const QList<VehicleBoard::Vehicle> vehicles = VehicleBoard::parseVehicles(bytes, VehicleBoard::FileName, &warnings);
    for (const QString& warning : warnings)
        problems << crewProblem(VehicleBoard::FileName, VehicleBoard::FileName, warning);
    if (vehicles.size() > VehicleBoard::kMostTiles)
        problems << ConfigProblem { VehicleBoard::FileName, 0, {},
            QStringLiteral("more than %1 vehicles").arg(VehicleBoard::kMostTiles),
            QStringLiteral("the first %1 are shown").arg(VehicleBoard::kMostTiles) };
}

void ConfigCheck::checkPaths(QList<ConfigProblem>& problems) const
{
    const ConfigValues& paths = values(ConfigFile::Paths);
    if (!paths.present() || paths.unread())
        return;
    const AlarmPathSettings settings = AlarmPathSettings::from(paths);
    const QString name = configFileName(ConfigFile::Paths);
    if (const ConfigKey* ricKey = findConfigKey(ConfigFile::Paths, u"radio.ric.0")) {
        for (const auto& [key, value] : paths.matching(*ricKey)) {
            if (!StationRic::validRic(key.section(QLatin1Char('.'), 2, 2)))
                problems << ConfigProblem { name, value.line, key,
                    QStringLiteral("is no RIC (a number from 0 to %1)").arg(StationRic::kHighestRic),
                    QStringLiteral("the RIC is not the station's") };
        }
    }
    const QString command = QStringLiteral("radio.command");
    if (settings.radio.active()) {
        // Each program of the decoder's pipeline that is named plainly is looked for.
        static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./+-]+$"));
        for (const QString& stage : settings.radio.command.split(QLatin1Char('|'))) {
            const QString program = QProcess::splitCommand(stage).value(0);
            if (!plain.match(program).hasMatch())
                continue;
            if (const QString why = notRunnable(program, m_dataFolder); !why.isEmpty())
                problems << about(ConfigFile::Paths, command, program + QLatin1Char(' ') + why,
                    QStringLiteral("no radio alarms are heard"));
        }
        if (settings.radio.rics.isEmpty())
            problems << about(ConfigFile::Paths, command, QStringLiteral("no radio.ric.<ric> names the station's RICs"),
                QStringLiteral("no radio alarms are heard"));
    }
    const bool testRic = !settings.radio.testRic.isEmpty();
    const bool testMinutes = settings.radio.testMinutes > 0;
    if (testRic != testMinutes)
        problems << about(ConfigFile::Paths,
            testRic ? QStringLiteral("radio.test_ric") : QStringLiteral("radio.test_minutes"),
            testRic ? QStringLiteral("no radio.test_minutes says how often the test message comes")
                    : QStringLiteral("no radio.test_ric names the test message"),
            QStringLiteral("the test message is not watched"));
}
