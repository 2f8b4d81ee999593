#pragma once

#include <QList>
#include <QString>
#include <QStringView>

// The look of a stretch of cell text.
struct MarkupStyle {
    int pointSize = 0; // 8 or 10 within a font tag (face Arial), 0 for the list's own font
    bool hasColour = false;
    quint32 colour = 0; // 0xRRGGBB when hasColour
    bool bold = false;
    bool italic = false;

    bool operator==(const MarkupStyle&) const = default;
};

// A stretch of text in one style, or a line break (lineBreak set, text empty; its style is the one
// in force where the break stands, which gives an empty line its height).
struct MarkupRun {
    QString text;
    MarkupStyle style;
    bool lineBreak = false;

    bool operator==(const MarkupRun&) const = default;
};

// The tag markup of the documentation list's cells, turned into styled runs. The text of a cell
// comes from the network, so the reading is strict: exactly these tags take effect, in any letter
// case, closed in any order or not at all:
//   <font Arial;8> <font Arial;10> </font>   Arial at 8 or 10 points, up to the closing tag
//   <fgcolor=RRGGBB> </fgcolor>              text colour, six hexadecimal digits
//   <B> </B>, <i> </i>                       bold, italic
//   <BR>                                     line break
// Each opening tag stacks; a closing tag ends the most recent one of its kind and is ignored when
// none is open. Everything else, an unknown or malformed tag, an entity or an unterminated "<",
// is text and shows as it stands. Control characters show as blanks. The runs never refer to
// anything outside the cell.
namespace CellMarkup {

// Cells hold whatever the dispatch computer sent; beyond this many characters of shown text the
// rest of a cell is cut off and an ellipsis marks the cut.
inline constexpr qsizetype MaxShownCharacters = 10000;

[[nodiscard]] QList<MarkupRun> parse(QStringView markup, qsizetype maxCharacters = MaxShownCharacters);

// The shown text of a cell, line breaks as '\n'.
[[nodiscard]] QString plainText(const QList<MarkupRun>& runs);

// The full shown text of a cell as a tooltip, in a form that a tooltip can only show as text:
// every character escaped, line breaks as <br>.
[[nodiscard]] QString toolTip(QStringView markup, qsizetype maxCharacters = MaxShownCharacters);

} // namespace CellMarkup
