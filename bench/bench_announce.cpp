// What an announcement costs the monitor: the CPU it burns while the speech program talks, and
// how soon a sound file starts to reach the loudspeakers.
#include "announce/AlsaSoundOutput.h"
#include "announce/Announcer.h"
#include "bench/BenchMain.h"
#include "common/AppContext.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <vector>

#include <sys/resource.h>

namespace {

using Clock = std::chrono::steady_clock;

double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Starts one step and runs the event loop until it has ended.
void runStep(Announcer& announcer, const std::function<void()>& start)
{
    QEventLoop loop;
    QObject::connect(&announcer, &AnnouncementOutput::stepEnded, &loop, &QEventLoop::quit);
    start();
    loop.exec();
}

// The monitor waits 5 s for a speech program, with its event loop running; the CPU time of the
// monitor's own process meanwhile (the child's is not counted).
void BM_SpeechWaitCpu(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString program = dir.filePath(QStringLiteral("say"));
    {
        QFile f(program);
        if (!f.open(QIODevice::WriteOnly))
            return state.SkipWithError("cannot write the speech program");
        f.write("#!/bin/sh\nsleep 5\n");
    }
    QFile::setPermissions(program, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QString text = dir.filePath(QStringLiteral("sabbel.txt"));
    QFile(text).open(QIODevice::WriteOnly);

    AppContext ctx;
    ctx.DataFolder = dir.path();
    Announcer announcer(ctx);
    double cpu = 0;
    double wall = 0;
    for (auto _ : state) {
        const double before = cpuSeconds();
        const auto start = Clock::now();
        runStep(announcer, [&] { announcer.RunSpeechProgram(program, text, QString(), QString()); });
        wall += std::chrono::duration<double>(Clock::now() - start).count();
        cpu += cpuSeconds() - before;
    }
    state.counters["cpu_ms"] = benchmark::Counter(cpu * 1000 / double(state.iterations()));
    state.counters["wait_s"] = benchmark::Counter(wall / double(state.iterations()));
}
BENCHMARK(BM_SpeechWaitCpu)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// ALSA's output, with the moment of the first write noted.
class TimedOutput final : public SoundOutput {
public:
    Clock::time_point firstWrite {};
    bool written = false;
    QByteArray device;

    bool open(const SoundFormat& format) override
    {
        written = false;
        const bool ok = m_alsa.open(format);
        device = m_alsa.openedDevice();
        return ok;
    }
    bool write(const void* frames, qint64 count) override
    {
        if (!written) {
            firstWrite = Clock::now();
            written = true;
        }
        return m_alsa.write(frames, count);
    }
    void drain() override { m_alsa.drain(); }
    void close() override { m_alsa.close(); }

private:
    AlsaSoundOutput m_alsa;
};

// From the call of PlayWave to the first samples handed to ALSA, for a 1 MB WAV (16-bit stereo,
// 44.1 kHz, 5.9 s). The step itself lasts as long as the sound. Argument 0: ALSA's own
// configuration (on a machine without a sound card "default" fails and "null" takes the sound);
// 1: a "default" PCM that exists, ALSA's file plugin writing to /dev/null.
void BM_PlayWaveFirstSample(benchmark::State& state)
{
    QTemporaryDir dir;
    if (state.range(0) == 1) {
        const QString conf = dir.filePath(QStringLiteral("alsa.conf"));
        QFile f(conf);
        if (!f.open(QIODevice::WriteOnly))
            return state.SkipWithError("cannot write the ALSA configuration");
        f.write("pcm.!default { type file; slave.pcm \"null\"; file \"/dev/null\"; format \"raw\" }\n");
        f.close();
        qputenv("ALSA_CONFIG_PATH", "/usr/share/alsa/alsa.conf:" + QFile::encodeName(conf));
    } else {
        qunsetenv("ALSA_CONFIG_PATH");
    }
    const QString wav = dir.filePath(QStringLiteral("big.wav"));
    SF_INFO info {};
    info.channels = 2;
    info.samplerate = 44100;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    const sf_count_t frames = (1 << 20) / 4;
    std::vector<short> samples(size_t(frames * 2));
    for (sf_count_t i = 0; i < frames; ++i)
        samples[size_t(2 * i)] = samples[size_t(2 * i + 1)] = short(8000 * std::sin(double(i) * 0.0627));
    SNDFILE* file = sf_open(QFile::encodeName(wav).constData(), SFM_WRITE, &info);
    if (!file)
        return state.SkipWithError("cannot write the sound");
    sf_writef_short(file, samples.data(), frames);
    sf_close(file);

    auto output = std::make_unique<TimedOutput>();
    TimedOutput* timed = output.get();
    AppContext ctx;
    Announcer announcer(ctx, std::move(output));
    for (auto _ : state) {
        const auto start = Clock::now();
        runStep(announcer, [&] { announcer.PlayWave(wav); });
        if (!timed->written)
            return state.SkipWithError("nothing reached ALSA");
        state.SetIterationTime(std::chrono::duration<double>(timed->firstWrite - start).count());
    }
    state.SetLabel("PCM " + timed->device.toStdString() + ", " + std::to_string(QFileInfo(wav).size()) + " bytes");
}
BENCHMARK(BM_PlayWaveFirstSample)->Arg(0)->Arg(1)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return runBenchmarks<QCoreApplication>(argc, argv);
}
