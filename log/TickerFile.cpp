#include "log/TickerFile.h"

#include "common/CodePage.h"
#include "common/FileExists.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstring>

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
            m_spans.push_back(Span{start, length});
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

namespace {

// Writes bytes at the end of an open file, all or nothing: a failed write (a full disk) takes back
// what it got out, so that no half line is left for the next one to run on in.
bool appendWhole(QFile& file, const QByteArray& bytes)
{
    const qint64 before = file.size();
    const bool written = file.write(bytes) == bytes.size() && file.flush();
    if (!written)
        file.resize(before);
    file.close();
    return written;
}

// True for an empty or missing file and for one whose last byte is LF.
bool endsWithLineEnd(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() == 0)
        return true;
    char last = '\n';
    return !file.seek(file.size() - 1) || !file.getChar(&last) || last == '\n';
}

} // namespace

namespace TickerFile {

bool append(const QString& path, const QString& message)
{
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    // One message is one line: a line break inside the text would cut it into two entries, the
    // second without a record, so each becomes a blank.
    QByteArray line = CodePage::encode(message);
    line.replace('\r', ' ').replace('\n', ' ');
    line.append("\r\n");
    // A file whose last line lacks its line end (cut short, or written by hand) would take the new
    // message into that line: the message starts a line of its own.
    if (!endsWithLineEnd(path))
        line.prepend("\r\n");
    return appendWhole(file, line);
}

TickerLines read(const QString& path)
{
    if (FileExists(path) != 1)
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
    if (FileExists(tickerPath) != 1)
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
        if (!content.endsWith('\n'))
            content.append("\r\n");
        if (!QFileInfo(archiveFolder).isDir())
            QDir().mkdir(archiveFolder);
        QFile archive(QDir(archiveFolder).filePath(archiveFileName(day)));
        if (!archive.open(QIODevice::WriteOnly | QIODevice::Append))
            return false;
        if (!appendWhole(archive, content))
            return false;
    }
    return QFile::remove(tickerPath);
}

} // namespace TickerFile
