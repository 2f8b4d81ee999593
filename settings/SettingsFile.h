#pragma once

#include <QList>
#include <QString>

#include <utility>

class AppContext;
class ConfigValues;
struct StationSettings;

// settings.dat in the data folder: 27 lines in a fixed order, no keys, 8-bit text, CR LF. The
// configuration reads it (ConfigValues) and writes it (rewriteConfig); its 0/1 lines and 16-bit
// numbers become the record's flags and port here, and back.

// The record of the file's values as the configuration read them. When the file exists, the speech
// text file is always the program folder's sabbel.txt (the data folder's when the program folder
// cannot be written), whatever line 5 held and however short the file is. An empty server address
// becomes "localhost".
[[nodiscard]] StationSettings LoadSettings(const AppContext& ctx, const ConfigValues& values);

// Every line of the record as it stands in the file, by the schema's names: a flag as 1 or 0.
[[nodiscard]] QList<std::pair<QString, QString>> SettingsLines(const StationSettings& settings);

// Writes every field to the file through a temporary file that replaces the old one, readable by
// its owner only. Returns false when the file could not be written (the old file then stays whole).
bool SaveSettings(const AppContext& ctx, const StationSettings& settings);

// The bytes of settings.dat for a settings record.
[[nodiscard]] QByteArray SettingsFileBytes(const StationSettings& settings);

// Where the speech text goes when the settings are loaded.
[[nodiscard]] QString DefaultSpeechTextFile(const AppContext& ctx);

[[nodiscard]] QString SettingsPath(const AppContext& ctx);

// The file the speech text is written to for the name on line 5: a full path as it stands; an
// empty or relative name means the data folder's sabbel.txt, where the speech program runs.
[[nodiscard]] QString SpeechTextPath(const AppContext& ctx, const QString& name);
