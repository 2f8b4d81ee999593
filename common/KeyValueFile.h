#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

// The station's small configuration files in the data folder (map.ini, display.ini): UTF-8 text,
// one `key=value` a line, as people write them in an editor.
//
// A byte order mark at the start is skipped; a line that is not UTF-8 is read as Windows-1252.
// Blank lines and lines that begin with '#' or ';' are skipped, and so is the rest of a line from a
// '#' that follows a blank, unless the '#' stands inside double quotes. Lines may be of any length.
// Whatever cannot be used (a line without '=', a key the file does not know, a value its consumer
// rejects) is one warning under kessvenn.files that names the file and the line; nothing is
// dropped in silence.
class KeyValueFile {
public:
    struct Entry {
        QString name; // trimmed, lower case
        QString value; // trimmed, without its comment; double quotes are kept for the consumer
        int line = 0; // from 1
    };

    // A file larger than this is not read at all (with a warning): a configuration file is a few lines.
    static constexpr qint64 kMostBytes = 1024 * 1024;

    // `source` names the file in the warnings; `known` are the keys it may hold (lower case).
    [[nodiscard]] static KeyValueFile parse(QByteArrayView bytes, const QString& source, const QStringList& known);
    // `fileName` in `dataFolder`: no entries when there is none; one that cannot be read, or is no
    // regular file (a pipe would block the reader), is a warning.
    [[nodiscard]] static KeyValueFile read(
        const QString& dataFolder, const QString& fileName, const QStringList& known);

    [[nodiscard]] const QList<Entry>& entries() const { return m_entries; }
    // The file is there but was not read (too large, no regular file, no permission): its
    // entries are unknown rather than absent.
    [[nodiscard]] bool unread() const { return m_unread; }

    // Warns that the entry's value is not used, and what would have been: "display.ini line 3:
    // fullscreen=yes is not used (0 or 1 expected)".
    void unusable(const Entry& entry, const QString& expected) const;

private:
    void warn(int line, const QString& problem) const;

    QString m_source;
    QList<Entry> m_entries;
    bool m_unread = false;
};
