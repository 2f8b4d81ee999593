#pragma once

#include <QObject>
#include <QString>

// Where an announcement goes: the loudspeakers and the speech program. Each step is started here
// and reports its end through stepEnded(), exactly once per step, always later through the event
// loop, never from inside the call that started or stopped it. The program uses the Announcer;
// tests and benchmarks put recorders in its place.
class AnnouncementOutput : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // Plays a sound file to its end; a missing file gives silence.
    virtual void PlayWave(const QString& path) = 0;

    // Runs the speech program on the text file until it ends or is ended for taking too long.
    virtual void RunSpeechProgram(
        const QString& program, const QString& textFile, const QString& argsBefore, const QString& argsAfter)
        = 0;

    // Ends the step under way as soon as it can: a sound is cut off, the speech program is ended
    // with everything it started. stepEnded() follows once nothing of it is heard any more.
    virtual void StopStep() = 0;

signals:
    void stepEnded();
};
