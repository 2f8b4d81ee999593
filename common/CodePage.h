#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// The 8-bit code page of the wire and of every data file: Windows-1252. Every byte value maps to
// exactly one character and back; the five bytes that Windows-1252 leaves undefined (0x81, 0x8D,
// 0x8F, 0x90, 0x9D) map to the C1 control characters of the same value. This is the only place
// that converts between bytes and text.
namespace CodePage {

[[nodiscard]] QChar toChar(unsigned char byte);

// The byte of a character, or '?' for a character that the code page cannot hold.
[[nodiscard]] unsigned char toByte(QChar ch);

[[nodiscard]] QString decode(QByteArrayView bytes);
// The text of a file that people write: UTF-8 when the bytes are valid UTF-8, else Windows-1252.
// `wasUtf8`, when given, tells which.
[[nodiscard]] QString decodeWritten(QByteArrayView bytes, bool* wasUtf8 = nullptr);
[[nodiscard]] QByteArray encode(QStringView text);

} // namespace CodePage
