#include "crew/CrewFile.h"

#include <algorithm>

#include "common/CodePage.h"
#include "common/Log.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

namespace {

// Which UTF-16 the bytes are by their NUL bytes, as a spreadsheet writes "Unicode text" without
// a byte order mark: in text of Latin letters every other byte is NUL.
std::optional<QStringConverter::Encoding> utf16ByNuls(QByteArrayView bytes)
{
    const qsizetype n = std::min<qsizetype>(bytes.size(), 512) & ~qsizetype(1);
    if (n < 4)
        return std::nullopt;
    qsizetype evenNuls = 0, oddNuls = 0;
    for (qsizetype i = 0; i < n; i += 2) {
        evenNuls += bytes[i] == '\0';
        oddNuls += bytes[i + 1] == '\0';
    }
    const qsizetype pairs = n / 2;
    if (oddNuls * 2 > pairs && evenNuls * 10 < pairs)
        return QStringConverter::Utf16LE;
    if (evenNuls * 2 > pairs && oddNuls * 10 < pairs)
        return QStringConverter::Utf16BE;
    return std::nullopt;
}

// The text of the whole file: UTF-16 by its byte order mark or its NUL bytes; UTF-8 when the bytes
// are valid UTF-8, else Windows-1252.
QString decodeWhole(QByteArrayView bytes)
{
    std::optional<QStringConverter::Encoding> utf16;
    if (bytes.startsWith("\xFF\xFE"))
        utf16 = QStringConverter::Utf16LE, bytes = bytes.sliced(2);
    else if (bytes.startsWith("\xFE\xFF"))
        utf16 = QStringConverter::Utf16BE, bytes = bytes.sliced(2);
    else
        utf16 = utf16ByNuls(bytes);
    if (utf16) {
        QStringDecoder decoder(*utf16);
        return decoder.decode(bytes);
    }
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3);
    return CodePage::decodeWritten(bytes);
}

// The qualifications: words between blanks and commas.
QStringList words(QStringView text)
{
    QStringList found;
    qsizetype start = -1;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        const bool gap = i == text.size() || text[i].isSpace() || text[i] == QLatin1Char(',');
        if (gap && start >= 0)
            found << text.sliced(start, i - start).toString(), start = -1;
        else if (!gap && start < 0)
            start = i;
    }
    return found;
}

// The header row's separator: whichever of ';', tab and ',' it holds most of, in that order when
// as many; none when it holds none.
std::optional<QChar> separatorOf(QStringView header)
{
    std::optional<QChar> best;
    qsizetype most = 0;
    for (const QChar c : { QLatin1Char(';'), QLatin1Char('\t'), QLatin1Char(',') }) {
        if (const qsizetype n = header.count(c); n > most)
            best = c, most = n;
    }
    return best;
}

// The fields of one record; nothing when a quote is left open.
std::optional<QStringList> splitRecord(QStringView line, QChar separator)
{
    QStringList fields;
    QString field;
    bool quoted = false;
    bool wasQuoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted) {
            if (c != QLatin1Char('"'))
                field += c;
            else if (i + 1 < line.size() && line[i + 1] == QLatin1Char('"'))
                field += line[++i];
            else
                quoted = false;
        } else if (c == QLatin1Char('"') && field.trimmed().isEmpty() && !wasQuoted) {
            field.clear();
            quoted = wasQuoted = true;
        } else if (c == separator) {
            fields << (wasQuoted ? field : field.trimmed());
            field.clear();
            wasQuoted = false;
        } else if (!wasQuoted || !c.isSpace()) {
            field += c;
        }
    }
    if (quoted)
        return std::nullopt;
    fields << (wasQuoted ? field : field.trimmed());
    return fields;
}

} // namespace

CrewFile CrewFile::parse(QByteArrayView bytes, const QString& source)
{
    CrewFile file;
    file.m_warnings = FileWarnings(source);
    file.m_absent = false;
    const QString text = decodeWhole(bytes);
    const QList<QStringView> lines = QStringView(text).split(QLatin1Char('\n'));
    std::optional<QChar> separator;
    for (int i = 0; i < lines.size(); ++i) {
        QStringView line = lines[i];
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        const int number = i + 1;
        if (line.trimmed().isEmpty())
            continue;
        if (!separator) {
            separator = separatorOf(line);
            if (!separator) {
                separator = QLatin1Char(';');
                file.m_warnings.warn(number, QStringLiteral("the header row has no ';', tab or ','; ';' is assumed"));
            }
            continue;
        }
        const std::optional<QStringList> fields = splitRecord(line, *separator);
        if (!fields) {
            file.m_warnings.warn(number, QStringLiteral("a quote is not closed; the line is ignored"));
            continue;
        }
        if (fields->size() < 3) {
            file.m_warnings.warn(number, QStringLiteral("fewer than 3 fields; the line is ignored"));
            continue;
        }
        Member member { fields->at(0), fields->at(1), words(fields->at(2)) };
        if (member.pagerId.isEmpty()) {
            file.m_warnings.warn(number, QStringLiteral("no pager id; the line is ignored"));
            continue;
        }
        if (file.m_members.contains(member.pagerId))
            file.m_warnings.warn(number, QStringLiteral("pager id %1 again; this line counts").arg(member.pagerId));
        file.m_members.insert(member.pagerId, member);
    }
    file.m_warnings.finish();
    return file;
}

QList<CrewFile::Member> CrewFile::members() const
{
    QList<Member> members = m_members.values();
    std::ranges::sort(members, {}, &Member::pagerId);
    return members;
}

CrewFile CrewFile::read(const QString& path)
{
    QByteArray digest;
    return *readChanged(path, digest);
}

std::optional<CrewFile> CrewFile::readChanged(const QString& path, QByteArray& digest)
{
    CrewFile file;
    file.m_warnings = FileWarnings(path);
    const QFileInfo info(path);
    const auto unchanged = [&digest](const QByteArray& now) {
        const bool same = !digest.isEmpty() && digest == now;
        digest = now;
        return same;
    };
    if (!info.exists())
        return unchanged("absent") ? std::nullopt : std::optional(file);
    file.m_absent = false;
    QFile f(path);
    if (!info.isFile() || info.size() > kMostBytes) {
        if (unchanged("too large " + QByteArray::number(info.size())))
            return std::nullopt;
        file.m_warnings.warn(0, QStringLiteral("no regular file of at most %1 bytes; not read").arg(kMostBytes));
        return file;
    }
    if (!f.open(QIODevice::ReadOnly)) {
        if (unchanged("unreadable"))
            return std::nullopt;
        file.m_warnings.warn(0, QStringLiteral("cannot be read: ") + f.errorString());
        return file;
    }
    const QByteArray bytes = f.read(kMostBytes);
    if (unchanged(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1)))
        return std::nullopt;
    return parse(bytes, path);
}

const CrewFile::Member* CrewFile::find(const QString& pagerId) const
{
    const auto it = m_members.constFind(pagerId);
    return it == m_members.cend() ? nullptr : &*it;
}
