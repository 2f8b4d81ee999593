#pragma once

#include "alarm/AnnouncementOutput.h"
#include "announce/SoundOutput.h"

#include <QByteArray>
#include <QString>

#include <memory>

class AppContext;

// The three operations every announcement is made of: playing a sound file to its end, running
// the operator's speech program on the speech text, and starting a program and waiting for it
// while the window, the timer and the link keep working. The alarm handlers announce through it.
class Announcer final : public AnnouncementOutput {
public:
    // What ShellAndWait gives back when it stopped waiting because the program is ending: the
    // child is still running and has no exit code yet.
    static constexpr int kStillActive = 259;

    // Window style for the speech script: minimized, activated. Has no meaning on this platform.
    static constexpr int kShowMinimized = 2;

    // Plays on ALSA's "default" PCM.
    explicit Announcer(AppContext& ctx);
    // Plays on the given output (tests, benchmarks).
    Announcer(AppContext& ctx, std::unique_ptr<SoundOutput> output);
    ~Announcer() override;

    Announcer(const Announcer&) = delete;
    Announcer& operator=(const Announcer&) = delete;

    // Plays the sound file and returns when it has finished playing, never earlier: the call lasts
    // at least as long as the sound, also where no device takes it. A missing file, one that cannot
    // be decoded, or one that is not a sound gives silence and returns at once. Blocks the thread.
    void PlayWave(const QString& path) override;

    // Writes sound.sh in the data folder, which calls the speech program on the text file, runs it
    // with the data folder as working directory and waits for it with events handled. Returns at
    // once, without speech, when sound.sh cannot be written.
    void RunSpeechProgram(
        const QString& program, const QString& textFile, const QString& argsBefore, const QString& argsAfter) override;

    // Starts the file at the path (a ".sh" file through /bin/sh, in its own folder) and waits until
    // it has ended or the program is ending. With pumpEvents the wait handles every event of the
    // thread meanwhile; without, it handles none. Returns the exit code; 0 when the file does not
    // exist or cannot be started; kStillActive when the program began to end first. The child is
    // never killed: when the wait gives up, it runs on on its own. The window style is ignored.
    int ShellAndWait(const QString& path, int windowStyle, bool pumpEvents);

    // The command line that runs the speech program: the program path and the text file in
    // double quotes, the arguments before between them with a blank on each side, and the
    // arguments after, behind one blank, only when there are any.
    [[nodiscard]] static QString SpeechCommandLine(
        const QString& program, const QString& textFile, const QString& argsBefore, const QString& argsAfter);

    // The bytes of sound.sh: "#!/bin/sh", cd into the data folder, the command line; LF line ends.
    [[nodiscard]] static QByteArray SpeechScript(const QString& dataFolder, const QString& commandLine);

    // Text in double quotes for /bin/sh, with $ ` " and \ escaped.
    [[nodiscard]] static QString ShellQuote(const QString& text);

private:
    AppContext& m_ctx;
    std::unique_ptr<SoundOutput> m_output;
};
