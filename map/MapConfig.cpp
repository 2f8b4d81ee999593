#include "map/MapConfig.h"

#include "common/CodePage.h"

#include <QDir>
#include <QFile>

MapConfig MapConfig::parse(QStringView text)
{
    MapConfig config;
    for (QStringView line : text.split(QLatin1Char('\n'))) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')) || line.startsWith(QLatin1Char(';')))
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        const QString name = line.left(eq).trimmed().toString().toLower();
        QString value = line.mid(eq + 1).trimmed().toString();
        if (name == QLatin1String("host")) {
            while (value.endsWith(QLatin1Char('/')))
                value.chop(1);
            if (!value.isEmpty()) {
                config.host = value;
                config.hostGiven = true;
            }
        } else if (name == QLatin1String("key")) {
            config.key = value;
        }
    }
    return config;
}

MapConfig MapConfig::read(const QString& dataFolder)
{
    if (dataFolder.isEmpty())
        return {};
    QFile file(dataFolder + QDir::separator() + FileName);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // A configuration file, a few lines long; anything bigger is not one.
    const QByteArray bytes = file.read(64 * 1024);
    return parse(CodePage::decode(bytes));
}
