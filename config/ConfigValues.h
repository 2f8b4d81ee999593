#pragma once

#include "config/ConfigSchema.h"

#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QString>
#include <QVariant>

// One problem with a file: "map.ini:4: route.factor: 0 is not a number above 0 up to 10; 1 is used".
struct ConfigProblem {
    QString file; // the file's name, or its path when it was read from a folder
    int line = 0; // 0: the file as a whole
    QString key; // empty for a line without '=' and for the file as a whole
    QString what; // what is wrong
    QString instead; // what is used instead
    [[nodiscard]] QString text() const; // file:line: key: what; instead
};

// One value in force: the typed value, the text as written, and where it came from.
struct ConfigValue {
    QVariant value; // bool, int, double, QString, QStringList (Command, Words), QPointF (Coordinates)
    QString text; // as it stands in the file (the default's text for a default)
    int line = 0; // 0: the default
};

// One file read with the schema: a value for every key of the file (its default where the file
// does not say or says something that cannot be used), and every problem found. Reading rules:
// UTF-8 with or without a byte order mark, else Windows-1252; '#' comments; settings.dat by its lines.
class ConfigValues {
public:
    ConfigValues() = default;
    explicit ConfigValues(ConfigFile file); // every key at its default

    [[nodiscard]] static ConfigValues parse(ConfigFile file, QByteArrayView bytes);
    // The file in `folder`: the defaults when there is none. A file that exists but cannot be read
    // (too large, no regular file, no permission) is unread() with one problem.
    [[nodiscard]] static ConfigValues read(const QString& folder, ConfigFile file);

    [[nodiscard]] ConfigFile file() const { return m_file; }
    [[nodiscard]] bool present() const { return m_present; } // the file exists
    [[nodiscard]] bool unread() const { return m_unread; }
    [[nodiscard]] const QList<ConfigProblem>& problems() const { return m_problems; }

    [[nodiscard]] const ConfigValue& at(QStringView key) const; // a key of the schema
    [[nodiscard]] bool given(QStringView key) const { return at(key).line > 0; }
    [[nodiscard]] bool flag(QStringView key) const;
    [[nodiscard]] int whole(QStringView key) const;
    [[nodiscard]] double decimal(QStringView key) const;
    [[nodiscard]] QString text(QStringView key) const;
    [[nodiscard]] QStringList list(QStringView key) const;
    // The names a pattern key stands for that the file gives, with their values, in the file's order.
    [[nodiscard]] QList<std::pair<QString, ConfigValue>> matching(const ConfigKey& schemaKey) const;

    bool operator==(const ConfigValues&) const = default;

private:
    ConfigFile m_file = ConfigFile::Settings;
    bool m_present = false;
    bool m_unread = false;
    QHash<QString, ConfigValue> m_values;
    QList<ConfigProblem> m_problems;
};

// What is wrong with `text` as the value of `schemaKey` ("\"x\" is not 0 or 1"); empty when it can be
// used. The dialog checks a field with it as the user types.
[[nodiscard]] QString configValueProblem(const ConfigKey& schemaKey, const QString& text);
// What a value of `schemaKey` must be, in German words for the station: "eine ganze Zahl von 0 bis 99".
[[nodiscard]] QString configValueHint(const ConfigKey& schemaKey);

// The file's bytes with the values of `changes` (key → text) put in: the line of a key that is
// there is changed in place (its comment kept), a key that is not there is added at the end;
// every other line, comment, unknown key, the order and the line ends stay byte for byte. A null
// text takes every line of its key out.
// settings.dat is written whole in its 27 lines. No change: the same bytes.
[[nodiscard]] QByteArray rewriteConfig(
    ConfigFile file, QByteArrayView original, const QList<std::pair<QString, QString>>& changes);
