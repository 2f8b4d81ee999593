#include "log/TickerFile.h"

#include "common/CodePage.h"
#include "common/FileExists.h"
#include "common/Log.h"
#include "common/SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstring>

#if defined(Q_OS_UNIX)
#include <unistd.h>
#elif defined(Q_OS_WIN)
#include <io.h>
#endif

TickerLines::TickerLines(QByteArray bytes)
    : m_bytes(std::move(bytes))
{
    const char* const data = m_bytes.constData();
    const qsizetype size = m_bytes.size();
    qsizetype start = 0;
    while (start < size) {
        const void* found = std::memchr(data + start, '\n', static_cast<size_t>(size - start));
        const qsizetype end = found ? static_cast<const char*>(found) - data : size;
        qsizetype length = end - start;
        if (length > 0 && data[start + length - 1] == '\r')
            --length;
        if (length > 0)
            m_spans.push_back(Span { start, length });
        start = end + 1;
    }
}

QByteArrayView TickerLines::bytes(qsizetype i) const
{
    if (i < 0 || i >= size())
        return {};
    const Span& span = m_spans[static_cast<size_t>(i)];
    return QByteArrayView(m_bytes.constData() + span.start, span.length);
}

QString TickerLines::text(qsizetype i) const
{
    return CodePage::decode(bytes(i));
}

void TickerLines::append(QByteArrayView line)
{
    if (line.isEmpty())
        return;
    // The text grows by a small share rather than doubling, so that months of messages keep little
    // room spare: each one costs about its bytes, as a line read at start-up does.
    if (m_bytes.capacity() - m_bytes.size() < line.size())
        m_bytes.reserve(m_bytes.size() + line.size() + std::max<qsizetype>(64 * 1024, m_bytes.size() / 32));
    m_spans.push_back(Span { m_bytes.size(), line.size() });
    m_bytes.append(line);
}

namespace {

// Opens a file for appending without a buffer of its own: every byte written has been handed to
// the system when write() returns, so a cut-back after a failed write (a full disk) is not undone
// by a buffer that the cut-back or the close writes out later.
bool openForAppending(QFile& file, QIODevice::OpenMode mode = QIODevice::WriteOnly)
{
    return file.open(mode | QIODevice::Append | QIODevice::Unbuffered);
}

// Asks the system to put what was written to the file on the disk; false when it cannot.
bool syncToDisk(QFile& file)
{
#if defined(Q_OS_UNIX)
    return ::fsync(file.handle()) == 0;
#elif defined(Q_OS_WIN)
    return ::_commit(file.handle()) == 0;
#else
    return file.flush();
#endif
}

// Writes bytes at the end of a file opened by openForAppending whose size is `before`, all or
// nothing: a write that did not reach the file whole is cut back to the old size, so that no half
// line is left for the next one to run on in. A file that was empty is removed again, so that a
// failed write leaves no empty file behind.
bool appendWhole(QFile& file, qint64 before, const QByteArray& bytes, bool mustReachDisk)
{
    bool written = file.write(bytes) == bytes.size();
    if (written && mustReachDisk)
        written = syncToDisk(file);
    if (!written) {
        qCWarning(lcFiles).noquote() << "Could not append to" << file.fileName()
                                     << "(" + file.errorString()
                + "); the message is dropped and the file stays as it was";
        file.resize(before);
    }
    file.close();
    if (!written && before == 0)
        file.remove();
    return written;
}

// The last byte of an open file of the given size, or nothing for an empty file or one that cannot
// be read.
std::optional<char> lastByte(QFile& file, qint64 size)
{
    char last = 0;
    if (size <= 0 || !file.seek(size - 1) || !file.getChar(&last))
        return std::nullopt;
    return last;
}

} // namespace

namespace TickerFile {

std::optional<QByteArray> append(const QString& path, const QString& message)
{
    QFile file(path);
    // Lines go into the data folder's own file, never through a link into another one.
    if (path.isEmpty() || !OwnFileInsteadOfLink(path) || !openForAppending(file, QIODevice::ReadWrite))
        return std::nullopt;
    const qint64 before = file.size();
    if (before == 0)
        file.setPermissions(kOwnerOnlyFile);
    // One message is one line: a line break inside the text would cut it into two entries, the
    // second without a record, so each becomes a blank.
    QByteArray line = CodePage::encode(message);
    line.replace('\r', ' ').replace('\n', ' ');
    QByteArray bytes = line + "\r\n";
    // A file whose last line lacks its line end (cut short, or written by hand) would take the new
    // message into that line: that line is ended first.
    const std::optional<char> last = lastByte(file, before);
    if (last == '\r')
        bytes.prepend('\n');
    else if (last && *last != '\n')
        bytes.prepend("\r\n");
    if (!appendWhole(file, before, bytes, false))
        return std::nullopt;
    return line;
}

TickerLines read(const QString& path)
{
    if (!FileExists(path))
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return TickerLines(file.readAll());
}

QString archiveFileName(QDate day)
{
    return QStringLiteral("%1_%2_%3").arg(day.year()).arg(day.month()).arg(day.day());
}

bool archiveAndDelete(const QString& tickerPath, const QString& archiveFolder, QDate day)
{
    if (!FileExists(tickerPath))
        return !QFileInfo::exists(tickerPath);

    QFile ticker(tickerPath);
    if (!ticker.open(QIODevice::ReadOnly))
        return false;
    QByteArray content = ticker.readAll();
    const bool readWhole = ticker.error() == QFileDevice::NoError;
    ticker.close();
    if (!readWhole)
        return false;

    if (!content.isEmpty()) {
        // The last line may lack its line end (a file written by hand, or cut short); the next
        // day's append must not run on in it.
        if (content.endsWith('\r'))
            content.append('\n');
        else if (!content.endsWith('\n'))
            content.append("\r\n");
        if (!QFileInfo(archiveFolder).isDir())
            QDir().mkdir(archiveFolder);
        QFile archive(QDir(archiveFolder).filePath(archiveFileName(day)));
        if (!openForAppending(archive))
            return false;
        if (archive.size() == 0)
            archive.setPermissions(kOwnerOnlyFile);
        // The ticker file goes only once its lines are on the disk in the archive.
        if (!appendWhole(archive, archive.size(), content, true))
            return false;
    }
    return QFile::remove(tickerPath);
}

} // namespace TickerFile
