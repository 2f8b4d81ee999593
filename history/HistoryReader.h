#pragma once

#include "crew/Strength.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

class QIODevice;

// One line of the history's list.
struct HistoryRow {
    qint64 id = 0;
    bool station = true;
    bool test = false; // a test alarm ("Probealarm"), a station alarm that is not counted
    QString local; // time of receipt, local, "yyyy-MM-ddTHH:mm:ss"
    QString keyword;
    QString address;
    QString units; // as shown: ", " between units
    int coming = 0; // "kommt" answers
    QString strength; // the crew's strength, "1/2/6/9"; empty when none was counted
    QString remark;
    // A station alarm of the year's count.
    [[nodiscard]] bool counted() const { return station && !test; }
    // Keyword, address, remark and units, case-folded: made when first searched.
    QString search;
    void makeSearchText();
};

// A stored station alarm as it came, the personal fields back in place while they are kept.
struct HistoryAlarm {
    QDateTime received; // local time
    QStringList fields;
    QString printout; // the kept copy of its printout; empty when none is known
};

// The newest station alarm with the pagers' answers kept for it (the holder being the kept name).
struct HistoryAnswered {
    HistoryAlarm alarm;
    QList<Strength::Answer> answers;
};

// The words typed into the search: every one must occur in a row.
namespace HistorySearch {
[[nodiscard]] QStringList terms(QStringView text);
[[nodiscard]] bool matches(const QString& search, const QStringList& terms);
} // namespace HistorySearch

// Reads history.sqlite on a connection of the calling thread: the list, one alarm, the CSV export.
class HistoryReader {
public:
    // readOnly: the file is never created or changed (the command line's export).
    explicit HistoryReader(QString path, bool readOnly = false);
    ~HistoryReader();
    HistoryReader(const HistoryReader&) = delete;
    HistoryReader& operator=(const HistoryReader&) = delete;

    [[nodiscard]] bool open();
    [[nodiscard]] QString lastError() const { return m_error; }

    // The years that hold alarms, newest first.
    [[nodiscard]] QList<int> years();
    // The alarms of a year, or all, newest first.
    [[nodiscard]] std::vector<HistoryRow> rows(std::optional<int> year);
    [[nodiscard]] std::optional<HistoryAlarm> alarm(qint64 id);
    // The station alarm the history took last, with its answers, when it is the one that last.dat
    // at `lastAlarmPath` stores (as last.dat would store it); nothing otherwise.
    [[nodiscard]] std::optional<HistoryAnswered> storedAlarm(const QString& lastAlarmPath);

    // The alarms of a year, or all, that match the search, oldest first, as CSV for a spreadsheet:
    // UTF-8 with a byte order mark, ';' between fields, CR LF, quoted where needed; a field that a
    // spreadsheet would take for a formula begins with a "'". Feedback is counted by its code.
    bool writeCsv(QIODevice& out, std::optional<int> year, QStringView search = {});
    // The byte order mark and the line of headings alone: the export of an empty history.
    // `qualifications`: the counted qualifications' columns after "Stärke".
    static void writeCsvHeading(QIODevice& out, const QStringList& qualifications = {});

private:
    QString m_path;
    QString m_connection;
    bool m_readOnly = false;
    QString m_error;
};
