#pragma once

#include <QString>

// Where an announcement goes: the loudspeakers and the speech program. The program uses the
// Announcer; tests put a recorder in its place.
class AnnouncementOutput {
public:
    virtual ~AnnouncementOutput() = default;

    // Plays a sound file and returns when it has ended; a missing file gives silence.
    virtual void PlayWave(const QString& path) = 0;

    // Runs the speech program on the text file and returns when it has ended, was ended for taking
    // too long, or the program is ending. Events, another alarm among them, are handled meanwhile.
    virtual void RunSpeechProgram(
        const QString& program, const QString& textFile, const QString& argsBefore, const QString& argsAfter)
        = 0;
};
