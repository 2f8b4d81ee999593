#pragma once

#include <QStringView>

#include <optional>

// The proxy port as typed into the settings dialog: a whole number from 0 to 32767 (settings.dat
// holds 16-bit numbers), blanks around it allowed. An empty box means no port (0). Anything else,
// a text that is no number, a number followed by other text, a fraction, a negative number or one
// beyond 32767, has no value: the dialog refuses it rather than store something the user did not
// type.
[[nodiscard]] std::optional<quint16> ProxyPortFromText(QStringView text);
