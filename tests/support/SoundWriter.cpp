#include "tests/support/SoundWriter.h"

#include <QFile>

#include <vector>

QByteArray SoundWriter::write(const QString& path, int seed, int frames, int rate, int channels, int subFormat)
{
    std::vector<short> samples(static_cast<size_t>(frames) * static_cast<size_t>(channels));
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = short(seed * 1000 + int(i % 97) * (seed + 1));
    SF_INFO info {};
    info.channels = channels;
    info.samplerate = rate;
    info.format = SF_FORMAT_WAV | subFormat;
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!file)
        return {};
    const sf_count_t written = sf_writef_short(file, samples.data(), sf_count_t(frames));
    sf_close(file);
    if (written != sf_count_t(frames))
        return {};
    return QByteArray(reinterpret_cast<const char*>(samples.data()), qsizetype(samples.size() * sizeof(short)));
}
