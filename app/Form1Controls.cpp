#include "app/Form1Controls.h"

#include "alarm/AlarmHandler.h"
#include "app/CaptionButton.h"
#include "app/DesignPlaces.h"
#include "app/DriveTimeLabel.h"
#include "app/FittingLabel.h"
#include "app/MainLayout.h"
#include "app/Pictures.h"
#include "app/WindowLook.h"
#include "common/Twips.h"
#include "map/ucGMap.h"

#include <QHeaderView>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>

#include <cmath>

namespace {

const QColor kDarkShade(0xFE, 0x6C, 0x58);
const QColor kLightShade(0xFF, 0xBC, 0xB3);

struct AlarmLabelDesign {
    int top;
    int height;
    double pointSize;
    bool dark;
    Qt::Alignment alignment;
    const char* caption;
};

// label_einsatz(0) to (8): top, height, font size, shade, alignment, design caption.
const AlarmLabelDesign kAlarmLabels[9] = {
    { 1800, 615, 26.25, false, Qt::AlignCenter, "Meldbild" },
    { 720, 1095, 48, true, Qt::AlignCenter, "Stichwort" },
    { 2400, 615, 26.25, true, Qt::AlignCenter, "Straße/Hnr" },
    { 3000, 615, 26.25, false, Qt::AlignCenter, "Plz/Ort" },
    { 3600, 615, 26.25, true, Qt::AlignCenter, "Zusatz" },
    { 4200, 615, 26.25, false, Qt::AlignCenter, "Objekt" },
    { 4800, 615, 26.25, true, Qt::AlignCenter, "agO" },
    { 6000, 1335, 26.25, true, Qt::AlignLeft | Qt::AlignTop, "Vermerk" },
    { 5400, 615, 26.25, false, Qt::AlignCenter, "Hinweisgeber" },
};

// The client area the window is designed for: 18960 × 14040 twips.
const QSize kDesignClient(twipsToPixels(18960), twipsToPixels(14040));

constexpr int kAlarmLabelLeft = 9600;
constexpr int kAlarmLabelWidth = 9135;

QString colourSheet(const QColor& background, const QColor& text = QColor())
{
    QString sheet = QStringLiteral("background-color: %1; border: 1px solid #202020;").arg(background.name());
    if (text.isValid())
        sheet += QStringLiteral(" color: %1;").arg(text.name());
    return sheet;
}

template <typename Button = QPushButton>
QPushButton* makeButton(QWidget* parent, const QString& name, const QString& caption, QRect geometry)
{
    auto* button = new Button(caption, parent);
    button->setObjectName(name);
    button->setGeometry(geometry);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

QLabel* makePicture(QWidget* parent, const QString& name, QRect geometry, const QPixmap& pixmap, bool visible)
{
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setGeometry(geometry);
    label->setPixmap(pixmap);
    // On a screen smaller than the design the picture shrinks with its place.
    label->setScaledContents(true);
    label->setAlignment(Qt::AlignCenter);
    label->setVisible(visible);
    return label;
}

QTableWidget* makeGrid(QWidget* parent, const QString& name, QRect geometry)
{
    auto* grid = new QTableWidget(parent);
    grid->setObjectName(name);
    grid->setGeometry(geometry);
    grid->verticalHeader()->hide();
    return grid;
}

} // namespace

TopBar::TopBar(QWidget* parent)
    : QWidget(parent)
{
}

void TopBar::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    QLinearGradient gradient(0, 0, width(), 0);
    gradient.setColorAt(0, QColor(0x6A, 0x97, 0xC0));
    gradient.setColorAt(1, QColor(0xB3, 0xC9, 0xDD));
    p.fillRect(rect(), gradient);
}

Form1Controls Form1Controls::create(QWidget* form, AppContext& ctx, const StationSettings& settings)
{
    Form1Controls ui;
    ui.roLabel1_1 = new TopBar(form);
    ui.roLabel1_1->setObjectName(QStringLiteral("roLabel1(1)"));
    ui.roLabel1_1->setGeometry(twipsRect(0, 0, 17295, 735));

    ui.cmd_Settings = makeButton(
        ui.roLabel1_1, QStringLiteral("cmd_Settings"), QStringLiteral("Einstellungen"), twipsRect(720, 120, 1935, 495));
    const QSize serverPictureSize = twipsRect(0, 0, 960, 480).size();
    ui.Image_S = makePicture(ui.roLabel1_1, QStringLiteral("Image_S"), twipsRect(2880, 120, 960, 480),
        Pictures::serverState(false, serverPictureSize), true);
    for (int i = 0; i < 2; ++i) {
        ui.Image_Server[i] = makePicture(ui.roLabel1_1, QStringLiteral("Image_Server(%1)").arg(i),
            twipsRect(3960 + 1080 * i, 120, 960, 480), Pictures::serverState(i == 1, serverPictureSize), false);
    }
    ui.cmd_Clear = makeButton(
        ui.roLabel1_1, QStringLiteral("cmd_Clear"), QStringLiteral("Clear (strg+c)"), twipsRect(9720, 120, 1335, 495));
    ui.cmd_ende = makeButton(
        ui.roLabel1_1, QStringLiteral("cmd_ende"), QStringLiteral("Programmende"), twipsRect(14640, 120, 2295, 495));
    ui.Label_vers = new QLabel(ui.roLabel1_1);
    ui.Label_vers->setObjectName(QStringLiteral("Label_vers"));
    ui.Label_vers->setGeometry(twipsRect(120, 480, 1095, 255));
    // Right of the clear button, up to the end button at the design width: the drive time in the
    // upper row, the nearest water sources in the lower one. Left of the clear button the crew's
    // strength has its two lines.
    ui.lbl_Anfahrt = new DriveTimeLabel(ui.roLabel1_1);
    ui.lbl_Anfahrt->setObjectName(QStringLiteral("lbl_Anfahrt"));
    ui.lbl_Anfahrt->setGeometry(twipsRect(11160, 15, 5085, 360));
    ui.lbl_Anfahrt->setAlignment(Qt::AlignCenter);
    // A list longer than its row takes smaller type.
    ui.lbl_Wasser = new FittingLabel(QString(), ui.roLabel1_1);
    ui.lbl_Wasser->setObjectName(QStringLiteral("lbl_Wasser"));
    ui.lbl_Wasser->setGeometry(twipsRect(11160, 375, 5085, 360));
    ui.lbl_Wasser->setAlignment(Qt::AlignCenter);

    ui.ucGMap1 = new ucGMap(form);
    ui.ucGMap1->setObjectName(QStringLiteral("ucGMap1"));
    ui.ucGMap1->setContext(&ctx, &settings);
    ui.ucGMap1->setGeometry(twipsRect(0, 720, 9600, 9600));

    for (int i = 0; i < 8; ++i) {
        ui.cmd_zoom[i] = makeButton<CaptionButton>(form, QStringLiteral("cmd_zoom(%1)").arg(i),
            QStringLiteral("%1   (F%2)").arg(12 + i).arg(2 + i), twipsRect(720 * i, 720, 735, 615));
    }
    ui.lbl_Zoom = new QLabel(QStringLiteral("16"), form);
    ui.lbl_Zoom->setObjectName(QStringLiteral("lbl_Zoom"));
    ui.lbl_Zoom->setGeometry(twipsRect(5760, 720, 495, 615));
    ui.lbl_Zoom->setAlignment(Qt::AlignCenter);

    const QString mapTypeCaptions[4] = { QStringLiteral("Straße  (strg+s)"), QStringLiteral("Satellit   (strg+a)"),
        QStringLiteral(" Hybrid   (strg+h)"), QStringLiteral("Terrain   (strg+t)") };
    for (int i = 0; i < 4; ++i) {
        ui.cmd_Anbieter[i] = makeButton<CaptionButton>(form, QStringLiteral("cmd_Anbieter(%1)").arg(i),
            mapTypeCaptions[i], twipsRect(6240 + 840 * i, 720, 855, 615));
    }

    for (int i = 0; i < 9; ++i) {
        const AlarmLabelDesign& d = kAlarmLabels[i];
        auto* label = new FittingLabel(QString::fromUtf8(d.caption), form);
        label->setObjectName(QStringLiteral("label_einsatz(%1)").arg(i));
        label->setGeometry(twipsRect(kAlarmLabelLeft, d.top, kAlarmLabelWidth, d.height));
        QFont font(QStringLiteral("Arial"));
        font.setPointSizeF(d.pointSize);
        label->setFont(font);
        label->setAlignment(d.alignment);
        label->setWordWrap(!(d.alignment & Qt::AlignHCenter));
        label->setStyleSheet(
            colourSheet(d.dark ? kDarkShade : kLightShade, form->palette().color(QPalette::WindowText)));
        ui.label_einsatz[i] = label;
    }

    for (int i = 0; i < 2; ++i) {
        ui.Label2[i] = new QLabel(form);
        ui.Label2[i]->setObjectName(QStringLiteral("Label2(%1)").arg(i));
        ui.Label2[i]->setGeometry(twipsRect(9600, i == 0 ? 1800 : 2040, 1095, i == 0 ? 255 : 375));
        ui.Label2[i]->setTextFormat(Qt::PlainText);
    }
    ui.Label2[0]->setStyleSheet(colourSheet(kLightShade, QColor(0, 0, 0xC0)));
    ui.Label2[1]->setStyleSheet(colourSheet(kLightShade));
    ui.Label4 = new QLabel(form);
    ui.Label4->setObjectName(QStringLiteral("Label4"));
    ui.Label4->setGeometry(twipsRect(9600, 2400, 1095, 615));
    ui.Label4->setAlignment(Qt::AlignCenter);
    // Texts from the dispatch computer: shown as they are, never read as markup.
    ui.Label4->setTextFormat(Qt::PlainText);
    ui.Label4->setStyleSheet(colourSheet(kDarkShade));

    const QSize signalSize = twipsRect(0, 0, 960, 960).size();
    ui.Image_Blau = makePicture(form, QStringLiteral("Image_Blau"), twipsRect(9600, 840, 975, 975),
        Pictures::alarmSignal(false, signalSize), true);
    ui.Image2 = makePicture(form, QStringLiteral("Image2"), twipsRect(10440, 840, 960, 960),
        Pictures::alarmSignal(true, signalSize), false);
    ui.Image3 = makePicture(form, QStringLiteral("Image3"), twipsRect(11280, 840, 960, 960),
        Pictures::alarmSignal(false, signalSize), false);
    ui.Image_Blau->setAttribute(Qt::WA_TranslucentBackground);

    // The small labels and the signal picture stand on top of the big labels' left end.
    for (QWidget* w : { static_cast<QWidget*>(ui.Label2[0]), static_cast<QWidget*>(ui.Label2[1]),
             static_cast<QWidget*>(ui.Label4), static_cast<QWidget*>(ui.Image_Blau) })
        w->raise();

    ui.MSFlexGrid1 = makeGrid(form, QStringLiteral("MSFlexGrid1"), twipsRect(9600, 7320, 4665, 14040 - 7320));
    ui.Grid_Melder = makeGrid(form, QStringLiteral("Grid_Melder"), twipsRect(14280, 7320, 4680, 2720));
    ui.Grid_Status = makeGrid(form, QStringLiteral("Grid_Status"), twipsRect(14280, 10040, 4680, 4000));

    ui.List_Doku = new QTableView(form);
    ui.List_Doku->setObjectName(QStringLiteral("List_Doku"));
    ui.List_Doku->setGeometry(twipsRect(0, 10320, 9615, 14040 - 10320));

    // The zoom and map-type buttons lie on top of the map.
    for (QPushButton* b : ui.cmd_zoom)
        b->raise();
    for (QPushButton* b : ui.cmd_Anbieter)
        b->raise();
    ui.lbl_Zoom->raise();
    return ui;
}

void Form1Controls::noteDesign(DesignPlaces& design, QWidget* form, const QWidget* except) const
{
    // Buttons and small labels draw their type at a fixed size; it shrinks with the window, and
    // so does the design type of the top bar's water line, which fits itself below that. The
    // alarm labels fit their type themselves, the map and the lists keep theirs.
    const auto note = [&design, form](QWidget* w) {
        const bool alarmLabel = qobject_cast<FittingLabel*>(w) && w->parentWidget() == form;
        const bool fixedType = qobject_cast<QPushButton*>(w) || (qobject_cast<QLabel*>(w) && !alarmLabel);
        design.note(w, fixedType ? DesignPlaces::Type::Scaled : DesignPlaces::Type::Kept);
    };
    for (QWidget* parent : { form, static_cast<QWidget*>(roLabel1_1) }) {
        for (QWidget* w : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (!w->isWindow() && w != except)
                note(w);
        }
    }
}

void Form1Controls::applyLayout(DesignPlaces& places, QSize clientPixels) const
{
    const int width = clientPixels.width() * kTwipsPerPixel;
    const int height = clientPixels.height() * kTwipsPerPixel;
    const double scale = MainLayout::scale(width, height);
    if (scale <= 0)
        return; // minimised: nothing to see
    places.apply(scale);

    const MainLayoutGeometry next = arranged(places, width, height, scale);
    const auto place = [scale](QWidget* w, const QRect& twips) {
        w->setGeometry(twipsEdgesToPixels(MainLayout::scaled(twips, scale)));
    };
    place(cmd_ende, next.cmd_ende);
    place(List_Doku, next.List_Doku);
    place(MSFlexGrid1, next.MSFlexGrid1);
    place(Grid_Melder, next.Grid_Melder);
    place(Grid_Status, next.Grid_Status);
    for (int i = 0; i < int(label_einsatz.size()); ++i)
        place(label_einsatz[i], next.label_einsatz[i]);
    place(roLabel1_1, next.roLabel1);

    WindowLook::coverLabelEnds(*this);
}

void Form1Controls::scaleBar(DesignPlaces& places, QSize clientPixels, double scale) const
{
    const int width = clientPixels.width() * kTwipsPerPixel;
    const int height = clientPixels.height() * kTwipsPerPixel;
    if (scale <= 0 || MainLayout::scale(width, height) <= 0)
        return;
    places.apply(scale, roLabel1_1);
    const MainLayoutGeometry next = arranged(places, width, height, scale);
    for (auto [w, twips] : { std::pair<QWidget*, QRect> { cmd_ende, next.cmd_ende }, { roLabel1_1, next.roLabel1 } })
        w->setGeometry(twipsEdgesToPixels(MainLayout::scaled(twips, scale)));
}

MainLayoutGeometry Form1Controls::arranged(const DesignPlaces& places, int width, int height, double scale) const
{
    MainLayoutGeometry design;
    design.cmd_ende = places.design(cmd_ende);
    design.List_Doku = places.design(List_Doku);
    design.MSFlexGrid1 = places.design(MSFlexGrid1);
    design.Grid_Melder = places.design(Grid_Melder);
    design.Grid_Status = places.design(Grid_Status);
    for (int i = 0; i < int(label_einsatz.size()); ++i)
        design.label_einsatz[i] = places.design(label_einsatz[i]);
    design.roLabel1 = places.design(roLabel1_1);
    return MainLayout::arrange(int(std::lround(width / scale)), int(std::lround(height / scale)), design);
}

QSize Form1Controls::designClient()
{
    return kDesignClient;
}

AlarmControls Form1Controls::alarmControls() const
{
    AlarmControls controls;
    controls.label_einsatz = label_einsatz;
    controls.Label2 = Label2;
    controls.Label4 = Label4;
    controls.Image_Blau = Image_Blau;
    controls.Image2 = Image2;
    controls.Image3 = Image3;
    controls.MSFlexGrid1 = MSFlexGrid1;
    controls.Grid_Status = Grid_Status;
    controls.Grid_Melder = Grid_Melder;
    return controls;
}
