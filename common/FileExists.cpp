#include "common/FileExists.h"

#include <QFile>
#include <QFileInfo>

qint16 FileExists(const QString& path)
{
    if (path.isEmpty() || path.contains(QChar(0)))
        return 0;
    if (QFileInfo(path).isDir())
        return 0;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    file.close();
    return 1;
}
