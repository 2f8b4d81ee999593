#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// What the station hears of one alarm, decided before anything is played.
struct Announcement {
    struct Speech {
        QString program;
        QString textFile;
        QString argsBefore;
        QString argsAfter;
        QString text; // written to textFile in the 8-bit code page before the program runs
        bool operator==(const Speech&) const = default;
    };

    std::optional<QString> alarmSound;
    std::optional<Speech> speech;
    QStringList unitSounds;
    // Names the alarm in the journal ("station alarm B3 Wohnungsbrand"); never who reported it.
    QString name;
    // A test alarm ("Probealarm"): any real alarm stops it, under way or waiting.
    bool test = false;

    bool operator==(const Announcement&) const = default;
};
