#include "common/SafeFile.h"

#include "common/Log.h"

#include <QFileInfo>
#include <QSaveFile>

namespace {

bool cancel(QSaveFile& file, const QString& path)
{
    qCWarning(lcFiles).noquote() << "Could not write" << path << "(" + file.errorString() + "); the old file stays";
    file.cancelWriting();
    return false;
}

} // namespace

bool ReplaceFileWhole(const QString& path, const QByteArray& bytes, QFileDevice::Permissions permissions)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return cancel(file, path);
    if (permissions && !file.setPermissions(permissions))
        return cancel(file, path);
    // A short write may sit in the buffer and report success; the disk's answer comes with the
    // flush, and commit() would rename the temporary file whatever that answer was.
    if (file.write(bytes) != bytes.size() || !file.flush() || file.error() != QFileDevice::NoError)
        return cancel(file, path);
    return file.commit() || cancel(file, path);
}

bool KeepOwnerOnly(const QString& path)
{
    const QFileInfo info(path);
    if (info.isSymLink() || !info.exists())
        return true;
    const QFileDevice::Permissions wanted = info.isDir() ? kOwnerOnlyFolder : kOwnerOnlyFile;
    // Qt's user bits are the owner's on Unix; only the owner's bits are compared.
    const auto owner = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup
        | QFileDevice::WriteGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::WriteOther
        | QFileDevice::ExeOther;
    if ((info.permissions() & owner) == wanted)
        return true;
    if (QFile::setPermissions(path, wanted))
        return true;
    qCWarning(lcFiles).noquote() << "Could not make" << path << "the owner's only";
    return false;
}
