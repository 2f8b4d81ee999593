#include "history/HistorySettings.h"

#include "common/KeyValueFile.h"

namespace {

constexpr int kMostDays = 100 * 366;

} // namespace

HistorySettings HistorySettings::parse(QStringView text)
{
    HistorySettings s;
    for (const auto& [name, written] : KeyValueFile::parse(text)) {
        // A comment may follow the value after a blank.
        const QString value = written.section(QLatin1Char('#'), 0, 0).trimmed();
        bool ok = false;
        const int days = value.toInt(&ok);
        if (!ok || days < 0 || days > kMostDays)
            continue;
        if (name == QLatin1String("keep_personal_days"))
            s.keepPersonalDays = days;
        else if (name == QLatin1String("keep_days"))
            s.keepDays = days;
    }
    return s;
}

HistorySettings HistorySettings::read(const QString& dataFolder)
{
    return parse(KeyValueFile::read(dataFolder, QString::fromLatin1(FileName)));
}
