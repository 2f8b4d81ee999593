#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QPointF>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <functional>
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
// ones, keyword, address and units for the list, remark and informant, the incident's position,
// the paths that brought it) and answers (the pagers' feedback to a station alarm: name, the feedback's code, time).
// The schema's version is PRAGMA user_version; each later version adds one migration step.
//
// The file and its companions are the owner's only (0600). Deleted and cleared content is
// overwritten on disk (secure_delete), and the retention empties the write-ahead log after it.
class HistoryStore {
public:
    static constexpr int kSchemaVersion = 6;
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
    // The last failure came from the file or its folder (locked, busy, read-only, full, damaged,
    // missing): the same write may succeed later or after opening the file again.
    [[nodiscard]] bool lastFailurePasses() const { return m_passes; }
    // The last failure was another connection's lock.
    [[nodiscard]] bool lastFailureIsLock() const { return m_locked; }
    // The file at the path is no longer the one opened (renamed, deleted or replaced).
    [[nodiscard]] bool replaced() const;

    // Runs the work in one transaction: all of it is kept, or nothing.
    bool transaction(const std::function<bool()>& work);

    // Stores the entries in one transaction. Returns the ids, in order; empty on failure. A station
    // alarm's running number follows the year's highest number in the file and the highest this
    // store has given, so that a file that is behind (replaced, started anew) repeats none.
    [[nodiscard]] std::optional<QList<qint64>> store(const QList<HistoryEntry>& entries);

    // The newest station alarm: its id and time of receipt.
    [[nodiscard]] std::optional<std::pair<qint64, QDateTime>> latestStationAlarm();

    // The position from the address lookup (x longitude, y latitude), for an alarm without one.
    bool place(qint64 alarmId, QPointF position);
    bool route(qint64 alarmId, double meters, double seconds);
    // A station alarm's fields as its copies filled them; coordinates they brought replace a
    // looked-up place.
    bool merge(qint64 alarmId, const QStringList& fields);
    // Which paths brought the alarm: "Leitstelle 1; Leitstelle 2 +3,2 s".
    bool paths(qint64 alarmId, const QString& paths);
    // The station alarm received nearest to `at`, within `withinMs` of it.
    [[nodiscard]] std::optional<qint64> stationAlarmNear(const QDateTime& at, qint64 withinMs);
    // A pager's feedback code to an alarm; a later one of the same pager replaces it. Feedback to an
    // alarm that is not in the file is left out.
    bool answer(qint64 alarmId, const QDateTime& at, const QString& pagerId, const QString& name, int code);
    // The file name of the alarm's kept printout.
    bool printout(qint64 alarmId, const QString& fileName);
    // The water sources' line of the alarm, as shown.
    bool water(qint64 alarmId, const QString& line);
    // The crew's strength, "1/2/6/9", and its counted qualifications, "AGT=4 Ma=2 C=3".
    bool strength(qint64 alarmId, const QString& strength, const QString& counts);

    // Clears the personal fields of alarms older than the settings allow and deletes alarms older
    // than keep_days. Returns how many alarms were cleared and deleted.
    std::optional<std::pair<int, int>> applyRetention(const HistorySettings& settings, const QDateTime& now);

    // Stored times: UTC with milliseconds, fixed width, so that text order is time order.
    [[nodiscard]] static QString utcText(const QDateTime& t);

private:
    bool fail(const QString& what, const class QSqlError& error);
    bool update(const QString& what, const QString& sql, const QVariantList& values);
    bool insert(class QSqlDatabase& db, const QList<HistoryEntry>& entries, QList<qint64>& ids);
    // A transaction on the open file; false, with the reason kept, when there is none.
    bool begin(class QSqlDatabase& db);
    bool exec(const QString& sql);
    bool migrate(int from);
    bool openFile();
    void ownerOnly() const;

    QString m_path;
    QString m_connection;
    bool m_open = false;
    bool m_new = false;
    QString m_setAside;
    QString m_error;
    bool m_passes = false;
    bool m_locked = false;
    bool m_inTransaction = false;
    // The file opened, as device and inode.
    std::pair<quint64, quint64> m_identity {};
    // Year → the highest running number given.
    QHash<int, int> m_numbers;
    QHash<int, int> m_uncommitted; // the same within the transaction
    QSet<qint64> m_answered; // the alarms answered within the transaction
};
