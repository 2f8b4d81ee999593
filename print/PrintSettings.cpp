#include "print/PrintSettings.h"

#include "common/KeyValueFile.h"
#include "common/Log.h"
#include "print/CupsQueue.h"

#include <QDir>
#include <QFileInfo>

const QStringList PrintSettings::Keys = { QStringLiteral("printer"), QStringLiteral("copies"),
    QStringLiteral("unit_alarms"), QStringLiteral("wait_seconds"), QStringLiteral("informant"),
    QStringLiteral("keep_days"), QStringLiteral("paper") };

PrintSettings PrintSettings::parse(const KeyValueFile& file)
{
    PrintSettings s;
    for (const KeyValueFile::Entry& entry : file.entries()) {
        const QString& name = entry.name;
        const QString& value = entry.value;
        const auto number = [&](int& target, int lowest, int highest) {
            bool ok = false;
            const int n = value.toInt(&ok);
            if (ok && n >= lowest && n <= highest)
                target = n;
            else
                file.unusable(entry, QStringLiteral("a whole number from %1 to %2").arg(lowest).arg(highest));
        };
        const auto flag = [&](bool& target) {
            int n = target ? 1 : 0;
            number(n, 0, 1);
            target = n == 1;
        };
        if (name == QLatin1String("printer")) {
            // Kept as written: CUPS then refuses it rather than print on a queue of a shorter name.
            s.printer = value;
            if (!CupsQueue::isQueueName(value))
                file.unusable(entry, QStringLiteral("a CUPS queue name: no blanks, control characters, '/' or '#'"));
        } else if (name == QLatin1String("copies"))
            number(s.copies, 0, 99);
        else if (name == QLatin1String("unit_alarms"))
            flag(s.unitAlarms);
        else if (name == QLatin1String("wait_seconds"))
            number(s.waitSeconds, 0, 300);
        else if (name == QLatin1String("informant")) {
            // A value that cannot be read keeps the informant off the paper.
            bool on = false;
            flag(on);
            s.informant = on;
        } else if (name == QLatin1String("keep_days"))
            number(s.keepDays, 0, 3650);
        else if (name == QLatin1String("paper")) {
            if (value.compare(QLatin1String("A5"), Qt::CaseInsensitive) == 0)
                s.paper = Paper::A5;
            else if (value.compare(QLatin1String("letter"), Qt::CaseInsensitive) == 0)
                s.paper = Paper::Letter;
            else if (value.compare(QLatin1String("A4"), Qt::CaseInsensitive) == 0)
                s.paper = Paper::A4;
            else
                file.unusable(entry, QStringLiteral("A4, A5 or letter"));
        }
    }
    return s;
}

std::optional<PrintSettings> PrintSettings::read(const QString& dataFolder)
{
    // Without a data folder the name would be taken relative to the working directory.
    if (dataFolder.isEmpty() || !QFileInfo::exists(QDir(dataFolder).filePath(FileName)))
        return std::nullopt;
    const KeyValueFile file = KeyValueFile::read(dataFolder, FileName, Keys);
    if (file.unread()) {
        // Its defaults would print what the file may keep off the paper.
        qCWarning(lcPrint).noquote() << QDir(dataFolder).filePath(FileName) << "cannot be read: nothing is printed";
        return std::nullopt;
    }
    return parse(file);
}
