#include "app/DesignPlaces.h"

#include "app/MainLayout.h"
#include "common/Twips.h"

void DesignPlaces::note(QWidget* widget, Type type)
{
    m_places.push_back({ widget, pixelsToTwips(widget->geometry()), widget->font(), type });
}

void DesignPlaces::apply(double scale, const QWidget* within) const
{
    for (const Place& p : m_places) {
        if (!p.widget || (within && p.widget->parentWidget() != within))
            continue;
        p.widget->setGeometry(twipsEdgesToPixels(MainLayout::scaled(p.twips, scale)));
        if (p.type == Type::Scaled && p.font.pointSizeF() > 0) {
            QFont font = p.font;
            font.setPointSizeF(p.font.pointSizeF() * scale);
            if (p.widget->font() != font)
                p.widget->setFont(font);
        }
    }
}

void DesignPlaces::forget(const QWidget* widget)
{
    std::erase_if(m_places, [widget](const Place& p) { return p.widget == widget; });
}

QRect DesignPlaces::design(const QWidget* widget) const
{
    for (const Place& p : m_places) {
        if (p.widget == widget)
            return p.twips;
    }
    return {};
}
