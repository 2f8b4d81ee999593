#include "announce/Announcer.h"

#include "announce/AlsaSoundOutput.h"
#include "common/AppContext.h"
#include "common/FileExists.h"

#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>

#include <sndfile.h>

#include <chrono>
#include <optional>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Frames decoded and handed over per step: small enough that the first samples reach the device
// at once, large enough that a long sound costs few calls.
constexpr sf_count_t kChunkFrames = 4096;

// What a sound file may claim before it counts as not a sound. A header with a rate of a few
// frames per second would otherwise hold the announcement for hours.
constexpr int kLowestRate = 1000;
constexpr int kHighestRate = 768000;
constexpr int kMostChannels = 64;

struct SndFileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndFilePtr = std::unique_ptr<SNDFILE, SndFileCloser>;

// Each file is handed on in a sample type that holds its samples exactly.
SoundFormat::SampleType sampleTypeOf(int fileFormat)
{
    switch (fileFormat & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_24:
    case SF_FORMAT_PCM_32:
        return SoundFormat::SampleType::Int32;
    case SF_FORMAT_FLOAT:
    case SF_FORMAT_DOUBLE:
        return SoundFormat::SampleType::Float;
    default:
        return SoundFormat::SampleType::Int16;
    }
}

sf_count_t readFrames(SNDFILE* file, SoundFormat::SampleType type, void* buffer, sf_count_t frames)
{
    switch (type) {
    case SoundFormat::SampleType::Int16:
        return sf_readf_short(file, static_cast<short*>(buffer), frames);
    case SoundFormat::SampleType::Int32:
        return sf_readf_int(file, static_cast<int*>(buffer), frames);
    case SoundFormat::SampleType::Float:
        return sf_readf_float(file, static_cast<float*>(buffer), frames);
    }
    return 0;
}

// Arguments are shell text on purpose (several options in one setting); a line break in them
// would start a further command line, so it counts as a blank.
QString oneLine(QString text)
{
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

} // namespace

Announcer::Announcer(AppContext& ctx)
    : Announcer(ctx, std::make_unique<AlsaSoundOutput>())
{
}

Announcer::Announcer(AppContext& ctx, std::unique_ptr<SoundOutput> output)
    : m_ctx(ctx)
    , m_output(std::move(output))
{
}

Announcer::~Announcer() = default;

void Announcer::PlayWave(const QString& path)
{
    if (FileExists(path) != 1)
        return;
    SF_INFO info {};
    const SndFilePtr file(sf_open(QFile::encodeName(path).constData(), SFM_READ, &info));
    if (!file || info.frames <= 0 || info.channels < 1 || info.channels > kMostChannels || info.samplerate < kLowestRate
        || info.samplerate > kHighestRate)
        return;

    const SoundFormat format { sampleTypeOf(info.format), info.channels, info.samplerate };
    std::vector<char> buffer(size_t(kChunkFrames) * size_t(format.bytesPerFrame()));
    bool playing = m_output->open(format);
    std::optional<Clock::time_point> start;
    sf_count_t frames = 0;
    for (;;) {
        const sf_count_t got = readFrames(file.get(), format.type, buffer.data(), kChunkFrames);
        if (got <= 0)
            break;
        if (!start)
            start = Clock::now();
        // A device that fails on the way leaves the rest of the sound silent, but not shorter.
        if (playing && !m_output->write(buffer.data(), got))
            playing = false;
        frames += got;
    }
    if (playing)
        m_output->drain();
    m_output->close();

    // Outputs without a clock of their own (no sound card, a file) take the samples at once; the
    // announcement keeps its timing all the same.
    if (start)
        std::this_thread::sleep_until(*start + std::chrono::nanoseconds(frames * 1000000000 / info.samplerate));
}

QString Announcer::ShellQuote(const QString& text)
{
    QString quoted;
    quoted.reserve(text.size() + 2);
    quoted += QLatin1Char('"');
    for (const QChar ch : text) {
        if (ch == QLatin1Char('$') || ch == QLatin1Char('`') || ch == QLatin1Char('"') || ch == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += ch;
    }
    quoted += QLatin1Char('"');
    return quoted;
}

QString Announcer::SpeechCommandLine(
    const QString& program, const QString& textFile, const QString& argsBefore, const QString& argsAfter)
{
    QString line
        = ShellQuote(program) + QLatin1Char(' ') + oneLine(argsBefore) + QLatin1Char(' ') + ShellQuote(textFile);
    if (!argsAfter.isEmpty())
        line += QLatin1Char(' ') + oneLine(argsAfter);
    return line;
}

QByteArray Announcer::SpeechScript(const QString& dataFolder, const QString& commandLine)
{
    // The shell hands these bytes to the kernel as they are: paths must be in the encoding of the
    // file names, or a folder with an umlaut would not be found.
    const QString text = QStringLiteral("#!/bin/sh\ncd ") + ShellQuote(oneLine(dataFolder)) + QLatin1Char('\n')
        + commandLine + QLatin1Char('\n');
    return QFile::encodeName(text);
}

void Announcer::RunSpeechProgram(
    const QString& program, const QString& textFile, const QString& argsBefore, const QString& argsAfter)
{
    const QString scriptPath = m_ctx.dataFile(QStringLiteral("sound.sh"));
    {
        // Replaced as a whole: a shell still reading the previous script keeps the old file.
        QSaveFile script(scriptPath);
        if (!script.open(QIODevice::WriteOnly))
            return;
        script.write(SpeechScript(m_ctx.DataFolder, SpeechCommandLine(program, textFile, argsBefore, argsAfter)));
        if (!script.commit())
            return;
    }
    ShellAndWait(scriptPath, kShowMinimized, true);
}

int Announcer::ShellAndWait(const QString& path, int windowStyle, bool pumpEvents)
{
    Q_UNUSED(windowStyle)
    if (FileExists(path) != 1)
        return 0;
    // A closing monitor starts nothing it would not wait for.
    if (m_ctx.ist_ende() != 0)
        return 0;

    const QFileInfo info(path);
    // Owned by nobody while it runs: a child that outlives the wait must not be killed by the
    // QProcess going away.
    auto* process = new QProcess;
    process->setWorkingDirectory(info.absolutePath());
    if (info.suffix() == QLatin1String("sh")) {
        process->setProgram(QStringLiteral("/bin/sh"));
        process->setArguments({ info.fileName() });
    } else {
        process->setProgram(info.absoluteFilePath());
    }
    // No pipes to the child: it may outlive the monitor, and nothing here reads what it prints.
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());

    bool finished = false;
    bool failed = false;
    QEventLoop loop;
    QObject::connect(process, &QProcess::finished, &loop, [&] {
        finished = true;
        loop.quit();
    });
    QObject::connect(process, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            failed = true;
            loop.quit();
        }
    });
    QObject::connect(&m_ctx, &AppContext::ending, &loop, &QEventLoop::quit);

    process->start();
    if (process->state() == QProcess::NotRunning && !finished)
        failed = true;
    if (!finished && !failed) {
        if (pumpEvents)
            loop.exec();
        else
            process->waitForFinished(-1);
        finished = finished || process->state() == QProcess::NotRunning;
    }

    if (finished || failed) {
        const int code = failed ? 0 : process->exitCode();
        delete process;
        return code;
    }
    // The program is ending: leave the child to itself and let the QProcess go once it has ended.
    QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
    return kStillActive;
}
