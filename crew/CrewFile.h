#pragma once

#include <QByteArrayView>
#include <QHash>
#include <QString>
#include <QStringList>

// The station's members with their pagers: mannschaft.csv in the data folder, as the station
// exports it from its member list or writes it in a spreadsheet.
//
// UTF-8 (a byte order mark is skipped) or, when the bytes are no valid UTF-8, Windows-1252. The
// header row tells the separator: ';' or ','. Fields may be quoted ("" inside quotes is a quote).
// Columns: pager id, name (may be empty), qualifications as words separated by blanks or commas.
// A line that cannot be read is a warning with its line number and the rest is used; a pager id
// that comes twice takes the later line, with a warning.
class CrewFile {
public:
    static inline const QString FileName = QStringLiteral("mannschaft.csv");

    struct Member {
        QString pagerId;
        QString name;
        QStringList qualifications;
        bool operator==(const Member&) const = default;
    };

    // A member list is a few hundred lines; a larger file is not read.
    static constexpr qint64 kMostBytes = 4 * 1024 * 1024;

    // `source` names the file in the warnings.
    [[nodiscard]] static CrewFile parse(QByteArrayView bytes, const QString& source = FileName);
    // The file at `path`; empty (and absent()) when there is none.
    [[nodiscard]] static CrewFile read(const QString& path);

    // No file: the strength counts by the answers alone.
    [[nodiscard]] bool absent() const { return m_absent; }
    [[nodiscard]] const Member* find(const QString& pagerId) const;
    [[nodiscard]] qsizetype size() const { return m_members.size(); }
    // Each warning as "mannschaft.csv line 4: ...", also written to the journal.
    [[nodiscard]] const QStringList& warnings() const { return m_warnings; }

private:
    void warn(int line, const QString& problem);

    QString m_source;
    QHash<QString, Member> m_members;
    QStringList m_warnings;
    bool m_absent = true;
};
