#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class AnnouncementOutput;
class AppContext;

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

    bool operator==(const Announcement&) const = default;
};

// Announces in the one order the station knows: the alarm sound, the speech, the unit sounds. A
// speech program that is not a readable file is skipped; a speech text that cannot be written is
// logged and the speech skipped, and the unit sounds still play. Stops between steps once the
// program is ending.
void Announce(const Announcement& announcement, AnnouncementOutput& output, const AppContext& ctx);
