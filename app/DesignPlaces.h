#pragma once

#include <QFont>
#include <QPointer>
#include <QRect>
#include <QWidget>

#include <vector>

// The design of a window's controls: each one's place in twips and its type size as built. On a
// client area smaller than the design the whole design is drawn smaller alike, so that every
// control keeps its place beside the others and none is pushed out of the window.
class DesignPlaces {
public:
    enum class Type { Kept, Scaled };

    // Notes the widget's current geometry and font as its design. A widget whose text fits itself
    // to its room (an alarm label), or whose rows are as tall as they are (a grid), keeps its type.
    void note(QWidget* widget, Type type);

    // Puts every noted widget (every one inside `within` only, when given) at its design place
    // times scale, and sets the type of those with Type::Scaled to their design size times scale.
    void apply(double scale, const QWidget* within = nullptr) const;

    // Leaves the widget where others place it from now on.
    void forget(const QWidget* widget);

    // The design place of a noted widget, in twips; an empty rect for any other.
    [[nodiscard]] QRect design(const QWidget* widget) const;

private:
    struct Place {
        QPointer<QWidget> widget;
        QRect twips;
        QFont font;
        Type type;
    };
    std::vector<Place> m_places;
};
