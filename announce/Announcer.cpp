#include "announce/Announcer.h"

#include "announce/AlsaSoundOutput.h"
#include "announce/SpeechScript.h"
#include "common/AppContext.h"
#include "common/Log.h"
#include "common/SafeFile.h"

#include <QDebug>

Announcer::Announcer(AppContext& ctx)
    : Announcer(ctx, std::make_unique<AlsaSoundOutput>())
{
}

Announcer::Announcer(AppContext& ctx, std::unique_ptr<SoundOutput> output)
    : m_ctx(ctx)
    , m_player(std::move(output))
    , m_wait(ctx)
{
}

void Announcer::PlayWave(const QString& path)
{
    m_player.PlayWave(path);
}

void Announcer::RunSpeechProgram(
    const QString& program, const QString& textFile, const QString& argsBefore, const QString& argsAfter)
{
    const QString scriptPath = m_ctx.dataFile(QStringLiteral("sound.sh"));
    // Replaced whole: a shell still reading the previous script keeps the old file, and a full
    // disk leaves it as it was.
    const QByteArray script
        = SpeechScript::Bytes(m_ctx.DataFolder, SpeechScript::CommandLine(program, textFile, argsBefore, argsAfter));
    if (!ReplaceFileWhole(scriptPath, script)) {
        qCWarning(lcFiles).noquote() << "Speech script" << scriptPath << "could not be written; no speech";
        return;
    }
    m_wait.ShellAndWait(scriptPath);
}
