#pragma once

#include <QByteArray>
#include <QString>

#include <sndfile.h>

namespace SoundWriter {

// Writes a short WAV (8 kHz, mono, 16-bit unless told) whose samples tell it apart from one of another seed.
// Returns the 16-bit samples, as a raw capture of its playing holds them; empty when not written.
QByteArray write(const QString& path, int seed, int frames = 400, int rate = 8000, int channels = 1,
    int subFormat = SF_FORMAT_PCM_16);

} // namespace SoundWriter
