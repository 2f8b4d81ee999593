#include "tools/ScenarioScript.h"

#include "common/CodePage.h"

#include <QRegularExpression>

#include <cmath>

namespace {

// Characters of Unicode's private use area, which no message of the dispatch computer carries:
// they hold the place of the date and the time until the message is sent.
constexpr char16_t kDateMark = 0xE000;
constexpr char16_t kTimeMark = 0xE001;

} // namespace

namespace ScenarioScript {

QString unescape(const QString& text, QString* error)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != QLatin1Char('\\') || i + 1 == text.size()) {
            if (c == QLatin1Char('\\') && error)
                *error = QStringLiteral("a backslash at the end of the line (write \\\\)");
            out += c;
            continue;
        }
        const QChar next = text[++i];
        switch (next.unicode()) {
        case '7':
            out += QChar(7);
            break;
        case 'n':
            out += QStringLiteral("\r\n");
            break;
        case 't':
            out += QChar(9);
            break;
        case '\\':
            out += QLatin1Char('\\');
            break;
        case 'D':
            out += QChar(kDateMark);
            break;
        case 'T':
            out += QChar(kTimeMark);
            break;
        case 'x': {
            bool ok = false;
            const int byte = text.mid(i + 1, 2).toInt(&ok, 16);
            if (ok && i + 2 < text.size()) {
                out += CodePage::toChar(static_cast<unsigned char>(byte));
                i += 2;
            } else {
                if (error)
                    *error = QStringLiteral("\\x needs two hexadecimal digits");
                out += QStringLiteral("\\x");
            }
            break;
        }
        default:
            if (error)
                *error = QStringLiteral("unknown escape \\%1").arg(next);
            out += QLatin1Char('\\');
            out += next;
        }
    }
    return out;
}

QString stamp(const QString& message, const QDateTime& now)
{
    QString out = message;
    out.replace(QChar(kDateMark), now.toString(QStringLiteral("dd.MM.yyyy")));
    out.replace(QChar(kTimeMark), now.toString(QStringLiteral("HH:mm:ss")));
    return out;
}

QString escape(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (u == '\r' && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n')) {
            out += QStringLiteral("\\n");
            ++i;
        } else if (u == 7) {
            out += QStringLiteral("\\7");
        } else if (u == 9) {
            out += QStringLiteral("\\t");
        } else if (u == '\\') {
            out += QStringLiteral("\\\\");
        } else if (u < 0x20 || u == 0x7F || (u >= 0x80 && u <= 0x9F)) {
            out += QStringLiteral("\\x%1").arg(CodePage::toByte(text[i]), 2, 16, QLatin1Char('0'));
        } else {
            out += text[i];
        }
    }
    return out;
}

Step parseLine(const QString& rawLine)
{
    QString line = rawLine;
    if (line.endsWith(QLatin1Char('\r')))
        line.chop(1);
    Step step;
    const QString trimmed = line.trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#')))
        return step;

    static const QRegularExpression waitLine(QStringLiteral("^wait(?:\\s+(\\S*))?\\s*$"));
    if (const QRegularExpressionMatch m = waitLine.match(trimmed); m.hasMatch()) {
        bool ok = false;
        const double seconds = m.captured(1).toDouble(&ok);
        if (!ok || !std::isfinite(seconds) || seconds < 0 || seconds > 24 * 3600) {
            step.error = QStringLiteral("wait needs a number of seconds");
            return step;
        }
        step.kind = Step::Kind::Wait;
        step.waitMs = static_cast<int>(std::lround(seconds * 1000));
        return step;
    }

    QString error;
    step.message = unescape(line, &error);
    for (QChar c : std::as_const(step.message)) {
        if (CodePage::toByte(c) == '?' && c != QLatin1Char('?') && c != QChar(kDateMark) && c != QChar(kTimeMark))
            error = QStringLiteral("%1 cannot be sent in Windows-1252 and goes as ?").arg(c);
    }
    step.kind = Step::Kind::Message;
    step.error = error;
    return step;
}

QList<Step> parseScript(const QString& script, QStringList* errors)
{
    QList<Step> steps;
    const QStringList lines = script.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        Step step = parseLine(lines[i]);
        if (!step.error.isEmpty() && errors)
            errors->append(QStringLiteral("line %1: %2").arg(i + 1).arg(step.error));
        if (step.kind != Step::Kind::Nothing)
            steps.append(std::move(step));
    }
    return steps;
}

} // namespace ScenarioScript
