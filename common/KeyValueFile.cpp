#include "common/KeyValueFile.h"

#include "common/CodePage.h"

#include <QDir>
#include <QFile>

namespace KeyValueFile {

QList<Entry> parse(QStringView text)
{
    QList<Entry> entries;
    for (QStringView line : text.split(QLatin1Char('\n'))) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')) || line.startsWith(QLatin1Char(';')))
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        entries.append({ line.left(eq).trimmed().toString().toLower(), line.mid(eq + 1).toString() });
    }
    return entries;
}

QString read(const QString& dataFolder, const QString& fileName)
{
    if (dataFolder.isEmpty())
        return {};
    QFile file(dataFolder + QDir::separator() + fileName);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return CodePage::decode(file.read(64 * 1024));
}

} // namespace KeyValueFile
