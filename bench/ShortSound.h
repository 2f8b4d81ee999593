#pragma once

#include <QFile>
#include <QString>

#include <sndfile.h>

#include <vector>

// A 10 ms wave file for a benchmark's alarm sound: the announcement starts at once and is done
// quickly, so that only the way to the first sound is measured.
inline void writeShortSound(const QString& path)
{
    std::vector<short> samples(80, 1000);
    SF_INFO info {};
    info.channels = 1;
    info.samplerate = 8000;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    if (SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info)) {
        sf_writef_short(file, samples.data(), sf_count_t(samples.size()));
        sf_close(file);
    }
}
