#pragma once

#include <QRect>

#include <array>

// The geometries, in twips, of the main window's controls that follow the size of the client area.
// Everything else keeps its design place.
struct MainLayoutGeometry {
    QRect cmd_ende;
    QRect List_Doku;
    QRect MSFlexGrid1;
    QRect Grid_Melder;
    QRect Grid_Status;
    std::array<QRect, 9> label_einsatz;
    QRect roLabel1;

    bool operator==(const MainLayoutGeometry&) const = default;
};

// The layout rules of the main window. Pure: the result depends only on the client size and on the
// design values that the rules read back from the current geometries, never on earlier runs.
class MainLayout {
public:
    // From this client width on, the pager and status grids stand side by side.
    static constexpr int kWideFrom = 20000;
    // The pager grid's width in the wide arrangement.
    static constexpr int kWidePagerWidth = 3945;
    // In the narrow arrangement the status grid fills the lowest part of the column.
    static constexpr int kNarrowStatusHeight = 4000;
    static constexpr int kEndButtonMargin = 360;

    // The client area the window is designed for.
    static constexpr int kDesignWidth = 18960;
    static constexpr int kDesignHeight = 14040;

    // The share of its design size the window is drawn at on a client area of width × height
    // twips: 1 from the design size on; on a smaller one the whole design shrinks alike until it
    // fits, and arrange() then stretches it to the client area's other side (at width / scale ×
    // height / scale). 0 for an area without room (a minimised window).
    [[nodiscard]] static double scale(int width, int height);
    // A rect of the design drawn at that scale: its edges are rounded, so that controls that meet
    // in the design still meet.
    [[nodiscard]] static QRect scaled(const QRect& twips, double scale);

    // Applies the rules for a client area of width × height twips to the current geometries.
    // A rule whose result is negative leaves that one property as it was; the other rules still run.
    [[nodiscard]] static MainLayoutGeometry arrange(int width, int height, MainLayoutGeometry current);
};
