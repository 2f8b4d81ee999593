// Pictures of the main window with a demo alarm on screen, for the documentation: one at the design
// size and one on a full-HD screen. Run under the offscreen platform:
//   QT_QPA_PLATFORM=offscreen kessvenn_pictures <folder>
#include "app/Form1.h"
#include "common/AppContext.h"
#include "settings/Form2.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QStandardItemModel>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

void setHeadings(QTableWidget* grid, const QStringList& headings, const QList<int>& widthsTwips)
{
    if (grid->columnCount() >= headings.size())
        return;
    grid->setColumnCount(int(headings.size()));
    grid->setHorizontalHeaderLabels(headings);
    for (int i = 0; i < widthsTwips.size(); ++i) {
        if (widthsTwips[i] == 0)
            grid->setColumnHidden(i, true);
        else
            grid->setColumnWidth(i, widthsTwips[i] / 15);
    }
}

void appendRow(QTableWidget* grid, const QStringList& cells, QColor colour = QColor(), int colourColumn = -1)
{
    const int row = grid->rowCount();
    grid->insertRow(row);
    for (int c = 0; c < cells.size(); ++c) {
        auto* item = new QTableWidgetItem(cells[c]);
        if (c == colourColumn && colour.isValid())
            item->setBackground(colour);
        grid->setItem(row, c, item);
    }
}

void showDemoAlarm(Form1& form)
{
    form.Label4->setText(QStringLiteral("Einsatz 4711"));
    form.Label2[0]->setText(QStringLiteral("06.12.2026"));
    form.Label2[1]->setText(QStringLiteral("19:42"));
    const QStringList texts = {
        QStringLiteral("Rauch aus Dachgeschoss"),
        QStringLiteral("B 3 - Brand Wohnhaus"),
        QStringLiteral("Hauptstraße 12"),
        QStringLiteral("80331 München / Altstadt"),
        QStringLiteral("Hinterhaus, 3. OG"),
        QStringLiteral("Wohn- und Geschäftshaus"),
        QString(),
        QStringLiteral("Anrufer sieht Rauch aus dem Dachfenster, eine Person vermutlich noch in der Wohnung. "
                       "Zufahrt über die Hofeinfahrt."),
        QStringLiteral("Mitteiler: Huber, Anna"),
    };
    for (int i = 0; i < 9; ++i)
        form.label_einsatz[i]->setText(texts[i]);
    form.Image_Blau->setPixmap(form.Image2->pixmap());

    setHeadings(form.MSFlexGrid1, {QStringLiteral("Einsatzmittel D/A")}, {5505});
    setHeadings(form.Grid_Status, {QStringLiteral("Zeit"), QStringLiteral("Rufname"), QStringLiteral("St")},
                {1200, 4465, 500});
    setHeadings(form.Grid_Melder, {QStringLiteral("Melder"), QStringLiteral("St"), QStringLiteral("id")},
                {2715, 1200, 0});

    form.MSFlexGrid1->setRowCount(0);
    for (const char* unit : {"ELW 1", "HLF 20(A)", "DLK 23(D)", "RTW 1"})
        appendRow(form.MSFlexGrid1, {QString::fromLatin1(unit)});

    form.Grid_Status->setRowCount(0);
    appendRow(form.Grid_Status, {QStringLiteral("19:47"), QStringLiteral("Florian Altstadt 23/1"), QStringLiteral("4")});
    appendRow(form.Grid_Status, {QStringLiteral("19:46"), QStringLiteral("Florian Altstadt 40/1"), QStringLiteral("3")});
    appendRow(form.Grid_Status, {QStringLiteral("19:45"), QStringLiteral("Florian Altstadt 11/1"), QStringLiteral("3")});
    appendRow(form.Grid_Status, {QStringLiteral("19:44"), QStringLiteral("Rotkreuz München 71/1"), QStringLiteral("3")});

    form.Grid_Melder->setRowCount(0);
    appendRow(form.Grid_Melder, {QStringLiteral("Becker, Tom"), QStringLiteral("kommt"), QStringLiteral("1001")},
              QColor(0, 255, 0), 1);
    appendRow(form.Grid_Melder, {QStringLiteral("Schmidt, Jan"), QStringLiteral("später"), QStringLiteral("1002")},
              QColor(150, 254, 162), 1);
    appendRow(form.Grid_Melder, {QStringLiteral("Wagner, Eva"), QStringLiteral("NICHT"), QStringLiteral("1003")},
              QColor(254, 150, 150), 1);
    appendRow(form.Grid_Melder, {QStringLiteral("Müller, Kai"), QStringLiteral("Sonst."), QStringLiteral("1004")},
              QColor(160, 235, 254), 1);
    appendRow(form.Grid_Melder, {QStringLiteral("Fischer, Lea"), QString(), QStringLiteral("1005")});

    // Until the list has its own rows, a few ticker entries of the same evening.
    if (!form.List_Doku->model() || form.List_Doku->model()->rowCount() == 0) {
        auto* model = new QStandardItemModel(0, 5, form.List_Doku);
        model->setHorizontalHeaderLabels({QStringLiteral("Nr"), QStringLiteral("Zeit"), QStringLiteral("Absender"),
                                          QStringLiteral("EA"), QStringLiteral("Text")});
        const QStringList rows[] = {
            {"3", "19:48", "ILS München", "E", "Nachalarmierung RTW 1"},
            {"2", "19:43", "ILS München", "E", "B 3 Hauptstraße 12, Rauch aus Dachgeschoss"},
            {"1", "07:15", "Wache", "A", "Fahrzeugcheck HLF 20 ohne Mängel"},
        };
        for (const QStringList& r : rows) {
            QList<QStandardItem*> items;
            for (const QString& cell : r)
                items << new QStandardItem(cell);
            model->appendRow(items);
        }
        form.List_Doku->setModel(model);
    }
}

bool savePicture(Form1& form, QSize size, const QString& path)
{
    form.resize(size);
    QApplication::processEvents();
    const bool ok = form.grab().save(path);
    std::printf("%s %s (%dx%d)\n", ok ? "wrote" : "could not write", qPrintable(path), size.width(), size.height());
    return ok;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kessvenn"));
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(folder);

    // The window's start-up creates its data folder; keep it away from the user's own.
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());

    AppContext ctx;
    ctx.ProgramFolder = home.path();
    Form1 form(ctx);
    form.Timer1->stop();
    form.show();
    form.load();
    form.Timer1->stop();
    showDemoAlarm(form);

    bool ok = savePicture(form, QSize(1264, 936), QDir(folder).filePath(QStringLiteral("window-1264x936.png")));
    ok = savePicture(form, QSize(1920, 1080), QDir(folder).filePath(QStringLiteral("window-1920x1080.png"))) && ok;

    form.cmd_Settings_Click();
    if (Form2* dialog = form.settingsDialog()) {
        const QString path = QDir(folder).filePath(QStringLiteral("settings-dialog.png"));
        const bool saved = dialog->grab().save(path);
        std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
        ok = saved && ok;
    }
    return ok ? 0 : 1;
}
