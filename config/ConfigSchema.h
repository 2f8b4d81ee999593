#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

// Every setting a station writes, in one table: which file holds it, its key, its type, its
// default, and the German label and help the settings dialog, `--print-config`, the manual page
// and the example files show. Nothing else lists the keys of a file.

// The files of the data folder that hold settings. settings.dat has no keys: its 27 lines stand in a
// fixed order, and the table names each line.
enum class ConfigFile { Settings, Display, Map, Print, History, Paths };
// How many files there are.
inline constexpr int kConfigFileCount = 6;

// What a value may be. A time span is a number in the unit its help names (minutes, seconds, days).
enum class KeyType { Flag, Whole, Decimal, Text, Path, Url, Coordinates, TimeSpan, Choice, Command, Words, Secret };

struct ConfigKey {
    ConfigFile file = ConfigFile::Settings;
    QString key; // as written in the file, lower case; settings.dat: the name of its line
    int line = 0; // settings.dat only: the line, from 1
    KeyType type = KeyType::Text;
    QString defaultText; // the default as it would stand in the file; empty: none
    double lowest = 0; // Whole, Decimal, TimeSpan
    double highest = 0;
    QStringList choices; // Choice: the words a value may be, lower case
    QString label; // German, for the dialog
    QString help; // one German line
    bool restart = false; // a change takes effect only after a restart
    // A check beyond the type's: what is wrong with a value (English, for the problem), empty when
    // it can be used.
    QString (*check)(const QString& value) = nullptr;
    bool lowestExcluded = false; // Whole, Decimal, TimeSpan: the value must lie above `lowest`
    // A value that cannot be used: `badText` is used instead (empty: the default), or with `keepBad`
    // the value stays as written (a printer: then nothing is sent to another queue); `insteadNote`
    // is what the problem says is used instead, when it says more than the value (empty: the value).
    QString badText;
    bool keepBad = false;
    QString insteadNote;
    // A key that stands for many (radio.ric.<ric>): the regular expression the names it stands for
    // match, lower case; `key` is the name as the reference shows it. Empty: the key is `key` alone.
    QString pattern;
};

// The file's name in the data folder: "settings.dat", "display.ini", ...
[[nodiscard]] QString configFileName(ConfigFile file);
// Every file, in the order of the dialog's pages.
[[nodiscard]] const QList<ConfigFile>& configFiles();
// Every key of every file, in the order of the files, then as the dialog shows them.
[[nodiscard]] const QList<ConfigKey>& configSchema();
// The keys of one file.
[[nodiscard]] QList<const ConfigKey*> configKeys(ConfigFile file);
// A key of a file, or the pattern key that stands for it; null when the file has no such key.
[[nodiscard]] const ConfigKey* findConfigKey(ConfigFile file, QStringView key);
