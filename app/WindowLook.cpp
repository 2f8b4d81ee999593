#include "app/WindowLook.h"

#include "app/FittingLabel.h"
#include "app/Form1.h"

#include <QFont>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>

namespace {

// The top bar's blue, the calm colour of everything that is not the alarm itself.
constexpr const char* kHeadingSheet
    = "QHeaderView { background-color: #4f7aa3; border: none; }"
      "QHeaderView::section { background-color: #4f7aa3; color: white; font-weight: bold;"
      " border: none; border-right: 1px solid #c0d0e0; padding: 2px 6px; }";

constexpr const char* kButtonSheet
    = "QPushButton { background-color: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #fbfcfd, stop:1 #dfe6ee);"
      " color: #1c2b3a; border: 1px solid #4f7aa3; border-radius: 3px; padding: 0px; }"
      "QPushButton:hover { background-color: #eef3f8; }"
      "QPushButton:pressed { background-color: #c4d4e4; }";

QFont arial(double pointSize, bool bold = false)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    return font;
}

} // namespace

namespace WindowLook {

void dressGrid(QTableWidget* grid)
{
    grid->setFont(arial(15, true));
    grid->horizontalHeader()->setFont(arial(11, true));
    grid->horizontalHeader()->setStyleSheet(QString::fromLatin1(kHeadingSheet));
    grid->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    grid->horizontalHeader()->setHighlightSections(false);
    grid->verticalHeader()->setDefaultSectionSize(30);
    grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid->setStyleSheet(QStringLiteral("QTableWidget { background-color: white; gridline-color: #c8d2dc;"
                                       " border: 1px solid #4f7aa3; }"));
    grid->setWordWrap(false);
}

void dress(const Form1Controls& form)
{
    for (QTableWidget* grid : { form.MSFlexGrid1, form.Grid_Melder, form.Grid_Status })
        dressGrid(grid);

    QList<QPushButton*> buttons { form.cmd_Settings, form.cmd_Clear, form.cmd_ende };
    for (QPushButton* b : buttons)
        b->setFont(arial(10, true));
    for (QPushButton* b : form.cmd_zoom) {
        b->setFont(arial(11, true));
        buttons << b;
    }
    for (QPushButton* b : form.cmd_Anbieter) {
        b->setFont(arial(8.5, true));
        buttons << b;
    }
    for (QPushButton* b : buttons)
        b->setStyleSheet(QString::fromLatin1(kButtonSheet));

    form.lbl_Zoom->setFont(arial(16, true));
    form.lbl_Zoom->setStyleSheet(QStringLiteral("QLabel { background-color: rgba(255, 255, 255, 210); color: #1c2b3a;"
                                                " border: 1px solid #4f7aa3; }"));

    form.lbl_Anfahrt->setFont(arial(12, true));
    form.lbl_Anfahrt->setStyleSheet(QStringLiteral("QLabel { color: #1c2b3a; background: transparent; }"));
    form.lbl_Wasser->setFont(arial(11, true));
    form.lbl_Wasser->setStyleSheet(QStringLiteral("QLabel { color: #1c2b3a; background: transparent; }"));

    form.Label_vers->setFont(arial(7));
    form.Label_vers->setStyleSheet(QStringLiteral("QLabel { color: #1c2b3a; background: transparent; }"));

    coverLabelEnds(form);

    form.Label4->setFont(arial(10, true));
    form.Label4->setWordWrap(true);
    for (QLabel* l : form.Label2)
        l->setFont(arial(9, true));
}

void coverLabelEnds(const Form1Controls& form)
{
    // The small labels and the signal picture stand on the left ends of three alarm labels.
    const auto cover = [&form](int label, const QWidget* over) {
        if (auto* fitting = qobject_cast<FittingLabel*>(form.label_einsatz[label]))
            fitting->setCoveredLeft(over->geometry().right() + 1 - fitting->x() + 4);
    };
    cover(1, form.Image_Blau);
    cover(0, form.Label2[0]);
    cover(2, form.Label4);
}

} // namespace WindowLook
