#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

// The state of each path an alarm can come by: the dispatch hosts ("Leitstelle 1", "Leitstelle 2",
// ...) and the radio pager decoder ("Funkmeldeempfänger"). Every change is written to the journal
// and told through changed().
class PathStates : public QObject {
    Q_OBJECT

public:
    enum class State {
        Connected, // connected, and as far as can be told delivering
        Silent, // connected, but silent while another path delivered, or for too long
        Down, // not connected, or the decoder not running
    };
    struct Path {
        QString name;
        State state = State::Down;
        QDateTime since; // local time of the last change
    };

    explicit PathStates(QObject* parent = nullptr);

    // A new path, down since now unless told otherwise; returns its number.
    int add(const QString& name, State state = State::Down, const QDateTime& since = QDateTime::currentDateTime());
    // Forgets path `index`; the paths after it move up by one.
    void remove(int index);
    // Forgets every path (the station's paths are set up again).
    void clear();
    // The state of path `index` from `since`; nothing happens when it is the state already.
    void set(int index, State state, const QDateTime& since = QDateTime::currentDateTime());

    [[nodiscard]] const QList<Path>& paths() const { return m_paths; }
    // One text per path that is not connected: "Leitstelle 2 getrennt seit 10:42",
    // "Funkmeldeempfänger still seit 10:40". Empty when every path is connected.
    [[nodiscard]] QStringList problems() const;
    // Every path on a line of its own: "Leitstelle 1: verbunden seit 10:02".
    [[nodiscard]] QStringList describe() const;
    // "verbunden", "still", "getrennt".
    [[nodiscard]] static QString stateWord(State state);

signals:
    void changed();

private:
    QList<Path> m_paths;
};
