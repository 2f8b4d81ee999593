#include "paths/PocsagLine.h"

#include <QRegularExpression>
#include <QStringList>

namespace {

// POCSAG addresses have 21 bits.
constexpr quint32 kHighestRic = (1U << 21) - 1;

// The names in which the decoder prints the control characters of a message.
const QStringList& controlNames()
{
    static const QStringList names = QStringLiteral("NUL SOH STX ETX EOT ENQ ACK BEL BS HT LF VT FF CR SO SI DLE DC1 "
                                                    "DC2 DC3 DC4 NAK SYN ETB CAN EM SUB ESC FS GS RS "
                                                    "US DEL")
                                         .split(QLatin1Char(' '));
    return names;
}

QString readableText(const QString& raw)
{
    static const QRegularExpression control(QStringLiteral("<([A-Z0-9]{2,3})>"));
    QString text;
    qsizetype at = 0;
    for (auto it = control.globalMatch(raw); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const QString name = match.captured(1);
        if (!controlNames().contains(name))
            continue;
        text += QStringView(raw).mid(at, match.capturedStart() - at);
        if (name == QLatin1String("LF") || name == QLatin1String("CR") || name == QLatin1String("HT"))
            text += QLatin1Char(' ');
        at = match.capturedEnd();
    }
    text += QStringView(raw).mid(at);
    // What is left of other control characters is no text for the screen or the speech.
    for (QChar& c : text) {
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char(' ');
    }
    return text.simplified();
}

} // namespace

std::optional<PocsagMessage> ParsePocsagLine(QByteArrayView line)
{
    static const QRegularExpression message(
        QStringLiteral("(?:^|\\s)POCSAG(?:512|1200|2400): Address: +(\\d{1,7}) +Function: +([0-3])(?: "
                       "+(?:Alpha|Numeric|Skyper): ?(.*)| *)$"));
    QString text = QString::fromUtf8(line);
    while (text.endsWith(QLatin1Char('\n')) || text.endsWith(QLatin1Char('\r')))
        text.chop(1);
    const QRegularExpressionMatch match = message.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    bool ok = false;
    const quint32 ric = match.captured(1).toUInt(&ok);
    if (!ok || ric > kHighestRic)
        return std::nullopt;
    return PocsagMessage { QString::number(ric), match.captured(2).toInt(), readableText(match.captured(3)) };
}
