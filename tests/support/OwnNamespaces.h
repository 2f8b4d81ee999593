#pragma once

#include <QFile>
#include <QString>

#include <cstdlib>
#include <sched.h>
#include <sys/mount.h>

// A small file system (64 KiB unless told) on `folder`, mounted in a mount namespace of this thread alone, for the
// full-disk cases; unmounted again at the end of the scope. Needs root: mounted() says whether it
// could be had.
class SmallDisk {
public:
    explicit SmallDisk(const QString& folder, int kib = 64)
        : m_folder(QFile::encodeName(folder))
    {
        const QByteArray size = "size=" + QByteArray::number(kib) + 'k';
        m_mounted = ::unshare(CLONE_NEWNS) == 0 && ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0
            && ::mount("tmpfs", m_folder.constData(), "tmpfs", 0, size.constData()) == 0;
    }
    ~SmallDisk()
    {
        if (m_mounted)
            ::umount2(m_folder.constData(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    [[nodiscard]] bool mounted() const { return m_mounted; }
    // Writes the file "filler" on the small disk until nothing more fits; its path. Nothing is
    // written where the disk could not be mounted.
    QString fill() const
    {
        const QString path = QFile::decodeName(m_folder) + QStringLiteral("/filler");
        QFile filler(path);
        if (m_mounted && filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            while (filler.write(QByteArray(512, 'f')) == 512) { }
        return path;
    }

private:
    QByteArray m_folder;
    bool m_mounted = false;
};

// Moves this process into a network namespace of its own with its loopback up, so that port 4750
// there is the test's alone. Call first in main(), before any thread starts. Needs root.
[[nodiscard]] inline bool EnterOwnNetwork()
{
    return ::unshare(CLONE_NEWNET) == 0 && std::system("ip link set lo up") == 0;
}
