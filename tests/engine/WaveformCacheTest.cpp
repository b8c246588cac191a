// Waveform overviews: what they hold, and the cache that computes them in the background.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <thread>

#include "engine/WaveformCache.h"
#include "platform/media/TestWav.h"

using namespace testwav;

namespace {

// One second at 44100 Hz: silent in its first half, full scale in its second.
QByteArray HalfLoud() {
    std::vector<int16_t> s(44100, 0);
    for (size_t i = 22050; i < s.size(); ++i) s[i] = (i % 2) ? 32767 : -32767;
    Format f;
    f.channels = 1;
    return Wav(f, Samples16(s));
}

TEST(WaveformOverview, ColumnsFollowTheLoudnessAndTheLengthIsKnown) {
    QTemporaryDir dir;
    const QString path = dir.filePath("half.wav");
    ASSERT_TRUE(WriteFile(path, HalfLoud()));
    WaveformOverview overview;
    ASSERT_TRUE(ComputeWaveformOverview(path.toLocal8Bit(), 100, &overview));
    ASSERT_EQ(overview.columns.size(), 100u);
    EXPECT_EQ(overview.durationMs, 1000u);
    EXPECT_EQ(overview.columns[10], 0);
    EXPECT_EQ(overview.columns[49], 0);
    EXPECT_EQ(overview.columns[51], 255);
    EXPECT_EQ(overview.columns[99], 255);
    EXPECT_FALSE(
        ComputeWaveformOverview(dir.filePath("missing.wav").toLocal8Bit(), 100, &overview));
}

TEST(WaveformCache, ComputesOnceInTheBackgroundAndAgainWhenTheFileChanges) {
    QTemporaryDir dir;
    const QString path = dir.filePath("half.wav");
    ASSERT_TRUE(WriteFile(path, HalfLoud()));
    const QByteArray key = path.toLocal8Bit();
    WaveformCache cache;
    QList<QByteArray> ready;
    QObject::connect(&cache, &WaveformCache::ready, [&](const QByteArray& p) { ready << p; });

    EXPECT_EQ(cache.Request(key), nullptr);  // never waits: computed in the background
    EXPECT_EQ(cache.Request(key), nullptr);  // asked again while pending: not queued twice
    EXPECT_EQ(cache.GetMisses(), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !ready.isEmpty(); }, 5000));
    const auto first = cache.Request(key);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->durationMs, 1000u);
    EXPECT_EQ(cache.Request(key), first);
    EXPECT_EQ(cache.GetHits(), 2);

    // A different file under the same name (another size) is read again.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(WriteFile(path, Ramp16(88200, 2, 44100)));
    EXPECT_EQ(cache.Request(key), nullptr);
    EXPECT_EQ(cache.GetMisses(), 2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ready.size() == 2; }, 5000));
    ASSERT_NE(cache.Request(key), nullptr);
    EXPECT_EQ(cache.Request(key)->durationMs, 2000u);

    // A file that cannot be read is remembered as such, not read at every request.
    const QByteArray missing = dir.filePath("missing.wav").toLocal8Bit();
    EXPECT_EQ(cache.Request(missing), nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ready.size() == 3; }, 5000));
    const int misses = cache.GetMisses();
    EXPECT_EQ(cache.Request(missing), nullptr);
    EXPECT_EQ(cache.GetMisses(), misses);
}

}  // namespace
