#include "log/MarkupText.h"

#include <QColor>
#include <QPainter>
#include <QTextLayout>

namespace {

QTextCharFormat formatFor(const MarkupStyle& style, const QFont& baseFont)
{
    QTextCharFormat format;
    format.setFont(MarkupText::fontFor(style, baseFont));
    if (style.hasColour)
        format.setForeground(QColor::fromRgb(static_cast<QRgb>(0xFF000000u | style.colour)));
    return format;
}

} // namespace

QFont MarkupText::fontFor(const MarkupStyle& style, const QFont& baseFont)
{
    QFont font(baseFont);
    if (style.pointSize > 0) {
        font.setFamily(QStringLiteral("Arial"));
        font.setPointSize(style.pointSize);
    }
    font.setBold(style.bold);
    font.setItalic(style.italic);
    return font;
}

MarkupText::MarkupText(const QList<MarkupRun>& runs, const QFont& baseFont, qreal width, qreal maxHeight)
{
    width = std::max<qreal>(width, 1);

    // Each line break ends a paragraph; a caption ending in <BR> ends with an empty line.
    struct Paragraph {
        qsizetype from;
        qsizetype to;
        MarkupStyle style; // gives an empty paragraph its height
    };
    std::vector<Paragraph> paragraphs;
    qsizetype from = 0;
    for (qsizetype k = 0; k <= runs.size(); ++k) {
        if (k < runs.size() && !runs[k].lineBreak)
            continue;
        MarkupStyle style;
        if (k > from)
            style = runs[from].style;
        else if (k < runs.size())
            style = runs[k].style;
        else if (from > 0)
            style = runs[from - 1].style;
        paragraphs.push_back({ from, k, style });
        from = k + 1;
    }

    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    for (const Paragraph& paragraph : paragraphs) {
        if (m_height >= maxHeight)
            break;
        QString text;
        QList<QTextLayout::FormatRange> formats;
        for (qsizetype k = paragraph.from; k < paragraph.to; ++k) {
            formats.append({ static_cast<int>(text.size()), static_cast<int>(runs[k].text.size()),
                formatFor(runs[k].style, baseFont) });
            text += runs[k].text;
        }
        auto layout = std::make_unique<QTextLayout>(text, fontFor(paragraph.style, baseFont));
        layout->setFormats(formats);
        layout->setTextOption(option);
        layout->setCacheEnabled(true);
        layout->beginLayout();
        while (m_height < maxHeight) {
            QTextLine line = layout->createLine();
            if (!line.isValid())
                break;
            line.setLineWidth(width);
            line.setPosition(QPointF(0, m_height));
            m_height += line.height();
        }
        layout->endLayout();
        m_paragraphs.push_back(std::move(layout));
    }
}

MarkupText::~MarkupText() = default;

void MarkupText::draw(QPainter* painter, const QPointF& topLeft) const
{
    for (const auto& layout : m_paragraphs)
        layout->draw(painter, topLeft);
}
