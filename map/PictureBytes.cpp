#include "map/PictureBytes.h"

#include <QBuffer>
#include <QImageReader>

QByteArray PictureBytes::format(const QByteArray& bytes)
{
    if (bytes.startsWith("\x89PNG\r\n\x1A\n"))
        return QByteArrayLiteral("png");
    if (bytes.startsWith("\xFF\xD8\xFF"))
        return QByteArrayLiteral("jpeg");
    static const bool webp = QImageReader::supportedImageFormats().contains("webp");
    if (webp && bytes.size() >= 12 && bytes.startsWith("RIFF") && bytes.mid(8, 4) == "WEBP")
        return QByteArrayLiteral("webp");
    return {};
}

QImage PictureBytes::decode(const QByteArray& bytes, int maxSide)
{
    const QByteArray kind = format(bytes);
    if (kind.isEmpty())
        return {};
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, kind);
    reader.setAutoDetectImageFormat(false);
    reader.setDecideFormatFromContent(false);
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > maxSide || size.height() > maxSide)
        return {};
    return reader.read();
}
