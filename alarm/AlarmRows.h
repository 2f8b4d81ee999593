#pragma once

#include <QString>
#include <QStringList>
#include <QTime>

#include <array>
#include <optional>
#include <span>

// What the three alarm grids hold: their columns, the rows that status and pager messages insert,
// and the word and colour that a pager's feedback gives its cell.
namespace AlarmRows {

struct Column {
    const char* heading;
    int widthTwips; // 0: hidden
};

[[nodiscard]] std::span<const Column> unitColumns(); // MSFlexGrid1
[[nodiscard]] std::span<const Column> statusColumns(); // Grid_Status
[[nodiscard]] std::span<const Column> pagerColumns(); // Grid_Melder

// Column 2 of Grid_Melder: the pager id, the key of a feedback.
constexpr int kPagerIdColumn = 2;
constexpr int kFeedbackColumn = 1;

// A "WACHALARM_STATUS" row: time of arrival as hours:minutes, radio call name, status. Empty for a
// message with fewer than three fields.
[[nodiscard]] std::optional<std::array<QString, 3>> statusRow(const QString& message, QTime now);

// A "WACHALARM_MELDER" row: pager holder, empty feedback, pager id. Empty for fewer than three fields.
[[nodiscard]] std::optional<std::array<QString, 3>> pagerRow(const QString& message);

struct Feedback {
    QString pagerId;
    QString word;
    int colour = 0; // red + 256 * green + 65536 * blue
    int code = 0; // as read, rounded
};

// A "WACHALARM_RM" message: pager id and the feedback code (a number, halves to even) turned into
// its word and colour. Empty for fewer than three fields and for a code that does not fit 16 bits.
[[nodiscard]] std::optional<Feedback> feedback(const QString& message);

// The word and colour of a feedback code; codes outside -1 to 4 give no word on black.
[[nodiscard]] Feedback feedbackForCode(int code);

} // namespace AlarmRows
