#pragma once

#include <QString>

class AppContext;

// Decides the data folder once at start-up: "Torvelle" in the user's data location
// ($XDG_DATA_HOME or ~/.local/share), or the program folder when that cannot be had. Creates the
// folder and its archive folder "Ablage" when they are missing. Sets ctx.DataFolder.
void InitDataFolders(AppContext& ctx);

// The archive folder inside the data folder.
[[nodiscard]] QString ArchiveFolder(const AppContext& ctx);
