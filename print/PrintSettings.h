#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class ConfigValues;

// How the station wants its alarms on paper: print.ini in the data folder, one "key=value" a
// line like map.ini. Without the file nothing is printed at all.
struct PrintSettings {
    static inline const QString FileName = QStringLiteral("print.ini");

    QString printer; // a CUPS queue; empty: CUPS's default printer
    int copies = 1; // per station alarm; 0: no automatic printout (Ctrl+P still prints)
    bool unitAlarms = false; // unit alarms printed too
    bool testPages = false; // test alarms printed too
    int waitSeconds = 15; // at most this long for the address lookup and the map tiles
    // informant= as print.ini says it; none when it does not (a value that cannot be read says false).
    std::optional<bool> informant;
    int keepDays = 30; // PDF copies older than this are deleted; 0 keeps them for ever
    enum class Paper { A4, A5, Letter };
    Paper paper = Paper::A4; // portrait

    // What of the personal fields goes on the paper. Where print.ini does not say, a monitor with
    // display.ini privacy=1 (`hallView`) prints neither the informant nor the remark, any other
    // both; informant=1 prints both, informant=0 leaves the informant off, and on a hall view's
    // monitor the remark too.
    [[nodiscard]] bool printsInformant(bool hallView) const { return informant.value_or(!hallView); }
    [[nodiscard]] bool printsRemark(bool hallView) const { return !hallView || informant == true; }

    // A value that cannot be used (a number outside copies 0 to 99, wait_seconds 0 to 300,
    // keep_days 0 to 3650, a flag that is not 0 or 1, an unknown paper) is a warning naming the
    // file and the line, and keeps the default; except for informant, where it keeps the
    // informant off the paper, and a printer that cannot be a CUPS queue, which is kept so that
    // nothing is sent rather than sent to another queue.
    // print.ini's values; nothing when there is no print.ini (and while one that could never be
    // read stands in its place).
    [[nodiscard]] static std::optional<PrintSettings> from(const ConfigValues& values);

    bool operator==(const PrintSettings&) const = default;
};
