#pragma once

#include "announce/WavePlayer.h"

#include <QObject>
#include <QString>
#include <QThread>

#include <memory>

class SoundOutput;

// Plays sound files one at a time on a thread of its own that owns the device, so that the thread
// that takes alarms never waits for a sound: it keeps receiving and showing while one plays.
class SoundPlayer : public QObject {
    Q_OBJECT

public:
    explicit SoundPlayer(std::unique_ptr<SoundOutput> output, QObject* parent = nullptr);
    // Cuts the sound that plays and waits for the thread.
    ~SoundPlayer() override;

    SoundPlayer(const SoundPlayer&) = delete;
    SoundPlayer& operator=(const SoundPlayer&) = delete;

    // Starts a sound; played() follows once it has ended, was cut, or was nothing to play. The
    // next sound starts only after played().
    void play(const QString& path);
    // Ends the sound that plays now; played() follows as soon as the device has let it go.
    void cut();

signals:
    void played();

private:
    QThread m_thread;
    WavePlayer m_player;
    QObject* m_worker = nullptr;
};
