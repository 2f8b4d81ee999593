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

    bool operator==(const TickerRecord&) const = default;
};
