#include "history/HistorySettings.h"

#include "config/ConfigValues.h"

HistorySettings HistorySettings::from(const ConfigValues& v)
{
    HistorySettings s;
    s.keepPersonalDays = v.whole(u"keep_personal_days");
    s.keepDays = v.whole(u"keep_days");
    return s;
}
