#pragma once

#include <QString>
#include <QStringView>

#include <optional>

// How the station wants its alarms on paper: print.ini in the data folder, one "key=value" a
// line like map.ini. Without the file nothing is printed at all.
struct PrintSettings {
    static inline const QString FileName = QStringLiteral("print.ini");

    QString printer; // a CUPS queue; empty: CUPS's default printer
    int copies = 1; // per station alarm; 0: no automatic printout (Ctrl+P still prints)
    bool unitAlarms = false; // unit alarms printed too
    int waitSeconds = 15; // at most this long for the address lookup and the map tiles
    bool informant = true; // false: the informant's name stays off the paper
    int keepDays = 30; // PDF copies older than this are deleted; 0 keeps them for ever
    enum class Paper { A4, A5, Letter };
    Paper paper = Paper::A4; // portrait

    // Unknown keys and unreadable numbers keep the defaults; numbers are held within sane bounds
    // (copies 0 to 99, wait_seconds 0 to 300, keep_days 0 to 3650).
    [[nodiscard]] static PrintSettings parse(QStringView text);
    // print.ini of the data folder; nothing when there is none.
    [[nodiscard]] static std::optional<PrintSettings> read(const QString& dataFolder);
};
