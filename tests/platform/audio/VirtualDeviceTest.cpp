#include "platform/audio/VirtualDevice.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "AudioTestSupport.h"
#include "platform/audio/DeviceMixer.h"
#include "platform/audio/SoundBuffer.h"

using namespace std::chrono_literals;

namespace {

uint32_t Le32(const std::vector<char>& b, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(b[at + i]);
    return v;
}

uint16_t Le16(const std::vector<char>& b, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) |
                                 (static_cast<uint8_t>(b[at + 1]) << 8));
}

std::vector<char> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Checks that the file as it is now is a well-formed 44100 Hz 16-bit stereo WAV file whose
// header claims no more than the file holds; returns the frames its header states.
uint32_t CheckWav(const std::vector<char>& file, bool complete) {
    EXPECT_GE(file.size(), 44u);
    if (file.size() < 44) return 0;
    EXPECT_EQ(std::string(file.data(), 4), "RIFF");
    EXPECT_EQ(std::string(file.data() + 8, 8), "WAVEfmt ");
    EXPECT_EQ(Le32(file, 16), 16u);
    EXPECT_EQ(Le16(file, 20), 1u);
    EXPECT_EQ(Le16(file, 22), 2u);
    EXPECT_EQ(Le32(file, 24), 44100u);
    EXPECT_EQ(Le32(file, 28), 176400u);
    EXPECT_EQ(Le16(file, 32), 4u);
    EXPECT_EQ(Le16(file, 34), 16u);
    EXPECT_EQ(std::string(file.data() + 36, 4), "data");
    const uint32_t data = Le32(file, 40);
    EXPECT_EQ(Le32(file, 4), 36 + data);
    EXPECT_EQ(data % 4, 0u);
    EXPECT_LE(44 + static_cast<size_t>(data), file.size());
    if (complete) {
        EXPECT_EQ(44 + static_cast<size_t>(data), file.size());
    }
    return data / 4;
}

}  // namespace

// The capture is a valid WAV file while the device runs (after its first second) and complete
// after Close, with the mix in it and about as many frames as real time allowed.
TEST(VirtualDeviceTest, CaptureIsAValidWavFileWhileRunningAndCompleteAfterClose) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.filePath("capture-0.wav").toStdString();

    VirtualDevice device("Virtual output 1", path);
    auto buffer = device.CreateBuffer();
    ASSERT_TRUE(FillConstant(*buffer, 1234, -4321));
    buffer->Play(true);

    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(device.Open());
    EXPECT_TRUE(device.IsOpen());
    std::this_thread::sleep_for(1300ms);
    const uint32_t whileRunning = CheckWav(ReadAll(path), false);
    EXPECT_GT(whileRunning, 44100u / 2);

    std::this_thread::sleep_for(200ms);
    device.Close();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_FALSE(device.IsOpen());

    const std::vector<char> file = ReadAll(path);
    const uint32_t frames = CheckWav(file, true);
    EXPECT_GT(frames, whileRunning);
    // The clock runs at real time: within a generous margin for a loaded machine.
    EXPECT_GT(frames, static_cast<uint32_t>(seconds * 44100 * 0.7));
    EXPECT_LT(frames, static_cast<uint32_t>(seconds * 44100 * 1.1) + 4096);
    EXPECT_EQ(device.GetDroppedCaptureFrames(), 0u);
    EXPECT_EQ(frames, device.GetMixer()->GetFramesMixed());
    for (uint32_t i = 0; i < frames; i += 997) {
        int16_t s[2];
        std::memcpy(s, file.data() + 44 + 4 * static_cast<size_t>(i), sizeof s);
        ASSERT_EQ(s[0], 1234) << i;
        ASSERT_EQ(s[1], -4321) << i;
    }

    // Reopening starts a new capture.
    ASSERT_TRUE(device.Open());
    device.Close();
    CheckWav(ReadAll(path), true);
}

TEST(VirtualDeviceTest, OpenFailsWhenTheCaptureFileCannotBeCreated) {
    VirtualDevice device("Virtual output 1", "/nonexistent-folder/marvane/capture-0.wav");
    EXPECT_FALSE(device.Open());
    EXPECT_FALSE(device.IsOpen());
    EXPECT_NE(device.GetLastError().find("capture-0.wav"), std::string::npos);
}

// With time marks the capture has a ".times" file beside it: one line per period, the frame the
// period starts at and the wall-clock time it was mixed, running with the sound in real time.
TEST(VirtualDeviceTest, TimeMarksRelateCaptureFramesToTheWallClock) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.filePath("capture-0.wav").toStdString();
    VirtualDevice device("Virtual output 1", path);
    device.SetCaptureTimeMarks(true);
    EXPECT_EQ(device.GetTimeMarksPath(), dir.filePath("capture-0.times").toStdString());
    const auto wallNow = [] {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::system_clock::now().time_since_epoch())
            .count();
    };
    const int64_t opened = wallNow();
    ASSERT_TRUE(device.Open());
    std::this_thread::sleep_for(600ms);
    device.Close();
    const int64_t closed = wallNow();

    std::ifstream in(device.GetTimeMarksPath());
    std::vector<std::pair<uint64_t, int64_t>> marks;
    uint64_t frame = 0;
    int64_t ns = 0;
    while (in >> frame >> ns) marks.emplace_back(frame, ns);
    ASSERT_GT(marks.size(), 20u);
    const uint32_t frames = CheckWav(ReadAll(path), true);
    EXPECT_EQ(marks.front().first, 0u);
    for (size_t i = 1; i < marks.size(); ++i) {
        ASSERT_EQ(marks[i].first - marks[i - 1].first, VirtualDevice::kDefaultPeriodFrames) << i;
        ASSERT_GE(marks[i].second, marks[i - 1].second) << i;
    }
    EXPECT_LT(marks.back().first, frames);
    EXPECT_GE(marks.front().second, opened);
    EXPECT_LE(marks.back().second, closed);
    // Frames over time is the sample rate (loosely: a loaded machine restarts its schedule).
    const double seconds = static_cast<double>(marks.back().second - marks.front().second) / 1e9;
    const double rate = static_cast<double>(marks.back().first - marks.front().first) / seconds;
    EXPECT_GT(rate, 44100 * 0.7);
    EXPECT_LT(rate, 44100 * 1.3);

    VirtualDevice unwritable("Virtual output 2", dir.filePath("capture-1.wav").toStdString());
    unwritable.SetCaptureTimeMarks(true);
    ASSERT_TRUE(QDir(dir.path()).mkdir("capture-1.times"));  // a folder where the file would go
    EXPECT_FALSE(unwritable.Open());
    EXPECT_NE(unwritable.GetLastError().find("capture-1.times"), std::string::npos);
}
