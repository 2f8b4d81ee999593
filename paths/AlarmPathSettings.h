#pragma once

#include <QChar>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

class ConfigValues;

// A dispatch host beside settings.dat's: "host" or "host:port".
struct DispatchHost {
    QString host;
    quint16 port = 4750;
    bool operator==(const DispatchHost&) const = default;

    // "leitstelle-b", "10.1.2.3:4751", "[fd00::5]:4751" or "fd00::5"; nothing when it is none.
    [[nodiscard]] static std::optional<DispatchHost> parse(QStringView text);
    // The items of a list of hosts, separated by commas or blanks.
    [[nodiscard]] static QStringList split(const QString& list);
    // As written: "leitstelle-b:4751"; the port only when it is not 4750.
    [[nodiscard]] QString text() const;
};

// A RIC of the station and what is shown and said for it.
struct StationRic {
    QString ric; // digits
    QChar subAddress; // 'A' to 'D'; null: any sub-address of the RIC
    QString text; // "Alarm Löschzug Mitte"
    bool operator==(const StationRic&) const = default;

    // A RIC has 21 bits.
    static constexpr int kHighestRic = 2097151;
    // Digits only, at most 7, no higher than kHighestRic.
    [[nodiscard]] static bool validRic(QStringView ric);
};

// The radio pager path: the decoder command and the station's RICs.
struct RadioSettings {
    QString command; // run by /bin/sh in a process group of its own; empty: no radio path
    QList<StationRic> rics;
    QString testRic; // the network's test message ("Funkprobe"); empty: not watched
    int testMinutes = 0; // a test message is expected at least this often; 0: not watched
    [[nodiscard]] bool active() const { return !command.isEmpty(); }
    bool operator==(const RadioSettings&) const = default;
};

// alarmwege.ini: the alarm's paths beside the one link of settings.dat. Absent: one link, as ever.
struct AlarmPathSettings {
    QList<DispatchHost> dispatch; // further dispatch hosts; settings.dat's host stays the first
    int mergeMinutes = 10; // copies of one alarm within this window are one alarm
    RadioSettings radio;
    int silentMinutes = 0; // a dispatch host silent this long is reported (0: off)

    bool operator==(const AlarmPathSettings&) const = default;

    // The values of alarmwege.ini as read with the schema; a value that cannot be used is left out
    // (the reading's problems name it).
    [[nodiscard]] static AlarmPathSettings from(const ConfigValues& values);
};
