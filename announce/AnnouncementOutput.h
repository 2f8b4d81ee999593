#pragma once

#include <QString>

// Where the alarm handlers send what the station hears. The program uses the announcement
// output; tests put a recorder in its place.
class AnnouncementOutput {
public:
    virtual ~AnnouncementOutput() = default;

    // Plays a sound file and returns when it has ended; a missing file gives silence.
    virtual void PlayWave(const QString& path) = 0;

    // Runs the speech program on the text file and returns when it has ended (or the program is
    // ending). Events, another alarm among them, are handled while it runs.
    virtual void RunSpeechProgram(const QString& program, const QString& textFile, const QString& argsBefore,
                                  const QString& argsAfter)
        = 0;
};
