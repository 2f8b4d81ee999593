#include "tests/support/PocsagSignal.h"

#include <vector>

namespace {

constexpr quint32 kSync = 0x7CD215D8, kIdle = 0x7A89C197;
constexpr int kRate = 22050;

// The 21 data bits with the BCH check bits (x^10 + x^9 + x^8 + x^6 + x^5 + x^3 + 1) and the parity bit.
quint32 codeWord(quint32 data)
{
    quint32 rest = data << 10;
    for (int bit = 30; bit >= 10; --bit)
        rest ^= (rest >> bit & 1U) * (0x769U << (bit - 10));
    const quint32 word = data << 11 | rest << 1;
    return word | quint32(__builtin_popcount(word) & 1);
}

// The message words: 7-bit characters, EOT at the end, each lowest bit first; none without a text.
std::vector<quint32> messageWords(const QString& text)
{
    std::vector<bool> bits;
    for (const QChar c : text.isEmpty() ? text : text + QChar(0x04))
        for (int i = 0; i < 7; ++i)
            bits.push_back((c.unicode() >> i & 1U) != 0);
    bits.resize((bits.size() + 19) / 20 * 20, false); // zero bits to the last word's end
    std::vector<quint32> words;
    for (size_t at = 0; at < bits.size(); at += 20) {
        quint32 data = 1U << 20;
        for (size_t i = 0; i < 20; ++i)
            data |= quint32(bits[at + i]) << (19 - i);
        words.push_back(codeWord(data));
    }
    return words;
}

} // namespace

QByteArray PocsagSignal::samples(const QList<Page>& pages, int baud)
{
    std::vector<quint32> places; // 16 to a batch
    for (const Page& page : pages) {
        while (places.size() % 16 / 2 != (page.ric & 7U))
            places.push_back(kIdle);
        places.push_back(codeWord((page.ric >> 3) << 2 | quint32(page.function & 3)));
        const std::vector<quint32> message = messageWords(page.text);
        places.insert(places.end(), message.begin(), message.end());
    }
    places.resize((places.size() / 16 + 2) * 16, kIdle); // a batch of idle words at least at the end
    std::vector<bool> bits;
    for (int i = 0; i < 576; ++i)
        bits.push_back(i % 2 == 0); // the preamble
    for (size_t i = 0; i < places.size(); ++i) {
        for (int bit = 31; bit >= 0 && i % 16 == 0; --bit)
            bits.push_back((kSync >> bit & 1U) != 0);
        for (int bit = 31; bit >= 0; --bit)
            bits.push_back((places[i] >> bit & 1U) != 0);
    }
    // A sample takes the bit whose time it falls in (a bit lasts 22050 / baud samples, a fraction);
    // a binary 1 is the lower frequency, which the discriminator gives as the lower level.
    QByteArray out(qsizetype(bits.size()) * kRate / baud * 2, Qt::Uninitialized);
    auto* sample = reinterpret_cast<qint16*>(out.data());
    for (qsizetype i = 0; i < out.size() / 2; ++i)
        sample[i] = bits[size_t(i) * size_t(baud) / kRate] ? qint16(-12000) : qint16(12000);
    return out;
}
