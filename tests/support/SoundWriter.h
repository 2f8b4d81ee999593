#pragma once

#include <QByteArray>
#include <QString>

namespace SoundWriter {

// Writes a short WAV (8 kHz unless told, mono, 16-bit) whose samples tell it apart from one of another seed.
// Returns the sample bytes, as a raw capture of its playing holds them; empty when not written.
QByteArray write(const QString& path, int seed, int frames = 400, int rate = 8000);

} // namespace SoundWriter
