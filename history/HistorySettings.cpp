#include "history/HistorySettings.h"

#include "common/KeyValueFile.h"

namespace {

constexpr int kMostDays = 100 * 366;

const QStringList kKeys = { QStringLiteral("keep_personal_days"), QStringLiteral("keep_days") };

} // namespace

HistorySettings HistorySettings::parse(const KeyValueFile& file)
{
    HistorySettings s;
    for (const KeyValueFile::Entry& entry : file.entries()) {
        bool ok = false;
        const int days = entry.value.toInt(&ok);
        if (!ok || days < 0 || days > kMostDays) {
            file.unusable(entry, QStringLiteral("a number of days from 0 to %1").arg(kMostDays));
            continue;
        }
        if (entry.name == QLatin1String("keep_personal_days"))
            s.keepPersonalDays = days;
        else if (entry.name == QLatin1String("keep_days"))
            s.keepDays = days;
    }
    return s;
}

HistorySettings HistorySettings::read(const QString& dataFolder)
{
    return parse(KeyValueFile::read(dataFolder, QString::fromLatin1(FileName), kKeys));
}
