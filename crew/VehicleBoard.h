#pragma once

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
// "call name = short name" a line, in the order shown; without it every call name seen is shown,
// sorted. The last status of each vehicle is kept in a small file, written whole, readable by its
// owner only, so that the board after a restart shows what it showed before.
class VehicleBoard : public QObject {
    Q_OBJECT

public:
    static inline const QString FileName = QStringLiteral("fahrzeuge.ini");
    static inline const QString StateFileName = QStringLiteral("fahrzeuge.dat");
    // Without fahrzeuge.ini a broken feed could bring any number of call names.
    static constexpr int kMostTiles = 100;
    // Status messages waiting for the event loop; a feed that floods it loses the excess.
    static constexpr int kMostPending = 100000;

    struct Vehicle {
        QString callName;
        QString shortName;
    };
    // The lines of fahrzeuge.ini; a line without '=' is a warning naming `source` and the line.
    [[nodiscard]] static QList<Vehicle> parseVehicles(QByteArrayView bytes, const QString& source);

    // Reads fahrzeuge.ini and the kept statuses from `dataFolder`.
    explicit VehicleBoard(const QString& dataFolder, QObject* parent = nullptr);
    ~VehicleBoard() override;

    // The time of each status; tests set their own.
    std::function<QDateTime()> clock = [] { return QDateTime::currentDateTime(); };

    void watch(AlarmCore& core);
    // "WACHALARM_STATUS": shown from the next turn of the event loop on, with its time.
    void statusMessage(const QString& message);

    [[nodiscard]] const QList<VehicleTile>& tiles() const { return m_tiles; }
    // Takes the status messages that wait for the next turn of the event loop now.
    void takePending();
    // Writes the kept statuses now when they changed; otherwise they are written within a second.
    void flush();

signals:
    // Once per turn of the event loop in which a tile changed.
    void changed();

private:
    void readState();
    void take(const QString& message, const QDateTime& now);
    void scheduleChanged();

    QString m_statePath;
    bool m_listed = false; // fahrzeuge.ini names the vehicles
    QList<VehicleTile> m_tiles;
    QStringList m_pending;
    QHash<QString, qsizetype> m_index; // call name → tile
    QTimer m_writeTimer;
    QThreadPool m_writer;
    bool m_changePending = false;
    bool m_unwritten = false;
};
