#include "app/FittingLabel.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QStyle>

namespace {

// A line is made smaller down to this share of the design size before it is wrapped; below the
// second share the text is cut rather than made smaller still.
constexpr double kSmallestOneLine = 0.6;
constexpr double kSmallest = 0.3;
constexpr double kStep = 0.5;
// Text that starts at an edge keeps a little air from the frame.
constexpr int kAir = 6;

} // namespace

FittingLabel::FittingLabel(const QString& text, QWidget* parent)
    : QLabel(parent)
{
    // Texts come from the dispatch computer: shown as they are, never read as markup.
    setTextFormat(Qt::PlainText);
    setText(text);
}

void FittingLabel::setOverflow(Overflow overflow)
{
    m_overflow = overflow;
    update();
}

void FittingLabel::setCoveredLeft(int pixels)
{
    m_coveredLeft = std::max(0, pixels);
    update();
}

QRect FittingLabel::textRect() const
{
    const bool centred = alignment() & Qt::AlignHCenter;
    const int air = centred ? 0 : kAir;
    QRect r = contentsRect().adjusted(margin() + air, margin(), -margin() - air, -margin());
    const int covered = std::max(0, m_coveredLeft - (r.left() - rect().left()));
    r.adjust(covered, 0, centred ? -covered : 0, 0);
    return r;
}

FittingLabel::Fit FittingLabel::fitted() const
{
    const int key = int(alignment()) | (wordWrap() ? int(Qt::TextWordWrap) : 0) | (int(m_overflow) << 24);
    if (m_fitAlignment != key || m_fitText != text() || m_fitRoom != textRect() || m_fitDesign != font()) {
        m_fit = computeFit();
        m_fitAlignment = key;
        m_fitText = text();
        m_fitRoom = textRect();
        m_fitDesign = font();
    }
    return m_fit;
}

FittingLabel::Fit FittingLabel::computeFit() const
{
    const int alignment = int(this->alignment());
    const bool wrap = wordWrap() && m_overflow == Overflow::Shrink;
    Fit fit { font(), alignment | (wrap ? int(Qt::TextWordWrap) : 0), text() };
    const QString shown = text();
    const QRect room = textRect();
    const double design = fit.font.pointSizeF();
    if (shown.isEmpty() || room.width() <= 0 || room.height() <= 0 || design <= 0)
        return fit;
    if (m_overflow == Overflow::Cut) {
        QStringList lines = shown.split(u'\n');
        for (QString& line : lines)
            line = QFontMetricsF(fit.font).elidedText(line, Qt::ElideRight, room.width());
        fit.shown = lines.join(u'\n');
        return fit;
    }

    const auto fits = [&](const QFont& candidate, int flags) {
        const QRectF needed = QFontMetricsF(candidate).boundingRect(QRectF(room), flags, shown);
        return needed.width() <= room.width() + 0.5 && needed.height() <= room.height() + 0.5;
    };
    // One line as long as it stays large; then wrapped lines, smaller still if need be.
    const double oneLineDown = m_overflow == Overflow::OneLine ? design * kSmallest
        : wrap                                                 ? design
                                                               : design * kSmallestOneLine;
    for (double size = design; size >= oneLineDown - 0.001; size -= kStep) {
        fit.font.setPointSizeF(size);
        if (fits(fit.font, fit.flags))
            return fit;
    }
    if (m_overflow == Overflow::OneLine)
        return fit;
    fit.flags = alignment | Qt::TextWordWrap;
    for (double size = design; size >= design * kSmallest; size -= kStep) {
        fit.font.setPointSizeF(size);
        if (fits(fit.font, fit.flags))
            return fit;
    }
    fit.font.setPointSizeF(design * kSmallest);
    return fit;
}

void FittingLabel::paintEvent(QPaintEvent* event)
{
    // The frame and the background as the label's style draws them; the text follows here.
    QFrame::paintEvent(event);
    const Fit fit = fitted();
    QPainter p(this);
    p.setFont(fit.font);
    style()->drawItemText(&p, textRect(), fit.flags, palette(), isEnabled(), fit.shown, foregroundRole());
}
