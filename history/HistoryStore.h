#pragma once

#include <QDateTime>
#include <QList>
#include <QPointF>
#include <QString>
#include <QStringList>

#include <optional>

struct HistorySettings;

// One alarm as the history keeps it.
struct HistoryEntry {
    enum class Kind { Station, Unit };
    Kind kind = Kind::Station;
    QDateTime received;
    QStringList fields; // the message's fields as received
};

// history.sqlite, the alarm history, on one connection of the calling thread. Every call returns at
// once with its outcome; a failure leaves the file as it was and says why in lastError().
//
// Tables: alarms (one row per station or unit alarm: received time in UTC and local time, the
// local year and a running number of the year's station alarms, the fields without the personal
// ones, keyword, address and units for the list, remark and informant, the incident's position)
// and answers (the pagers' feedback to a station alarm: name, word, time). The schema's version is
// PRAGMA user_version; each later version adds one migration step.
class HistoryStore {
public:
    static constexpr int kSchemaVersion = 3;
    // Feedback this long after a station alarm still belongs to it.
    static constexpr qint64 kAnswerWindowSecs = 60 * 60;

    explicit HistoryStore(QString path);
    ~HistoryStore();
    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    // Opens the file, or creates it. A file that is no SQLite database or is damaged is renamed
    // "<name>.broken-<date>" (setAside() then tells the new name) and a new one is started.
    bool open();
    void close();
    [[nodiscard]] bool isOpen() const { return m_open; }
    // The file was created by the last open().
    [[nodiscard]] bool isNew() const { return m_new; }
    [[nodiscard]] QString setAside() const { return m_setAside; }
    [[nodiscard]] QString lastError() const { return m_error; }

    // Stores the entries in one transaction. Returns the ids, in order; empty on failure.
    [[nodiscard]] std::optional<QList<qint64>> store(const QList<HistoryEntry>& entries);

    // The newest station alarm: its id and time of receipt.
    [[nodiscard]] std::optional<std::pair<qint64, QDateTime>> latestStationAlarm();

    // The position from the address lookup (x longitude, y latitude), for an alarm without one.
    bool place(qint64 alarmId, QPointF position);
    bool route(qint64 alarmId, double meters, double seconds);
    // The water sources' line of the alarm, as shown.
    bool water(qint64 alarmId, const QString& line);
    // A pager's feedback to an alarm; a later one of the same pager replaces it.
    bool answer(qint64 alarmId, const QDateTime& at, const QString& pagerId, const QString& name, const QString& word);

    // Clears the personal fields of alarms older than the settings allow and deletes alarms older
    // than keep_days. Returns how many alarms were cleared and deleted.
    std::optional<std::pair<int, int>> applyRetention(const HistorySettings& settings, const QDateTime& now);

    // Stored times: UTC with milliseconds, fixed width, so that text order is time order.
    [[nodiscard]] static QString utcText(const QDateTime& t);

private:
    bool fail(const QString& what, const class QSqlError& error);
    // A transaction on the open file; false, with the reason kept, when there is none.
    bool begin(class QSqlDatabase& db);
    bool exec(const QString& sql);
    bool migrate(int from);
    bool openFile();

    QString m_path;
    QString m_connection;
    bool m_open = false;
    bool m_new = false;
    QString m_setAside;
    QString m_error;
};
