// Cues on every sound format play through the same conversion as WAV cues: a lossless file
// renders sample for sample as the WAV of its samples, with the same seeks, speed changes,
// loops and times; a compressed file that cannot be decoded fails with the message, and a
// ".WAV" file that cannot be played fails quietly with its reason.
#include <gtest/gtest.h>

#include "engine/EngineRig.h"
#include "platform/media/TestSound.h"

namespace {

struct FormatCase {
    const char* name;
    int format;
    bool lossless;
};

const FormatCase kFormats[] = {
    {"c.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, true},
    {"c.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, true},
    {"c.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, false},
};

// What a run of one cue sounds like: the whole render, and the times read along the way.
struct CueRun {
    std::vector<int16_t> mix;
    uint32_t durationMs = 0;
    uint32_t remainingAtStart = 0;
    uint32_t elapsedAfterSeek = 0;
};

// Plays `cue` with a speed change after 3 refills, a seek to 60 % after 8 and normal speed
// after 12, to its end (a looped cue is killed at `maxFrames`).
CueRun PlayScripted(EngineRig& rig, CQRecord* cue, unsigned startPercent, uint64_t maxFrames) {
    CueRun run;
    auto player = rig.Play(cue, startPercent);
    run.durationMs = player->GetDurationMs();
    run.remainingAtStart = player->GetRemainingMs();
    rig.RenderRefills(3);
    player->ApplyCommand(CCuePlayer::kSpeedUp);
    rig.RenderRefills(8);
    player->SeekToPercent(60);
    run.elapsedAfterSeek = player->GetElapsedMs();
    rig.RenderRefills(12);
    player->ApplyCommand(CCuePlayer::kNormalSpeed);
    if ((cue->m_dwFlags & CQRecord::kFlagLooped) != 0) {
        rig.RenderTo(maxFrames);
        player->ApplyCommand(CCuePlayer::kKill);
    }
    EXPECT_TRUE(rig.RenderUntilEnded(player.get(), maxFrames + 40000));
    EXPECT_EQ(player->GetUnderrunCount(), 0u);
    player.reset();
    run.mix = rig.mix;
    return run;
}

double RelativeError(const std::vector<int16_t>& got, const std::vector<int16_t>& want) {
    double error = 0;
    double signal = 0;
    const size_t n = std::min(got.size(), want.size());
    for (size_t i = 0; i < n; ++i) {
        error += std::pow(double(got[i]) - want[i], 2);
        signal += std::pow(double(want[i]), 2);
    }
    return signal > 0 ? std::sqrt(error / signal) : 0;
}

TEST(CuePlayerFormats, RenderAsTheWavOfTheirSamplesThroughSeeksSpeedChangesAndLoops) {
    const std::vector<int16_t> samples = testsound::Tones(60000, 2);
    for (const uint32_t flags : {0u, CQRecord::kFlagLooped}) {
        for (const unsigned start : {0u, 25u}) {
            EngineRig wavRig;
            const QByteArray wav = testwav::Wav({.rate = 22050}, testwav::Samples16(samples));
            const CueRun want =
                PlayScripted(wavRig, wavRig.WavCue("c.wav", wav, flags), start, 300000);
            for (const FormatCase& f : kFormats) {
                SCOPED_TRACE(std::string(f.name) + (flags ? " looped" : "") + " from " +
                             std::to_string(start) + " %");
                EngineRig rig;
                const QByteArray path = rig.PathOf(f.name);
                ASSERT_TRUE(testsound::Write16(path, f.format, 2, 22050, samples));
                const CueRun got = PlayScripted(rig, rig.Cue(path, flags), start, 300000);
                EXPECT_EQ(got.durationMs, want.durationMs);
                EXPECT_EQ(got.remainingAtStart, want.remainingAtStart);
                EXPECT_EQ(got.elapsedAfterSeek, want.elapsedAfterSeek);
                ASSERT_EQ(got.mix.size(), want.mix.size());
                if (f.lossless) {
                    EXPECT_TRUE(got.mix == want.mix);
                } else {
                    EXPECT_LT(RelativeError(got.mix, want.mix), 0.05);
                }
            }
        }
    }
}

TEST(CuePlayerFormats, Mp3AndOpusCuesPlayAndSeekAtTheirOwnRates) {
    // An Opus file is always 48 kHz; an MP3 may carry its encoder's delay in front.
    const std::vector<int16_t> samples = testsound::Tones(48000, 2);
    const struct {
        const char* name;
        int format;
        int rate;
    } kCases[] = {
        {"m.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 44100},
        {"m.opus", SF_FORMAT_OGG | SF_FORMAT_OPUS, 48000},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        EngineRig rig;
        const QByteArray path = rig.PathOf(c.name);
        ASSERT_TRUE(testsound::Write16(path, c.format, 2, c.rate, samples));
        auto player = rig.Play(rig.Cue(path));
        EXPECT_EQ(player->GetDurationMs(),
                  static_cast<uint32_t>(std::ceil(48000 * 1000.0 / c.rate)));
        rig.RenderRefills(4);
        player->SeekToPercent(50);
        EXPECT_NEAR(player->GetElapsedMs(), 500.0 * 48000 / c.rate, 1.0);
        ASSERT_TRUE(rig.RenderUntilEnded(player.get(), 200000));
        EXPECT_EQ(player->GetUnderrunCount(), 0u);
        // Sound, not noise: the level stays near the source's (up to the last few
        // milliseconds, where an Opus encoder's cut-off overshoots).
        int peak = 0;
        for (size_t i = 0; i < rig.mix.size() * 9 / 10; ++i) {
            peak = std::max(peak, std::abs(int{rig.mix[i]}));
        }

        EXPECT_GT(peak, 9000);
        EXPECT_LT(peak, 14500);
    }
}

TEST(CuePlayerFormats, FilesThatCannotBeDecodedFailWithTheMessageOrQuietlyWithAReason) {
    EngineRig rig;
    const struct {
        const char* name;
        QByteArray bytes;
        bool box;
        const char* reason;
    } kCases[] = {
        {"noise.mp3", QByteArray(20000, '\x33'), true, nullptr},
        {"cut.flac", QByteArray("fLaC\0\0\0\x22", 8), true, nullptr},
        {"empty.ogg", QByteArray(), true, nullptr},
        {"double.WAV", testwav::Wav({.tag = 3, .bits = 64}, QByteArray(800, '\0')), false,
         "64-bit float WAV"},
        {"adpcm.wav", testwav::Wav({.tag = 2, .bits = 4, .blockAlign = 256}, QByteArray(512, 1)),
         false, "ADPCM WAV"},
        {"empty.wav", QByteArray(), false, "empty file"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        auto player = rig.Prepare(rig.Cue(rig.WriteFile(c.name, c.bytes)));
        EXPECT_TRUE(player->IsFailed());
        EXPECT_EQ(player->GetFailureMessage(),
                  c.box ? QStringLiteral("Cannot open WAV file - please check filename and path")
                        : QString());
        EXPECT_FALSE(player->GetFailureReason().isEmpty());
        if (c.reason) {
            EXPECT_EQ(player->GetFailureReason(), QString::fromLatin1(c.reason));
        }
    }
    auto missing = rig.Prepare(rig.Cue(rig.PathOf("nowhere.flac")));
    EXPECT_TRUE(missing->IsFailed());
    EXPECT_TRUE(missing->GetFailureReason().startsWith(QStringLiteral("File not found: ")));
}

TEST(CuePlayerFormats, DamagedCompressedCuesEndCleanlyWithSilenceAfter) {
    const std::vector<int16_t> samples = testsound::Tones(44100, 2);
    for (const FormatCase& f : kFormats) {
        for (const uint32_t flags : {0u, CQRecord::kFlagLooped}) {
            SCOPED_TRACE(f.name);
            EngineRig rig;
            const QByteArray path = rig.PathOf(f.name);
            ASSERT_TRUE(testsound::Write16(path, f.format, 2, 44100, samples));
            QFile file(QString::fromLocal8Bit(path));
            ASSERT_TRUE(file.open(QIODevice::ReadWrite));
            ASSERT_TRUE(file.resize(file.size() / 3));
            file.close();
            auto player = rig.Prepare(rig.Cue(path, flags));
            if (player->IsFailed()) continue;
            rig.log->SetStartFrame(player.get(), 0);
            player->Start();
            rig.RenderRefills(40);
            player->ApplyCommand(CCuePlayer::kKill);
            ASSERT_TRUE(rig.RenderUntilEnded(player.get(), 400000));
            const uint64_t end = rig.device->GetFramesRendered();
            player.reset();
            rig.RenderTo(end + 4096);
            EXPECT_TRUE(rig.SilentFrom(end));
        }
    }
}

}  // namespace
