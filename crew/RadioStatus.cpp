#include "crew/RadioStatus.h"

#include <QRegularExpression>

namespace {

struct Meaning {
    const char* text;
    quint32 rgb;
};

constexpr Meaning kMeanings[10] = {
    { "Dringender Sprechwunsch", 0xD50000 },
    { "Einsatzbereit Funk", 0x7CB342 },
    { "Einsatzbereit Wache", 0x2E7D32 },
    { "Einsatz übernommen", 0xF57C00 },
    { "Am Einsatzort", 0xC62828 },
    { "Sprechwunsch", 0xFBC02D },
    { "Nicht einsatzbereit", 0x616161 },
    { "Patient aufgenommen", 0x1565C0 },
    { "Am Transportziel", 0x283593 },
    { "Fremdanmeldung", 0x6A1B9A },
};

} // namespace

RadioStatus RadioStatus::read(const QString& text)
{
    static const QRegularExpression number(
        QStringLiteral("^\\s*(?:(?:status|s)\\s*)?([0-9])\\s*$"), QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = number.match(text);
    if (!match.hasMatch())
        return { std::nullopt, text, 0 };
    const int n = match.captured(1).toInt();
    return { n, QString::fromUtf8(kMeanings[n].text), kMeanings[n].rgb };
}
