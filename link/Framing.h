#pragma once

#include <QByteArrayView>

#include <array>

// The wire format of the dispatch computer: a frame is the start byte, the payload and the
// terminator; the payload's fields are separated by TAB, field 0 being the message type.
namespace Framing {

inline constexpr char FrameStart = '\x05';
inline constexpr char FieldSeparator = '\t';
inline constexpr std::array<char, 10> FrameEndBytes = { 2, 2, 2, 3, 3, 3, 4, 4, 4, 4 };
// Not constexpr: with the debug build's assertions and the sanitizers, the view's check of its
// pointer is no constant expression.
inline const QByteArrayView FrameEnd(FrameEndBytes.data(), FrameEndBytes.size());

} // namespace Framing
