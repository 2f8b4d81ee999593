#include "crew/CrewFile.h"

#include "common/CodePage.h"
#include "common/Log.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

// The text of the whole file: UTF-8 when the bytes are valid UTF-8, else Windows-1252.
QString decodeWhole(QByteArrayView bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3);
    return CodePage::decodeWritten(bytes);
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
    file.m_source = source;
    file.m_absent = false;
    const QString text = decodeWhole(bytes);
    const QList<QStringView> lines = QStringView(text).split(QLatin1Char('\n'));
    std::optional<QChar> separator;
    static const QRegularExpression wordGap(QStringLiteral("[\\s,]+"));
    for (int i = 0; i < lines.size(); ++i) {
        QStringView line = lines[i];
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        const int number = i + 1;
        if (line.trimmed().isEmpty())
            continue;
        if (!separator) {
            // The header row: whichever separator it holds more of.
            separator
                = line.count(QLatin1Char(';')) >= line.count(QLatin1Char(',')) ? QLatin1Char(';') : QLatin1Char(',');
            if (!line.contains(*separator))
                file.warn(number, QStringLiteral("the header row has neither ';' nor ','; ';' is assumed"));
            continue;
        }
        const std::optional<QStringList> fields = splitRecord(line, *separator);
        if (!fields) {
            file.warn(number, QStringLiteral("a quote is not closed; the line is ignored"));
            continue;
        }
        if (fields->size() < 3) {
            file.warn(number, QStringLiteral("fewer than 3 fields; the line is ignored"));
            continue;
        }
        Member member { fields->at(0), fields->at(1), fields->at(2).split(wordGap, Qt::SkipEmptyParts) };
        if (member.pagerId.isEmpty()) {
            file.warn(number, QStringLiteral("no pager id; the line is ignored"));
            continue;
        }
        if (file.m_members.contains(member.pagerId))
            file.warn(number, QStringLiteral("pager id %1 again; this line counts").arg(member.pagerId));
        file.m_members.insert(member.pagerId, member);
    }
    return file;
}

CrewFile CrewFile::read(const QString& path)
{
    CrewFile file;
    file.m_source = path;
    const QFileInfo info(path);
    if (!info.exists())
        return file;
    file.m_absent = false;
    if (!info.isFile() || info.size() > kMostBytes) {
        file.warn(0, QStringLiteral("no regular file of at most %1 bytes; not read").arg(kMostBytes));
        return file;
    }
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        file.warn(0, QStringLiteral("cannot be read: ") + f.errorString());
        return file;
    }
    return parse(f.read(kMostBytes), path);
}

const CrewFile::Member* CrewFile::find(const QString& pagerId) const
{
    const auto it = m_members.constFind(pagerId);
    return it == m_members.cend() ? nullptr : &*it;
}

void CrewFile::warn(int line, const QString& problem)
{
    const QString where = line > 0 ? m_source + QStringLiteral(" line ") + QString::number(line) : m_source;
    m_warnings << where + QStringLiteral(": ") + problem;
    qCWarning(lcFiles).noquote() << m_warnings.last();
}
