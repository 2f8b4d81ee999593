#include "crew/VehicleBoardView.h"

#include "crew/VehicleBoard.h"

#include <QGridLayout>
#include <QLabel>

namespace {

constexpr quint32 kNoStatus = 0xE0E0E0;
constexpr quint32 kOldStatus = 0xBDBDBD;
constexpr int kTileMinWidth = 150;

QString sinceText(const VehicleTile& tile, const QDateTime& now)
{
    if (!tile.since.isValid())
        return QString();
    if (tile.isOld(now))
        return QStringLiteral("alt · ") + tile.since.toString(QStringLiteral("dd.MM. HH:mm"));
    const qint64 minutes = std::max<qint64>(0, tile.since.secsTo(now) / 60);
    return minutes < 60 ? QStringLiteral("seit %1 min").arg(minutes)
                        : QStringLiteral("seit %1 h %2 min").arg(minutes / 60).arg(minutes % 60);
}

// The tile's colours: the status's colour behind black or white type, whichever reads better.
QPalette look(QPalette palette, quint32 rgb)
{
    const QColor back = QColor::fromRgb(QRgb(rgb));
    const bool dark = back.red() * 299 + back.green() * 587 + back.blue() * 114 < 140000;
    palette.setColor(QPalette::Window, back);
    palette.setColor(QPalette::WindowText, dark ? Qt::white : Qt::black);
    return palette;
}

} // namespace

VehicleBoardView::VehicleBoardView(const VehicleBoard& board, QWidget* parent)
    : QWidget(parent)
    , m_board(board)
    , m_grid(new QGridLayout(this))
{
    setObjectName(QStringLiteral("VehicleBoard"));
    setAutoFillBackground(true);
    m_grid->setContentsMargins(3, 3, 3, 3);
    m_grid->setSpacing(3);
    m_blink.setInterval(1000);
    connect(&m_blink, &QTimer::timeout, this, &VehicleBoardView::blink);
    m_minute.setInterval(30 * 1000);
    connect(&m_minute, &QTimer::timeout, this, &VehicleBoardView::refresh);
    connect(&board, &VehicleBoard::changed, this, &VehicleBoardView::refresh);
}

void VehicleBoardView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    refresh();
}

void VehicleBoardView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (std::max(1, width() / kTileMinWidth) != m_columns)
        refresh();
}

void VehicleBoardView::refresh()
{
    const QList<VehicleTile>& tiles = m_board.tiles();
    const int columns = std::max(1, width() / kTileMinWidth);
    if (columns != m_columns || m_labels.size() != tiles.size()) {
        qDeleteAll(m_labels);
        m_labels.clear();
        m_columns = columns;
        for (qsizetype i = 0; i < tiles.size(); ++i) {
            auto* label = new QLabel(this);
            label->setTextFormat(Qt::PlainText);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            label->setWordWrap(true);
            // Colours through the palette: a style sheet per tile would make every repaint slow.
            label->setAutoFillBackground(true);
            label->setFrameShape(QFrame::Box);
            label->setMargin(2);
            m_grid->addWidget(label, int(i / columns), int(i % columns));
            m_labels << label;
        }
        m_grid->setRowStretch(int((tiles.size() + columns - 1) / columns), 1);
    }
    const QDateTime now = clock();
    bool blinking = false;
    for (qsizetype i = 0; i < tiles.size(); ++i) {
        const VehicleTile& tile = tiles[i];
        const RadioStatus& s = tile.status;
        const QString status = s.number ? QString::number(*s.number) + QLatin1Char(' ') + s.text : s.text;
        m_labels[i]->setText(tile.shortName + QLatin1Char('\n') + status + QLatin1Char('\n') + sinceText(tile, now));
        const bool blinks = tile.blinks(now);
        blinking = blinking || blinks;
        const quint32 colour = tile.isOld(now) ? kOldStatus : s.number ? s.rgb : kNoStatus;
        const QPalette tileLook = look(palette(), blinks && !m_lit ? kNoStatus : colour);
        if (m_labels[i]->palette() != tileLook)
            m_labels[i]->setPalette(tileLook);
        m_labels[i]->setToolTip(tile.callName);
    }
    if (blinking && !m_blink.isActive())
        m_blink.start();
    if (!blinking) {
        m_blink.stop();
        m_lit = true;
    }
    if (isVisible() && !m_minute.isActive())
        m_minute.start();
}

void VehicleBoardView::blink()
{
    m_lit = !m_lit;
    refresh();
}
