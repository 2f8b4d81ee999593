#include "tests/support/PocsagSignal.h"

#include <algorithm>

namespace {

// x^10 + x^9 + x^8 + x^6 + x^5 + x^3 + 1
constexpr quint32 kGenerator = 0x769;
constexpr int kPreambleBits = 576;
constexpr qint16 kLevel = 12000;

// A numeric page's characters, each sent as its 4-bit code with the lowest bit first.
int numericCode(QChar c)
{
    static const QString kSpecial = QStringLiteral("*U -)(");
    if (c.isDigit())
        return c.digitValue();
    const qsizetype special = kSpecial.indexOf(c);
    return special < 0 ? 0xC : int(0xA + special);
}

// The low `count` bits of `value`, lowest first.
void appendLowFirst(std::vector<bool>& bits, quint32 value, int count)
{
    for (int i = 0; i < count; ++i)
        bits.push_back(((value >> i) & 1U) != 0);
}

// The message's 20-bit chunks, each led by the bit that marks a message word.
std::vector<quint32> messageWords(const PocsagSignal::Page& page)
{
    std::vector<bool> bits;
    if (page.content == PocsagSignal::Content::Numeric) {
        for (const QChar c : page.text)
            appendLowFirst(bits, quint32(numericCode(c)), 4);
        while (bits.size() % 20 != 0)
            appendLowFirst(bits, 0xC, 4); // padded with blanks
    } else if (page.content == PocsagSignal::Content::Alpha) {
        for (const QChar c : page.text)
            appendLowFirst(bits, quint32(c.unicode() & 0x7F), 7);
        appendLowFirst(bits, 0x04, 7); // EOT
        while (bits.size() % 20 != 0)
            bits.push_back(false);
    }
    std::vector<quint32> words;
    for (size_t at = 0; at < bits.size(); at += 20) {
        quint32 data = 1U << 20;
        for (size_t i = 0; i < 20; ++i)
            data |= quint32(bits[at + i]) << (19 - i);
        words.push_back(PocsagSignal::codeWord(data));
    }
    return words;
}

} // namespace

quint32 PocsagSignal::codeWord(quint32 data21)
{
    quint32 remainder = (data21 & 0x1FFFFF) << 10;
    for (int bit = 30; bit >= 10; --bit) {
        if (remainder & (1U << bit))
            remainder ^= kGenerator << (bit - 10);
    }
    const quint32 word = ((data21 & 0x1FFFFF) << 11) | (remainder << 1);
    return word | quint32(__builtin_popcount(word) & 1);
}

std::vector<quint32> PocsagSignal::codeWords(const QList<Page>& pages)
{
    std::vector<quint32> batchWords; // without the sync words; 16 per batch
    for (const Page& page : pages) {
        const quint32 frame = page.ric & 7U;
        while (batchWords.size() % 16 / 2 != frame)
            batchWords.push_back(IdleWord);
        batchWords.push_back(codeWord(((page.ric >> 3) << 2) | quint32(page.function & 3)));
        const std::vector<quint32> message = messageWords(page);
        batchWords.insert(batchWords.end(), message.begin(), message.end());
    }
    while (batchWords.empty() || batchWords.size() % 16 != 0)
        batchWords.push_back(IdleWord);
    std::vector<quint32> words;
    for (size_t i = 0; i < batchWords.size(); ++i) {
        if (i % 16 == 0)
            words.push_back(SyncWord);
        words.push_back(batchWords[i]);
    }
    return words;
}

QByteArray PocsagSignal::samples(const QList<Page>& pages, int baud)
{
    std::vector<bool> bits;
    for (int i = 0; i < kPreambleBits; ++i)
        bits.push_back(i % 2 == 0);
    std::vector<quint32> words = codeWords(pages);
    words.push_back(SyncWord);
    words.insert(words.end(), 16, IdleWord);
    for (const quint32 word : words) {
        for (int i = 31; i >= 0; --i)
            bits.push_back(((word >> i) & 1U) != 0);
    }
    // Each sample takes the bit whose time it falls in; a bit lasts 22050 / baud samples, a fraction.
    const auto count = qsizetype(qint64(bits.size()) * SampleRate / baud);
    QByteArray out(count * qsizetype(sizeof(qint16)), Qt::Uninitialized);
    auto* sample = reinterpret_cast<qint16*>(out.data());
    for (qsizetype i = 0; i < count; ++i) {
        const auto bit = size_t(std::min<qint64>(qint64(i) * baud / SampleRate, qint64(bits.size()) - 1));
        // A binary 1 is the lower frequency, which the discriminator gives as the lower level.
        sample[i] = bits[bit] ? qint16(-kLevel) : kLevel;
    }
    return out;
}
