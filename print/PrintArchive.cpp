#include "print/PrintArchive.h"

#include "common/SafeFile.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace PrintArchive {

QString safeName(const QString& keyword)
{
    QString name;
    for (const QChar c : keyword) {
        if (c.isLetterOrNumber() || c == QLatin1Char('-') || c == QLatin1Char('.'))
            name += c;
        else if (!name.endsWith(QLatin1Char('_')))
            name += QLatin1Char('_');
    }
    // No hidden file and no ".." from a keyword made of points.
    while (name.startsWith(QLatin1Char('.')) || name.startsWith(QLatin1Char('_')))
        name.remove(0, 1);
    name.truncate(60);
    while (name.endsWith(QLatin1Char('_')) || name.endsWith(QLatin1Char('.')))
        name.chop(1);
    return name.isEmpty() ? QStringLiteral("Alarm") : name;
}

QString fileName(const QDateTime& alarmTime, const QString& keyword)
{
    return alarmTime.toString(QStringLiteral("yyyy-MM-dd_HHmmss")) + QLatin1Char('_') + safeName(keyword)
        + QStringLiteral(".pdf");
}

std::optional<QString> store(const QString& folder, const QString& name, const QByteArray& pdf)
{
    if (!QDir().mkpath(folder))
        return std::nullopt;
    KeepOwnerOnly(folder);
    const QDir dir(folder);
    QString path = dir.filePath(name);
    for (int n = 2; QFileInfo::exists(path) && n < 100; ++n)
        path = dir.filePath(name.chopped(4) + QLatin1Char('-') + QString::number(n) + QStringLiteral(".pdf"));
    if (!ReplaceFileWhole(path, pdf, kOwnerOnlyFile))
        return std::nullopt;
    return path;
}

int prune(const QString& folder, int keepDays, const QDateTime& now)
{
    if (keepDays <= 0)
        return 0;
    const QDateTime limit = now.addDays(-keepDays);
    int deleted = 0;
    // The station may keep files of its own beside the copies: only names this archive gives.
    static const QRegularExpression own(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}_\\d{6}_[\\w.-]{1,60}(-\\d{1,2})?\\.pdf$"),
        QRegularExpression::UseUnicodePropertiesOption);
    const QFileInfoList files = QDir(folder).entryInfoList(QDir::Files | QDir::NoSymLinks | QDir::Hidden);
    for (const QFileInfo& file : files) {
        if (file.isFile() && !file.isSymLink() && own.match(file.fileName()).hasMatch() && file.lastModified() < limit
            && QFile::remove(file.absoluteFilePath()))
            ++deleted;
    }
    return deleted;
}

} // namespace PrintArchive
