#pragma once

#include <QByteArray>
#include <QString>

// Points ALSA's "default" PCM, through its file plugin, at one raw file that collects every sample
// played in this process and in the processes started with alsaConfigPath(), across openings.
class SoundCapture {
public:
    // Writes the configuration into the folder and sets ALSA_CONFIG_PATH for this process; before
    // the first sound is played.
    explicit SoundCapture(const QString& folder);

    [[nodiscard]] QString alsaConfigPath() const { return m_configPath; }
    [[nodiscard]] QByteArray captured() const;
    void clear() const;

private:
    QString m_configPath;
    QString m_capture;
};
