// The choice of reader for a sound file and what each reader gives: lossless formats decode to
// exactly the samples a WAV file of them holds, lossy ones come close, seeks land on the frame
// asked for, and files that cannot be played say why.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cmath>
#include <limits>

#include "platform/media/SoundFileOpener.h"
#include "platform/media/TestSound.h"
#include "platform/media/TestWav.h"

namespace {

using mvmedia::OpenedSound;

class SoundReaderTest : public ::testing::Test {
protected:
    QByteArray Path(const char* name) const {
        return m_dir.filePath(QString::fromLatin1(name)).toLocal8Bit();
    }
    QByteArray Write(const char* name, const QByteArray& bytes) const {
        const QByteArray path = Path(name);
        EXPECT_TRUE(testwav::WriteFile(QString::fromLocal8Bit(path), bytes));
        return path;
    }

    // Every frame from the reader's position on, as left/right pairs.
    static std::vector<int16_t> ReadAll(SoundReader& reader, size_t limit = 1 << 24) {
        std::vector<int16_t> out;
        int16_t l = 0;
        int16_t r = 0;
        while (out.size() < limit && reader.ReadFrame(l, r)) {
            out.push_back(l);
            out.push_back(r);
        }
        return out;
    }

    // The left/right pairs a 16-bit file of `samples` should give.
    static std::vector<int16_t> Stereo(const std::vector<int16_t>& samples, int channels) {
        std::vector<int16_t> out;
        for (size_t i = 0; i + channels <= samples.size(); i += channels) {
            out.push_back(samples[i]);
            out.push_back(samples[i + (channels == 1 ? 0 : 1)]);
        }
        return out;
    }

    QTemporaryDir m_dir;
};

TEST_F(SoundReaderTest, LosslessFormatsDecodeExactlyAsTheSameSamplesInAWavFile) {
    for (const int channels : {1, 2, 3}) {
        const std::vector<int16_t> samples = testsound::Tones(5000, channels);
        const QByteArray wav = Write(
            "ref.wav", testwav::Wav({.channels = uint16_t(channels)}, testwav::Samples16(samples)));
        OpenedSound ref = mvmedia::OpenSoundFile(wav);
        ASSERT_TRUE(ref.reader);
        const std::vector<int16_t> expected = ReadAll(*ref.reader);
        ASSERT_EQ(expected, Stereo(samples, channels));

        const struct {
            const char* name;
            int format;
        } kLossless[] = {
            {"a.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
            {"a.AIFF", SF_FORMAT_AIFF | SF_FORMAT_PCM_16},
            {"a.aifc", SF_FORMAT_AIFF | SF_FORMAT_PCM_16},
            {"a.caf", SF_FORMAT_CAF | SF_FORMAT_PCM_16},
            {"a.w64", SF_FORMAT_W64 | SF_FORMAT_PCM_16},
            {"a.rf64", SF_FORMAT_RF64 | SF_FORMAT_PCM_16},
        };
        for (const auto& f : kLossless) {
            SCOPED_TRACE(std::string(f.name) + " with " + std::to_string(channels) + " channels");
            ASSERT_TRUE(testsound::Write16(Path(f.name), f.format, channels, 48000, samples));
            OpenedSound opened = mvmedia::OpenSoundFile(Path(f.name));
            ASSERT_TRUE(opened.reader) << opened.reason.toStdString();
            EXPECT_EQ(opened.reader->GetSampleRate(), 48000u);
            EXPECT_EQ(opened.reader->GetChannels(), channels);
            EXPECT_EQ(opened.reader->GetFrameCount(), 5000u);
            EXPECT_EQ(ReadAll(*opened.reader), expected);
        }
    }
}

TEST_F(SoundReaderTest, WideIntegerSamplesKeepTheirTopSixteenBitsAsInWav) {
    // Negative samples that are not multiples of 256 show whether the low bits are floored
    // (as the WAV reader does) or rounded.
    std::vector<int32_t> samples24;
    QByteArray wavData;
    for (int i = 0; i < 3000; ++i) {
        const int32_t v = ((i * 7919) % 16777216) - 8388608;
        samples24.push_back(v * 256);  // libsndfile takes 32-bit containers
        wavData.append(static_cast<char>(v & 0xFF));
        wavData.append(static_cast<char>((v >> 8) & 0xFF));
        wavData.append(static_cast<char>((v >> 16) & 0xFF));
    }
    const QByteArray wav = Write("ref.wav", testwav::Wav({.channels = 1, .bits = 24}, wavData));
    OpenedSound ref = mvmedia::OpenSoundFile(wav);
    ASSERT_TRUE(ref.reader);
    const std::vector<int16_t> expected = ReadAll(*ref.reader);
    for (const char* name : {"w.flac", "w.aiff"}) {
        const int major = QByteArray(name).endsWith("flac") ? SF_FORMAT_FLAC : SF_FORMAT_AIFF;
        ASSERT_TRUE(testsound::WriteInt(Path(name), major | SF_FORMAT_PCM_24, 1, 44100, samples24));
        OpenedSound opened = mvmedia::OpenSoundFile(Path(name));
        ASSERT_TRUE(opened.reader);
        EXPECT_EQ(ReadAll(*opened.reader), expected) << name;
    }
}

TEST_F(SoundReaderTest, LossyFormatsComeCloseToTheirSource) {
    const std::vector<int16_t> samples = testsound::Tones(44100, 2);
    const struct {
        const char* name;
        int format;
        int rate;
    } kLossy[] = {
        {"a.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 44100},
        {"a.opus", SF_FORMAT_OGG | SF_FORMAT_OPUS, 48000},
        {"a.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 44100},
    };
    for (const auto& f : kLossy) {
        SCOPED_TRACE(f.name);
        ASSERT_TRUE(testsound::Write16(Path(f.name), f.format, 2, f.rate, samples));
        OpenedSound opened = mvmedia::OpenSoundFile(Path(f.name));
        ASSERT_TRUE(opened.reader) << opened.reason.toStdString();
        EXPECT_EQ(opened.reader->GetFrameCount(), 44100u);
        const std::vector<int16_t> got = ReadAll(*opened.reader);
        ASSERT_EQ(got.size(), samples.size());
        // An MP3 encoder puts its delay (about 1100 frames) in front of the sound, which the
        // decoder can only take off when the encoder noted it: allow for that shift. The error
        // over the middle half second, relative to the signal, is then under 5 %.
        double best = 1e9;
        int bestShift = 0;
        const int shifts = QByteArray(f.name) == "a.mp3" ? 3000 : 1;
        for (int shift = 0; shift < shifts; ++shift) {
            double error = 0;
            double signal = 0;
            for (size_t i = 22050; i < 66150; ++i) {
                error += std::pow(double(got[i + 2 * shift]) - samples[i], 2);
                signal += std::pow(double(samples[i]), 2);
            }
            if (std::sqrt(error / signal) < best) {
                best = std::sqrt(error / signal);
                bestShift = shift;
            }
        }
        EXPECT_LT(best, 0.05) << "shifted by " << bestShift << " frames";
        if (QByteArray(f.name) != "a.mp3") {
            EXPECT_EQ(bestShift, 0);
        }
    }
}

TEST_F(SoundReaderTest, SeeksLandOnTheFrameAskedForInEveryFormat) {
    const std::vector<int16_t> samples = testsound::Tones(40000, 2);
    const struct {
        const char* name;
        int format;
    } kFormats[] = {
        {"s.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
        {"s.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16},
        {"s.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS},
        {"s.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III},
        {"s.opus", SF_FORMAT_OGG | SF_FORMAT_OPUS},
    };
    Write("s.wav", testwav::Wav({}, testwav::Samples16(samples)));
    for (const char* name : {"s.wav", "s.flac", "s.aiff", "s.ogg", "s.mp3", "s.opus"}) {
        SCOPED_TRACE(name);
        for (const auto& f : kFormats) {
            if (qstrcmp(f.name, name) == 0) {
                const int rate = QByteArray(name).endsWith("opus") ? 48000 : 44100;
                ASSERT_TRUE(testsound::Write16(Path(name), f.format, 2, rate, samples));
            }
        }
        OpenedSound opened = mvmedia::OpenSoundFile(Path(name));
        ASSERT_TRUE(opened.reader);
        SoundReader& reader = *opened.reader;
        const std::vector<int16_t> all = ReadAll(reader);
        ASSERT_EQ(all.size(), 80000u);
        for (const uint64_t frame : {30011u, 2u, 17000u, 39999u, 35892u, 26919u, 39500u}) {
            reader.SeekToFrame(frame);
            const std::vector<int16_t> from = ReadAll(reader, 2 * 1500);
            ASSERT_EQ(from.size(), std::min<size_t>(2 * 1500, 2 * (40000 - frame))) << frame;
            // Lossy decoders may differ by a rounding step after a seek; never by a shift.
            for (size_t i = 0; i < from.size(); ++i) {
                ASSERT_NEAR(from[i], all[2 * frame + i], 2) << "frame " << frame << "+" << i / 2;
            }
        }
        reader.SeekToFrame(40000);
        EXPECT_TRUE(ReadAll(reader).empty());
        reader.SeekToFrame(5);
        reader.SeekToEnd();
        EXPECT_TRUE(ReadAll(reader).empty());
    }
}

TEST_F(SoundReaderTest, FloatSamplesThatAreNoNumbersOrInfinitePlayAsSilence) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<float> samples = {0.5f, nan, inf, -inf, 2.0f, -2.0f, -0.25f, 1e-9f};
    const std::vector<int16_t> expected = {16384, 0, 0, 0, 32767, -32768, -8192, 0};

    QByteArray data;
    for (float v : samples) {
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        testwav::Put32(data, bits);
    }
    Write("f.wav", testwav::Wav({.tag = 3, .channels = 2, .bits = 32}, data));
    ASSERT_TRUE(
        testsound::WriteFloat(Path("f.caf"), SF_FORMAT_CAF | SF_FORMAT_FLOAT, 2, 44100, samples));
    for (const char* name : {"f.wav", "f.caf"}) {
        OpenedSound opened = mvmedia::OpenSoundFile(Path(name));
        ASSERT_TRUE(opened.reader) << name;
        EXPECT_EQ(ReadAll(*opened.reader), expected) << name;
    }
}

TEST_F(SoundReaderTest, ChoosesTheReaderByExtensionThenByContents) {
    const std::vector<int16_t> samples = testsound::Tones(1000, 2);
    ASSERT_TRUE(
        testsound::Write16(Path("flac.dat"), SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 44100, samples));
    OpenedSound byContents = mvmedia::OpenSoundFile(Path("flac.dat"));
    ASSERT_TRUE(byContents.reader);
    EXPECT_EQ(byContents.reader->GetDescription(), QStringLiteral("FLAC"));
    EXPECT_EQ(ReadAll(*byContents.reader), Stereo(samples, 2));

    // Unrecognised contents under any other extension stay raw 16-bit mono at 22050 Hz.
    Write("noise.snd", QByteArray("\x01\x02\x03\x04\x05", 5));
    OpenedSound raw = mvmedia::OpenSoundFile(Path("noise.snd"));
    ASSERT_TRUE(raw.reader);
    EXPECT_EQ(raw.reader->GetSampleRate(), 22050u);
    EXPECT_EQ(ReadAll(*raw.reader), (std::vector<int16_t>{0x0201, 0x0201, 0x0403, 0x0403}));

    // A letter-case mismatch is forgiven, as for WAV files.
    OpenedSound loose = mvmedia::OpenSoundFile(Path("FLAC.DAT"));
    EXPECT_TRUE(loose.reader);

    EXPECT_TRUE(mvmedia::IsSoundFileName("x/Bell.Mp3"));
    EXPECT_TRUE(mvmedia::IsSoundFileName("Bell.WAV"));
    EXPECT_TRUE(mvmedia::IsDecodedFileName("a.b/Bell.OPUS"));
    EXPECT_FALSE(mvmedia::IsDecodedFileName("Bell.wav"));
    EXPECT_FALSE(mvmedia::IsSoundFileName("mp3"));
    EXPECT_FALSE(mvmedia::IsSoundFileName("a.mp3/readme"));
}

TEST_F(SoundReaderTest, FilesThatCannotBePlayedSayWhy) {
    const std::vector<int16_t> samples = testsound::Tones(20000, 2);
    ASSERT_TRUE(testsound::Write16(Path("good.flac"), SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 44100,
                                   samples));
    QFile good(QString::fromLocal8Bit(Path("good.flac")));
    ASSERT_TRUE(good.open(QIODevice::ReadOnly));
    const QByteArray flac = good.readAll();

    const struct {
        const char* name;
        QByteArray bytes;
        OpenedSound::Error error;
        const char* reason;
    } kCases[] = {
        {"empty.WAV", QByteArray(), OpenedSound::Error::NotPlayable, "empty file"},
        {"double.wav", testwav::Wav({.tag = 3, .bits = 64}, QByteArray(64, '\0')),
         OpenedSound::Error::NotPlayable, "64-bit float WAV"},
        {"adpcm.wav", testwav::Wav({.tag = 2, .bits = 4, .blockAlign = 1024}, QByteArray(64, 1)),
         OpenedSound::Error::NotPlayable, "ADPCM WAV"},
        {"text.wav", QByteArray("hello, this is no sound"), OpenedSound::Error::NotPlayable,
         "not a RIFF WAVE file"},
        {"nodata.wav", testwav::Riff(testwav::Chunk("fmt ", testwav::FmtBody({}))),
         OpenedSound::Error::NotPlayable, "WAV without sound data"},
        {"flac.wav", flac, OpenedSound::Error::NotPlayable, "not a RIFF WAVE file"},
        {"noise.mp3", QByteArray(5000, '\x5A'), OpenedSound::Error::CannotOpen, nullptr},
        {"empty.flac", QByteArray(), OpenedSound::Error::CannotOpen, nullptr},
        {"head.flac", flac.left(30), OpenedSound::Error::CannotOpen, nullptr},
        {"wav.ogg", testwav::Ramp16(100, 2, 44100), OpenedSound::Error::None, nullptr},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        OpenedSound opened = mvmedia::OpenSoundFile(Write(c.name, c.bytes));
        EXPECT_EQ(opened.error, c.error) << opened.reason.toStdString();
        EXPECT_EQ(opened.reader != nullptr, c.error == OpenedSound::Error::None);
        if (c.reason) {
            EXPECT_EQ(opened.reason, QString::fromUtf8(c.reason));
        } else if (c.error != OpenedSound::Error::None) {
            EXPECT_FALSE(opened.reason.isEmpty());
        }
    }

    OpenedSound missing = mvmedia::OpenSoundFile(Path("gone.mp3"));
    EXPECT_EQ(missing.error, OpenedSound::Error::CannotOpen);
    EXPECT_EQ(missing.reason,
              QStringLiteral("File not found: ") + QString::fromLocal8Bit(Path("gone.mp3")));
}

TEST_F(SoundReaderTest, DamagedCompressedFilesEndEarlyWithoutHangingOrNoise) {
    const std::vector<int16_t> samples = testsound::Tones(44100, 2);
    const struct {
        const char* name;
        int format;
    } kFormats[] = {
        {"t.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
        {"t.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS},
        {"t.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III},
    };
    for (const auto& f : kFormats) {
        SCOPED_TRACE(f.name);
        ASSERT_TRUE(testsound::Write16(Path(f.name), f.format, 2, 44100, samples));
        QFile file(QString::fromLocal8Bit(Path(f.name)));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray whole = file.readAll();
        file.close();
        // Cut in half, and with the second half overwritten by a repeating pattern.
        QByteArray garbled = whole;
        for (qsizetype i = whole.size() / 2; i < whole.size(); ++i) {
            garbled[i] = static_cast<char>(i * 37);
        }
        for (const QByteArray& bytes : {whole.left(whole.size() / 2), garbled}) {
            OpenedSound opened = mvmedia::OpenSoundFile(Write(f.name, bytes));
            if (!opened.reader) continue;  // refused at the header: also clean
            const std::vector<int16_t> got = ReadAll(*opened.reader, 4 * 44100);
            EXPECT_LE(got.size(), 2 * opened.reader->GetFrameCount() + 2 * 4096);
            opened.reader->SeekToFrame(opened.reader->GetFrameCount() * 3 / 4);
            ReadAll(*opened.reader, 4 * 44100);
        }
    }
}

}  // namespace
