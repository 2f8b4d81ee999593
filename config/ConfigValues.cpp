#include "config/ConfigValues.h"

#include "common/CodePage.h"
#include "common/GeoPoint.h"
#include "common/NumberText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QPointF>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

// A configuration file is a few lines; anything larger is not read at all.
constexpr qint64 kMostBytes = 1024 * 1024;
constexpr int kSettingsLines = 27;

QString number(double n)
{
    return QString::number(n, 'g', 12);
}

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

// A name or path may be quoted to keep a '#' or blanks at its ends.
QString unquoted(const QString& value)
{
    return value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"') ? value.mid(1, value.size() - 2) : value;
}

bool hasControl(const QString& text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.category() == QChar::Other_Control; });
}

bool isAddress(const QString& value)
{
    const QUrl url(value);
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
        && !url.host().isEmpty();
}

QString rangeText(const ConfigKey& schemaKey)
{
    return (schemaKey.lowestExcluded ? QStringLiteral("above %1 up to %2") : QStringLiteral("from %1 to %2"))
        .arg(number(schemaKey.lowest), number(schemaKey.highest));
}

// The typed value of a text, or what is wrong with it.
std::optional<QVariant> typed(const ConfigKey& schemaKey, const QString& text, QString* what)
{
    const auto wrong = [&](const QString& why) -> std::optional<QVariant> {
        *what = QStringLiteral("\"%1\" %2").arg(text, why);
        return std::nullopt;
    };
    const auto inRange = [&](double n) {
        return std::isfinite(n) && (schemaKey.lowestExcluded ? n > schemaKey.lowest : n >= schemaKey.lowest)
            && n <= schemaKey.highest;
    };
    switch (schemaKey.type) {
    case KeyType::Flag: {
        bool ok = false;
        const int n = text.toInt(&ok);
        if (!ok || (n != 0 && n != 1))
            return wrong(QStringLiteral("is not 0 or 1"));
        return QVariant(n == 1);
    }
    case KeyType::Whole: {
        bool ok = false;
        const double n = text.toDouble(&ok);
        if (!ok || !inRange(n) || n != std::floor(n))
            return wrong(QStringLiteral("is not a whole number ") + rangeText(schemaKey));
        return QVariant(int(n));
    }
    case KeyType::Decimal:
    case KeyType::TimeSpan: {
        bool ok = false;
        const double n = text.toDouble(&ok);
        if (!ok || !inRange(n))
            return wrong(QStringLiteral("is not a number ") + rangeText(schemaKey));
        return QVariant(n);
    }
    case KeyType::Choice: {
        const QString word = text.toLower();
        if (!schemaKey.choices.contains(word))
            return wrong(QStringLiteral("is not one of ") + schemaKey.choices.join(QStringLiteral(", ")));
        return QVariant(word);
    }
    case KeyType::Url: {
        if (text.isEmpty() || isAddress(text))
            return QVariant(text);
        if (schemaKey.choices.contains(text.toLower()))
            return QVariant(text.toLower());
        QString expected = QStringLiteral("is not an http:// or https:// address");
        for (const QString& word : schemaKey.choices)
            expected += QStringLiteral(" or ") + word;
        return wrong(expected);
    }
    case KeyType::Coordinates: {
        const std::optional<GeoPoint> point = GeoPoint::parse(text);
        if (!point)
            return wrong(QStringLiteral("is not latitude,longitude"));
        return QVariant(point->toPointF());
    }
    case KeyType::Command: {
        // Split as a command line is, so a quoted argument keeps its blanks and its '#'.
        const QStringList command = QProcess::splitCommand(text);
        if (command.isEmpty())
            return wrong(QStringLiteral("names no program"));
        return QVariant(command);
    }
    case KeyType::Words: {
        static const QRegularExpression gap(QStringLiteral("[\\s,]+"));
        return QVariant(text.split(gap, Qt::SkipEmptyParts));
    }
    case KeyType::Text:
    case KeyType::Path:
    case KeyType::Secret: {
        const QString value = unquoted(text);
        // A control character would garble the screen or the path.
        if (hasControl(value))
            return wrong(QStringLiteral("holds a control character"));
        return QVariant(value);
    }
    }
    return std::nullopt;
}

// The value of a default; a flag or number without a default has none (a null QVariant).
QVariant defaultValue(const ConfigKey& schemaKey)
{
    QString what;
    return typed(schemaKey, schemaKey.defaultText, &what).value_or(QVariant());
}

// What is used instead of a value that cannot be used.
QString insteadText(const ConfigKey& schemaKey)
{
    const QString used = schemaKey.badText.isEmpty() ? schemaKey.defaultText : schemaKey.badText;
    if (!schemaKey.insteadNote.isEmpty())
        return schemaKey.keepBad || schemaKey.badText.isEmpty()
            ? schemaKey.insteadNote
            : used + QStringLiteral(" is used: ") + schemaKey.insteadNote;
    return used.isEmpty() ? QStringLiteral("none is used") : used + QStringLiteral(" is used");
}

// Whether an empty value in a key=value file stands for the key's default, not for a value.
bool emptyMeansDefault(const ConfigKey& schemaKey)
{
    switch (schemaKey.type) {
    case KeyType::Choice:
    case KeyType::Url:
    case KeyType::Text:
        return !schemaKey.defaultText.isEmpty();
    default:
        return false;
    }
}

// One line of a key=value file as read: the key, and where its value stands in the line's text.
struct KeyLine {
    QString key;
    QString value;
    qsizetype valueStart = 0;
    qsizetype valueEnd = 0;
};

std::optional<KeyLine> keyLine(const QString& text)
{
    const QStringView line = QStringView(text).trimmed();
    if (line.isEmpty() || line.startsWith(QLatin1Char('#')) || line.startsWith(QLatin1Char(';')))
        return std::nullopt;
    const qsizetype eq = text.indexOf(QLatin1Char('='));
    if (eq < 0)
        return KeyLine {};
    KeyLine out;
    out.key = QStringView(text).left(eq).trimmed().toString().toLower();
    qsizetype start = eq + 1;
    while (start < text.size() && text[start].isSpace())
        ++start;
    const QStringView rest = withoutComment(QStringView(text).mid(start)).trimmed();
    out.value = rest.toString();
    out.valueStart = start;
    out.valueEnd = start + rest.size();
    return out;
}

// The lines of a file's bytes, without their line ends.
QList<QByteArrayView> splitLines(QByteArrayView bytes)
{
    QList<QByteArrayView> lines;
    for (qsizetype start = 0; start < bytes.size();) {
        qsizetype end = bytes.indexOf('\n', start);
        if (end < 0)
            end = bytes.size();
        QByteArrayView raw = bytes.sliced(start, end - start);
        if (raw.endsWith('\r'))
            raw.chop(1);
        lines.append(raw);
        start = end + 1;
    }
    return lines;
}

} // namespace

QString configValueProblem(const ConfigKey& schemaKey, const QString& text)
{
    QString what;
    if (schemaKey.file == ConfigFile::Settings
        && (schemaKey.type == KeyType::Flag || schemaKey.type == KeyType::Whole)) {
        // settings.dat holds 16-bit numbers.
        const std::optional<qint16> n = NumberText::readInt16(text);
        if (!n || QString::number(*n) != text.trimmed())
            return QStringLiteral("\"%1\" is no whole number of 16 bits").arg(text);
    }
    if (!typed(schemaKey, text, &what))
        return what;
    if (schemaKey.check) {
        if (const QString why = schemaKey.check(text); !why.isEmpty())
            return QStringLiteral("\"%1\" %2").arg(text, why);
    }
    return {};
}

QString configValueHint(const ConfigKey& schemaKey)
{
    const QString range
        = (schemaKey.lowestExcluded ? QStringLiteral("über %1 bis %2") : QStringLiteral("von %1 bis %2"))
              .arg(QLocale(QLocale::German).toString(schemaKey.lowest, 'g', 12),
                  QLocale(QLocale::German).toString(schemaKey.highest, 'g', 12));
    if (schemaKey.key == QLatin1String("route.profile"))
        return QStringLiteral("ein Wort aus Buchstaben, Ziffern, _ und -");
    if (schemaKey.key == QLatin1String("printer"))
        return QStringLiteral("der Name einer CUPS-Warteschlange ohne Leerzeichen, / und #");
    switch (schemaKey.type) {
    case KeyType::Flag:
        return QStringLiteral("0 oder 1");
    case KeyType::Whole:
        return QStringLiteral("eine ganze Zahl ") + range;
    case KeyType::Decimal:
    case KeyType::TimeSpan:
        return QStringLiteral("eine Zahl ") + range;
    case KeyType::Choice:
        return QStringList(schemaKey.choices.begin(), schemaKey.choices.end() - 1).join(QStringLiteral(", "))
            + QStringLiteral(" oder ") + schemaKey.choices.last();
    case KeyType::Url:
        return schemaKey.choices.isEmpty() ? QStringLiteral("eine Adresse mit http:// oder https://")
                                           : schemaKey.choices.join(QStringLiteral(", "))
                + QStringLiteral(" oder eine Adresse mit http:// oder https://");
    case KeyType::Coordinates:
        return QStringLiteral("Breite,Länge in Grad");
    case KeyType::Command:
        return QStringLiteral("ein Programm mit seinen Argumenten");
    default:
        return QStringLiteral("ein Text ohne Steuerzeichen");
    }
}

QString ConfigProblem::text() const
{
    QString out = file;
    if (line > 0)
        out += QLatin1Char(':') + QString::number(line);
    out += QStringLiteral(": ");
    if (!key.isEmpty())
        out += key + QStringLiteral(": ");
    out += what;
    if (!instead.isEmpty())
        out += QStringLiteral("; ") + instead;
    return out;
}

ConfigValues::ConfigValues(ConfigFile file)
    : m_file(file)
{
    for (const ConfigKey* schemaKey : configKeys(file)) {
        if (schemaKey->pattern.isEmpty())
            m_values.insert(schemaKey->key, { defaultValue(*schemaKey), schemaKey->defaultText, 0 });
    }
}

ConfigValues ConfigValues::parse(ConfigFile file, QByteArrayView bytes)
{
    ConfigValues values(file);
    values.m_present = true;
    const QString name = configFileName(file);
    const auto problem = [&](int line, const QString& key, const QString& what, const QString& instead) {
        values.m_problems.append({ name, line, key, what, instead });
    };
    // A value as written: typed when it can be used, else what the key's rules use instead.
    // `name`: the key as the file names it, which a pattern key stands for.
    const auto take = [&](const ConfigKey& schemaKey, const QString& name, const QString& text, int line) {
        ConfigValue& slot = values.m_values[name];
        QString what;
        std::optional<QVariant> value = typed(schemaKey, text, &what);
        if (value && schemaKey.check) {
            const QString why = schemaKey.check(text);
            if (!why.isEmpty()) {
                value.reset();
                what = QStringLiteral("\"%1\" %2").arg(text, why);
            }
        }
        if (value) {
            slot = { *value, text, line };
            return;
        }
        problem(line, name, what, insteadText(schemaKey));
        if (schemaKey.keepBad)
            slot = { QVariant(text), text, line };
        else if (!schemaKey.badText.isEmpty())
            slot = { typed(schemaKey, schemaKey.badText, &what).value_or(QVariant()), text, line };
    };

    if (file == ConfigFile::Settings) {
        // 27 lines in their order, no keys, Windows-1252; numbers are 16-bit.
        const QList<QByteArrayView> lines = splitLines(bytes);
        for (const ConfigKey* schemaKey : configKeys(file)) {
            if (schemaKey->line > lines.size())
                break;
            const QString text = CodePage::decode(lines[schemaKey->line - 1]);
            if (schemaKey->type == KeyType::Flag || schemaKey->type == KeyType::Whole) {
                const std::optional<qint16> n = NumberText::readInt16(text);
                if (!n) {
                    problem(schemaKey->line, schemaKey->key, QStringLiteral("\"%1\" does not fit 16 bits").arg(text),
                        insteadText(*schemaKey));
                    continue;
                }
                take(*schemaKey, schemaKey->key, QString::number(*n), schemaKey->line);
                if (values.m_values[schemaKey->key].line == schemaKey->line)
                    values.m_values[schemaKey->key].text = text;
            } else if (text.isEmpty() && !schemaKey->defaultText.isEmpty()) {
                values.m_values[schemaKey->key] = { defaultValue(*schemaKey), text, schemaKey->line };
            } else {
                // A line's text is taken whole, blanks and quotes included.
                values.m_values[schemaKey->key] = { QVariant(text), text, schemaKey->line };
            }
        }
        return values;
    }

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
            problem(number, {}, QStringLiteral("not UTF-8"), QStringLiteral("read as Windows-1252"));
        const std::optional<KeyLine> line = keyLine(text);
        if (!line)
            continue;
        if (line->key.isEmpty()) {
            problem(number, {}, QStringLiteral("no key=value"), QStringLiteral("the line is ignored"));
            continue;
        }
        const ConfigKey* schemaKey = findConfigKey(file, line->key);
        if (!schemaKey) {
            problem(number, line->key, QStringLiteral("unknown key"), QStringLiteral("the line is ignored"));
            continue;
        }
        if (line->value.isEmpty() && emptyMeansDefault(*schemaKey))
            values.m_values[schemaKey->key] = { defaultValue(*schemaKey), line->value, number };
        else
            take(*schemaKey, schemaKey->pattern.isEmpty() ? schemaKey->key : line->key, line->value, number);
    }
    return values;
}

ConfigValues ConfigValues::read(const QString& folder, ConfigFile file)
{
    ConfigValues values(file);
    if (folder.isEmpty())
        return values;
    const QString path = QDir(folder).filePath(configFileName(file));
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return values;
    values.m_present = true;
    values.m_unread = true;
    const auto refuse = [&](const QString& what) {
        values.m_problems.append({ path, 0, {}, what, QStringLiteral("not read") });
        return values;
    };
    if (!info.isFile())
        return refuse(QStringLiteral("no regular file"));
    if (info.size() > kMostBytes)
        return refuse(QStringLiteral("larger than %1 bytes").arg(kMostBytes));
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        return refuse(QStringLiteral("cannot be read: ") + in.errorString());
    const QByteArray bytes = in.read(kMostBytes + 1);
    if (bytes.size() > kMostBytes)
        return refuse(QStringLiteral("larger than %1 bytes").arg(kMostBytes));
    ConfigValues read = parse(file, bytes);
    for (ConfigProblem& problem : read.m_problems)
        problem.file = path;
    return read;
}

const ConfigValue& ConfigValues::at(QStringView key) const
{
    static const ConfigValue none;
    const auto it = m_values.constFind(key.toString());
    return it == m_values.constEnd() ? none : *it;
}

bool ConfigValues::flag(QStringView key) const
{
    return at(key).value.toBool();
}

int ConfigValues::whole(QStringView key) const
{
    return at(key).value.toInt();
}

double ConfigValues::decimal(QStringView key) const
{
    return at(key).value.toDouble();
}

QString ConfigValues::text(QStringView key) const
{
    return at(key).value.toString();
}

QStringList ConfigValues::list(QStringView key) const
{
    return at(key).value.toStringList();
}

QList<std::pair<QString, ConfigValue>> ConfigValues::matching(const ConfigKey& schemaKey) const
{
    QList<std::pair<QString, ConfigValue>> given;
    if (schemaKey.pattern.isEmpty() || schemaKey.file != m_file)
        return given;
    for (auto it = m_values.constBegin(); it != m_values.constEnd(); ++it) {
        if (it->line > 0 && findConfigKey(m_file, it.key()) == &schemaKey)
            given.append({ it.key(), *it });
    }
    std::sort(given.begin(), given.end(), [](const auto& a, const auto& b) { return a.second.line < b.second.line; });
    return given;
}

QByteArray rewriteConfig(ConfigFile file, QByteArrayView original, const QList<std::pair<QString, QString>>& changes)
{
    // Line breaks in a value would make lines of their own.
    const auto oneLine = [](QString text) {
        text.replace(QLatin1Char('\r'), QLatin1Char(' '));
        text.replace(QLatin1Char('\n'), QLatin1Char(' '));
        return text;
    };

    if (file == ConfigFile::Settings) {
        const QList<QByteArrayView> lines = splitLines(original);
        QList<QByteArray> out;
        for (const ConfigKey* schemaKey : configKeys(file)) {
            out.append(schemaKey->line <= lines.size() ? lines[schemaKey->line - 1].toByteArray()
                                                       : CodePage::encode(schemaKey->defaultText));
        }
        bool changed = false;
        for (const auto& [key, text] : changes) {
            const ConfigKey* schemaKey = findConfigKey(file, key);
            if (!schemaKey)
                continue;
            const QByteArray bytes = CodePage::encode(oneLine(text));
            if (schemaKey->line <= lines.size() && lines[schemaKey->line - 1] == bytes)
                continue;
            out[schemaKey->line - 1] = bytes;
            changed = true;
        }
        if (!changed)
            return original.toByteArray();
        QByteArray whole;
        for (const QByteArray& line : out)
            whole += line + "\r\n";
        return whole;
    }

    QByteArrayView body = original;
    QByteArray out;
    if (body.startsWith("\xEF\xBB\xBF")) {
        out = "\xEF\xBB\xBF";
        body = body.sliced(3);
    }
    const qsizetype firstBreak = body.indexOf('\n');
    const QByteArray lineEnd = firstBreak > 0 && body[firstBreak - 1] == '\r' ? "\r\n" : "\n";

    // The pieces of the file: every line with its own line end, as it stands.
    QList<QByteArray> lines;
    for (qsizetype start = 0; start < body.size();) {
        qsizetype end = body.indexOf('\n', start);
        end = end < 0 ? body.size() : end + 1;
        lines.append(body.sliced(start, end - start).toByteArray());
        start = end;
    }
    // Where each key stands: the last line that sets it, which is the one in force.
    QHash<QString, qsizetype> at;
    QList<std::optional<KeyLine>> parsed;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QByteArrayView raw = lines[i];
        if (raw.endsWith('\n'))
            raw.chop(1);
        if (raw.endsWith('\r'))
            raw.chop(1);
        parsed.append(keyLine(CodePage::decodeWritten(raw)));
        if (parsed.last() && !parsed.last()->key.isEmpty())
            at.insert(parsed.last()->key, i);
    }

    // A text that the reader would cut or trim goes in double quotes.
    const auto written = [](const QString& text) {
        const bool quote = text != text.trimmed() || text.contains(QStringLiteral(" #"))
            || text.contains(QStringLiteral("\t#"))
            || (text.startsWith(u'"') && text.endsWith(u'"') && text.size() > 1);
        return quote ? QLatin1Char('"') + text + QLatin1Char('"') : text;
    };

    bool changed = false;
    QList<QByteArray> added;
    QSet<QString> removed;
    for (const auto& [key, value] : changes) {
        const QString name = key.toLower();
        if (value.isNull()) {
            // Taken out: every line that sets the key.
            if (at.contains(name)) {
                removed.insert(name);
                changed = true;
            }
            continue;
        }
        const QString text = written(oneLine(value));
        const auto it = at.constFind(name);
        if (it == at.constEnd()) {
            added.append(name.toUtf8() + '=' + text.toUtf8() + lineEnd);
            changed = true;
            continue;
        }
        const KeyLine& line = *parsed[*it];
        if (line.value == text)
            continue;
        QByteArray& raw = lines[*it];
        QByteArray end;
        while (raw.endsWith('\n') || raw.endsWith('\r')) {
            end.prepend(raw.back());
            raw.chop(1);
        }
        QString decoded = CodePage::decodeWritten(raw);
        decoded.replace(line.valueStart, line.valueEnd - line.valueStart, text);
        raw = decoded.toUtf8() + end;
        changed = true;
    }
    if (!changed)
        return original.toByteArray();
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (!parsed[i] || !removed.contains(parsed[i]->key))
            out += lines[i];
    }
    if (!added.isEmpty() && !out.isEmpty() && !out.endsWith('\n') && !(out == "\xEF\xBB\xBF"))
        out += lineEnd;
    for (const QByteArray& line : added)
        out += line;
    return out;
}
