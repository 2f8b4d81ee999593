#include "common/SafeFile.h"

#include "common/Log.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool cancel(const QString& path, int error, const QByteArray& temporary = {})
{
    qCWarning(lcFiles).noquote() << "Could not write"
                                 << (path.isEmpty() ? QStringLiteral("a file without a name") : path)
                                 << "(" + QString::fromLocal8Bit(std::strerror(error)) + "); the old file stays";
    if (!temporary.isEmpty())
        ::unlink(temporary.constData());
    return false;
}

mode_t modeOf(QFileDevice::Permissions permissions)
{
    mode_t mode = 0;
    const std::pair<QFileDevice::Permission, mode_t> bits[] = { { QFileDevice::ReadOwner, S_IRUSR },
        { QFileDevice::WriteOwner, S_IWUSR }, { QFileDevice::ExeOwner, S_IXUSR }, { QFileDevice::ReadGroup, S_IRGRP },
        { QFileDevice::WriteGroup, S_IWGRP }, { QFileDevice::ExeGroup, S_IXGRP }, { QFileDevice::ReadOther, S_IROTH },
        { QFileDevice::WriteOther, S_IWOTH }, { QFileDevice::ExeOther, S_IXOTH } };
    for (const auto& [permission, bit] : bits)
        mode |= permissions.testFlag(permission) ? bit : 0;
    return mode;
}

} // namespace

bool ReplaceFileWhole(const QString& path, const QByteArray& bytes, QFileDevice::Permissions permissions)
{
    if (path.isEmpty())
        return cancel(path, ENOENT);
    const QByteArray name = QFile::encodeName(path);
    struct stat old { };
    const bool link = ::lstat(name.constData(), &old) == 0 && S_ISLNK(old.st_mode);
    const bool oldFile = ::stat(name.constData(), &old) == 0 && S_ISREG(old.st_mode);
    // The temporary file beside the path itself, not beside a link's target: the rename then takes
    // the link's place.
    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = name + ".new" + QByteArray::number(::getpid()) + '-' + QByteArray::number(attempt);
        fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return cancel(path, errno);
    }
    if (fd < 0)
        return cancel(path, EEXIST);
    const auto fail = [&](int error) {
        ::close(fd);
        return cancel(path, error, temporary);
    };
    if (permissions ? ::fchmod(fd, modeOf(permissions)) != 0 : oldFile && ::fchmod(fd, old.st_mode & 07777) != 0)
        return fail(errno);
    // A short write is repeated; the disk's answer (a full disk among them) comes at the latest
    // with the sync, before the rename.
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return fail(n < 0 ? errno : ENOSPC);
        done += n;
    }
    if (::fsync(fd) != 0)
        return fail(errno);
    if (::close(fd) != 0)
        return cancel(path, errno, temporary);
    if (::rename(temporary.constData(), name.constData()) != 0)
        return cancel(path, errno, temporary);
    if (link)
        qCWarning(lcFiles).noquote() << path << "was a symbolic link; a file of its own has taken its place";
    return true;
}

bool OwnFileInsteadOfLink(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isSymLink())
        return true;
    QByteArray held;
    if (QFileInfo(info.symLinkTarget()).isFile()) {
        QFile target(path);
        if (target.open(QIODevice::ReadOnly))
            held = target.readAll();
    }
    return ReplaceFileWhole(path, held, kOwnerOnlyFile);
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
