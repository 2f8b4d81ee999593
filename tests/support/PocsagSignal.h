#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// A pager network's transmission as a receiver's FM discriminator hands it to the decoder: a
// preamble, batches of the sync word 0x7CD215D8 and 8 frames of 2 code words (BCH(31,21) and even
// parity), each page's address word in its frame (RIC modulo 8) with its message words after it,
// idle words 0x7A89C197 in the empty places; two-level FSK, 16-bit signed native-endian mono samples
// at 22050 Hz.
namespace PocsagSignal {

struct Page {
    quint32 ric = 0; // up to 21 bits
    int function = 0; // 0 to 3: the sub-address A to D
    QString text; // 7-bit characters; a page without text is tone-only
};

// The transmission at `baud` (512, 1200 or 2400), ending in a batch of idle words.
[[nodiscard]] QByteArray samples(const QList<Page>& pages, int baud);

} // namespace PocsagSignal
