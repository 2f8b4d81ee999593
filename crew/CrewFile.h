#pragma once

#include "crew/FileWarnings.h"

#include <QByteArrayView>
#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

// The station's members with their pagers: mannschaft.csv in the data folder, as the station
// exports it from its member list or writes it in a spreadsheet.
//
// UTF-8 (a byte order mark is skipped) or, when the bytes are no valid UTF-8, Windows-1252; UTF-16
// as a spreadsheet's "Unicode text" writes it, known by its byte order mark or its NUL bytes. The
// header row tells the separator: ';', ',' or a tab. Fields may be quoted ("" inside quotes is a
// quote). Columns: pager id, name (may be empty), qualifications as words separated by blanks or
// commas. A line that cannot be read is a warning with its line number and the rest is used; a
// pager id that comes twice takes the later line, with a warning. The journal gets the first few
// warnings of a file and then their count.
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
    // The file at `path` when what is there differs from what `digest` describes (empty: always),
    // and `digest` then describes what was read; nothing when it is the same.
    [[nodiscard]] static std::optional<CrewFile> readChanged(const QString& path, QByteArray& digest);

    // No file: the strength counts by the answers alone.
    [[nodiscard]] bool absent() const { return m_absent; }
    [[nodiscard]] const Member* find(const QString& pagerId) const;
    [[nodiscard]] qsizetype size() const { return m_members.size(); }
    // Every member, by pager id.
    [[nodiscard]] QList<Member> members() const;
    // Each warning as "mannschaft.csv line 4: ...", as written to the journal: the first few,
    // then "… and N more warnings".
    [[nodiscard]] const QStringList& warnings() const { return m_warnings.lines(); }

private:
    QHash<QString, Member> m_members;
    FileWarnings m_warnings;
    bool m_absent = true;
};
