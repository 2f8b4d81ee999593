#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>

// A message of the radio pagers' network as the decoder (multimon-ng) prints it, one a line:
//   POCSAG1200: Address: 1234567  Function: 3  Alpha:   B3 Wohnhaus<EOT><NUL>
//   POCSAG512: Address: 1234567  Function: 0
// A label or a time stamp may stand before it.
struct PocsagMessage {
    QString ric; // digits, without leading zeros: "1234567"
    int function = 0; // 0 to 3, the sub-address A to D
    QString text; // the control characters the decoder names (<EOT>, <NUL>...) taken out, line breaks
                  // made blanks; empty for a tone-only message

    bool operator==(const PocsagMessage&) const = default;
};

// The message of one line of the decoder's output; nothing when the line is not a decoded POCSAG
// message (a banner, another mode's line, a damaged line). The line is taken as UTF-8.
[[nodiscard]] std::optional<PocsagMessage> ParsePocsagLine(QByteArrayView line);
