#include "common/SafeFile.h"

#include <QSaveFile>

bool ReplaceFileWhole(const QString& path, const QByteArray& bytes, QFileDevice::Permissions permissions)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (permissions && !file.setPermissions(permissions)) {
        file.cancelWriting();
        return false;
    }
    // A short write may sit in the buffer and report success; the disk's answer comes with the
    // flush, and commit() would rename the temporary file whatever that answer was.
    if (file.write(bytes) != bytes.size() || !file.flush() || file.error() != QFileDevice::NoError) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
