#include "print/PrintSettings.h"

#include "config/ConfigValues.h"

std::optional<PrintSettings> PrintSettings::from(const ConfigValues& v)
{
    // Its defaults would print what the file may keep off the paper.
    if (!v.present() || v.unread())
        return std::nullopt;
    PrintSettings s;
    // Kept as written when it cannot be a queue: CUPS then refuses it rather than print on a queue
    // of a shorter name.
    s.printer = v.text(u"printer");
    s.copies = v.whole(u"copies");
    s.unitAlarms = v.flag(u"unit_alarms");
    s.testPages = v.flag(u"test_pages");
    s.waitSeconds = v.whole(u"wait_seconds");
    // A value that cannot be read keeps the informant off the paper.
    if (v.given(u"informant"))
        s.informant = v.flag(u"informant");
    s.keepDays = v.whole(u"keep_days");
    const QString paper = v.text(u"paper");
    s.paper = paper == QLatin1String("a5") ? Paper::A5 : paper == QLatin1String("letter") ? Paper::Letter : Paper::A4;
    return s;
}
