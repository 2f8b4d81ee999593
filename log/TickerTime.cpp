#include "log/TickerTime.h"

namespace {

constexpr char kFieldSeparator = 9;
constexpr char kSubfieldSeparator = 7;

// Reads 1 to maxDigits decimal digits at pos; -1 when there is none.
int readNumber(QByteArrayView text, qsizetype& pos, int maxDigits, int* digitCount = nullptr)
{
    int value = 0;
    int digits = 0;
    while (pos < text.size() && digits < maxDigits && text[pos] >= '0' && text[pos] <= '9') {
        value = value * 10 + (text[pos] - '0');
        ++pos;
        ++digits;
    }
    if (digitCount)
        *digitCount = digits;
    return digits ? value : -1;
}

bool expect(QByteArrayView text, qsizetype& pos, char c)
{
    if (pos < text.size() && text[pos] == c) {
        ++pos;
        return true;
    }
    return false;
}

void skipBlanks(QByteArrayView text, qsizetype& pos)
{
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t'))
        ++pos;
}

qint64 readDate(QByteArrayView text)
{
    qsizetype pos = 0;
    skipBlanks(text, pos);
    const int day = readNumber(text, pos, 2);
    if (day < 0 || !expect(text, pos, '.'))
        return -1;
    const int month = readNumber(text, pos, 2);
    if (month < 0 || !expect(text, pos, '.'))
        return -1;
    int digits = 0;
    int year = readNumber(text, pos, 4, &digits);
    if (digits != 2 && digits != 4)
        return -1;
    if (digits == 2)
        year += 2000;
    return qint64(year) * 10000 + month * 100 + day;
}

qint64 readTime(QByteArrayView text)
{
    qsizetype pos = 0;
    skipBlanks(text, pos);
    const int hours = readNumber(text, pos, 2);
    if (hours < 0 || !expect(text, pos, ':'))
        return -1;
    const int minutes = readNumber(text, pos, 2);
    if (minutes < 0)
        return -1;
    int seconds = 0;
    if (expect(text, pos, ':'))
        seconds = std::max(0, readNumber(text, pos, 2));
    return qint64(hours) * 10000 + minutes * 100 + seconds;
}

// Compares two parts: read values first, in their order, then unreadable ones by their text.
int compareParts(qint64 a, QByteArrayView aText, qint64 b, QByteArrayView bText)
{
    if (a >= 0 && b >= 0)
        return a < b ? -1 : (a > b ? 1 : 0);
    if (a >= 0 || b >= 0)
        return a >= 0 ? -1 : 1;
    return aText.compare(bText) < 0 ? -1 : (aText == bText ? 0 : 1);
}

QByteArrayView upTo(QByteArrayView text, char separator)
{
    const qsizetype end = text.indexOf(separator);
    return end < 0 ? text : text.first(end);
}

} // namespace

TickerTime TickerTime::ofLine(QByteArrayView line)
{
    TickerTime t;
    const qsizetype tab = line.indexOf(kFieldSeparator);
    if (tab < 0)
        return t;
    QByteArrayView record = upTo(line.sliced(tab + 1), kFieldSeparator);
    // Subfields 2 and 3: timeLine1 and timeLine2.
    for (int i = 0; i < 2; ++i) {
        const qsizetype end = record.indexOf(kSubfieldSeparator);
        if (end < 0)
            return t;
        record = record.sliced(end + 1);
    }
    t.dateText = upTo(record, kSubfieldSeparator);
    const qsizetype end = record.indexOf(kSubfieldSeparator);
    if (end >= 0)
        t.timeText = upTo(record.sliced(end + 1), kSubfieldSeparator);
    t.date = readDate(t.dateText);
    t.time = readTime(t.timeText);
    return t;
}

int TickerTime::compare(const TickerTime& a, const TickerTime& b)
{
    const int byDate = compareParts(a.date, a.dateText, b.date, b.dateText);
    return byDate != 0 ? byDate : compareParts(a.time, a.timeText, b.time, b.timeText);
}
