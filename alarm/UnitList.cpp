#include "alarm/UnitList.h"

#include <QDir>
#include <QFileInfo>

namespace UnitList {

QStringList split(QStringView field)
{
    QStringList units;
    qsizetype start = 0;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == QChar(7)) {
            units.append(field.mid(start, i - start).toString());
            start = i + 1;
        }
    }
    return units;
}

namespace {

bool canNameFile(const QString& name)
{
    if (name.isEmpty() || name.contains(QStringLiteral("..")))
        return false;
    for (const QChar c : name) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7F || (u >= 0x80 && u <= 0x9F) || u == '/' || u == '\\')
            return false;
    }
    return true;
}

} // namespace

std::optional<QString> soundFile(const QString& programFolder, const QString& unit)
{
    // The markers are taken from the unit's name only, never from the folder around it.
    QString name = unit;
    name.remove(QStringLiteral("(D)"));
    name.remove(QStringLiteral("(A)"));
    if (!canNameFile(name))
        return std::nullopt;
    return programFolder + QDir::separator() + name + QStringLiteral(".wav");
}

QStringList soundFiles(const QStringList& folders, const QStringList& units)
{
    QStringList files;
    for (const QString& unit : units) {
        if (files.size() >= kMostUnitSounds)
            break;
        std::optional<QString> file;
        for (const QString& folder : folders) {
            if (!folder.isEmpty() && (file = soundFile(folder, unit)) && QFileInfo::exists(*file))
                break;
        }
        if (file && !files.contains(*file))
            files.append(*file);
    }
    return files;
}

} // namespace UnitList
