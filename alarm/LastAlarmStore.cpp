#include "alarm/LastAlarmStore.h"

#include "common/CodePage.h"
#include "common/FileExists.h"
#include "common/Log.h"
#include "common/SafeFile.h"

#include <QDebug>
#include <QFile>

namespace LastAlarmStore {

namespace {

constexpr int kStoredFields = 18;
const QString kLineBreak = QStringLiteral("\r\n");
const QString kStoredBreak = QStringLiteral("<CR>");

} // namespace

QByteArray bytes(const QStringList& fields)
{
    QString text;
    const qsizetype count = std::min<qsizetype>(fields.size(), kStoredFields);
    for (qsizetype i = 0; i < count; ++i) {
        QString field = fields.at(i);
        field.replace(kLineBreak, kStoredBreak);
        text += field + kLineBreak;
    }
    return CodePage::encode(text);
}

bool store(const QString& path, const QStringList& fields)
{
    return storeBytes(path, bytes(fields));
}

bool storeBytes(const QString& path, const QByteArray& content)
{
    if (ReplaceFileWhole(path, content, kOwnerOnlyFile))
        return true;
    qCWarning(lcFiles).noquote() << "Last alarm could not be stored in" << path << "; the previous file stays";
    return false;
}

QString messageFromBytes(const QByteArray& content)
{
    const QString text = CodePage::decode(content);
    QString message;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf(QLatin1Char('\n'), start);
        const bool lineEnd = end >= 0;
        if (!lineEnd)
            end = text.size();
        QString line = text.mid(start, end - start);
        // One CR before the LF belongs to the line end; a CR inside the field stays.
        if (lineEnd && line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        line.replace(kStoredBreak, kLineBreak);
        message += line + QChar(9);
        start = end + 1;
    }
    return message;
}

std::optional<QString> read(const QString& path)
{
    if (!FileExists(path))
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return messageFromBytes(file.readAll());
}

} // namespace LastAlarmStore
