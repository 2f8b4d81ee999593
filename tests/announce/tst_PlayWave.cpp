#include "announce/AlsaSoundOutput.h"
#include "announce/Announcer.h"
#include "common/AppContext.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include <unistd.h>

// What reaches ALSA is captured with its "file" plugin on the real ALSA path: the test points
// ALSA_CONFIG_PATH at a configuration whose "default" PCM writes every sample into a file.

namespace {

using TestFiles::readAll;

struct Sound {
    int channels = 1;
    int sampleRate = 8000;
    sf_count_t frames = 0;
    [[nodiscard]] qint64 lengthNs() const { return frames * 1000000000LL / sampleRate; }
};

// A test signal: a chord with a little deterministic noise, different per channel, so that a
// swapped channel, a dropped block or a wrong sample type shows.
std::vector<double> testSignal(const Sound& sound, unsigned seed)
{
    std::vector<double> samples(size_t(sound.frames * sound.channels));
    unsigned state = seed;
    for (sf_count_t f = 0; f < sound.frames; ++f) {
        for (int c = 0; c < sound.channels; ++c) {
            state = state * 1103515245u + 12345u;
            const double t = double(f) / sound.sampleRate;
            const double noise = (double((state >> 16) & 0x7fff) / 32767.0 - 0.5) * 0.1;
            samples[size_t(f * sound.channels + c)]
                = 0.5 * std::sin(2 * M_PI * (440 + 110 * c) * t) + 0.3 * std::sin(2 * M_PI * 1234 * t) + noise;
        }
    }
    return samples;
}

bool writeSound(const QString& path, int format, const Sound& sound, unsigned seed)
{
    SF_INFO info {};
    info.channels = sound.channels;
    info.samplerate = sound.sampleRate;
    info.format = format;
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!file)
        return false;
    const std::vector<double> samples = testSignal(sound, seed);
    const sf_count_t written = sf_writef_double(file, samples.data(), sound.frames);
    sf_close(file);
    return written == sound.frames;
}

// The samples of a file as libsndfile decodes them, in the sample type the player hands on.
QByteArray decodedBytes(const QString& path, int bits, bool isFloat)
{
    SF_INFO info {};
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file)
        return {};
    QByteArray bytes(qsizetype(info.frames * info.channels * (bits / 8)), Qt::Uninitialized);
    sf_count_t got = 0;
    if (isFloat)
        got = sf_readf_float(file, reinterpret_cast<float*>(bytes.data()), info.frames);
    else if (bits == 32)
        got = sf_readf_int(file, reinterpret_cast<int*>(bytes.data()), info.frames);
    else
        got = sf_readf_short(file, reinterpret_cast<short*>(bytes.data()), info.frames);
    sf_close(file);
    bytes.truncate(qsizetype(got * info.channels * (bits / 8)));
    return bytes;
}


struct CapturedWave {
    int formatTag = 0;
    int channels = 0;
    int sampleRate = 0;
    int bits = 0;
    QByteArray data;
};

// The WAV file that ALSA's file plugin wrote.
std::optional<CapturedWave> parseWave(const QByteArray& bytes)
{
    auto u16 = [&](qsizetype at) { return int(quint8(bytes[at])) | int(quint8(bytes[at + 1])) << 8; };
    auto u32 = [&](qsizetype at) { return qint64(u16(at)) | qint64(u16(at + 2)) << 16; };
    if (bytes.size() < 12 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE")
        return std::nullopt;
    CapturedWave wave;
    qsizetype at = 12;
    while (at + 8 <= bytes.size()) {
        const QByteArray id = bytes.mid(at, 4);
        const qint64 size = u32(at + 4);
        at += 8;
        if (id == "fmt " && at + 16 <= bytes.size()) {
            wave.formatTag = u16(at);
            wave.channels = u16(at + 2);
            wave.sampleRate = int(u32(at + 4));
            wave.bits = u16(at + 14);
        } else if (id == "data") {
            wave.data = bytes.mid(at, qsizetype(qMin<qint64>(size, bytes.size() - at)));
            return wave;
        }
        at += qsizetype(size + (size & 1));
    }
    return std::nullopt;
}

// Records what the player does with an output, for the cases ALSA cannot be made to show.
class RecordingOutput final : public SoundOutput {
public:
    bool openResult = true;
    qint64 failAfterFrames = -1; // the output breaks once this many frames were taken
    int opens = 0;
    int drains = 0;
    int closes = 0;
    qint64 frames = 0;
    SoundFormat format;

    bool open(const SoundFormat& f) override
    {
        ++opens;
        format = f;
        return openResult;
    }
    bool write(const void*, qint64 count) override
    {
        if (failAfterFrames >= 0 && frames >= failAfterFrames)
            return false;
        frames += count;
        return true;
    }
    void drain() override { ++drains; }
    void close() override { ++closes; }
};

} // namespace

class PlayWaveTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_configs = 0;

    QString path(const QString& name) const { return m_dir.filePath(name); }

    // Points ALSA's "default" PCM somewhere new. alsa-lib reads its configuration again when the
    // list of configuration files changes, so each capture gets a file of its own.
    void useDefault(const QByteArray& definition)
    {
        const QString conf = path(QStringLiteral("alsa-%1.conf").arg(++m_configs));
        QFile f(conf);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("pcm.!default " + definition + "\n");
        f.close();
        qputenv("ALSA_CONFIG_PATH", "/usr/share/alsa/alsa.conf:" + QFile::encodeName(conf));
    }

    // Every sample handed to "default" goes into a WAV file (written anew per opening).
    QString captureWave()
    {
        const QString out = path(QStringLiteral("captured-%1.wav").arg(m_configs + 1));
        useDefault("{ type file; slave.pcm \"null\"; file \"" + QFile::encodeName(out) + "\"; format \"wav\" }");
        return out;
    }

    // Every sample handed to "default" is appended to one raw file, across openings.
    QString captureRaw()
    {
        const QString out = path(QStringLiteral("captured-%1.raw").arg(m_configs + 1));
        useDefault(
            "{ type file; slave.pcm \"null\"; file \"|cat >> " + QFile::encodeName(out) + "\"; format \"raw\" }");
        return out;
    }

    // Plays and returns how long the call took, in nanoseconds.
    qint64 timedPlay(Announcer& announcer, const QString& file)
    {
        QElapsedTimer timer;
        timer.start();
        announcer.PlayWave(file);
        return timer.nsecsElapsed();
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    // Each variant of WAV that libsndfile decodes arrives at ALSA sample for sample, in its channel
    // count and rate, and the call lasts at least as long as the sound.
    void decodedSamplesReachAlsa_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("sampleRate");
        QTest::addColumn<int>("bits"); // what reaches ALSA: 16 or 32
        QTest::addColumn<bool>("isFloat");

        const int wav = SF_FORMAT_WAV;
        QTest::newRow("8-bit PCM mono") << (wav | SF_FORMAT_PCM_U8) << 1 << 8000 << 16 << false;
        QTest::newRow("16-bit PCM stereo") << (wav | SF_FORMAT_PCM_16) << 2 << 44100 << 16 << false;
        QTest::newRow("16-bit PCM mono 22050") << (wav | SF_FORMAT_PCM_16) << 1 << 22050 << 16 << false;
        QTest::newRow("24-bit PCM stereo") << (wav | SF_FORMAT_PCM_24) << 2 << 48000 << 32 << false;
        QTest::newRow("32-bit PCM mono") << (wav | SF_FORMAT_PCM_32) << 1 << 16000 << 32 << false;
        QTest::newRow("32-bit float stereo") << (wav | SF_FORMAT_FLOAT) << 2 << 44100 << 32 << true;
        QTest::newRow("64-bit float mono") << (wav | SF_FORMAT_DOUBLE) << 1 << 22050 << 32 << true;
        QTest::newRow("mu-law mono") << (wav | SF_FORMAT_ULAW) << 1 << 8000 << 16 << false;
        QTest::newRow("A-law mono") << (wav | SF_FORMAT_ALAW) << 1 << 8000 << 16 << false;
        QTest::newRow("IMA ADPCM mono") << (wav | SF_FORMAT_IMA_ADPCM) << 1 << 11025 << 16 << false;
        QTest::newRow("MS ADPCM stereo") << (wav | SF_FORMAT_MS_ADPCM) << 2 << 22050 << 16 << false;
        QTest::newRow("GSM 6.10 mono") << (wav | SF_FORMAT_GSM610) << 1 << 8000 << 16 << false;
        QTest::newRow("WAVEX 16-bit 6 channels") << (SF_FORMAT_WAVEX | SF_FORMAT_PCM_16) << 6 << 48000 << 16 << false;
    }

    void decodedSamplesReachAlsa()
    {
        QFETCH(int, format);
        QFETCH(int, channels);
        QFETCH(int, sampleRate);
        QFETCH(int, bits);
        QFETCH(bool, isFloat);

        // 0.3 s plus an odd tail, so that the last block is a partial one.
        const Sound sound { channels, sampleRate, sampleRate * 3 / 10 + 17 };
        const QString source = path(QStringLiteral("%1.wav").arg(QString::fromLatin1(QTest::currentDataTag())));
        QVERIFY(writeSound(source, format, sound, 7));
        const QByteArray expected = decodedBytes(source, bits, isFloat);
        QVERIFY(!expected.isEmpty());

        const QString out = captureWave();
        AppContext ctx;
        Announcer announcer(ctx);
        const qint64 took = timedPlay(announcer, source);

        const auto wave = parseWave(readAll(out));
        QVERIFY2(wave, "ALSA received no sound");
        QCOMPARE(wave->channels, channels);
        QCOMPARE(wave->sampleRate, sampleRate);
        QCOMPARE(wave->bits, bits);
        QCOMPARE(wave->data.size(), expected.size());
        QVERIFY(wave->data == expected);
        QVERIFY2(took >= sound.lengthNs(),
            qPrintable(QStringLiteral("returned after %1 ns of a %2 ns sound").arg(took).arg(sound.lengthNs())));
    }

    // The decoder is not trusted alone: plain 16-bit samples must arrive exactly as written.
    void sixteenBitSamplesUnchanged()
    {
        const QString source = path(QStringLiteral("plain16.wav"));
        QByteArray raw;
        for (int i = 0; i < 4000; ++i) {
            const qint16 v = qint16((i * 7919) % 65536 - 32768);
            raw.append(char(v & 0xff)).append(char((v >> 8) & 0xff));
        }
        SF_INFO info {};
        info.channels = 1;
        info.samplerate = 8000;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        SNDFILE* file = sf_open(QFile::encodeName(source).constData(), SFM_WRITE, &info);
        QVERIFY(file);
        sf_write_raw(file, raw.constData(), raw.size());
        sf_close(file);

        const QString out = captureWave();
        AppContext ctx;
        Announcer announcer(ctx);
        announcer.PlayWave(source);
        const auto wave = parseWave(readAll(out));
        QVERIFY(wave);
        QVERIFY(wave->data == raw);
    }

    // Three sounds in a row reach ALSA one after the other, each complete, none mixed into
    // another, and each call lasts at least its own sound.
    void threeCallsInARow()
    {
        const Sound sounds[3] = { { 1, 8000, 2400 }, { 2, 8000, 1601 }, { 1, 8000, 4000 } };
        QString files[3];
        QByteArray expected;
        for (int i = 0; i < 3; ++i) {
            files[i] = path(QStringLiteral("row-%1.wav").arg(i));
            QVERIFY(writeSound(files[i], SF_FORMAT_WAV | SF_FORMAT_PCM_16, sounds[i], 100 + i));
            expected += decodedBytes(files[i], 16, false);
        }

        const QString out = captureRaw();
        AppContext ctx;
        Announcer announcer(ctx);
        qsizetype arrived = 0;
        for (int i = 0; i < 3; ++i) {
            const qint64 took = timedPlay(announcer, files[i]);
            QVERIFY2(took >= sounds[i].lengthNs(), qPrintable(QStringLiteral("call %1 returned early").arg(i)));
            // Everything of this sound has arrived when the call returns.
            arrived += qsizetype(sounds[i].frames * sounds[i].channels * 2);
            QCOMPARE(readAll(out).size(), arrived);
        }
        QVERIFY(readAll(out) == expected);
    }

    // What is not a playable sound gives silence: ALSA is never opened, no output sees a frame, and
    // so nothing holds the call (the length of a sound is kept only from its first frame on).
    void silenceForWhatIsNoSound_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");

        auto header = [](int rate, int channels, quint32 dataBytes) {
            QByteArray h("RIFF");
            auto le32 = [&](quint32 v) {
                for (int i = 0; i < 4; ++i)
                    h.append(char((v >> (8 * i)) & 0xff));
            };
            auto le16 = [&](quint16 v) { h.append(char(v & 0xff)).append(char(v >> 8)); };
            le32(36 + dataBytes);
            h += "WAVEfmt ";
            le32(16);
            le16(1);
            le16(quint16(channels));
            le32(quint32(rate));
            le32(quint32(rate * channels * 2));
            le16(quint16(channels * 2));
            le16(16);
            h += "data";
            le32(dataBytes);
            return h;
        };

        QTest::newRow("missing file") << QStringLiteral("missing.wav") << QByteArray();
        QTest::newRow("empty file") << QStringLiteral("empty.wav") << QByteArray("");
        QTest::newRow("text file named .wav")
            << QStringLiteral("text.wav") << QByteArray("Dies ist keine Tondatei.\r\nZweite Zeile\r\n");
        QTest::newRow("header only, no samples") << QStringLiteral("nodata.wav") << header(8000, 1, 0);
        QTest::newRow("truncated header") << QStringLiteral("cut.wav") << header(8000, 1, 16000).left(20);
        // 40 s at 2 frames a second: would hold the announcement, taken as not a sound.
        QTest::newRow("rate of 2 Hz") << QStringLiteral("slow.wav") << header(2, 1, 160) + QByteArray(160, '\x10');
        QTest::newRow("folder named .wav") << QStringLiteral("folder.wav") << QByteArray();
    }

    void silenceForWhatIsNoSound()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        const QString file = path(name);
        if (name == QLatin1String("folder.wav")) {
            QVERIFY(QDir().mkpath(file));
        } else if (name != QLatin1String("missing.wav")) {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(content);
        }

        const QString out = captureWave();
        AppContext ctx;
        Announcer announcer(ctx);
        announcer.PlayWave(file);
        QVERIFY2(!QFile::exists(out), "ALSA was opened");

        auto recorder = std::make_unique<RecordingOutput>();
        RecordingOutput* seen = recorder.get();
        Announcer recorded(ctx, std::move(recorder));
        recorded.PlayWave(file);
        QCOMPARE(seen->opens, 0);
        QCOMPARE(seen->frames, 0);
    }

    // Without any sound device the sound goes to the "null" PCM, the call keeps the length of the
    // sound, and ALSA prints nothing (each of these makes alsa-lib complain when asked).
    void noDeviceFallsBackToNull_data()
    {
        QTest::addColumn<QByteArray>("definition");
        QTest::newRow("no such card") << QByteArray("{ type hw; card \"NoSuchCard\" }");
        QTest::newRow("no such PCM") << QByteArray("{ type plug; slave.pcm \"kessvenn_missing\" }");
    }

    void noDeviceFallsBackToNull()
    {
        QFETCH(QByteArray, definition);
        useDefault(definition);
        const Sound sound { 1, 8000, 3000 };
        const QString source = path(QStringLiteral("nodevice.wav"));
        QVERIFY(writeSound(source, SF_FORMAT_WAV | SF_FORMAT_PCM_16, sound, 3));

        AlsaSoundOutput output;
        QVERIFY(output.open(SoundFormat { SoundFormat::SampleType::Int16, 1, 8000 }));
        QCOMPARE(output.openedDevice(), QByteArray("null"));
        output.close();

        // Whatever ALSA would print goes to file descriptor 2 while the sound plays.
        const QString errors = path(QStringLiteral("stderr.txt"));
        std::fflush(stderr);
        const int saved = ::dup(2);
        FILE* sink = std::fopen(QFile::encodeName(errors).constData(), "w");
        QVERIFY(sink);
        ::dup2(::fileno(sink), 2);
        AppContext ctx;
        Announcer announcer(ctx);
        const qint64 took = timedPlay(announcer, source);
        std::fflush(stderr);
        ::dup2(saved, 2);
        ::close(saved);
        std::fclose(sink);

        QVERIFY(took >= sound.lengthNs());
        QCOMPARE(readAll(errors), QByteArray());
    }

    // A device that takes no sound, or fails half way, leaves silence, but the announcement keeps
    // its length; the output is closed every time.
    void failingOutputKeepsTheLength_data()
    {
        QTest::addColumn<bool>("opens");
        QTest::addColumn<qint64>("failAfter");
        QTest::addColumn<qint64>("framesTaken");
        QTest::addColumn<int>("drains");

        QTest::newRow("cannot open") << false << qint64(-1) << qint64(0) << 0;
        QTest::newRow("fails at once") << true << qint64(0) << qint64(0) << 0;
        QTest::newRow("fails after the first block") << true << qint64(1) << qint64(4096) << 0;
        QTest::newRow("works") << true << qint64(-1) << qint64(6000) << 1;
    }

    void failingOutputKeepsTheLength()
    {
        QFETCH(bool, opens);
        QFETCH(qint64, failAfter);
        QFETCH(qint64, framesTaken);
        QFETCH(int, drains);

        const Sound sound { 1, 12000, 6000 };
        const QString source = path(QStringLiteral("failing.wav"));
        QVERIFY(writeSound(source, SF_FORMAT_WAV | SF_FORMAT_PCM_16, sound, 5));

        auto recorder = std::make_unique<RecordingOutput>();
        recorder->openResult = opens;
        recorder->failAfterFrames = failAfter;
        RecordingOutput* seen = recorder.get();
        AppContext ctx;
        Announcer announcer(ctx, std::move(recorder));
        const qint64 took = timedPlay(announcer, source);

        QCOMPARE(seen->opens, 1);
        QCOMPARE(seen->format, (SoundFormat { SoundFormat::SampleType::Int16, 1, 12000 }));
        QCOMPARE(seen->frames, framesTaken);
        QCOMPARE(seen->drains, drains);
        QVERIFY(seen->closes >= 1);
        QVERIFY(took >= sound.lengthNs());
    }

    // The sounds the build puts into the program folder are real, audible sounds.
    void programFolderSounds_data()
    {
        QTest::addColumn<QString>("name");
        for (const char* name : { "alarm.wav", "ELW 1.wav", "HLF 20.wav", "DLK 23.wav", "RTW 1.wav" })
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void programFolderSounds()
    {
        QFETCH(QString, name);
        const QString file = QStringLiteral(KESSVENN_PROGRAM_FOLDER "/") + name;
        SF_INFO info {};
        SNDFILE* sound = sf_open(QFile::encodeName(file).constData(), SFM_READ, &info);
        QVERIFY2(sound, qPrintable(file));
        std::vector<float> samples(size_t(info.frames * info.channels));
        QCOMPARE(sf_readf_float(sound, samples.data(), info.frames), info.frames);
        sf_close(sound);
        float peak = 0;
        for (float s : samples)
            peak = std::max(peak, std::abs(s));
        const double seconds = double(info.frames) / info.samplerate;
        QVERIFY2(seconds > 0.5 && seconds < 10, qPrintable(QString::number(seconds)));
        QVERIFY2(peak > 0.1f, qPrintable(QString::number(peak)));
    }
};

QTEST_GUILESS_MAIN(PlayWaveTest)
#include "tst_PlayWave.moc"
