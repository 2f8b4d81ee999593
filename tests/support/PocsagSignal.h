#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <vector>

// A pager network's transmission, as a receiver's FM discriminator hands it to the decoder: POCSAG
// code words (BCH(31,21) and even parity), a preamble, batches of a sync word and 8 frames of 2 code
// words, idle words, sent as two-level FSK in 16-bit signed native-endian mono samples.
namespace PocsagSignal {

enum class Content { Tone, Numeric, Alpha };

struct Page {
    quint32 ric = 0; // up to 21 bits
    int function = 0; // 0 to 3: the sub-address A to D
    Content content = Content::Alpha;
    QString text; // digits and " U-)(" for a numeric page, 7-bit characters for an alpha one
};

constexpr quint32 SyncWord = 0x7CD215D8;
constexpr quint32 IdleWord = 0x7A89C197;
constexpr int SampleRate = 22050;

// The 21 data bits (the top bit of a message word included) completed with the BCH check bits and
// the even parity bit.
[[nodiscard]] quint32 codeWord(quint32 data21);

// The code words after the preamble: each page's address word in its frame (RIC modulo 8), its
// message words after it, every batch opened by the sync word, empty places filled with idle words.
[[nodiscard]] std::vector<quint32> codeWords(const QList<Page>& pages);

// The whole transmission at `baud` (512, 1200 or 2400): 576 bits of preamble, the code words, and a
// batch's time of idle words so that the decoder sees the last message end.
[[nodiscard]] QByteArray samples(const QList<Page>& pages, int baud);

} // namespace PocsagSignal
