#pragma once

#include "log/CellMarkup.h"

#include <QFont>
#include <QList>

#include <memory>
#include <vector>

class QPainter;
class QPointF;
class QTextLayout;

// The runs of one cell laid out for a given width: each line of the markup is a paragraph that
// wraps at word boundaries. Layout stops once the text is taller than the height it may take, so
// that a huge cell costs no more than what can be seen.
class MarkupText {
public:
    // baseFont is the list's font; a run's size, weight and slant are set on a copy of it, so that
    // its other properties (hinting, antialiasing) stay those of the list.
    MarkupText(const QList<MarkupRun>& runs, const QFont& baseFont, qreal width, qreal maxHeight);
    ~MarkupText();
    MarkupText(const MarkupText&) = delete;
    MarkupText& operator=(const MarkupText&) = delete;

    // The height of the laid-out text, at most maxHeight unless a single line is taller.
    [[nodiscard]] qreal height() const { return m_height; }

    // Draws the text with its top left corner at the given point, in the painter's current pen for
    // runs without a colour of their own.
    void draw(QPainter* painter, const QPointF& topLeft) const;

    [[nodiscard]] static QFont fontFor(const MarkupStyle& style, const QFont& baseFont);

private:
    std::vector<std::unique_ptr<QTextLayout>> m_paragraphs;
    qreal m_height = 0;
};
