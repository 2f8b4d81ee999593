#include "log/CellMarkup.h"

#include <QVarLengthArray>

namespace {

// The longest tag is "<fgcolor=RRGGBB>"; a '>' further away than this cannot close a tag.
constexpr qsizetype kLongestTag = 16;

enum class Tag { None, Font8, Font10, FontEnd, Colour, ColourEnd, Bold, BoldEnd, Italic, ItalicEnd, Break };

bool isHexDigit(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
}

// The tag whose name stands between '<' and '>', and the colour for an fgcolor tag.
Tag recognise(QStringView name, quint32& colour)
{
    auto is = [&](const char* text) { return name.compare(QLatin1StringView(text), Qt::CaseInsensitive) == 0; };
    if (is("B"))
        return Tag::Bold;
    if (is("/B"))
        return Tag::BoldEnd;
    if (is("i"))
        return Tag::Italic;
    if (is("/i"))
        return Tag::ItalicEnd;
    if (is("BR"))
        return Tag::Break;
    if (is("font Arial;8"))
        return Tag::Font8;
    if (is("font Arial;10"))
        return Tag::Font10;
    if (is("/font"))
        return Tag::FontEnd;
    if (is("/fgcolor"))
        return Tag::ColourEnd;
    static constexpr QLatin1StringView colourTag("fgcolor=");
    if (name.size() == colourTag.size() + 6 && name.startsWith(colourTag, Qt::CaseInsensitive)) {
        const QStringView digits = name.mid(colourTag.size());
        if (std::all_of(digits.begin(), digits.end(), isHexDigit)) {
            colour = digits.toUInt(nullptr, 16);
            return Tag::Colour;
        }
    }
    return Tag::None;
}

bool isControl(QChar c)
{
    const char16_t u = c.unicode();
    return u < 0x20 || (u >= 0x7F && u <= 0x9F) || u == 0x2028 || u == 0x2029;
}

class RunBuilder {
public:
    explicit RunBuilder(qsizetype maxCharacters)
        : m_left(maxCharacters)
        , m_tagsLeft(maxCharacters)
    {
    }

    // Adds shown text in the current style; false once the limit is reached.
    bool addText(QStringView text)
    {
        if (text.isEmpty())
            return true;
        const bool cut = text.size() > m_left;
        if (cut)
            text = text.left(m_left);
        m_left -= text.size();
        MarkupRun& run = current();
        const qsizetype from = run.text.size();
        run.text.append(text);
        for (qsizetype i = from; i < run.text.size(); ++i) {
            if (isControl(run.text.at(i)))
                run.text[i] = QLatin1Char(' ');
        }
        if (cut)
            run.text.append(QChar(0x2026));
        return !cut;
    }

    void cutHere() { current().text.append(QChar(0x2026)); }

    // Applies one tag; false once the cell has used up its share of tags, which ends the cell.
    bool apply(Tag tag, quint32 colour)
    {
        if (--m_tagsLeft < 0 || (tag == Tag::Break && m_left <= 0)) {
            cutHere();
            return false;
        }
        switch (tag) {
        case Tag::Font8:
            m_fonts.append(8);
            break;
        case Tag::Font10:
            m_fonts.append(10);
            break;
        case Tag::FontEnd:
            if (!m_fonts.isEmpty())
                m_fonts.removeLast();
            break;
        case Tag::Colour:
            m_colours.append(colour);
            break;
        case Tag::ColourEnd:
            if (!m_colours.isEmpty())
                m_colours.removeLast();
            break;
        case Tag::Bold:
            ++m_bold;
            break;
        case Tag::BoldEnd:
            m_bold = std::max(0, m_bold - 1);
            break;
        case Tag::Italic:
            ++m_italic;
            break;
        case Tag::ItalicEnd:
            m_italic = std::max(0, m_italic - 1);
            break;
        case Tag::Break:
            // A line break counts as a shown character.
            --m_left;
            m_runs.append(MarkupRun { QString(), style(), true });
            break;
        case Tag::None:
            break;
        }
        return true;
    }

    QList<MarkupRun> take() { return std::move(m_runs); }
    [[nodiscard]] qsizetype left() const { return m_left; }

private:
    MarkupStyle style() const
    {
        MarkupStyle s;
        s.pointSize = m_fonts.isEmpty() ? 0 : m_fonts.last();
        s.hasColour = !m_colours.isEmpty();
        s.colour = s.hasColour ? m_colours.last() : 0;
        s.bold = m_bold > 0;
        s.italic = m_italic > 0;
        return s;
    }

    MarkupRun& current()
    {
        const MarkupStyle s = style();
        if (m_runs.isEmpty() || m_runs.last().lineBreak || !(m_runs.last().style == s))
            m_runs.append(MarkupRun { QString(), s, false });
        return m_runs.last();
    }

    qsizetype m_left;
    qsizetype m_tagsLeft;
    QList<MarkupRun> m_runs;
    // Every opened tag stacks, so that closing one of them brings back what was in force before.
    QVarLengthArray<int, 8> m_fonts;
    QVarLengthArray<quint32, 8> m_colours;
    int m_bold = 0;
    int m_italic = 0;
};

} // namespace

namespace CellMarkup {

QList<MarkupRun> parse(QStringView markup, qsizetype maxCharacters)
{
    RunBuilder builder(std::max<qsizetype>(0, maxCharacters));
    qsizetype textStart = 0;
    qsizetype i = 0;
    const qsizetype n = markup.size();
    while (i < n) {
        // Only as far ahead as text may still be shown: a cell of megabytes is not scanned whole.
        const qsizetype budget = std::max<qsizetype>(0, builder.left() - (i - textStart) + 1);
        const qsizetype next = markup.mid(i, budget).indexOf(QLatin1Char('<'));
        if (next < 0)
            break;
        i += next;
        const QStringView window = markup.mid(i + 1, kLongestTag);
        const qsizetype close = window.indexOf(QLatin1Char('>'));
        quint32 colour = 0;
        const Tag tag = close < 0 ? Tag::None : recognise(window.left(close), colour);
        if (tag == Tag::None) {
            ++i; // the '<' is text
            continue;
        }
        if (!builder.addText(markup.mid(textStart, i - textStart)))
            return builder.take();
        if (!builder.apply(tag, colour))
            return builder.take();
        i += close + 2;
        textStart = i;
    }
    builder.addText(markup.mid(textStart));
    return builder.take();
}

QString plainText(const QList<MarkupRun>& runs)
{
    QString text;
    for (const MarkupRun& run : runs)
        text += run.lineBreak ? QStringLiteral("\n") : run.text;
    return text;
}

QString toolTip(QStringView markup, qsizetype maxCharacters)
{
    const QString text = plainText(parse(markup, maxCharacters));
    if (text.isEmpty())
        return QString();
    // A tooltip takes text that looks like HTML as HTML; the escaped form in an explicit
    // rich-text frame can only show the characters themselves.
    QString escaped = text.toHtmlEscaped();
    escaped.replace(QLatin1Char('\n'), QStringLiteral("<br>"));
    return QStringLiteral("<qt>") + escaped + QStringLiteral("</qt>");
}

} // namespace CellMarkup
