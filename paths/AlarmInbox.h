#pragma once

#include "link/MessageHandlers.h"
#include "paths/AlarmCopies.h"
#include "paths/RadioAlarm.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QTimer>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

class AlarmCore;
class AppContext;

// Every message of every path passes here before the alarm core: the dispatch hosts' links (each
// through the handlers of its path) and the radio pager decoder. What one path brings goes on to
// the core in the order it came.
//
// The same alarm from two paths is one alarm. A station alarm is known by its keyword, street,
// house number and town (case, blanks and umlauts aside) within the merge window, a unit alarm by
// its units within 2 minutes; status, pager, answer and ticker messages by their text within a
// minute. A copy is what another path brings; the same path bringing it again means it and is
// taken as new. The first copy goes to the core before anything is looked up or kept. A later copy
// is never heard again: it fills what the first left empty (a field filled in both keeps the
// longer text) through AlarmCore::MergeStationAlarm. A radio alarm and the dispatch alarm that
// follows it are one alarm, the dispatch data then shown and its details spoken, without the alarm
// sound; a radio alarm after the dispatch alarm, or a repeat of one RIC, is taken silently. The
// alarms of the window are kept in a file of the data folder, so that a copy after a restart is
// still known.
class AlarmInbox : public QObject {
    Q_OBJECT

public:
    // The radio pager decoder's path number; dispatch hosts count from 0 (settings.dat's host).
    static constexpr int RadioPath = -1;
    // Copies of one unit alarm come within this; of a status, pager, answer or ticker message, within
    // kMessageWindow.
    static constexpr std::chrono::minutes kUnitWindow { 2 };
    static constexpr std::chrono::seconds kMessageWindow { 60 };
    // The state file in the data folder.
    static constexpr const char* kStateFileName = "alarmkopien.dat";

    AlarmInbox(AppContext& ctx, AlarmCore& core, QObject* parent = nullptr);
    ~AlarmInbox() override;

    // What the link of dispatch host `index` hands its messages to; lives as long as the inbox.
    [[nodiscard]] MessageHandlers& dispatchPath(int index);

    // A message of the radio path for one of the station's RICs.
    void takeRadioAlarm(const RadioAlarm& alarm);

    // Copies of one station alarm within this are one alarm (alarmwege.ini's merge_minutes).
    void setMergeWindow(std::chrono::minutes window);
    [[nodiscard]] std::chrono::minutes mergeWindow() const { return m_window; }
    // Where the alarms of the window are kept (owner only, replaced whole); read at once. A file
    // that cannot be read is set aside with a warning and the inbox starts empty.
    void setStateFile(const QString& path);
    // Writes what waits for the state file now.
    void saveState();

    // "Leitstelle 1", "Leitstelle 2", …, "Funkmeldeempfänger".
    [[nodiscard]] static QString pathName(int path);
    // The text a station alarm is known by among its copies; empty (no copy of any) for one without
    // keyword and address.
    [[nodiscard]] static QString fingerprint(const QStringList& fields);
    // The fields of two copies of one alarm: every field filled in either, the longer text where both are.
    [[nodiscard]] static QStringList mergeFields(const QStringList& kept, const QStringList& copy);

    // The time of every arrival (UTC); tests set their own.
    std::function<QDateTime()> clock = [] { return QDateTime::currentDateTimeUtc(); };

signals:
    // A message of `path` was taken. `first` when no other path brought it before; `key` names the
    // message among its copies.
    void delivered(int path, const QByteArray& key, bool first);
    // A station alarm came, or a copy of it: what the history keeps of it.
    void copied(const AlarmCopies& copies);

private:
    class Path;
    struct Copy {
        int path = 0;
        qint64 afterMs = 0; // after the first copy
    };
    struct Tracked {
        enum class Kind { Station, Unit, Radio };
        Kind kind = Kind::Station;
        QString key; // the fingerprint, the units, or for a radio alarm its first RIC
        QDateTime first;
        QList<Copy> copies;
        QStringList fields; // a station alarm's, merged
        QSet<QString> rics; // the RICs (with sub-address) that brought it
        RadioAlarm radio; // the radio alarm that opened it, its text the longest since
        quint64 sequence = 0; // the core's live station alarm; 0: before a restart
        bool ahead = false; // announced ahead; its message comes to the core in its turn
        QString aheadMessage;

        QByteArray delivery; // the key delivered() names it by, from its first copy on

        [[nodiscard]] static Tracked opened(Kind kind, const QString& key, int path, const QDateTime& at);
        [[nodiscard]] bool brought(int path) const;
        [[nodiscard]] const QByteArray& deliveryKey() const { return delivery; }
    };
    // A status, pager, answer or ticker message and the paths that brought it.
    struct Seen {
        QDateTime at;
        QList<int> paths;
    };

    void station(int path, const QString& message, int replay);
    void unit(int path, const QString& message);
    void announceAhead(int path, const QString& message);
    // False when the message is another path's copy and goes no further.
    bool firstOfMessage(int path, const QString& message);
    void passMessage(int path, const QString& message, void (AlarmCore::*handler)(const QString&));

    void forgetOld(const QDateTime& now);
    [[nodiscard]] Tracked* findCopyOf(Tracked::Kind kind, const QString& key, int path, const QDateTime& now);
    [[nodiscard]] Tracked* findRadioAwaitingData(int path, const QDateTime& now);
    // The alarm of `path` announced ahead with this message, now in its turn (no longer ahead);
    // null when it was not announced ahead.
    [[nodiscard]] Tracked* takeAheadTurn(Tracked::Kind kind, int path, const QString& message);
    void addCopy(Tracked& alarm, int path, const QDateTime& now);
    void merge(Tracked& alarm, const QStringList& fields, bool announceDetails);
    void tell(const Tracked& alarm);
    [[nodiscard]] QString pathsText(const Tracked& alarm) const;
    void stateChanged();
    void loadState();

    AppContext& m_ctx;
    AlarmCore& m_core;
    std::vector<std::unique_ptr<Path>> m_paths;
    std::chrono::minutes m_window { 10 };
    std::deque<Tracked> m_alarms; // oldest first
    // Status, pager, answer and ticker messages of the last kMessageWindow, oldest first, and by text.
    QHash<QString, std::deque<Seen>> m_seen;
    std::deque<std::pair<QDateTime, QString>> m_seenOrder;
    QString m_stateFile;
    QTimer m_saveTimer;
};
