// kessvenn-config-reference: the reference of every settings file and key, written from the schema
// that the monitor reads them with, so that the manual page kessvenn(5), the README's table and the
// example files never tell another story than the program.
//
//   kessvenn-config-reference --write SOURCE   rewrites the files in the source tree
//   kessvenn-config-reference --check SOURCE   exits 1 and names each file that differs
#include "config/ConfigSchema.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStringList>

#include <cstdio>

namespace {

const QString kReadmeBegin = QStringLiteral("<!-- config-reference -->");
const QString kReadmeEnd = QStringLiteral("<!-- /config-reference -->");

// What the file is for, one English sentence each, for the manual page and the examples' heads.
QString purpose(ConfigFile file)
{
    switch (file) {
    case ConfigFile::Settings:
        return QStringLiteral("The link to the dispatch computer, the announcement and the proxy, as the settings "
                              "dialog writes them: 27 lines in this order, no keys, Windows-1252, CR LF.");
    case ConfigFile::Display:
        return QStringLiteral("The station's screen: full screen, waking the screen, the dead-link band, the wall "
                              "layout with its standby view, the hall view and the crew's strength.");
    case ConfigFile::Map:
        return QStringLiteral("The map and the address lookup, the way to the incident and the water sources' "
                              "index.");
    case ConfigFile::Print:
        return QStringLiteral("The alarm on paper. Without this file nothing is printed.");
    case ConfigFile::History:
        return QStringLiteral("How long the alarm history keeps personal data and whole alarms.");
    case ConfigFile::Paths:
        return QStringLiteral("The alarm's paths beside settings.dat's dispatch host: further dispatch hosts, all "
                              "connected at once, the radio pager decoder, and how each path is watched. Without "
                              "this file the one link of settings.dat is all.");
    }
    return {};
}

QString number(double value)
{
    return QString::number(value, 'g', 10);
}

// The values a key may take, in English.
QString kind(const ConfigKey& schemaKey)
{
    const QString range = schemaKey.lowestExcluded
        ? QStringLiteral("above %1 up to %2").arg(number(schemaKey.lowest), number(schemaKey.highest))
        : QStringLiteral("%1 to %2").arg(number(schemaKey.lowest), number(schemaKey.highest));
    switch (schemaKey.type) {
    case KeyType::Flag:
        return QStringLiteral("flag: 0 or 1");
    case KeyType::Whole:
        return QStringLiteral("whole number, ") + range;
    case KeyType::Decimal:
        return QStringLiteral("decimal number, ") + range;
    case KeyType::TimeSpan:
        return QStringLiteral("time span, ") + range;
    case KeyType::Text:
        return QStringLiteral("text");
    case KeyType::Path:
        return QStringLiteral("path");
    case KeyType::Url:
        return schemaKey.choices.isEmpty()
            ? QStringLiteral("address (URL)")
            : QStringLiteral("%1, or an address (URL)").arg(schemaKey.choices.join(QStringLiteral(", ")));
    case KeyType::Coordinates:
        return QStringLiteral("coordinates: latitude,longitude in decimal degrees");
    case KeyType::Choice:
        return QStringLiteral("one of ") + schemaKey.choices.join(QStringLiteral(", "));
    case KeyType::Command:
        return QStringLiteral("command: a program and its arguments, no shell");
    case KeyType::Words:
        return QStringLiteral("words separated by blanks or commas");
    case KeyType::Secret:
        return QStringLiteral("text, kept secret");
    }
    return {};
}

QString shownDefault(const ConfigKey& schemaKey)
{
    return schemaKey.defaultText.isEmpty() ? QStringLiteral("empty") : schemaKey.defaultText;
}

// The key as a reader looks for it: settings.dat's lines by their number and name.
QString keyName(const ConfigKey& schemaKey)
{
    return schemaKey.file == ConfigFile::Settings
        ? QStringLiteral("%1 (line %2)").arg(schemaKey.key).arg(schemaKey.line)
        : schemaKey.key;
}

// Text for roff: its escape character escaped, everything beyond ASCII as a named code point, and
// a line that would begin with a control character guarded.
QString roff(const QString& text)
{
    QString out;
    for (const char32_t c : text.toUcs4()) {
        if (c == U'\\')
            out += QStringLiteral("\\e");
        else if (c == U'-')
            out += QStringLiteral("\\-");
        else if (c > 127)
            out += QStringLiteral("\\[u%1]").arg(QString::number(c, 16).toUpper().rightJustified(4, QLatin1Char('0')));
        else
            out += QChar(static_cast<char16_t>(c));
    }
    if (out.startsWith(QLatin1Char('.')) || out.startsWith(QLatin1Char('\'')))
        out.prepend(QStringLiteral("\\&"));
    return out;
}

QString manualPage()
{
    QStringList page {
        QStringLiteral(".TH KESSVENN 5 \"\" \"Kessvenn @VERSION@\" \"File Formats\""),
        QStringLiteral(".\\\" Written by kessvenn-config-reference from the schema; do not edit."),
        QStringLiteral(".nh"),
        QStringLiteral(".SH NAME"),
        QStringLiteral("kessvenn \\- the settings files of the alarm monitor"),
        QStringLiteral(".SH DESCRIPTION"),
        QStringLiteral("The monitor reads its settings from files in its data folder, "
                       "\\fI~/.local/share/Torvelle/\\fR (\\fI$XDG_DATA_HOME/Torvelle\\fR when that is set)."),
        QStringLiteral("The files \\fIdisplay.ini\\fR, \\fImap.ini\\fR, \\fIprint.ini\\fR, \\fIhistory.ini\\fR and "
                       "\\fIalarmwege.ini\\fR hold one \\fIkey\\fR=\\fIvalue\\fR a line, UTF\\-8 with or without a "
                       "byte order mark (else "
                       "Windows\\-1252); a \\fB#\\fR after a blank or at the start of a line begins a comment. A key "
                       "that is not there has its default. A line without \\fB=\\fR, an unknown key or a value that "
                       "cannot be used is a warning in the journal naming the file and the line, and the key keeps "
                       "its default."),
        QStringLiteral(".PP"),
        QStringLiteral(
            "\\fBkessvenn \\-\\-check\\-config\\fR prints every problem of these files and of the files they "
            "name; \\fBkessvenn \\-\\-print\\-config\\fR prints every value in force and where it comes "
            "from. Each key below is given with its values, its default, and the German label and help "
            "text of the settings dialog. Commented examples of the files are in "
            "\\fI/usr/share/doc/kessvenn/examples/\\fR."),
    };
    for (const ConfigFile file : configFiles()) {
        page << QStringLiteral(".SH ") + configFileName(file).toUpper() << roff(purpose(file));
        for (const ConfigKey* schemaKey : configKeys(file)) {
            page << QStringLiteral(".TP") << QStringLiteral(".B ") + roff(keyName(*schemaKey));
            page << roff(QStringLiteral("%1; default: %2.").arg(kind(*schemaKey), shownDefault(*schemaKey)));
            page << QStringLiteral(".br")
                 << roff(QStringLiteral("\u201E%1\u201C: %2").arg(schemaKey->label, schemaKey->help));
        }
    }
    page << QStringLiteral(".SH SEE ALSO") << QStringLiteral(".BR kessvenn (1)");
    return page.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString cell(QString text)
{
    return text.replace(QLatin1Char('|'), QStringLiteral("\\|"));
}

QString readmeTable()
{
    QStringList table { kReadmeBegin,
        QStringLiteral("<!-- Written by kessvenn-config-reference from the schema: "
                       "cmake --build build --target config-reference -->"),
        QString(), QStringLiteral("| File | Key | Values | Default | In the settings dialog |"),
        QStringLiteral("|---|---|---|---|---|") };
    for (const ConfigKey& schemaKey : configSchema()) {
        const QString key = schemaKey.file == ConfigFile::Settings
            ? QStringLiteral("line %1: `%2`").arg(schemaKey.line).arg(schemaKey.key)
            : QStringLiteral("`%1`").arg(schemaKey.key);
        const QString defaultText = schemaKey.defaultText.isEmpty() ? QStringLiteral("empty")
                                                                    : QStringLiteral("`%1`").arg(schemaKey.defaultText);
        table << QStringLiteral("| `%1` | %2 | %3 | %4 | %5: %6 |")
                     .arg(configFileName(schemaKey.file), key, cell(kind(schemaKey)), cell(defaultText),
                         QStringLiteral("\u201E") + cell(schemaKey.label) + QStringLiteral("\u201C"),
                         cell(schemaKey.help));
    }
    table << QString() << kReadmeEnd;
    return table.join(QLatin1Char('\n'));
}

QString example(ConfigFile file)
{
    QStringList lines { QStringLiteral("# %1: %2").arg(configFileName(file), purpose(file)),
        QStringLiteral("# Copy it into the data folder (~/.local/share/Torvelle/) and take the keys you need out "
                       "of"),
        QStringLiteral("# their comments; a key left out keeps the default shown. kessvenn --check-config checks "
                       "the file."),
        QStringLiteral("# Written from the schema by kessvenn-config-reference; man 5 kessvenn describes every "
                       "key.") };
    for (const ConfigKey* schemaKey : configKeys(file)) {
        lines << QStringLiteral("#") << QStringLiteral("# %1: %2").arg(schemaKey->label, schemaKey->help)
              << QStringLiteral("# (%1)").arg(kind(*schemaKey))
              << QStringLiteral("# %1=%2").arg(schemaKey->key, schemaKey->defaultText);
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

// The README with its table put between the markers; empty when the markers are missing.
QString withTable(const QString& readme)
{
    const qsizetype begin = readme.indexOf(kReadmeBegin);
    const qsizetype end = readme.indexOf(kReadmeEnd, begin);
    if (begin < 0 || end < 0)
        return {};
    return readme.left(begin) + readmeTable() + readme.mid(end + kReadmeEnd.size());
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void print(FILE* stream, const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const bool write = arguments.value(1) == QLatin1String("--write");
    if (arguments.size() != 3 || (!write && arguments.value(1) != QLatin1String("--check"))) {
        print(stderr, QStringLiteral("usage: kessvenn-config-reference --write|--check SOURCE-FOLDER\n"));
        return 2;
    }
    const QDir source(arguments.value(2));

    const QString readmePath = source.filePath(QStringLiteral("README.md"));
    const QString readme = withTable(QString::fromUtf8(contents(readmePath)));
    if (readme.isEmpty()) {
        print(stderr, QStringLiteral("%1 has no %2 ... %3 for the table\n").arg(readmePath, kReadmeBegin, kReadmeEnd));
        return 1;
    }
    QList<std::pair<QString, QString>> files { { QStringLiteral("packaging/kessvenn.5"), manualPage() },
        { QStringLiteral("README.md"), readme } };
    for (const ConfigFile file : configFiles()) {
        if (file != ConfigFile::Settings)
            files.append({ QStringLiteral("packaging/examples/") + configFileName(file), example(file) });
    }

    QStringList differing;
    for (const auto& [name, text] : files) {
        const QString path = source.filePath(name);
        const QByteArray bytes = text.toUtf8();
        if (contents(path) == bytes)
            continue;
        if (!write) {
            differing << name;
            continue;
        }
        QFile out(path);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(bytes) != bytes.size() || !out.flush()) {
            print(stderr, QStringLiteral("%1 could not be written: %2\n").arg(path, out.errorString()));
            return 1;
        }
        print(stdout, QStringLiteral("%1 written\n").arg(path));
    }
    if (differing.isEmpty())
        return 0;
    print(stderr,
        QStringLiteral("The reference differs from the schema in %1.\nRegenerate it with: cmake --build build "
                       "--target config-reference\n")
            .arg(differing.join(QStringLiteral(", "))));
    return 1;
}
