#pragma once

#include <QLabel>

// An alarm label: plain text in the label's font, made smaller only when the text would otherwise
// be cut, so that a long keyword or remark is shown whole. font() stays the design font.
class FittingLabel : public QLabel {
    Q_OBJECT

public:
    explicit FittingLabel(const QString& text, QWidget* parent = nullptr);

    // What becomes of a text too long for the label.
    enum class Overflow {
        Shrink, // made smaller, then wrapped
        OneLine, // made smaller, never wrapped
        Cut, // every line at the design size, cut off with "…" where it is too long
    };
    void setOverflow(Overflow overflow);

    // Pixels at the left end that a small label or picture covers. Centred text keeps clear of
    // them on both sides, so it stays centred.
    void setCoveredLeft(int pixels);
    [[nodiscard]] int coveredLeft() const { return m_coveredLeft; }

    // How the text is drawn at the current size: the font, and the text flags (a line that does
    // not fit even at a clearly smaller size is wrapped).
    struct Fit {
        QFont font;
        int flags = 0;
        QString shown; // the text as drawn
    };
    [[nodiscard]] Fit fitted() const;

    // The room the text is drawn in.
    [[nodiscard]] QRect textRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    [[nodiscard]] Fit computeFit() const;

    int m_coveredLeft = 0;
    Overflow m_overflow = Overflow::Shrink;

    // The last fit and what it was made for: a label is painted far more often than its text or
    // size change.
    mutable Fit m_fit;
    mutable QString m_fitText;
    mutable QRect m_fitRoom;
    mutable QFont m_fitDesign;
    mutable int m_fitAlignment = -1;
};
