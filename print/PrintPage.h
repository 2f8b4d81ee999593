#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QImage>
#include <QList>
#include <QPageSize>
#include <QPair>
#include <QPointF>
#include <QString>
#include <QStringList>

#include <optional>

// What goes on the paper of one printout, all of it plain values, so that the page can be
// rendered on any thread.
struct PrintPageContent {
    QString title = QStringLiteral("Einsatzauftrag");
    QString monitorName;
    QDateTime alarmTime;
    QDateTime printedTime;
    QString version;
    QString keyword;
    QString address; // street and house number, large under the keyword
    QString place; // postal code, town and district, under the address
    QString extraKeyword;
    QList<QPair<QString, QString>> rows; // label and text, in page order; empty texts are left out
    std::optional<QPointF> position; // x longitude, y latitude
    int decimals = 5; // the position's precision as printed
    QImage overview; // zoom 14; null: not available
    QImage detail; // zoom 17
    QString water; // the nearest water sources, printed under the detail map; empty: none looked up
    QPageSize::PageSizeId paper = QPageSize::A4;
};

namespace PrintPage {

// The page of a station alarm from the message's fields (field 0 being "WACHALARM"); `units`
// replaces the alarm's own units when given (a unit alarm's page). The informant only when
// `informant`, the remark only when `remark`.
[[nodiscard]] PrintPageContent fromAlarm(
    const QStringList& fields, bool informant, bool remark, const std::optional<QStringList>& units = std::nullopt);

// "geo:<lat>,<lon>" with six decimals.
[[nodiscard]] QString geoUri(QPointF position);

// At most this many pages per printout: a text that would need more is cut where the rest still
// fits, and ends with the note CutNote.
inline constexpr int kMostPages = 3;
inline const QString CutNote = QStringLiteral("\u2026 gek\u00FCrzt, vollst\u00E4ndig im Einsatzarchiv");

// The page rendered into a PDF: head, keyword, address, the rows (long texts wrapped and continued
// on a further page), the two maps and the navigation code with the coordinates, or "Keine
// Koordinaten" without a position; a foot on every page; at most kMostPages pages.
[[nodiscard]] QByteArray render(const PrintPageContent& content);

} // namespace PrintPage
