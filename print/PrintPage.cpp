#include "print/PrintPage.h"

#include "alarm/UnitList.h"

#include <QBuffer>
#include <QPageLayout>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QTextLayout>

#include <qrencode.h>

#include <memory>

namespace {

constexpr int kResolution = 300; // dots per inch of the page's coordinates
constexpr double kMarginMm = 14;

QFont font(double points, bool bold = false)
{
    QFont f(QStringLiteral("Liberation Sans"));
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

QString field(const QStringList& fields, int i)
{
    return i < fields.size() ? fields.at(i).trimmed() : QString();
}

// The modules of the QR code, dark ones true; empty when the text cannot be encoded.
std::optional<std::pair<int, QList<bool>>> qrModules(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeString(bytes.constData(), 0, QR_ECLEVEL_M, QR_MODE_8, 1), &QRcode_free);
    if (!code)
        return std::nullopt;
    QList<bool> dark(qsizetype(code->width) * code->width);
    for (qsizetype i = 0; i < dark.size(); ++i)
        dark[i] = (code->data[i] & 1) != 0;
    return std::pair { code->width, dark };
}

// No text is laid out beyond this many characters: more never fits the pages anyway.
constexpr qsizetype kMostCharacters = 20000;

// One text of the page, laid out once: measured for the page count, then drawn.
struct TextBlock {
    QString label; // beside the first line, in the left column
    QFont labelFont;
    double x = 0;
    double after = 0; // space below
    std::vector<std::unique_ptr<QTextLayout>> parts; // one per line break of the text
    QList<QTextLine> lines; // in page order
    bool cut = false; // the text itself was longer than kMostCharacters

    TextBlock(QString text, const QFont& font, double left, double width, QPaintDevice* device, double space,
        QString labelText = {}, const QFont& labelType = {})
        : label(std::move(labelText))
        , labelFont(labelType)
        , x(left)
        , after(space)
    {
        if (text.size() > kMostCharacters) {
            text.truncate(kMostCharacters);
            cut = true;
        }
        static const QRegularExpression breaks(QStringLiteral("\r\n|\r|\n"));
        for (const QString& part : text.split(breaks)) {
            auto layout = std::make_unique<QTextLayout>(part.isEmpty() ? QStringLiteral(" ") : part, font, device);
            QTextOption option;
            option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
            layout->setTextOption(option);
            layout->beginLayout();
            for (QTextLine line = layout->createLine(); line.isValid(); line = layout->createLine())
                line.setLineWidth(width);
            layout->endLayout();
            for (int i = 0; i < layout->lineCount(); ++i)
                lines.append(layout->lineAt(i));
            parts.push_back(std::move(layout));
        }
    }
};

// Paper filled from the top down; a block that does not fit goes on a new page. Without a painter
// it only counts, so that the same flow first measures the pages and then draws them.
class Sheet {
public:
    Sheet(QPdfWriter& writer, const PrintPageContent& content, bool drawing)
        : m_writer(writer)
        , m_content(content)
    {
        if (drawing)
            m_painter.begin(&writer);
        // The painter's origin is the top-left corner inside the margins.
        m_area = QRectF(QPointF(0, 0), writer.pageLayout().paintRectPixels(kResolution).size());
        m_footTop = m_area.bottom() - mm(7);
        m_y = m_area.top();
    }

    [[nodiscard]] static double mm(double millimetres) { return millimetres * kResolution / 25.4; }
    [[nodiscard]] const QRectF& area() const { return m_area; }
    // Null while only measuring.
    [[nodiscard]] QPainter* painter() { return m_painter.isActive() ? &m_painter : nullptr; }
    [[nodiscard]] double y() const { return m_y; }
    [[nodiscard]] int page() const { return m_page; }
    void advance(double height) { m_y += height; }

    void ensure(double height)
    {
        if (m_y + height > m_footTop && m_y > m_area.top()) {
            if (painter()) {
                drawFoot();
                m_writer.newPage();
            }
            ++m_page;
            m_y = m_area.top();
        }
    }

    // The block's first `most` lines, every line break of the text kept; a block cut short ends
    // with the note.
    void paragraph(const TextBlock& block, qsizetype most, const QTextLine& note)
    {
        const qsizetype count = std::min(most, block.lines.size());
        for (qsizetype i = 0; i < count; ++i) {
            const QTextLine& line = block.lines.at(i);
            ensure(line.height());
            if (painter()) {
                line.draw(&m_painter, QPointF(block.x, m_y - line.y()));
                if (i == 0 && !block.label.isEmpty()) {
                    m_painter.setFont(block.labelFont);
                    m_painter.drawText(QRectF(m_area.left(), m_y, block.x - m_area.left(), line.height()),
                        Qt::AlignLeft | Qt::AlignVCenter, block.label);
                }
            }
            m_y += line.height();
        }
        if (count < block.lines.size() || block.cut) {
            ensure(note.height());
            if (painter())
                note.draw(&m_painter, QPointF(block.x, m_y - note.y()));
            m_y += note.height();
        }
        m_y += block.after;
    }

    void finish()
    {
        if (painter()) {
            drawFoot();
            m_painter.end();
        }
    }

private:
    void drawFoot()
    {
        m_painter.setFont(font(8));
        m_painter.setPen(Qt::black);
        const QString text = QStringLiteral("Gedruckt %1 \u00B7 Kessvenn %2 \u00B7 Seite %3")
                                 .arg(m_content.printedTime.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")),
                                     m_content.version, QString::number(m_page));
        m_painter.drawLine(QPointF(m_area.left(), m_footTop + mm(1)), QPointF(m_area.right(), m_footTop + mm(1)));
        m_painter.drawText(
            QRectF(m_area.left(), m_footTop + mm(2), m_area.width(), mm(5)), Qt::AlignLeft | Qt::AlignVCenter, text);
    }

    QPdfWriter& m_writer;
    const PrintPageContent& m_content;
    QPainter m_painter;
    QRectF m_area;
    double m_footTop = 0;
    double m_y = 0;
    int m_page = 1;
};

void drawHead(Sheet& sheet, const PrintPageContent& c)
{
    const QRectF& a = sheet.area();
    const double height = Sheet::mm(13);
    if (QPainter* p = sheet.painter()) {
        p->setFont(font(20, true));
        p->drawText(QRectF(a.left(), sheet.y(), a.width(), height), Qt::AlignLeft | Qt::AlignVCenter, c.title);
        p->setFont(font(10));
        p->drawText(
            QRectF(a.left(), sheet.y(), a.width(), height / 2), Qt::AlignRight | Qt::AlignVCenter, c.monitorName);
        p->drawText(QRectF(a.left(), sheet.y() + height / 2, a.width(), height / 2), Qt::AlignRight | Qt::AlignVCenter,
            QStringLiteral("Alarm %1").arg(c.alarmTime.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"))));
        p->setPen(QPen(Qt::black, Sheet::mm(0.5)));
        const double rule = sheet.y() + height + Sheet::mm(1);
        p->drawLine(QPointF(a.left(), rule), QPointF(a.right(), rule));
        p->setPen(Qt::black);
    }
    sheet.advance(height + Sheet::mm(4));
}

void drawMap(QPainter& p, const QRectF& frame, const QImage& image, const QString& caption)
{
    p.setFont(font(9, true));
    p.drawText(QRectF(frame.left(), frame.top() - Sheet::mm(5), frame.width(), Sheet::mm(5)),
        Qt::AlignLeft | Qt::AlignVCenter, caption);
    if (image.isNull()) {
        p.setFont(font(11));
        p.drawText(frame, Qt::AlignCenter, QStringLiteral("Karte nicht verf\u00FCgbar"));
    } else {
        p.drawImage(frame, image);
    }
    p.setBrush(Qt::NoBrush);
    p.drawRect(frame);
}

void drawCode(Sheet& sheet, const QString& uri, const QString& coordinates)
{
    const double side = Sheet::mm(std::min(34.0, sheet.area().width() / kResolution * 25.4 / 4));
    sheet.ensure(side);
    QPainter* p = sheet.painter();
    if (!p) {
        sheet.advance(side);
        return;
    }
    const double x0 = sheet.area().left();
    if (const std::optional<std::pair<int, QList<bool>>> modules = qrModules(uri)) {
        const int width = modules->first;
        const double module = side / (width + 8); // four modules of quiet zone on each side
        QPainterPath path;
        path.setFillRule(Qt::WindingFill);
        for (int y = 0; y < width; ++y) {
            for (int x = 0; x < width; ++x) {
                if (modules->second.at(qsizetype(y) * width + x))
                    path.addRect(x0 + (x + 4) * module, sheet.y() + (y + 4) * module, module, module);
            }
        }
        p->save();
        p->setRenderHint(QPainter::Antialiasing, false);
        p->fillPath(path, Qt::black);
        p->restore();
    }
    const double textX = x0 + side + Sheet::mm(4);
    const QRectF text(textX, sheet.y() + Sheet::mm(4), sheet.area().right() - textX, side - Sheet::mm(8));
    p->setFont(font(10));
    p->drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap,
        QStringLiteral("Navigation: Code mit dem Telefon scannen\nKoordinaten %1").arg(coordinates));
    sheet.advance(side);
}

// The whole page from the top, each text at most `most` lines; returns the number of pages.
int flow(Sheet& sheet, const PrintPageContent& c, const std::vector<std::unique_ptr<TextBlock>>& blocks, qsizetype most,
    const QTextLine& note, const TextBlock* water)
{
    const QRectF& a = sheet.area();
    drawHead(sheet, c);
    for (const std::unique_ptr<TextBlock>& block : blocks)
        sheet.paragraph(*block, most, note);
    sheet.advance(Sheet::mm(3));
    if (!c.position) {
        sheet.ensure(Sheet::mm(20));
        const QRectF box(a.left(), sheet.y(), a.width(), Sheet::mm(16));
        if (QPainter* p = sheet.painter()) {
            p->setFont(font(18, true));
            p->drawRect(box);
            p->drawText(box, Qt::AlignCenter, QStringLiteral("Keine Koordinaten"));
        }
        sheet.advance(box.height());
    } else {
        const double gap = Sheet::mm(6);
        const double side = std::min((a.width() - gap) / 2, Sheet::mm(90));
        const double captionHeight = Sheet::mm(5);
        sheet.ensure(captionHeight + side);
        sheet.advance(captionHeight);
        if (QPainter* p = sheet.painter()) {
            drawMap(*p, QRectF(a.left(), sheet.y(), side, side), c.overview, QStringLiteral("\u00DCbersicht"));
            drawMap(*p, QRectF(a.left() + side + gap, sheet.y(), side, side), c.detail, QStringLiteral("Detail"));
        }
        if (!water) {
            sheet.advance(side + Sheet::mm(4));
        } else {
            // The nearest water sources right under the detail map that shows their signs.
            sheet.advance(side + Sheet::mm(1.5));
            sheet.paragraph(*water, most, note);
            sheet.advance(Sheet::mm(3));
        }
        drawCode(sheet, PrintPage::geoUri(*c.position),
            QStringLiteral("%1, %2").arg(c.position->y(), 0, 'f', c.decimals).arg(c.position->x(), 0, 'f', c.decimals));
    }
    const int pages = sheet.page();
    sheet.finish();
    return pages;
}

} // namespace

namespace PrintPage {

PrintPageContent fromAlarm(
    const QStringList& fields, bool informant, bool remark, const std::optional<QStringList>& units)
{
    PrintPageContent c;
    c.keyword = field(fields, 4);
    c.extraKeyword = field(fields, 3);
    QString place = (field(fields, 5) + QLatin1Char(' ') + field(fields, 6)).trimmed();
    if (!field(fields, 10).isEmpty())
        place += QStringLiteral(" / ") + field(fields, 10);
    const QStringList alarmed = units.value_or(UnitList::split(fields.value(14)));
    c.address = (field(fields, 7) + QLatin1Char(' ') + field(fields, 8)).trimmed();
    c.place = place;
    c.rows = {
        { QStringLiteral("Objekt"), field(fields, 11) },
        { QStringLiteral("Zusatz"), field(fields, 12) },
        { QStringLiteral("Au\u00DFerorts"), field(fields, 13) },
        { QStringLiteral("Bemerkung"), remark ? field(fields, 9) : QString() },
        { QStringLiteral("Mitteiler"), informant ? field(fields, 18) : QString() },
        { QStringLiteral("Einsatzmittel"), alarmed.join(QStringLiteral(", ")) },
    };
    return c;
}

QString geoUri(QPointF position)
{
    return QStringLiteral("geo:%1,%2").arg(position.y(), 0, 'f', 6).arg(position.x(), 0, 'f', 6);
}

QByteArray render(const PrintPageContent& c)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setResolution(kResolution);
        writer.setPageLayout(QPageLayout(QPageSize(c.paper), QPageLayout::Portrait,
            QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm), QPageLayout::Millimeter));
        writer.setTitle(c.title + QStringLiteral(" ") + c.keyword);
        writer.setCreator(QStringLiteral("Kessvenn ") + c.version);

        // The keyword first, the address large under it, then the rows.
        const QRectF a = Sheet(writer, c, false).area();
        const double valueX = a.left() + Sheet::mm(30);
        std::vector<std::unique_ptr<TextBlock>> blocks;
        const auto add = [&](const QString& text, const QFont& f, double x, double after, const QString& label = {}) {
            if (!text.trimmed().isEmpty())
                blocks.push_back(
                    std::make_unique<TextBlock>(text, f, x, a.right() - x, &writer, after, label, font(10, true)));
        };
        add(c.keyword, font(26, true), a.left(), Sheet::mm(1));
        add(c.address, font(22, true), a.left(), 0);
        add(c.place, font(16, true), a.left(), Sheet::mm(1));
        add(c.extraKeyword, font(14, true), a.left(), 0);
        if (!blocks.empty())
            blocks.back()->after += Sheet::mm(3);
        for (const auto& [label, text] : c.rows)
            add(text, font(12), valueX, Sheet::mm(1.5), label);
        const double side = std::min((a.width() - Sheet::mm(6)) / 2, Sheet::mm(90));
        const std::unique_ptr<TextBlock> water = c.water.isEmpty()
            ? nullptr
            : std::make_unique<TextBlock>(
                QStringLiteral("Wasser: ") + c.water, font(10, true), a.left() + side + Sheet::mm(6), side, &writer, 0);
        QTextLayout note(CutNote, font(12, true), &writer);
        note.beginLayout();
        note.createLine().setLineWidth(a.width());
        note.endLayout();

        // As many lines of each text as the pages hold: the longest texts are cut first.
        const auto pages = [&](qsizetype most) {
            Sheet measure(writer, c, false);
            return flow(measure, c, blocks, most, note.lineAt(0), water.get());
        };
        // The water line under the detail map counts as well: a short page prints it whole.
        qsizetype most = water ? water->lines.size() : 0;
        for (const std::unique_ptr<TextBlock>& block : blocks)
            most = std::max(most, block->lines.size());
        if (pages(most) > kMostPages) {
            qsizetype fits = 1;
            for (qsizetype tooMany = most; tooMany - fits > 1;) {
                const qsizetype middle = (fits + tooMany) / 2;
                (pages(middle) > kMostPages ? tooMany : fits) = middle;
            }
            most = fits;
        }
        Sheet sheet(writer, c, true);
        flow(sheet, c, blocks, most, note.lineAt(0), water.get());
    }
    return buffer.data();
}

} // namespace PrintPage
