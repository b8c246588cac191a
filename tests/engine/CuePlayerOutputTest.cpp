// What a started cue sounds like: sample conversion, resampling, level and pan, and how the
// end of a cue is played.
#include <gtest/gtest.h>

#include "engine/EngineRig.h"

using namespace testwav;

namespace {

// The left sample of source frame i of Ramp16 (the right one is its negative).
int16_t RampValue(uint32_t i) { return static_cast<int16_t>(1 + static_cast<int>(i % 30000)); }

TEST(CuePlayerOutput, CopiesA44kStereoSourceAfterTwoSilentFrames) {
    EngineRig rig;
    auto player = rig.Play(rig.WavCue("a.wav", Ramp16(40000, 2, 44100)));
    rig.RenderTo(30000);
    EXPECT_EQ(rig.Left(0), 0);
    EXPECT_EQ(rig.Right(0), 0);
    EXPECT_EQ(rig.Left(1), 0);
    EXPECT_EQ(rig.Right(1), 0);
    for (uint32_t i = 0; i + 2 < 30000; ++i) {
        ASSERT_EQ(rig.Left(i + 2), RampValue(i)) << i;
        ASSERT_EQ(rig.Right(i + 2), -RampValue(i)) << i;
    }
    EXPECT_EQ(player->GetUnderrunCount(), 0u);
}

TEST(CuePlayerOutput, InterpolatesMidpointsOfA22kSourceTruncatingTowardZero) {
    EngineRig rig;
    // Odd values of both signs make every midpoint need truncation toward zero.
    const std::vector<int16_t> src = {-3, 7, -32768, 32767, 5, -5, 1, 0, 9};
    Format f;
    f.channels = 1;
    f.rate = 22050;
    auto player = rig.Play(rig.WavCue("b.wav", Wav(f, Samples16(src))));
    ASSERT_TRUE(rig.RenderUntilEnded(player.get(), 100000));

    std::vector<int> expected = {0, 0, 0, src[0] / 2};
    for (size_t i = 0; i < src.size(); ++i) {
        expected.push_back(src[i]);
        const int next = i + 1 < src.size() ? src[i + 1] : 0;
        expected.push_back((src[i] + next) / 2);  // C++ division truncates toward zero
    }
    for (size_t k = 0; k < expected.size(); ++k) {
        EXPECT_EQ(rig.Left(k), expected[k]) << k;
        EXPECT_EQ(rig.Right(k), expected[k]) << k;
    }
    EXPECT_TRUE(rig.SilentFrom(expected.size()));
}

TEST(CuePlayerOutput, ConvertsEverySupportedSampleFormat) {
    struct Case {
        const char* name;
        Format format;
        QByteArray frameBytes;  // one source frame
        int left, right;
    };
    Format u8;
    u8.channels = 1;
    u8.bits = 8;
    Format s24;
    s24.bits = 24;
    Format s32;
    s32.bits = 32;
    Format f32;
    f32.tag = 3;
    f32.bits = 32;
    f32.channels = 1;
    Format ext;
    ext.extensible = true;
    ext.bits = 32;
    ext.validBits = 24;
    Format quad;
    quad.channels = 4;
    float half = -0.5f;
    const std::vector<Case> cases = {
        {"u8.wav", u8, QByteArray(1, static_cast<char>(255)), 32512, 32512},
        {"u8z.wav", u8, QByteArray(1, '\0'), -32768, -32768},
        {"u8m.wav", u8, QByteArray(1, static_cast<char>(128)), 0, 0},
        {"s24.wav", s24, QByteArray("\x00\x34\x12\xff\xff\xff", 6), 0x1234, -1},
        {"s32.wav", s32, QByteArray("\x00\x00\x00\x80\x00\x00\xff\x7f", 8), -32768, 32767},
        {"f32.wav", f32, QByteArray(reinterpret_cast<const char*>(&half), 4), -16384, -16384},
        {"ext.wav", ext, QByteArray("\x00\x00\x34\x12\x00\x00\xcc\xed", 8), 0x1234, -0x1234},
        {"quad.wav", quad, QByteArray("\x01\x00\x02\x00\x03\x00\x04\x00", 8), 1, 2},
    };
    for (const Case& c : cases) {
        EngineRig rig;
        QByteArray data;
        for (int i = 0; i < 100; ++i) data += c.frameBytes;
        auto player = rig.Play(rig.WavCue(c.name, Wav(c.format, data)));
        ASSERT_FALSE(player->IsFailed()) << c.name;
        ASSERT_TRUE(rig.RenderUntilEnded(player.get(), 100000)) << c.name;
        EXPECT_EQ(rig.Left(1), 0) << c.name;
        EXPECT_EQ(rig.Left(2), c.left) << c.name;
        EXPECT_EQ(rig.Right(2), c.right) << c.name;
        EXPECT_EQ(rig.Left(101), c.left) << c.name;
        EXPECT_EQ(rig.Left(103), 0) << c.name;
    }
}

TEST(CuePlayerOutput, PlaysOtherExtensionsAsRaw16BitMono22k) {
    EngineRig rig;
    // Five bytes: two samples and a stray byte that makes no frame.
    auto player =
        rig.Play(rig.Cue(rig.WriteFile("thunder.raw", QByteArray("\x10\x00\x20\x00\x7f", 5))));
    EXPECT_EQ(player->GetDurationMs(), 1u);  // 2 frames at 22050 per second
    ASSERT_TRUE(rig.RenderUntilEnded(player.get(), 100000));
    const std::vector<int> expected = {0, 0, 0, 8, 16, 24, 32, 16, 0};
    for (size_t k = 0; k < expected.size(); ++k) EXPECT_EQ(rig.Left(k), expected[k]) << k;
    EXPECT_TRUE(rig.SilentFrom(expected.size()));

    // Letter case does not matter for ".wav": this one is parsed, header and all.
    EngineRig rig2;
    auto wav = rig2.Play(rig2.WavCue("UPPER.WaV", Ramp16(10, 2, 44100)));
    ASSERT_TRUE(rig2.RenderUntilEnded(wav.get(), 100000));
    EXPECT_EQ(rig2.Left(2), RampValue(0));
}

TEST(CuePlayerOutput, HearsEveryFrameOfShortAndLongCuesBeforeReportingTheEnd) {
    for (const uint32_t frames : {1u, 1000u, 16383u, 16384u, 20000u, 40001u}) {
        EngineRig rig;
        auto player = rig.Play(rig.WavCue("s.wav", Ramp16(frames, 2, 44100)));
        ASSERT_TRUE(rig.RenderUntilEnded(player.get(), frames + 100000)) << frames;
        for (uint32_t i = 0; i < frames; ++i) {
            ASSERT_EQ(rig.Left(i + 2), RampValue(i)) << frames << " frame " << i;
        }
        EXPECT_TRUE(rig.SilentFrom(frames + 2)) << frames;
        // The end is reported once the last segment with sound has played, not before and
        // not a segment later.
        const int64_t ended = rig.log->FrameOf(player.get(), PLAYER_ENDED);
        EXPECT_GE(ended, static_cast<int64_t>(frames) + 2) << frames;
        EXPECT_LT(ended, static_cast<int64_t>(frames) + 2 + 2 * kRefillFrames) << frames;
        EXPECT_EQ(ended % kRefillFrames, 0) << frames;
        EXPECT_EQ(player->GetRemainingMs(), 0u);
        EXPECT_EQ(player->GetUnderrunCount(), 0u);
    }
}

TEST(CuePlayerOutput, AppliesTheCueVolumeAndPan) {
    const std::vector<int16_t> constant(5000, 16000);
    Format f;
    f.channels = 1;
    {
        EngineRig rig;
        CQRecord* cue = rig.WavCue("v.wav", Wav(f, Samples16(constant)));
        cue->m_nVolume = -6;
        auto player = rig.Play(cue);
        rig.RenderTo(100);
        EXPECT_NEAR(rig.Left(50), ScaledSample(16000, -600), 1);
        EXPECT_NEAR(rig.Right(50), ScaledSample(16000, -600), 1);
    }
    for (const int pan : {-100, 100}) {
        EngineRig rig;
        CQRecord* cue = rig.WavCue("p.wav", Wav(f, Samples16(constant)));
        cue->m_nPan = pan;
        auto player = rig.Play(cue);
        rig.RenderTo(100);
        EXPECT_EQ(rig.Left(50), pan < 0 ? 16000 : 0) << pan;
        EXPECT_EQ(rig.Right(50), pan < 0 ? 0 : 16000) << pan;
    }
}

TEST(CuePlayerOutput, PlaysOnTheCuesChannelAndOnChannelZeroForUnknownChannels) {
    Format f;
    f.channels = 1;
    const QByteArray wav = Wav(f, Samples16(std::vector<int16_t>(3000, 1000)));
    for (const int channel : {1, 2, -1}) {
        EngineRig rig(2);
        CQRecord* cue = rig.WavCue("c.wav", wav);
        cue->m_nChannel = channel;
        auto player = rig.Play(cue);
        auto* second = static_cast<OfflineDevice*>(rig.output.GetDevice(1));
        rig.RenderTo(100);
        const std::vector<int16_t> other = second->Render(100);
        const bool onSecond = channel == 1;
        EXPECT_EQ(rig.Left(50), onSecond ? 0 : 1000) << channel;
        EXPECT_EQ(other[100], onSecond ? 1000 : 0) << channel;
    }
}

}  // namespace
