#pragma once

#include <QtGlobal>

// The shape of the samples that PlayWave hands to an output: interleaved frames of one sample type.
struct SoundFormat {
    enum class SampleType { Int16, Int32, Float };

    SampleType type = SampleType::Int16;
    int channels = 1;
    int sampleRate = 44100;

    [[nodiscard]] int bytesPerFrame() const { return channels * (type == SampleType::Int16 ? 2 : 4); }
    bool operator==(const SoundFormat&) const = default;
};

// Where decoded sound goes: the loudspeakers in the program, a recorder in tests.
class SoundOutput {
public:
    virtual ~SoundOutput() = default;

    // Prepares the output for one sound; false when nothing can take a sound of this shape.
    [[nodiscard]] virtual bool open(const SoundFormat& format) = 0;

    // Hands frames to the output, blocking while its buffer is full; false when the output failed
    // and takes no more.
    [[nodiscard]] virtual bool write(const void* frames, qint64 frameCount) = 0;

    // Returns once everything written has been played.
    virtual void drain() = 0;

    virtual void close() = 0;
};
