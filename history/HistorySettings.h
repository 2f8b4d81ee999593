#pragma once

#include <QString>

class ConfigValues;

// history.ini in the data folder: how long the history keeps what. 0 days: kept for ever.
struct HistorySettings {
    static constexpr const char* FileName = "history.ini";

    // Informant, remark and the pager holders' names are cleared after this many days.
    int keepPersonalDays = 180;
    // Whole alarms are deleted after this many days.
    int keepDays = 0;

    bool operator==(const HistorySettings&) const = default;

    // history.ini's values; a value that is not a number of days keeps the default.
    [[nodiscard]] static HistorySettings from(const ConfigValues& values);
};
