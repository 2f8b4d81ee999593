#include "settings/DataFolders.h"

#include "common/AppContext.h"
#include "common/Log.h"
#include "common/SafeFile.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

// The existence tests here look the name up in the folder (a file or a folder counts); they are
// not the open-for-reading test of FileExists.
bool nameExists(const QString& path)
{
    return QFileInfo::exists(path);
}

// Creates one folder level, as the system does, and tells whether a folder now stands there.
bool ensureFolder(const QString& path)
{
    if (!nameExists(path))
        QDir().mkdir(path);
    return QFileInfo(path).isDir();
}

} // namespace

void InitDataFolders(AppContext& ctx)
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);

    // The data location is asked for with creation when it is missing (~/.local/share on a fresh
    // account); when there is none, or it cannot be made, the program folder serves.
    QString folder = ctx.ProgramFolder;
    if (!base.isEmpty() && (QFileInfo(base).isDir() || QDir().mkpath(base))) {
        const QString candidate = QDir::cleanPath(base) + QDir::separator() + QStringLiteral("Torvelle");
        // A file named Torvelle in place of the folder could never hold the data files: the
        // program folder is used then, as when the folder cannot be created.
        if (ensureFolder(candidate))
            folder = candidate;
    }
    ctx.DataFolder = QDir::toNativeSeparators(QDir::cleanPath(folder));
    if (folder == ctx.ProgramFolder) {
        const QFileInfo info(folder);
        QString text = QStringLiteral("No data folder could be made in \"%1\"; the program folder \"%2\" serves")
                           .arg(base, folder);
        if (info.isDir() && info.isWritable()) {
            qCInfo(lcFiles).noquote() << text;
        } else {
            text += QStringLiteral(
                ", which cannot be written: the settings, the last alarm and the ticker are not kept");
            qCWarning(lcFiles).noquote() << text;
        }
    }

    for (const QString& sub : { ArchiveFolder(ctx), SoundsFolder(ctx) }) {
        if (!nameExists(sub))
            QDir().mkdir(sub);
    }
    KeepPersonalDataOwnerOnly(ctx, folder != ctx.ProgramFolder);
}

QString FindDataFolder(const QString& programFolder)
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    QString folder = programFolder;
    if (!base.isEmpty()) {
        const QString candidate = QDir::cleanPath(base) + QDir::separator() + QStringLiteral("Torvelle");
        if (QFileInfo(candidate).isDir() || !nameExists(candidate))
            folder = candidate;
    }
    return QDir::toNativeSeparators(QDir::cleanPath(folder));
}

void KeepPersonalDataOwnerOnly(const AppContext& ctx, bool dataFolderToo)
{
    // The program folder, where it serves, is the installation's and keeps its mode.
    if (dataFolderToo)
        KeepOwnerOnly(ctx.DataFolder);
    for (const char* name :
        { "history.sqlite", "history.sqlite-wal", "history.sqlite-shm", "last.dat", "ticker.dat", "Ausdrucke" })
        KeepOwnerOnly(ctx.dataFile(QString::fromLatin1(name)));
    const QDir printouts(ctx.dataFile(QStringLiteral("Ausdrucke")));
    for (const QString& pdf : printouts.entryList({ QStringLiteral("*.pdf") }, QDir::Files))
        KeepOwnerOnly(printouts.filePath(pdf));
}

QString ArchiveFolder(const AppContext& ctx)
{
    return ctx.dataFile(QStringLiteral("Ablage"));
}

QString SoundsFolder(const AppContext& ctx)
{
    return ctx.DataFolder.isEmpty() ? QString() : ctx.dataFile(QStringLiteral("Sounds"));
}
