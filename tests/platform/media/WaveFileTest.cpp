#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <chrono>
#include <cmath>
#include <future>
#include <limits>

#include "platform/media/TestWav.h"
#include "platform/media/WaveFile.h"

using namespace testwav;

namespace {

class WaveFileTest : public ::testing::Test {
protected:
    QByteArray Write(const QByteArray& bytes, const char* name = "t.wav") {
        const QString path = m_dir.filePath(QString::fromLatin1(name));
        EXPECT_TRUE(WriteFile(path, bytes));
        return path.toLocal8Bit();
    }

    bool Parse(const QByteArray& bytes) {
        WaveFile file;
        if (!file.Open(Write(bytes))) return false;
        return ReadWaveHeader(file, &m_format, &m_start, &m_end);
    }

    QTemporaryDir m_dir;
    WaveFormat m_format;
    int64_t m_start = -1;
    int64_t m_end = -1;
};

TEST_F(WaveFileTest, ReadsHeaderAndFramesOfAPlainFile) {
    const QByteArray bytes = Wav(Format{}, Samples16({1, -1, 2, -2, 3, -3}));
    WaveFile file;
    ASSERT_TRUE(file.Open(Write(bytes)));
    ASSERT_TRUE(ReadWaveHeader(file, &m_format, &m_start, &m_end));
    EXPECT_EQ(m_format.nChannels, 2);
    EXPECT_EQ(m_format.nSamplesPerSec, 44100u);
    EXPECT_EQ(m_format.nBlockAlign, 4);
    EXPECT_EQ(m_start, 44);
    EXPECT_EQ(m_end, 56);
    EXPECT_EQ(file.Tell(), 44);

    ASSERT_TRUE(file.SetBuffer(4 * 4096));
    uint8_t frame[4];
    std::vector<int16_t> got;
    while (file.ReadFrame(frame, 4)) {
        got.push_back(static_cast<int16_t>(frame[0] | frame[1] << 8));
        got.push_back(static_cast<int16_t>(frame[2] | frame[3] << 8));
    }
    EXPECT_EQ(got, (std::vector<int16_t>{1, -1, 2, -2, 3, -3}));
    EXPECT_EQ(file.Tell(), 56);
}

TEST_F(WaveFileTest, BufferedReadsMatchTheFileAcrossRefillsAndSeeks) {
    // A 7-byte buffer makes 3-byte frames straddle every refill.
    QByteArray bytes;
    for (int i = 0; i < 300; ++i) bytes.append(static_cast<char>(i * 7));
    WaveFile file;
    ASSERT_TRUE(file.Open(Write(bytes, "raw.bin")));
    ASSERT_TRUE(file.SetBuffer(7));
    uint8_t frame[3];
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(file.ReadFrame(frame, 3)) << i;
        for (int k = 0; k < 3; ++k) ASSERT_EQ(frame[k], static_cast<uint8_t>(bytes[3 * i + k]));
    }
    EXPECT_FALSE(file.ReadFrame(frame, 3));

    EXPECT_EQ(file.Seek(-4, WaveFile::Origin::End), 296);
    ASSERT_TRUE(file.ReadFrame(frame, 3));
    EXPECT_EQ(frame[0], static_cast<uint8_t>(bytes[296]));
    EXPECT_FALSE(file.ReadFrame(frame, 3)) << "one byte left is not a whole frame";
    EXPECT_EQ(file.Tell(), 299);
    EXPECT_EQ(file.Seek(-1, WaveFile::Origin::Set), -1);
    EXPECT_EQ(file.Tell(), 299);
    EXPECT_EQ(file.Seek(0, WaveFile::Origin::End), 300);
    EXPECT_FALSE(file.ReadFrame(frame, 1));
    EXPECT_EQ(file.Seek(10, WaveFile::Origin::Set), 10);
    char block[5];
    EXPECT_EQ(file.Read(block, 5), 5);
    EXPECT_EQ(block[4], bytes[14]);
    EXPECT_FALSE(file.SetBuffer(0));
    EXPECT_FALSE(file.SetBuffer(WaveFile::kMaxBufferBytes + 1));
}

TEST_F(WaveFileTest, SkipsOtherChunksAndFindsDataBeforeFormat) {
    const QByteArray data = Samples16({5, 6});
    // An odd-sized chunk with its pad byte, then the data, then the format.
    const QByteArray bytes = Riff(Chunk("LIST", QByteArray("abc", 3)) + Chunk("data", data) +
                                  Chunk("fmt ", FmtBody(Format{})));
    ASSERT_TRUE(Parse(bytes));
    EXPECT_EQ(m_start, 12 + 12 + 8);
    EXPECT_EQ(m_end - m_start, 4);
}

TEST_F(WaveFileTest, ClipsSizesThatPassTheEndOfTheFile) {
    Format f;
    const QByteArray data = Samples16({1, 2, 3, 4});
    // A streaming writer's sizes: RIFF and data chunks of "unknown" length.
    QByteArray bytes =
        Riff(Chunk("fmt ", FmtBody(f)) + Chunk("data", data, 0xFFFFFFFF), "WAVE", 0xFFFFFFFF);
    ASSERT_TRUE(Parse(bytes));
    EXPECT_EQ(m_end, bytes.size());
    EXPECT_EQ(m_end - m_start, 8);
}

TEST_F(WaveFileTest, RefusesFilesThatAreNotPlayableWave) {
    Format f;
    const QByteArray data = Samples16({1, 2});
    EXPECT_FALSE(Parse(QByteArray("not a wave file at all, just some text")));
    EXPECT_FALSE(Parse(Riff(Chunk("fmt ", FmtBody(f)) + Chunk("data", data), "AVI ")));
    EXPECT_FALSE(Parse(Riff(Chunk("data", data)))) << "no format chunk";
    EXPECT_FALSE(Parse(Riff(Chunk("fmt ", FmtBody(f))))) << "no data chunk";
    EXPECT_FALSE(Parse(Riff(Chunk("fmt ", FmtBody(f).left(14)) + Chunk("data", data))))
        << "format chunk shorter than its fields";

    const auto withFormat = [&](Format g) { return Parse(Wav(g, data)); };
    Format g = f;
    g.blockAlign = 0xFFFF;  // does not divide into the channels' samples
    EXPECT_FALSE(withFormat(g));
    g = f;
    g.rate = 0;
    EXPECT_FALSE(withFormat(g));
    g.rate = 0xFFFFFFFF;  // a refill would read millions of frames
    EXPECT_FALSE(withFormat(g));
    g.rate = SampleDecoder::kMaxSampleRate;
    EXPECT_TRUE(withFormat(g));
    g = f;
    g.channels = 0;
    g.blockAlign = 4;
    EXPECT_FALSE(withFormat(g));
    g = f;
    g.tag = 2;  // ADPCM
    EXPECT_FALSE(withFormat(g));
    g = f;
    g.extensible = true;
    g.subTag = 2;
    EXPECT_FALSE(withFormat(g));
    g = f;
    g.tag = 3;
    g.bits = 64;  // double samples
    EXPECT_FALSE(withFormat(g));
    g = f;
    g.channels = 40;
    EXPECT_FALSE(withFormat(g));
}

TEST_F(WaveFileTest, EveryTruncationOfAFileIsHandled) {
    const QByteArray full = Wav(Format{}, Samples16({1, 2, 3, 4}));
    for (int n = 0; n < full.size(); ++n) {
        const bool ok = Parse(full.left(n));
        // The data chunk's header is the last thing the header needs.
        EXPECT_EQ(ok, n >= 44) << n;
        if (ok) {
            EXPECT_EQ(m_end, n);
        }
    }
}

TEST_F(WaveFileTest, RefusesWhatIsNotARegularFileWithoutBlocking) {
    const QByteArray fifo = m_dir.filePath(QStringLiteral("pipe.wav")).toLocal8Bit();
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    // Opening a FIFO for reading waits for a writer unless told not to: run it aside, and
    // release it with a writer if it does block, so a fault fails the test instead of hanging.
    auto opened = std::async(std::launch::async, [&] {
        WaveFile file;
        return file.Open(fifo);
    });
    if (opened.wait_for(std::chrono::seconds(2)) != std::future_status::ready) {
        const int writer = ::open(fifo.constData(), O_WRONLY | O_NONBLOCK);
        opened.wait();
        if (writer >= 0) ::close(writer);
        FAIL() << "opening a FIFO blocked";
    }
    EXPECT_FALSE(opened.get()) << "a FIFO is not a sound file";

    WaveFile file;
    EXPECT_FALSE(file.Open(m_dir.path().toLocal8Bit())) << "a folder";
    EXPECT_FALSE(file.Open(m_dir.filePath(QStringLiteral("missing.wav")).toLocal8Bit()));
    EXPECT_FALSE(file.Open("/dev/zero")) << "a device";
    EXPECT_FALSE(file.IsOpen());
}

TEST_F(WaveFileTest, AFileThatShrinksUnderTheReaderReadsToItsNewEndAndNoFurther) {
    QByteArray bytes;
    for (int i = 0; i < 4 * 10000; ++i) bytes.append(static_cast<char>(i));
    const QByteArray path = Write(bytes, "shrinks.raw");
    WaveFile file;
    ASSERT_TRUE(file.Open(path));
    ASSERT_TRUE(file.SetBuffer(4 * 16));
    uint8_t frame[4];
    ASSERT_TRUE(file.ReadFrame(frame, 4));
    ASSERT_EQ(::truncate(path.constData(), 4 * 100 + 2), 0);  // ends inside a frame
    int frames = 1;
    while (file.ReadFrame(frame, 4) && frames < 20000) ++frames;
    EXPECT_EQ(frames, 100) << "whole frames up to the new end, then the end of the data";
    EXPECT_FALSE(file.ReadFrame(frame, 4)) << "and it stays at the end";
    uint8_t block[64];
    EXPECT_EQ(file.Read(block, sizeof block), 2) << "the half frame left";
    EXPECT_EQ(file.Read(block, sizeof block), 0);
}

TEST_F(WaveFileTest, HostileChunkSizesNeitherLoopNorOverrun) {
    Format f;
    // A junk chunk that claims 4 GiB in front of the format.
    EXPECT_FALSE(Parse(Riff(Chunk("junk", QByteArray(8, 'x'), 0xFFFFFFFF) +
                            Chunk("fmt ", FmtBody(f)) + Chunk("data", Samples16({1, 2})))));
    // A format chunk that claims more than the file holds.
    EXPECT_FALSE(Parse(Riff(Chunk("fmt ", FmtBody(f), 0xFFFFFFF0)) + QByteArray(4, '\0')));
    // Thousands of empty chunks end the search at the file's end.
    QByteArray many;
    for (int i = 0; i < 5000; ++i) many += Chunk("junk", QByteArray());
    EXPECT_FALSE(Parse(Riff(many)));
    EXPECT_TRUE(Parse(Riff(many + Chunk("fmt ", FmtBody(f)) + Chunk("data", QByteArray(4, 0)))));
}

TEST_F(WaveFileTest, ReadsExtensibleFormats) {
    Format f;
    f.extensible = true;
    f.bits = 32;
    f.validBits = 24;
    f.channels = 6;
    ASSERT_TRUE(Parse(Wav(f, QByteArray(24 * 3, '\0'))));
    EXPECT_EQ(m_format.wFormatTag, WaveFormat::kExtensible);
    EXPECT_EQ(m_format.wSubFormatTag, WaveFormat::kPcm);
    EXPECT_EQ(m_format.wValidBitsPerSample, 24);
    SampleDecoder decoder;
    ASSERT_TRUE(decoder.Configure(m_format));
    EXPECT_EQ(decoder.GetKind(), SampleDecoder::Kind::Int32);
}

TEST(SampleDecoderTest, ConvertsEverySampleFormatTo16Bits) {
    const auto decode = [](uint16_t tag, uint16_t channels, uint16_t bits, uint16_t align,
                           std::vector<uint8_t> frame) {
        WaveFormat f;
        f.wFormatTag = tag;
        f.nChannels = channels;
        f.nSamplesPerSec = 8000;
        f.wBitsPerSample = bits;
        f.nBlockAlign = align;
        SampleDecoder d;
        EXPECT_TRUE(d.Configure(f));
        int16_t l = 1;
        int16_t r = 1;
        d.Decode(frame.data(), l, r);
        return std::pair<int, int>(l, r);
    };
    // 8-bit unsigned: 128 is silence.
    EXPECT_EQ(decode(1, 1, 8, 1, {128}), std::pair(0, 0));
    EXPECT_EQ(decode(1, 1, 8, 1, {255}), std::pair(32512, 32512));
    EXPECT_EQ(decode(1, 1, 8, 1, {0}), std::pair(-32768, -32768));
    EXPECT_EQ(decode(1, 2, 8, 2, {0, 255}), std::pair(-32768, 32512));
    // 16-bit little-endian.
    EXPECT_EQ(decode(1, 2, 16, 4, {0x34, 0x12, 0x00, 0x80}), std::pair(0x1234, -32768));
    // 24- and 32-bit keep their top 16 bits.
    EXPECT_EQ(decode(1, 1, 24, 3, {0xFF, 0x34, 0x12}), std::pair(0x1234, 0x1234));
    EXPECT_EQ(decode(1, 2, 24, 6, {0, 0, 0x80, 0xFF, 0xFF, 0x7F}), std::pair(-32768, 32767));
    EXPECT_EQ(decode(1, 1, 32, 4, {0xFF, 0xFF, 0xFF, 0xFF}), std::pair(-1, -1));
    EXPECT_EQ(decode(1, 1, 32, 4, {0, 0, 0x34, 0x12}), std::pair(0x1234, 0x1234));
    // Float: scaled, truncated, clipped; NaN is silence.
    const auto f32 = [](float v) {
        std::vector<uint8_t> b(4);
        std::memcpy(b.data(), &v, 4);
        return b;
    };
    EXPECT_EQ(decode(3, 1, 32, 4, f32(0.5f)).first, 16384);
    EXPECT_EQ(decode(3, 1, 32, 4, f32(-0.00002f)).first, 0);
    EXPECT_EQ(decode(3, 1, 32, 4, f32(1.0f)).first, 32767);
    EXPECT_EQ(decode(3, 1, 32, 4, f32(-7.0f)).first, -32768);
    EXPECT_EQ(decode(3, 1, 32, 4, f32(std::numeric_limits<float>::quiet_NaN())).first, 0);
    // More than two channels: the first two.
    EXPECT_EQ(decode(1, 4, 16, 8, {1, 0, 2, 0, 3, 0, 4, 0}), std::pair(1, 2));
}

}  // namespace
