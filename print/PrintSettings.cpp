#include "print/PrintSettings.h"

#include "common/KeyValueFile.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace {

int number(const QString& value, int fallback, int lowest, int highest)
{
    bool ok = false;
    const int n = value.toInt(&ok);
    return ok ? std::clamp(n, lowest, highest) : fallback;
}

} // namespace

PrintSettings PrintSettings::parse(QStringView text)
{
    PrintSettings s;
    for (const auto& [name, written] : KeyValueFile::parse(text)) {
        // A comment may follow the value on its line.
        const QString value = written.section(QLatin1Char('#'), 0, 0).trimmed();
        if (name == QLatin1String("printer"))
            s.printer = value;
        else if (name == QLatin1String("copies"))
            s.copies = number(value, s.copies, 0, 99);
        else if (name == QLatin1String("unit_alarms"))
            s.unitAlarms = number(value, 0, 0, 1) == 1;
        else if (name == QLatin1String("wait_seconds"))
            s.waitSeconds = number(value, s.waitSeconds, 0, 300);
        else if (name == QLatin1String("informant"))
            s.informant = number(value, 1, 0, 1) == 1;
        else if (name == QLatin1String("keep_days"))
            s.keepDays = number(value, s.keepDays, 0, 3650);
        else if (name == QLatin1String("paper")) {
            if (value.compare(QLatin1String("A5"), Qt::CaseInsensitive) == 0)
                s.paper = Paper::A5;
            else if (value.compare(QLatin1String("letter"), Qt::CaseInsensitive) == 0)
                s.paper = Paper::Letter;
            else
                s.paper = Paper::A4;
        }
    }
    return s;
}

std::optional<PrintSettings> PrintSettings::read(const QString& dataFolder)
{
    if (!QFileInfo(QDir(dataFolder).filePath(FileName)).isFile())
        return std::nullopt;
    return parse(KeyValueFile::read(dataFolder, FileName));
}
