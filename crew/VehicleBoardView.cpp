#include "crew/VehicleBoardView.h"

#include "crew/RadioStatus.h"
#include "crew/VehicleBoard.h"

#include <QPainter>

namespace {

constexpr QRgb kNoStatus = 0xE0E0E0;
constexpr QRgb kOldStatus = 0xBDBDBD;
constexpr int kTileMinWidth = 150;
constexpr int kGap = 3;

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

} // namespace

VehicleBoardView::VehicleBoardView(const VehicleBoard& board, QWidget* parent)
    : QWidget(parent)
    , m_board(board)
{
    setObjectName(QStringLiteral("VehicleBoard"));
    setAutoFillBackground(true);
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
    refresh();
}

void VehicleBoardView::setFilling(bool filling)
{
    m_filling = filling;
    refresh();
}

int VehicleBoardView::tileMinWidth(const QFont& font)
{
    // Every status with its meaning ("0 Dringender Sprechwunsch" is the longest), between the
    // tile's edges, and the gap to the next tile.
    static const QStringList statuses = [] {
        QStringList all;
        for (int n = 0; n <= 9; ++n)
            all << QString::number(n) + u' ' + RadioStatus::read(QString::number(n)).text;
        return all;
    }();
    const QFontMetrics metrics(font);
    int widest = 0;
    for (const QString& status : statuses)
        widest = std::max(widest, metrics.horizontalAdvance(status));
    return std::max(kTileMinWidth, widest + 4 * kGap);
}

void VehicleBoardView::fillWithType(qsizetype tiles)
{
    // From type that fills the board with one row of tiles down to the smallest that reads; a
    // tile's longest meaning fits across it, so a narrow board takes smaller type too.
    QFont font = this->font();
    for (int pixels = std::max(8, height() / 4); pixels >= 8; pixels = std::min(pixels - 1, pixels * 15 / 16)) {
        font.setPixelSize(pixels);
        const int columns = std::max(1, width() / tileMinWidth(font));
        const qsizetype rows = (std::max<qsizetype>(1, tiles) + columns - 1) / columns;
        if (rows * (3 * QFontMetrics(font).height() + 3 * kGap) + kGap <= height()
            && columns * tileMinWidth(font) <= width())
            break;
    }
    if (font != this->font())
        setFont(font);
}

void VehicleBoardView::refresh()
{
    const QList<VehicleTile>& tiles = m_board.tiles();
    if (m_filling)
        fillWithType(tiles.size());
    const int columns = std::max(1, width() / tileMinWidth(font()));
    const int tileWidth = (width() - kGap) / columns - kGap;
    const int tileHeight = 3 * fontMetrics().height() + 2 * kGap;
    const QDateTime now = clock();
    bool blinking = false;
    m_tiles.clear();
    for (qsizetype i = 0; i < tiles.size(); ++i) {
        const VehicleTile& tile = tiles[i];
        const RadioStatus& s = tile.status;
        const bool blinks = tile.blinks(now);
        blinking = blinking || blinks;
        const QRgb colour = blinks && !m_lit ? kNoStatus
            : tile.isOld(now)                ? kOldStatus
            : s.number                       ? QRgb(s.rgb)
                                             : kNoStatus;
        const QString status = s.number ? QString::number(*s.number) + QLatin1Char(' ') + s.text : s.text;
        const int column = int(i % columns);
        const int row = int(i / columns);
        m_tiles.append({ tile.shortName + QLatin1Char('\n') + status + QLatin1Char('\n') + sinceText(tile, now),
            QColor::fromRgb(colour),
            QRect(kGap + column * (tileWidth + kGap), kGap + row * (tileHeight + kGap), tileWidth, tileHeight) });
    }
    if (blinking && !m_blink.isActive())
        m_blink.start();
    if (!blinking) {
        m_blink.stop();
        m_lit = true;
    }
    if (isVisible() && !m_minute.isActive())
        m_minute.start();
    update();
}

void VehicleBoardView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    for (const Tile& tile : std::as_const(m_tiles)) {
        const QColor& back = tile.background;
        const bool dark = back.red() * 299 + back.green() * 587 + back.blue() * 114 < 140000;
        p.setPen(QColor(0x60, 0x60, 0x60));
        p.setBrush(back);
        p.drawRect(tile.place.adjusted(0, 0, -1, -1));
        p.setPen(dark ? Qt::white : Qt::black);
        const QRect text = tile.place.adjusted(kGap, kGap, -kGap, -kGap);
        const QStringList lines = tile.lines.split(QLatin1Char('\n'));
        for (int i = 0; i < lines.size(); ++i) {
            QFont font = this->font();
            font.setBold(i == 0);
            p.setFont(font);
            const QRect line(
                text.left(), text.top() + i * fontMetrics().height(), text.width(), fontMetrics().height());
            p.drawText(line, Qt::AlignLeft | Qt::AlignVCenter,
                QFontMetrics(font).elidedText(lines[i], Qt::ElideRight, line.width()));
        }
    }
}

void VehicleBoardView::blink()
{
    m_lit = !m_lit;
    refresh();
}
