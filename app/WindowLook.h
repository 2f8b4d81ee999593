#pragma once

struct Form1Controls;
class QTableWidget;

// The face of the main window beyond the design places: fonts, row heights and the heading style
// of the grids, and the buttons. The alarm labels carry their own fonts and colours, the
// documentation list the palette of its own.
// Meant to be read from across a room: large plain text, strong headings, no selection colours
// that could hide a feedback colour.
namespace WindowLook {

void dress(const Form1Controls& form);

void dressGrid(QTableWidget* grid);

// Tells the alarm labels how much of their left end the small labels and the signal picture
// cover, at their current places.
void coverLabelEnds(const Form1Controls& form);

} // namespace WindowLook
