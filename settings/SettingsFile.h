#pragma once

#include <QString>

class AppContext;
struct StationSettings;

// settings.dat in the data folder: 27 lines in a fixed order, no keys, 8-bit text, CR LF.

// Fills the record from the data folder's file; keeps the defaults for what cannot be read. When the file
// exists, the speech text file is always the program folder's sabbel.txt (the data folder's when
// the program folder cannot be written), whatever line 5 held and however short the file is.
// An empty server address becomes "localhost".
void LoadSettings(const AppContext& ctx, StationSettings& settings);

// Writes every field to the file through a temporary file that replaces the old one, readable by
// its owner only. Returns false when the file could not be written (the old file then stays whole).
bool SaveSettings(const AppContext& ctx, const StationSettings& settings);

// The bytes of settings.dat for a settings record.
[[nodiscard]] QByteArray SettingsFileBytes(const StationSettings& settings);

// Where the speech text goes when the settings are loaded.
[[nodiscard]] QString DefaultSpeechTextFile(const AppContext& ctx);

[[nodiscard]] QString SettingsPath(const AppContext& ctx);
