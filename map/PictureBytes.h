#pragma once

#include <QByteArray>
#include <QImage>

// Pictures that came over the network: only PNG, JPEG and (where Qt reads it) WebP are decoded,
// told by their first bytes, and only by the reader of that format; no other image plugin (SVG,
// for one, which can keep a thread busy for minutes) ever sees them.
namespace PictureBytes {

// "png", "jpeg" or "webp" for bytes that begin as such a picture; empty for anything else.
[[nodiscard]] QByteArray format(const QByteArray& bytes);

// The picture; a null image for bytes that are no such picture, cannot be decoded, or claim
// more than `maxSide` pixels a side.
[[nodiscard]] QImage decode(const QByteArray& bytes, int maxSide);

} // namespace PictureBytes
