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

// Paper filled from the top down; a block that does not fit goes on a new page.
class Sheet {
public:
    Sheet(QPdfWriter& writer, const PrintPageContent& content)
        : m_writer(writer)
        , m_content(content)
        , m_painter(&writer)
    {
        // The painter's origin is the top-left corner inside the margins.
        m_area = QRectF(QPointF(0, 0), writer.pageLayout().paintRectPixels(kResolution).size());
        m_footTop = m_area.bottom() - mm(7);
        m_y = m_area.top();
    }

    [[nodiscard]] static double mm(double millimetres) { return millimetres * kResolution / 25.4; }
    [[nodiscard]] const QRectF& area() const { return m_area; }
    [[nodiscard]] QPainter& painter() { return m_painter; }
    [[nodiscard]] double y() const { return m_y; }
    void advance(double height) { m_y += height; }

    void ensure(double height)
    {
        if (m_y + height > m_footTop && m_y > m_area.top()) {
            drawFoot();
            m_writer.newPage();
            ++m_page;
            m_y = m_area.top();
        }
    }

    // Wrapped text, every line break of the text kept; `label`, when given, goes beside its first
    // line in the left column.
    void paragraph(const QString& text, const QFont& f, double x, double width, const QString& label = {},
        const QFont& labelFont = {})
    {
        bool first = true;
        const QStringList lines = text.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
        for (const QString& part : lines) {
            QTextLayout layout(part.isEmpty() ? QStringLiteral(" ") : part, f, &m_writer);
            QTextOption option;
            option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
            layout.setTextOption(option);
            layout.beginLayout();
            for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine())
                line.setLineWidth(width);
            layout.endLayout();
            for (int i = 0; i < layout.lineCount(); ++i) {
                const QTextLine line = layout.lineAt(i);
                ensure(line.height());
                line.draw(&m_painter, QPointF(x, m_y - line.y()));
                if (first && !label.isEmpty()) {
                    m_painter.setFont(labelFont);
                    m_painter.drawText(QRectF(m_area.left(), m_y, x - m_area.left(), line.height()),
                        Qt::AlignLeft | Qt::AlignVCenter, label);
                }
                first = false;
                m_y += line.height();
            }
        }
    }

    void finish()
    {
        drawFoot();
        m_painter.end();
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
    QPainter& p = sheet.painter();
    const QRectF& a = sheet.area();
    const double height = Sheet::mm(13);
    p.setFont(font(20, true));
    p.drawText(QRectF(a.left(), sheet.y(), a.width(), height), Qt::AlignLeft | Qt::AlignVCenter, c.title);
    p.setFont(font(10));
    p.drawText(QRectF(a.left(), sheet.y(), a.width(), height / 2), Qt::AlignRight | Qt::AlignVCenter, c.monitorName);
    p.drawText(QRectF(a.left(), sheet.y() + height / 2, a.width(), height / 2), Qt::AlignRight | Qt::AlignVCenter,
        QStringLiteral("Alarm %1").arg(c.alarmTime.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"))));
    sheet.advance(height + Sheet::mm(1));
    p.setPen(QPen(Qt::black, Sheet::mm(0.5)));
    p.drawLine(QPointF(a.left(), sheet.y()), QPointF(a.right(), sheet.y()));
    p.setPen(Qt::black);
    sheet.advance(Sheet::mm(3));
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
    const std::optional<std::pair<int, QList<bool>>> modules = qrModules(uri);
    const double side = Sheet::mm(std::min(34.0, sheet.area().width() / kResolution * 25.4 / 4));
    sheet.ensure(side);
    QPainter& p = sheet.painter();
    const double x0 = sheet.area().left();
    if (modules) {
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
        p.save();
        p.setRenderHint(QPainter::Antialiasing, false);
        p.fillPath(path, Qt::black);
        p.restore();
    }
    const double textX = x0 + side + Sheet::mm(4);
    const QRectF text(textX, sheet.y() + Sheet::mm(4), sheet.area().right() - textX, side - Sheet::mm(8));
    p.setFont(font(10));
    p.drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap,
        QStringLiteral("Navigation: Code mit dem Telefon scannen\n%1\n%2").arg(uri, coordinates));
    sheet.advance(side);
}

} // namespace

namespace PrintPage {

PrintPageContent fromAlarm(const QStringList& fields, bool informant, const std::optional<QStringList>& units)
{
    PrintPageContent c;
    c.keyword = field(fields, 4);
    c.extraKeyword = field(fields, 3);
    QString place = (field(fields, 5) + QLatin1Char(' ') + field(fields, 6)).trimmed();
    if (!field(fields, 10).isEmpty())
        place += QStringLiteral(" / ") + field(fields, 10);
    const QStringList alarmed = units.value_or(UnitList::split(fields.value(14)));
    c.rows = {
        { QStringLiteral("Adresse"), (field(fields, 7) + QLatin1Char(' ') + field(fields, 8)).trimmed() },
        { QStringLiteral("Ort"), place },
        { QStringLiteral("Objekt"), field(fields, 11) },
        { QStringLiteral("Zusatz"), field(fields, 12) },
        { QStringLiteral("Au\u00DFerorts"), field(fields, 13) },
        { QStringLiteral("Bemerkung"), field(fields, 9) },
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
        Sheet sheet(writer, c);
        const QRectF& a = sheet.area();
        drawHead(sheet, c);
        sheet.paragraph(c.keyword, font(26, true), a.left(), a.width());
        if (!c.extraKeyword.isEmpty())
            sheet.paragraph(c.extraKeyword, font(16, true), a.left(), a.width());
        sheet.advance(Sheet::mm(3));

        const double valueX = a.left() + Sheet::mm(30);
        QList<QPair<QString, QString>> rows = c.rows;
        if (c.position)
            rows.append({ QStringLiteral("Koordinaten"),
                QStringLiteral("%1, %2").arg(c.position->y(), 0, 'f', 6).arg(c.position->x(), 0, 'f', 6) });
        for (const auto& [label, text] : std::as_const(rows)) {
            if (text.trimmed().isEmpty())
                continue;
            sheet.paragraph(text, font(12), valueX, a.right() - valueX, label, font(10, true));
            sheet.advance(Sheet::mm(1.5));
        }
        sheet.advance(Sheet::mm(3));

        if (!c.position) {
            sheet.ensure(Sheet::mm(20));
            const QRectF box(a.left(), sheet.y(), a.width(), Sheet::mm(16));
            sheet.painter().setFont(font(18, true));
            sheet.painter().drawRect(box);
            sheet.painter().drawText(box, Qt::AlignCenter, QStringLiteral("Keine Koordinaten"));
            sheet.advance(box.height());
        } else {
            const double gap = Sheet::mm(6);
            const double side = std::min((a.width() - gap) / 2, Sheet::mm(90));
            const double captionHeight = Sheet::mm(5);
            sheet.ensure(captionHeight + side);
            sheet.advance(captionHeight);
            QPainter& p = sheet.painter();
            drawMap(p, QRectF(a.left(), sheet.y(), side, side), c.overview, QStringLiteral("\u00DCbersicht"));
            drawMap(p, QRectF(a.left() + side + gap, sheet.y(), side, side), c.detail, QStringLiteral("Detail"));
            if (c.water.isEmpty()) {
                sheet.advance(side + Sheet::mm(4));
            } else {
                // The nearest water sources right under the detail map that shows their signs.
                sheet.advance(side + Sheet::mm(1.5));
                sheet.paragraph(QStringLiteral("Wasser: ") + c.water, font(10, true), a.left() + side + gap, side);
                sheet.advance(Sheet::mm(3));
            }
            drawCode(sheet, geoUri(*c.position),
                QStringLiteral("%1, %2").arg(c.position->y(), 0, 'f', 6).arg(c.position->x(), 0, 'f', 6));
        }
        sheet.finish();
    }
    return buffer.data();
}

} // namespace PrintPage
