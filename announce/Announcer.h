#pragma once

#include "announce/AnnouncementOutput.h"
#include "announce/ProgramRun.h"
#include "announce/SoundPlayer.h"

#include <memory>

class AppContext;
class SoundOutput;

// The station's loudspeakers and speech program: sound files are played on a thread of their own,
// and the speech program is run through sound.sh in the data folder; neither holds the thread
// that takes alarms.
class Announcer final : public AnnouncementOutput {
    Q_OBJECT

public:
    // Plays on ALSA's "default" PCM.
    explicit Announcer(AppContext& ctx, QObject* parent = nullptr);
    // Plays on the given output (tests, benchmarks).
    Announcer(AppContext& ctx, std::unique_ptr<SoundOutput> output, QObject* parent = nullptr);

    void PlayWave(const QString& path) override;

    // Writes sound.sh (replaced whole) and runs it with the data folder as working directory. When
    // the script cannot be written or run, that is logged and the step ends at once.
    void RunSpeechProgram(
        const QString& program, const QString& textFile, const QString& argsBefore, const QString& argsAfter) override;

    void StopStep() override;

private:
    void endStepLater();

    AppContext& m_ctx;
    SoundPlayer m_sound;
    ProgramRun m_speech;
};
