#include "announce/Announcer.h"

#include "announce/AlsaSoundOutput.h"
#include "announce/SpeechScript.h"
#include "common/AppContext.h"
#include "common/Log.h"
#include "common/SafeFile.h"

#include <QDebug>

Announcer::Announcer(AppContext& ctx, QObject* parent)
    : Announcer(ctx, std::make_unique<AlsaSoundOutput>(), parent)
{
}

Announcer::Announcer(AppContext& ctx, std::unique_ptr<SoundOutput> output, QObject* parent)
    : AnnouncementOutput(parent)
    , m_ctx(ctx)
    , m_sound(std::move(output))
{
    connect(&m_sound, &SoundPlayer::played, this, &AnnouncementOutput::stepEnded);
    connect(&m_speech, &ProgramRun::finished, this, &AnnouncementOutput::stepEnded);
    // "Programmende" leaves no speech program behind, nor anything it started.
    connect(&m_ctx, &AppContext::ending, &m_speech, &ProgramRun::endAndWait);
}

void Announcer::PlayWave(const QString& path)
{
    m_sound.play(path);
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
        return endStepLater();
    }
    if (!m_speech.start(scriptPath))
        endStepLater();
}

void Announcer::StopStep()
{
    if (m_speech.running())
        m_speech.end();
    else
        m_sound.cut();
}

void Announcer::endStepLater()
{
    QMetaObject::invokeMethod(this, &AnnouncementOutput::stepEnded, Qt::QueuedConnection);
}
