#pragma once

#include <QString>

// The settings record: the 27 values of settings.dat, in the order of its lines, as the program uses
// them. The Station owns it and hands it to whoever needs it; the file's 0/1 lines and 16-bit
// numbers are read and written by settings/SettingsFile only.
struct StationSettings {
    QString ServerAddress;
    bool SpeechEnabled = false;
    bool PlayAlarmWav = false;
    QString SpeechProgramPath;
    QString SpeechTextFile;
    QString SpeechArgsBefore;
    QString SpeechArgsAfter;
    QString LeadText;
    QString TrailText;
    bool SpeakLeadText = false;
    bool SpeakTrailText = false;
    bool SpeakIncidentType = false;
    bool SpeakKeyword = false;
    bool SpeakTown = false;
    bool SpeakStreet = false;
    bool SpeakSupplement = false;
    bool SpeakDistrict = false;
    bool SpeakObject = false;
    bool SpeakOutsideTown = false;
    bool SpeakUnits = false;
    bool PlayUnitWavs = false;
    bool UseProxy = false;
    QString ProxyServer;
    quint16 ProxyPort = 0; // 0: none
    bool ProxyAuthRequired = false;
    QString ProxyLogin;
    QString ProxyPassword;

    bool operator==(const StationSettings&) const = default;
};
