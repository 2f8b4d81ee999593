#pragma once

#include "announce/AnnouncementOutput.h"
#include "announce/ProcessWait.h"
#include "announce/WavePlayer.h"

#include <memory>

class AppContext;
class SoundOutput;

// The station's loudspeakers and speech program: sound files are played to their end, and the
// speech program is run through sound.sh in the data folder and waited for.
class Announcer final : public AnnouncementOutput {
public:
    // Plays on ALSA's "default" PCM.
    explicit Announcer(AppContext& ctx);
    // Plays on the given output (tests, benchmarks).
    Announcer(AppContext& ctx, std::unique_ptr<SoundOutput> output);

    void PlayWave(const QString& path) override;

    // Writes sound.sh (replaced whole) and runs it with the data folder as working directory. When
    // the script cannot be written, that is logged and nothing is run.
    void RunSpeechProgram(
        const QString& program, const QString& textFile, const QString& argsBefore, const QString& argsAfter) override;

    [[nodiscard]] ProcessWait& processWait() { return m_wait; }

private:
    AppContext& m_ctx;
    WavePlayer m_player;
    ProcessWait m_wait;
};
