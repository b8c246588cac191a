// Live control of a playing cue: fades, volume steps, speed, kill, loops, seeks, time queries.
// Refills are counted in segments of the buffer: refill k after a command happens at the k-th
// segment boundary, since the offline device waits for each refill before mixing on.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/EngineRig.h"

using namespace testwav;

namespace {

// A looped mono cue of a constant value: never ends by itself, and its level is easy to read.
CQRecord* ConstantLoop(EngineRig& rig, int16_t value = 16000, uint32_t frames = 44100) {
    Format f;
    f.channels = 1;
    return rig.WavCue("loop.wav", Wav(f, Samples16(std::vector<int16_t>(frames, value))),
                      CQRecord::kFlagLooped);
}

TEST(CuePlayerControl, FadeOutPostsFadedAtMinus40AndEndsAtMinus80) {
    EngineRig rig;
    CQRecord* cue = ConstantLoop(rig);
    cue->m_dwFadeOut = 5000;  // -800 per second, -37 per refill
    auto player = rig.Play(cue);
    player->ApplyCommand(CCuePlayer::kFadeOut);
    ASSERT_TRUE(rig.RenderUntilEnded(player.get(), 200 * kRefillFrames));

    EXPECT_EQ(rig.log->FrameOf(player.get(), PLAYER_FADED), 109 * kRefillFrames);
    EXPECT_EQ(rig.log->FrameOf(player.get(), PLAYER_ENDED), 163 * kRefillFrames);
    EXPECT_EQ(rig.log->Count(player.get(), PLAYER_FADED), 1);
    // The level heard in segment k is the one set by refill k: -37 k, then -74 per refill.
    EXPECT_NEAR(rig.Left(10 * kRefillFrames + 5), ScaledSample(16000, -370), 1);
    EXPECT_NEAR(rig.Left(120 * kRefillFrames + 5), ScaledSample(16000, -4033 - 74 * 11), 1);
    EXPECT_TRUE(rig.SilentFrom(163 * kRefillFrames));
    EXPECT_EQ(cue->m_nPlayCount.load(), 0);
}

TEST(CuePlayerControl, FadeInRisesFromSilenceAndIsCappedAtTheCueLevel) {
    EngineRig rig;
    CQRecord* cue = ConstantLoop(rig);
    cue->m_dwFadeIn = 2000;  // +5000 per second, +232 per refill
    auto player = rig.Play(cue);
    rig.RenderRefills(50);
    // The first refill, before playback, already took the first step.
    EXPECT_EQ(rig.Left(5), ScaledSample(16000, -10000 + 232));
    EXPECT_NEAR(rig.Left(42 * kRefillFrames + 5), ScaledSample(16000, -10000 + 232 * 43), 1);
    EXPECT_EQ(rig.Left(43 * kRefillFrames + 5), 16000);  // 44th refill: capped at 0 dB
    EXPECT_EQ(rig.Left(49 * kRefillFrames + 5), 16000);

    // With a fade-in time the level can never pass the cue's own level.
    player->ApplyCommand(CCuePlayer::kVolUp);
    rig.RenderRefills(52);
    EXPECT_EQ(rig.Left(51 * kRefillFrames + 5), 16000);
}

TEST(CuePlayerControl, VolumeStepsAreOneDecibelAndEndAFade) {
    EngineRig rig;
    CQRecord* cue = ConstantLoop(rig);
    cue->m_nVolume = -10;
    cue->m_dwFadeOut = 5000;
    auto player = rig.Play(cue);
    player->ApplyCommand(CCuePlayer::kVolUp);
    player->ApplyCommand(CCuePlayer::kVolUp);
    rig.RenderRefills(2);
    // Without a fade-in time the level may go above the cue's own, up to 0 dB.
    EXPECT_NEAR(rig.Left(kRefillFrames + 5), ScaledSample(16000, -800), 1);
    for (int i = 0; i < 20; ++i) player->ApplyCommand(CCuePlayer::kVolUp);
    rig.RenderRefills(4);
    EXPECT_EQ(rig.Left(3 * kRefillFrames + 5), 16000);

    player->ApplyCommand(CCuePlayer::kFadeOut);
    rig.RenderRefills(10);
    player->ApplyCommand(CCuePlayer::kVolDown);  // ends the fade where it is, one dB lower
    rig.RenderRefills(20);
    const int level = -37 * 6 - 100;
    EXPECT_NEAR(rig.Left(11 * kRefillFrames + 5), ScaledSample(16000, level), 1);
    EXPECT_NEAR(rig.Left(19 * kRefillFrames + 5), ScaledSample(16000, level), 1);
    for (int i = 0; i < 200; ++i) player->ApplyCommand(CCuePlayer::kVolDown);
    rig.RenderRefills(22);
    EXPECT_EQ(rig.Left(21 * kRefillFrames + 5), 0);
    EXPECT_EQ(rig.log->Count(player.get(), PLAYER_ENDED), 0);
}

TEST(CuePlayerControl, FadeOutOfAQuietCueStillFadesAndEnds) {
    for (const int volume : {-40, -45, -60, -100}) {
        EngineRig rig;
        CQRecord* cue = ConstantLoop(rig, 30000);
        cue->m_nVolume = volume;
        cue->m_dwFadeOut = 1000;
        auto player = rig.Play(cue);
        rig.RenderRefills(3);
        const int before = std::abs(rig.Left(2 * kRefillFrames + 5));
        player->ApplyCommand(CCuePlayer::kFadeOut);
        ASSERT_TRUE(rig.RenderUntilEnded(player.get(), 200 * kRefillFrames)) << volume;
        EXPECT_EQ(rig.log->Count(player.get(), PLAYER_FADED), 1) << volume;
        for (uint64_t k = 3; k * kRefillFrames + 5 < rig.mix.size() / 2; ++k) {
            ASSERT_LE(std::abs(rig.Left(k * kRefillFrames + 5)), before) << volume << " " << k;
        }
    }
}

TEST(CuePlayerControl, AFadePastMinus40EndsWhateverLevelCommandFollows) {
    // Once the player has reported PLAYER_FADED its owner stops listing it, so no command can
    // reach it any more. A level command given just before the owner heard the report must not
    // stop or turn the fade: the cue would sound on, looped for ever, out of the operator's reach.
    for (const unsigned command : {CCuePlayer::kFadeIn, CCuePlayer::kVolUp, CCuePlayer::kVolDown}) {
        for (const uint32_t fadeIn : {0u, 500u}) {
            EngineRig rig;
            CQRecord* cue = ConstantLoop(rig);
            cue->m_dwFadeIn = fadeIn;
            cue->m_dwFadeOut = 1000;
            auto player = rig.Play(cue);
            rig.RenderRefills(20);
            player->ApplyCommand(CCuePlayer::kFadeOut);
            uint64_t k = 20;
            while (rig.log->FrameOf(player.get(), PLAYER_FADED) < 0 && k < 60) {
                rig.RenderRefills(++k);
            }
            ASSERT_GE(rig.log->FrameOf(player.get(), PLAYER_FADED), 0) << command;
            const int faded = std::abs(rig.Left(k * kRefillFrames - 5));
            player->ApplyCommand(command);
            ASSERT_TRUE(rig.RenderUntilEnded(player.get(), 200 * kRefillFrames))
                << command << " " << fadeIn;
            for (uint64_t f = k * kRefillFrames; f < rig.mix.size() / 2; f += 100) {
                ASSERT_LE(std::abs(rig.Left(f)), faded) << command << " " << fadeIn << " " << f;
            }
            EXPECT_EQ(rig.log->Count(player.get(), PLAYER_FADED), 1);
            EXPECT_EQ(cue->m_nPlayCount.load(), 0);
        }
    }
}

TEST(CuePlayerControl, VeryShortFadesNeitherOverflowNorLinger) {
    // A 1 ms fade-in moves ten million hundredths per second: the first refill reaches the cue
    // level at once.
    EngineRig rig;
    CQRecord* cue = ConstantLoop(rig);
    cue->m_dwFadeIn = 1;
    cue->m_dwFadeOut = 3;
    auto player = rig.Play(cue);
    rig.RenderRefills(1);
    EXPECT_EQ(rig.Left(5), 16000);
    player->ApplyCommand(CCuePlayer::kFadeOut);
    ASSERT_TRUE(rig.RenderUntilEnded(player.get(), 50 * kRefillFrames));
    EXPECT_EQ(rig.log->FrameOf(player.get(), PLAYER_ENDED), 2 * kRefillFrames);
    EXPECT_EQ(rig.log->FrameOf(player.get(), PLAYER_FADED), 2 * kRefillFrames);
}

TEST(CuePlayerControl, KillStopAllAndZeroTimeFadeOutEndWithinOneRefill) {
    for (const unsigned command : {CCuePlayer::kKill, CCuePlayer::kStopAll, CCuePlayer::kFadeOut}) {
        for (const uint32_t flags : {0u, CQRecord::kFlagLooped}) {
            EngineRig rig;
            CQRecord* cue = rig.WavCue("k.wav", Ramp16(200000, 2, 44100), flags);
            cue->m_dwFadeOut = 0;
            auto player = rig.Play(cue);
            rig.RenderRefills(5);
            EXPECT_EQ(cue->m_nPlayCount.load(), 1);
            player->ApplyCommand(command);
            if (command == CCuePlayer::kFadeOut) {
                rig.RenderTo(5 * kRefillFrames + 3);
                EXPECT_EQ(rig.Left(5 * kRefillFrames + 2), 0) << "silent at once";
            }
            ASSERT_TRUE(rig.RenderUntilEnded(player.get(), 20 * kRefillFrames)) << command;
            EXPECT_EQ(rig.log->FrameOf(player.get(), PLAYER_ENDED), 6 * kRefillFrames)
                << command << " " << flags;
            EXPECT_TRUE(rig.SilentFrom(6 * kRefillFrames));
            EXPECT_EQ(cue->m_nPlayCount.load(), 0);
            EXPECT_EQ(player->GetElapsedMs(), 0u);
            EXPECT_EQ(player->GetRemainingMs(), 0u);
        }
    }
}

TEST(CuePlayerControl, KillEndsAtTheNextRefillEvenWhenItReadsNothingOrTheLoopRestarts) {
    // A looped cue of 16385 frames restarts at the first frame of the refill after the first
    // fill, before it reads anything; a 1 Hz cue reads no frame for many refills.
    Format slow;
    slow.channels = 1;
    slow.rate = 1;
    for (const bool looped : {true, false}) {
        EngineRig rig;
        CQRecord* cue = looped
                            ? rig.WavCue("wrap.wav", Ramp16(16385, 2, 44100), CQRecord::kFlagLooped)
                            : rig.WavCue("slow.wav", Wav(slow, Samples16({9000, 9000})));
        auto player = rig.Play(cue);
        player->ApplyCommand(CCuePlayer::kKill);
        ASSERT_TRUE(rig.RenderUntilEnded(player.get(), 40 * kRefillFrames)) << looped;
        EXPECT_EQ(rig.log->FrameOf(player.get(), PLAYER_ENDED), 1 * kRefillFrames) << looped;
        EXPECT_TRUE(rig.SilentFrom(1 * kRefillFrames));
    }
}

TEST(CuePlayerControl, KillWhileTheEndPlaysOutStopsAtOnce) {
    // The data of a 20000-frame cue is all read by the second refill; its end plays until the
    // buffer has played past frame 20001, unless Kill or a fade-out cuts it short.
    for (const unsigned command : {CCuePlayer::kKill, CCuePlayer::kStopAll, CCuePlayer::kFadeOut}) {
        EngineRig rig;
        CQRecord* cue = rig.WavCue("end.wav", Ramp16(20000, 2, 44100));
        cue->m_dwFadeOut = 0;
        auto player = rig.Play(cue);
        rig.RenderRefills(4);
        EXPECT_EQ(player->GetRemainingMs(), 0u) << "all of it has been read";
        player->ApplyCommand(command);
        ASSERT_TRUE(rig.RenderUntilEnded(player.get(), 20 * kRefillFrames));
        EXPECT_EQ(rig.log->FrameOf(player.get(), PLAYER_ENDED), 5 * kRefillFrames) << command;
        EXPECT_TRUE(rig.SilentFrom(5 * kRefillFrames));
    }
}

TEST(CuePlayerControl, LoopedCueRestartsWithoutEndingAndItsTimesStartAgain) {
    EngineRig rig;
    const uint32_t frames = 5000;
    auto player = rig.Play(rig.WavCue("l.wav", Ramp16(frames, 2, 44100), CQRecord::kFlagLooped));
    rig.RenderRefills(20);
    // Each pass plays frames 0 .. N-2: the frame at the end is skipped by the restart.
    for (uint64_t k = 2; k < 20 * kRefillFrames; ++k) {
        const uint32_t i = static_cast<uint32_t>((k - 2) % (frames - 1));
        ASSERT_EQ(rig.Left(k), static_cast<int16_t>(1 + i)) << k;
    }
    EXPECT_EQ(rig.log->Count(player.get(), PLAYER_ENDED), 0);

    EngineRig timed;
    auto second = timed.Play(timed.WavCue("t.wav", Ramp16(44100, 1, 44100), CQRecord::kFlagLooped));
    EXPECT_EQ(second->GetDurationMs(), 1000u);
    uint32_t lastRemaining = second->GetRemainingMs();
    int restarts = 0;
    for (uint64_t k = 1; k < 80; ++k) {
        timed.RenderRefills(k);
        const uint32_t remaining = second->GetRemainingMs();
        const uint32_t elapsed = second->GetElapsedMs();
        EXPECT_LE(elapsed + remaining, 1001u);
        EXPECT_GE(elapsed + remaining, 999u);
        if (remaining > lastRemaining) {
            ++restarts;
            EXPECT_GT(remaining, 900u);
            EXPECT_LT(elapsed, 100u);
        }
        lastRemaining = remaining;
    }
    EXPECT_EQ(restarts, 4);  // 8 + 79 refills of 2048 frames read 4.04 s of the cue
}

TEST(CuePlayerControl, SpeedGlidesOnePercentPerRefillTowardItsTarget) {
    EngineRig rig;
    // 441000 frames at 22050 Hz: 20 s at normal speed, normal step 0.5.
    Format f;
    f.channels = 1;
    f.rate = 22050;
    auto player =
        rig.Play(rig.WavCue("g.wav", Wav(f, QByteArray(441000 * 2, '\0')), CQRecord::kFlagLooped));
    EXPECT_EQ(player->GetDurationMs(), 20000u);

    // The step after n glide refills toward `target` from `from`.
    const auto glide = [](double from, double target, int n) {
        double step = from;
        for (int i = 0; i < n; ++i) {
            if (target > step) step += (target - step) * 0.01;
            if (target < step) step -= (step - target) * 0.01;
        }
        return step;
    };
    const auto duration = [](double step) {
        return static_cast<uint32_t>(std::ceil(441000 * 1000.0 / (step * 44100)));
    };

    player->ApplyCommand(CCuePlayer::kSpeedUp);
    player->ApplyCommand(CCuePlayer::kSpeedUp);  // a target, not a product: still 1.5 x
    rig.RenderRefills(100);
    double step = glide(0.5, 0.75, 100);
    EXPECT_NEAR(step, 0.5 + 0.25 * (1 - std::pow(0.99, 100)), 1e-12);
    EXPECT_EQ(player->GetDurationMs(), duration(step));

    // Normal speed before the glide has finished turns back from where the speed is.
    player->ApplyCommand(CCuePlayer::kNormalSpeed);
    rig.RenderRefills(110);
    step = glide(step, 0.5, 10);
    EXPECT_EQ(player->GetDurationMs(), duration(step));
    EXPECT_LT(player->GetDurationMs(), 20000u);

    player->ApplyCommand(CCuePlayer::kSlowDown);
    rig.RenderRefills(400);
    step = glide(step, 0.5 * 0.6666666666666666, 290);
    EXPECT_EQ(player->GetDurationMs(), duration(step));
    EXPECT_GT(player->GetDurationMs(), 28000u);
}

TEST(CuePlayerControl, SeekingReturnsTheSpeedToNormalAndGlidesBack) {
    EngineRig rig;
    auto player = rig.Play(rig.WavCue("s.wav", Ramp16(441000, 1, 44100)));
    player->ApplyCommand(CCuePlayer::kSpeedUp);
    rig.RenderRefills(50);
    EXPECT_LT(player->GetDurationMs(), 9000u);

    player->SeekToPercent(50);
    EXPECT_EQ(player->GetDurationMs(), 10000u);
    EXPECT_EQ(player->GetElapsedMs(), 5000u);
    EXPECT_EQ(player->GetRemainingMs(), 5000u);
    rig.RenderRefills(51);
    EXPECT_LT(player->GetDurationMs(), 10000u) << "the raised target stays";

    // What was already in the buffer plays first; then source frame 220500 follows, blended
    // from the history of the old position.
    rig.RenderRefills(60);
    bool found = false;
    for (uint64_t k = 50 * kRefillFrames; k < 60 * kRefillFrames && !found; ++k) {
        found = rig.Left(k) == static_cast<int16_t>(1 + 220500 % 30000);
    }
    EXPECT_TRUE(found);
}

TEST(CuePlayerControl, TimeQueriesCountFramesReadAtTheCurrentSpeed) {
    EngineRig rig;
    Format f;
    f.channels = 1;
    f.rate = 22050;
    CQRecord* cue = rig.WavCue("q.wav", Wav(f, QByteArray(100001 * 2, '\0')));
    auto player = rig.Prepare(cue, 50);
    // Start at 50 %: frame 50000 of 100001.
    EXPECT_EQ(player->GetElapsedMs(), 2267u);    // floor(50000 / 22.05)
    EXPECT_EQ(player->GetRemainingMs(), 2268u);  // ceil(50001 / 22.05)
    EXPECT_EQ(player->GetDurationMs(), 4536u);   // ceil(100001 / 22.05)
    player->Start();
    // The first fill reads 16384 output frames' worth: 8192 source frames at step 0.5.
    EXPECT_EQ(player->GetElapsedMs(), static_cast<uint32_t>((50000 + 8192) * 1000 / 22050));
    rig.RenderRefills(3);
    EXPECT_EQ(player->GetElapsedMs(),
              static_cast<uint32_t>((50000 + 8192 + 3 * 1024) * 1000 / 22050));
}

TEST(CuePlayerControl, StartAt100PercentEndsAtOnceWithoutSound) {
    EngineRig rig;
    CQRecord* cue = rig.WavCue("e.wav", Ramp16(30000, 2, 44100));
    auto player = rig.Play(cue, 100);
    ASSERT_TRUE(rig.log->WaitFor(player.get(), PLAYER_ENDED));
    rig.RenderRefills(10);
    EXPECT_TRUE(rig.SilentFrom(0));
    EXPECT_EQ(rig.log->Count(player.get(), PLAYER_STARTED), 1);
    EXPECT_EQ(cue->m_nPlayCount.load(), 0);
    EXPECT_EQ(player->GetDurationMs(), 681u);
}

TEST(CuePlayerControl, ALoopedCueWithoutSoundEndsAtAnyStep) {
    // A looped cue whose data chunk is empty has nothing to repeat: it ends like any cue
    // without sound, also when its step is below one frame per output frame.
    for (const uint32_t rate : {44100u, 22050u, 8000u}) {
        EngineRig rig;
        Format f;
        f.channels = 1;
        f.rate = rate;
        CQRecord* cue = rig.WavCue("none.wav", Wav(f, QByteArray()), CQRecord::kFlagLooped);
        auto player = rig.Play(cue);
        ASSERT_TRUE(rig.RenderUntilEnded(player.get(), 20 * kRefillFrames)) << rate;
        EXPECT_TRUE(rig.SilentFrom(0)) << rate;
        EXPECT_EQ(cue->m_nPlayCount.load(), 0) << rate;
    }
}

TEST(CuePlayerControl, ASeekDoesNotUndoAKillOrASilencingFadeOut) {
    // The position bar may be released between the key and the refill that carries it out:
    // the cue still ends there, and is not left playing on (silently, for ever if looped).
    for (const unsigned command : {CCuePlayer::kKill, CCuePlayer::kStopAll, CCuePlayer::kFadeOut}) {
        EngineRig rig;
        CQRecord* cue = rig.WavCue("k.wav", Ramp16(200000, 2, 44100), CQRecord::kFlagLooped);
        cue->m_dwFadeOut = 0;
        auto player = rig.Play(cue);
        rig.RenderRefills(3);
        player->ApplyCommand(command);
        player->SeekToPercent(40);
        ASSERT_TRUE(rig.RenderUntilEnded(player.get(), 20 * kRefillFrames)) << command;
        EXPECT_EQ(rig.log->FrameOf(player.get(), PLAYER_ENDED), 4 * kRefillFrames) << command;
        EXPECT_TRUE(rig.SilentFrom(4 * kRefillFrames)) << command;
        EXPECT_EQ(cue->m_nPlayCount.load(), 0) << command;
    }
}

}  // namespace
