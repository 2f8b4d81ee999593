#pragma once

#include "common/CoarseClock.h"
#include "crew/RadioStatus.h"

#include <QByteArrayView>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QThreadPool>
#include <QTimer>

#include <functional>

class AlarmCore;

// One vehicle of the station on the board: its radio call name as the status messages carry it,
// the short name shown, and its last status with the time it came.
struct VehicleTile {
    QString callName;
    QString shortName;
    RadioStatus status;
    QDateTime since; // invalid: no status yet

    // A status older than a day is shown, marked old.
    [[nodiscard]] bool isOld(const QDateTime& now) const { return since.isValid() && since.secsTo(now) > 24 * 3600; }
    // Status 5 and 0 blink for their first minute; nothing else moves.
    [[nodiscard]] bool blinks(const QDateTime& now) const
    {
        return status.asksToSpeak() && since.isValid() && since.secsTo(now) < 60;
    }
};

// The station's vehicles by their radio status. fahrzeuge.ini in the data folder lists them, one
// "call name = short name" a line, in the order shown, at most kMostTiles; without it every call
// name seen is shown, sorted, as many. The last status of each vehicle is kept in a small file,
// written whole, readable by its owner only, so that the board after a restart shows what it
// showed before. A status message is taken as it comes, which costs a look-up; what shows the
// board hears of it at most every kChangedMs, from a timer, so that a burst of status messages
// never stands before an alarm's first sound.
class VehicleBoard : public QObject {
    Q_OBJECT

public:
    static inline const QString FileName = QStringLiteral("fahrzeuge.ini");
    static inline const QString StateFileName = QStringLiteral("fahrzeuge.dat");
    // A board shows no more vehicles than this: a broken feed without fahrzeuge.ini could bring any
    // number of call names, and a broken fahrzeuge.ini any number of lines.
    static constexpr int kMostTiles = 100;
    // changed() comes at most this often.
    static constexpr int kChangedMs = 200;

    struct Vehicle {
        QString callName;
        QString shortName;
    };
    // The lines of fahrzeuge.ini; a line without '=' is a warning naming `source` and the line (the
    // first few, then their count), also put into `warnings` when given.
    [[nodiscard]] static QList<Vehicle> parseVehicles(
        QByteArrayView bytes, const QString& source, QStringList* warnings = nullptr);

    // Reads fahrzeuge.ini and the kept statuses from `dataFolder`.
    explicit VehicleBoard(const QString& dataFolder, QObject* parent = nullptr);
    ~VehicleBoard() override;

    // The time of each status; tests set their own.
    std::function<QDateTime()> clock = CoarseClock();

    void watch(AlarmCore& core);
    // "WACHALARM_STATUS": taken at once, with its time.
    void statusMessage(const QString& message);

    [[nodiscard]] const QList<VehicleTile>& tiles() const { return m_tiles; }
    // Writes the kept statuses now when they changed; otherwise they are written within a second.
    void flush();

signals:
    // At most every kChangedMs, when a tile changed.
    void changed();

private:
    void readState();

    QString m_statePath;
    bool m_listed = false; // fahrzeuge.ini names the vehicles
    QList<VehicleTile> m_tiles;
    QHash<QString, qsizetype> m_index; // call name → tile
    QTimer m_writeTimer;
    QTimer m_changedTimer;
    QThreadPool m_writer;
    bool m_unwritten = false;
};
