#include "announce/SoundPlayer.h"

#include "announce/SoundOutput.h"
#include "common/HandOver.h"

SoundPlayer::SoundPlayer(std::unique_ptr<SoundOutput> output, QObject* parent)
    : QObject(parent)
    , m_player(std::move(output))
    , m_worker(new QObject)
{
    m_thread.setObjectName(QStringLiteral("sound"));
    m_worker->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread.start();
}

SoundPlayer::~SoundPlayer()
{
    m_player.Cut();
    m_thread.quit();
    m_thread.wait();
}

void SoundPlayer::play(const QString& path)
{
    // Only one sound is ever under way, so no cut meant for an older sound can be pending.
    m_player.ResetCut();
    HandOver::post(m_worker, [this, path] {
        m_player.PlayWave(path);
        HandOver::post(this, [this] { emit played(); });
    });
}

void SoundPlayer::cut()
{
    m_player.Cut();
}
