#pragma once

#include <QString>
#include <QStringView>

// The seven subfields of one ticker entry. A stored line carries them in its field 1 (the fields of
// a line are separated by TAB, the subfields of the record by the character 7).
struct TickerRecord {
    QString sender;
    QString ea;
    QString timeLine1;
    QString timeLine2;
    QString fromName;
    QString headline;
    QString body;

    // How many subfields the line carried: 0 when it has no field 1, 7 for a complete record
    // (subfields beyond the seventh are ignored and not counted). Missing subfields stay empty.
    int subfieldCount = 0;

    // The record of one stored ticker line, taken as it stands: no trimming, no unescaping.
    [[nodiscard]] static TickerRecord fromLine(QStringView line);

    // A key that orders entries by their time: a date in timeLine1 written as day.month.year is
    // turned into year, month and day, a time of day in timeLine2 into hours, minutes and seconds
    // with two digits each. Text in another form is compared as it stands.
    [[nodiscard]] QString timeSortKey() const;

    bool operator==(const TickerRecord&) const = default;
};
