// Live safety in the engine: Fade All's even fall in decibels, silence from the next mixing
// pass after a kill, and the mixer's meter readings.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/EngineRig.h"
#include "platform/audio/DeviceMixer.h"

using namespace testwav;

namespace {

constexpr int16_t kValue = 16000;

CQRecord* ConstantLoop(EngineRig& rig, int16_t value = kValue) {
    Format f;
    f.channels = 1;
    return rig.WavCue("loop.wav", Wav(f, Samples16(std::vector<int16_t>(44100, value))),
                      CQRecord::kFlagLooped);
}

// The level of the mix at `frame`, in decibels below the source value.
double LevelDb(const EngineRig& rig, uint64_t frame) {
    const int sample = std::abs(rig.Left(frame));
    return sample == 0 ? -200.0 : 20.0 * std::log10(sample / double(kValue));
}

TEST(CuePlayerLive, FadeAllFallsEvenlyToMinus80AndEndsOnTime) {
    // From full level and from -20 dB: both are silent when the time is over; from 0 dB the
    // level is 40 dB down halfway (no hurrying past -40 dB as a fade-out does).
    for (const int startDb : {0, -20}) {
        EngineRig rig;
        CQRecord* cue = ConstantLoop(rig);
        cue->m_nVolume = startDb;
        cue->m_dwFadeOut = 500;  // a cue's own fade-out time plays no part
        auto player = rig.Play(cue);
        rig.RenderRefills(2);
        player->FadeAll(2000);
        const uint64_t from = 2 * kRefillFrames;
        ASSERT_TRUE(rig.RenderUntilEnded(player.get(), from + 4 * 44100)) << startDb;
        const int64_t ended = rig.log->FrameOf(player.get(), PLAYER_ENDED);
        // Ends within one refill of the two seconds.
        EXPECT_NEAR(double(ended - int64_t(from)), 88200.0, 2.0 * kRefillFrames) << startDb;
        EXPECT_TRUE(rig.SilentFrom(static_cast<uint64_t>(ended))) << startDb;

        const double quarter = LevelDb(rig, from + 22050 + 5);
        const double half = LevelDb(rig, from + 44100 + 5);
        const double threeQuarters = LevelDb(rig, from + 66150 + 5);
        const double expectHalf = startDb + (-80.0 - startDb) / 2;
        EXPECT_NEAR(half, expectHalf, 2.5) << startDb;
        // Even in decibels: equal falls in equal times.
        EXPECT_NEAR(quarter - half, half - threeQuarters, 2.5) << startDb;
        EXPECT_EQ(cue->m_nPlayCount.load(), 0);
    }
}

TEST(CuePlayerLive, LevelCommandsCannotHoldFadeAllButAKillCutsItShort) {
    EngineRig rig;
    CQRecord* cue = ConstantLoop(rig);
    cue->m_dwFadeIn = 1000;
    auto player = rig.Play(cue);
    rig.RenderRefills(30);
    player->FadeAll(1000);
    rig.RenderRefills(35);
    for (unsigned id :
         {CCuePlayer::kVolUp, CCuePlayer::kFadeIn, CCuePlayer::kFadeOut, CCuePlayer::kVolDown})
        player->ApplyCommand(id);
    rig.RenderRefills(40);
    EXPECT_LT(LevelDb(rig, 39 * kRefillFrames + 5), LevelDb(rig, 34 * kRefillFrames + 5) - 10);

    player->ApplyCommand(CCuePlayer::kKill);
    ASSERT_TRUE(rig.RenderUntilEnded(player.get(), 60 * kRefillFrames));
    EXPECT_EQ(rig.log->FrameOf(player.get(), PLAYER_ENDED), 41 * kRefillFrames);

    // Zero time is a kill.
    EngineRig rig2;
    auto other = rig2.Play(ConstantLoop(rig2));
    rig2.RenderRefills(3);
    other->FadeAll(0);
    rig2.RenderTo(3 * kRefillFrames + 10);
    EXPECT_EQ(rig2.Left(3 * kRefillFrames + 5), 0);
    ASSERT_TRUE(rig2.RenderUntilEnded(other.get(), 20 * kRefillFrames));
}

TEST(CuePlayerLive, KillAndStopAllSilenceFromTheNextMixingPass) {
    for (const unsigned command : {CCuePlayer::kKill, CCuePlayer::kStopAll}) {
        EngineRig rig;
        auto player = rig.Play(ConstantLoop(rig));
        rig.RenderTo(5 * kRefillFrames + 700);  // in the middle of a segment
        EXPECT_EQ(rig.Left(5 * kRefillFrames + 699), kValue);
        player->ApplyCommand(command);
        rig.RenderTo(5 * kRefillFrames + 1000);
        // Not one frame more of sound, although the worker refills only at the segment's end.
        EXPECT_TRUE(rig.SilentFrom(5 * kRefillFrames + 700)) << command;
        EXPECT_EQ(player->GetLevel(), -10000);
        ASSERT_TRUE(rig.RenderUntilEnded(player.get(), 20 * kRefillFrames));
        EXPECT_EQ(rig.log->FrameOf(player.get(), PLAYER_ENDED), 6 * kRefillFrames);
    }
}

TEST(CuePlayerLive, LevelAndSpeedOfAPlayerFollowTheLiveCommands) {
    EngineRig rig;
    CQRecord* cue = ConstantLoop(rig);
    cue->m_nVolume = -6;
    auto player = rig.Play(cue);
    rig.RenderRefills(1);
    EXPECT_EQ(player->GetLevel(), -600);
    EXPECT_DOUBLE_EQ(player->GetSpeedRatio(), 1.0);
    player->ApplyCommand(CCuePlayer::kVolDown);
    player->ApplyCommand(CCuePlayer::kSpeedUp);
    rig.RenderRefills(300);
    EXPECT_EQ(player->GetLevel(), -700);
    EXPECT_GT(player->GetSpeedRatio(), 1.4);
    EXPECT_LE(player->GetSpeedRatio(), 1.5);
}

TEST(CuePlayerLive, MeterReadsPeakAndRmsOfTheMixAndRestarts) {
    EngineRig rig;
    DeviceMixer& mixer = *rig.device->GetMixer();
    (void)mixer.TakeLevels();
    // A full-scale square wave on the left, a sine of a quarter of full scale on the right.
    std::vector<int16_t> samples;
    for (int i = 0; i < 44100; ++i) {
        samples.push_back(i % 100 < 50 ? 32767 : -32767);
        samples.push_back(static_cast<int16_t>(8192 * std::sin(i * 2 * M_PI * 441 / 44100.0)));
    }
    Format f;
    auto player = rig.Play(rig.WavCue("s.wav", Wav(f, Samples16(samples)), CQRecord::kFlagLooped));
    rig.RenderRefills(4);
    const DeviceMixer::Levels levels = mixer.TakeLevels();
    EXPECT_EQ(levels.frames, 4 * kRefillFrames + 1);
    EXPECT_NEAR(levels.peak[0], 1.0, 0.001);
    EXPECT_NEAR(levels.rms[0], 1.0, 0.001);
    EXPECT_NEAR(levels.peak[1], 0.25, 0.002);
    EXPECT_NEAR(levels.rms[1], 0.25 / std::sqrt(2.0), 0.005);
    // Read once: the next reading starts afresh.
    const DeviceMixer::Levels none = mixer.TakeLevels();
    EXPECT_EQ(none.frames, 0u);
    EXPECT_EQ(none.peak[0], 0.0f);
    EXPECT_EQ(none.rms[1], 0.0f);
    player->ApplyCommand(CCuePlayer::kKill);
    ASSERT_TRUE(rig.RenderUntilEnded(player.get(), 20 * kRefillFrames));
}

}  // namespace
