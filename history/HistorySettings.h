#pragma once

#include <QString>

class KeyValueFile;

// history.ini in the data folder: how long the history keeps what. 0 days: kept for ever.
struct HistorySettings {
    static constexpr const char* FileName = "history.ini";

    // Informant, remark and the pager holders' names are cleared after this many days.
    int keepPersonalDays = 180;
    // Whole alarms are deleted after this many days.
    int keepDays = 0;

    // A value that is not a number of days is a warning naming the file and the line, and keeps
    // the default.
    [[nodiscard]] static HistorySettings parse(const KeyValueFile& file);
    // The file's values; defaults where it or a value is missing.
    [[nodiscard]] static HistorySettings read(const QString& dataFolder);
};
