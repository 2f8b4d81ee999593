#pragma once

#include <QString>

class AppContext;

// Decides the data folder once at start-up: "Torvelle" in the user's data location
// ($XDG_DATA_HOME or ~/.local/share), or the program folder when that cannot be had, which is a
// warning. Creates the folder, its archive folder "Ablage" and its sounds folder "Sounds" when they
// are missing. Sets ctx.DataFolder. Mends the modes of the files with personal data.
void InitDataFolders(AppContext& ctx);

// The data folder InitDataFolders would choose, found without creating or changing anything (for
// the checks that only read): "Torvelle" in the user's data location, whether or not it exists
// yet, unless something other than a folder stands in its place or there is no data location; the
// program folder then.
[[nodiscard]] QString FindDataFolder(const QString& programFolder);

// The files with personal data (the history, last.dat, ticker.dat, the printouts and their folder)
// and, when asked, the data folder are the owner's only: files 0600, folders 0700.
void KeepPersonalDataOwnerOnly(const AppContext& ctx, bool dataFolderToo);

// The archive folder inside the data folder.
[[nodiscard]] QString ArchiveFolder(const AppContext& ctx);

// The station's own unit sounds, looked up before the program folder's; empty before there is a
// data folder.
[[nodiscard]] QString SoundsFolder(const AppContext& ctx);
