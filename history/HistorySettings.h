#pragma once

#include <QString>
#include <QStringView>

// history.ini in the data folder: how long the history keeps what. 0 days: kept for ever.
struct HistorySettings {
    static constexpr const char* FileName = "history.ini";

    // Informant, remark and the pager holders' names are cleared after this many days.
    int keepPersonalDays = 180;
    // Whole alarms are deleted after this many days.
    int keepDays = 0;

    [[nodiscard]] static HistorySettings parse(QStringView text);
    // The file's values; defaults where it or a value is missing or unreadable.
    [[nodiscard]] static HistorySettings read(const QString& dataFolder);
};
