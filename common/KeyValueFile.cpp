#include "common/KeyValueFile.h"

#include "common/CodePage.h"
#include "common/Log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// The value without a comment: from a '#' after a blank, outside double quotes.
QStringView withoutComment(QStringView value)
{
    bool quoted = false;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == QLatin1Char('"'))
            quoted = !quoted;
        else if (value[i] == QLatin1Char('#') && !quoted && i > 0 && value[i - 1].isSpace())
            return value.left(i);
    }
    return value;
}

} // namespace

KeyValueFile KeyValueFile::parse(QByteArrayView bytes, const QString& source, const QStringList& known)
{
    KeyValueFile file;
    file.m_source = source;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3);
    int number = 0;
    for (qsizetype start = 0; start < bytes.size();) {
        qsizetype end = bytes.indexOf('\n', start);
        if (end < 0)
            end = bytes.size();
        const QByteArrayView raw = bytes.sliced(start, end - start);
        start = end + 1;
        ++number;

        bool utf8 = true;
        const QString text = CodePage::decodeWritten(raw, &utf8);
        if (!utf8)
            file.warn(number, QStringLiteral("not UTF-8; read as Windows-1252"));
        const QStringView line = QStringView(text).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')) || line.startsWith(QLatin1Char(';')))
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0) {
            file.warn(number, QStringLiteral("no key=value; the line is ignored"));
            continue;
        }
        const QString name = line.left(eq).trimmed().toString().toLower();
        if (!known.contains(name)) {
            file.warn(number, QStringLiteral("unknown key \"%1\"; the line is ignored").arg(name));
            continue;
        }
        file.m_entries.append({ name, withoutComment(line.mid(eq + 1)).trimmed().toString(), number });
    }
    return file;
}

KeyValueFile KeyValueFile::read(const QString& dataFolder, const QString& fileName, const QStringList& known)
{
    if (dataFolder.isEmpty())
        return {};
    const QString path = dataFolder + QDir::separator() + fileName;
    const QFileInfo info(path);
    if (!info.exists())
        return {};
    KeyValueFile none;
    none.m_source = path;
    none.m_unread = true;
    if (!info.isFile()) {
        none.warn(0, QStringLiteral("no regular file; not read"));
        return none;
    }
    if (info.size() > kMostBytes) {
        none.warn(0, QStringLiteral("larger than %1 bytes; not read").arg(kMostBytes));
        return none;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        none.warn(0, QStringLiteral("cannot be read: ") + file.errorString());
        return none;
    }
    return parse(file.read(kMostBytes), path, known);
}

void KeyValueFile::unusable(const Entry& entry, const QString& expected) const
{
    warn(entry.line, QStringLiteral("%1=%2 is not used (%3 expected)").arg(entry.name, entry.value, expected));
}

void KeyValueFile::warn(int line, const QString& problem) const
{
    if (line > 0)
        qCWarning(lcFiles).noquote() << m_source + QStringLiteral(" line ") + QString::number(line)
                + QStringLiteral(":") << problem;
    else
        qCWarning(lcFiles).noquote() << m_source + QStringLiteral(":") << problem;
}
