#pragma once

#include "log/TickerRecord.h"

#include <QString>

#include <array>

// The captions of one row of the documentation list, built from one ticker line. Column 0 ("Nr")
// is plain text, columns 1 to 4 ("Zeit", "Absender", "EA", "Text") are cell markup (CellMarkup).
struct TickerCells {
    enum Column { Nr = 0, Zeit = 1, Absender = 2, EA = 3, Text = 4 };
    static constexpr int ColumnCount = 5;

    std::array<QString, ColumnCount> caption;

    // The headings of the five columns.
    [[nodiscard]] static QString heading(int column);
    // Whether the column's captions are markup rather than plain text.
    [[nodiscard]] static bool isMarkup(int column) { return column != Nr; }

    // The row of one ticker line: splits the line into its record and fills the cells. The count is
    // the line's number among the non-empty lines of the ticker file.
    [[nodiscard]] static TickerCells Append_Ticker(QStringView strMessage, qint64 count);

    // The cells of a row from the record of its line, in the list's markup.
    [[nodiscard]] static TickerCells zeige_alle_anderen_spalten(const TickerRecord& currentTickerRecord, qint64 count);
};
