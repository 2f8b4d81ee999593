#pragma once

#include "config/ConfigValues.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <chrono>

// A station's files checked before an alarm finds their mistakes: every settings file of the data
// folder read with the schema, and the files and programs they name tried as far as can be without
// an alarm (the calendar, the water index, Routino's data, the printer queue, the sounds, the speech
// program, the screen's wake commands), and the crew's and the vehicles' lists. Reads only: it
// writes nothing, takes no lock and leaves a monitor running on the folder alone. No widget, no
// display.
class ConfigCheck {
public:
    // The data folder, and the program folder with alarm.wav and the units' sounds.
    ConfigCheck(QString dataFolder, QString programFolder);

    // How long the printer queue's scheduler and the calendar may take each.
    std::chrono::milliseconds timeLimit { 5000 };

    // Every problem, as "file:line: key: what is wrong; what is used instead", the files' own lines
    // first (in the order of the schema's files), then what they name.
    [[nodiscard]] QList<ConfigProblem> problems() const;

    // Every value in force, one file after the other, each under a line "# display.ini", as
    // "display.ini:3 layout=wall" or "(default) layout=classic". Secrets are not shown.
    [[nodiscard]] QStringList effective() const;

    [[nodiscard]] const ConfigValues& values(ConfigFile file) const { return m_values[static_cast<size_t>(file)]; }

private:
    void checkSounds(QList<ConfigProblem>& problems) const;
    void checkSpeech(QList<ConfigProblem>& problems) const;
    void checkWake(QList<ConfigProblem>& problems) const;
    void checkCalendar(QList<ConfigProblem>& problems) const;
    void checkRoute(QList<ConfigProblem>& problems) const;
    void checkWater(QList<ConfigProblem>& problems) const;
    void checkPrinter(QList<ConfigProblem>& problems) const;
    void checkCrew(QList<ConfigProblem>& problems) const;
    void checkPaths(QList<ConfigProblem>& problems) const;
    // A problem of a key's value: the file's name and the key's line.
    [[nodiscard]] ConfigProblem about(ConfigFile file, const QString& key, QString what, QString instead) const;

    QString m_dataFolder;
    QString m_programFolder;
    std::array<ConfigValues, kConfigFileCount> m_values;
};
