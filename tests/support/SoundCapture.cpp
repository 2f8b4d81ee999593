#include "tests/support/SoundCapture.h"

#include "tests/support/TestFiles.h"

#include <QDir>
#include <QFile>

SoundCapture::SoundCapture(const QString& folder)
    : m_configPath(QStringLiteral("/usr/share/alsa/alsa.conf:") + QDir(folder).filePath(QStringLiteral("alsa.conf")))
    , m_capture(QDir(folder).filePath(QStringLiteral("capture.raw")))
{
    // The plugin writes into the pipe and waits for cat when the sound is closed, so what was
    // played is in the file when the player returns.
    (void)TestFiles::writeAll(QDir(folder).filePath(QStringLiteral("alsa.conf")),
        "pcm.!default { type file; slave.pcm \"null\"; file \"|cat >> " + QFile::encodeName(m_capture)
            + "\"; format \"raw\" }\n");
    qputenv("ALSA_CONFIG_PATH", QFile::encodeName(m_configPath));
}

QByteArray SoundCapture::captured() const
{
    return TestFiles::readAll(m_capture);
}

void SoundCapture::clear() const
{
    QFile::remove(m_capture);
}
