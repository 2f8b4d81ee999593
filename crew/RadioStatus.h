#pragma once

#include <QString>

#include <optional>

// A unit's radio status as the status messages carry it: "3", "S3" or "Status 3" is status 3 with
// its German meaning and colour; any other text stays as it came, without a colour.
struct RadioStatus {
    std::optional<int> number; // 0 to 9
    QString text; // the meaning, or the text as it came
    quint32 rgb = 0; // 0xRRGGBB; only with a number

    [[nodiscard]] static RadioStatus read(const QString& text);
    // Status 5 and 0: the crew asks to speak.
    [[nodiscard]] bool asksToSpeak() const { return number == 5 || number == 0; }
    bool operator==(const RadioStatus&) const = default;
};
