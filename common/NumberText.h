#pragma once

#include <QStringView>

#include <optional>

// Reading a number from the start of a text, the way the settings file, the feedback codes and
// the indicator field are read: leading blanks are skipped, then an optional sign, digits and an
// optional fraction after a point (never a comma, whatever the locale). The first character that
// cannot continue the number ends it; text after it is ignored. A text without a leading number
// reads as 0. A number too close to zero for a double (1e-400) reads as 0; one too large for it
// (1e400) reads as an infinity of its sign: a clear failure (std::isfinite), never a usable value.
namespace NumberText {

struct Options {
    // The map's coordinate fields also accept an exponent part ("1.5e3").
    bool allowExponent = false;
};

[[nodiscard]] double readLeadingNumber(QStringView text, Options options = {});

// Halves go to the even neighbour.
[[nodiscard]] double roundHalfEven(double value);

// The leading number rounded to a whole number, halves to even; empty when the result does not
// fit a signed 16-bit integer.
[[nodiscard]] std::optional<qint16> readInt16(QStringView text);

} // namespace NumberText
