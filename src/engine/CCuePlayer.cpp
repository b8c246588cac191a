#include "engine/CCuePlayer.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <system_error>

#include "cuelist/CQRecord.h"
#include "engine/CSoundOutput.h"
#include "platform/audio/SoundBuffer.h"
#include "platform/media/SoundFileOpener.h"
#include "platform/sync/AutoResetEvent.h"

namespace {

constexpr const char* kCannotOpen = "Cannot open WAV file - please check filename and path";

constexpr double kOneOver44100 = 0.000022675736961451248;
constexpr int kSegments = CSoundOutput::kSegmentCount;
constexpr uint32_t kSegmentFrames = CSoundOutput::kSegmentBytes / CSoundOutput::kFrameBytes;
constexpr uint32_t kBufferFrames = CSoundOutput::kBufferBytes / CSoundOutput::kFrameBytes;

constexpr int32_t kSilence = -10000;
constexpr int32_t kFadedLevel = -4000;  // PLAYER_FADED, and the fade-out rate doubles
constexpr int32_t kEndLevel = -8000;    // a fade-out ends the cue here
// The slowest fade-out that still moves the level by one hundredth per refill.
constexpr int64_t kSlowestFadeOutRate = -22;
// Fade times beyond a day are taken as a day (they come from files and may be anything).
constexpr int64_t kLongestFadeMs = 24LL * 3600 * 1000;
constexpr int kWorkerNice = -5;

int32_t ClampFadeMs(uint32_t ms) {
    return static_cast<int32_t>(std::min<int64_t>(ms, kLongestFadeMs));
}

int32_t ClampLevel(int64_t level) {
    return static_cast<int32_t>(std::clamp<int64_t>(level, kSilence, 0));
}

int16_t Interpolate(int16_t prev, int16_t cur, double wPrev, double wCur) {
    // Truncated toward zero, as the conversion of a double to an integer does.
    const int value = static_cast<int>(prev * wPrev + cur * wCur);
    return static_cast<int16_t>(std::clamp(value, -32768, 32767));
}

}  // namespace

CCuePlayer::CCuePlayer(CQRecord* pCue, unsigned startPercent,
                       std::weak_ptr<IPlayerStatusReceiver> receiver)
    : CCuePlayer(pCue, startPercent, std::move(receiver), theSoundOutput) {}

CCuePlayer::CCuePlayer(CQRecord* pCue, unsigned startPercent,
                       std::weak_ptr<IPlayerStatusReceiver> receiver, CSoundOutput& output)
    : m_pCue(pCue), m_receiver(std::move(receiver)), m_output(output) {
    Prepare(startPercent);
}

void CCuePlayer::Fail(const QString& message, PlayerMessageIcon icon) {
    m_failed = true;
    m_finished = true;
    m_failureMessage = message;
    m_failureIcon = icon;
}

double CCuePlayer::NormalStep() const { return m_sampleRate * kOneOver44100; }

void CCuePlayer::Prepare(unsigned startPercent) {
    std::array<AutoResetEvent*, kSegments> events{};
    for (int i = 0; i < kSegments; ++i) {
        m_segmentEvents[i] = std::make_unique<AutoResetEvent>();
        events[i] = m_segmentEvents[i].get();
    }
    m_readyEvent = std::make_unique<AutoResetEvent>();
    m_stopEvent = std::make_unique<AutoResetEvent>();

    if (m_pCue == nullptr) {
        Fail(QString::fromLatin1(kCannotOpen), PlayerMessageIcon::None);
        return;
    }
    mvmedia::OpenedSound opened = mvmedia::OpenSoundFile(m_pCue->m_strPath);
    if (!opened.reader) {
        // A ".WAV" file that cannot be played fails without a message, as it always has; the
        // reason is there for the status bar.
        const bool quiet = opened.error == mvmedia::OpenedSound::Error::NotPlayable;
        Fail(quiet ? QString() : QString::fromLatin1(kCannotOpen), PlayerMessageIcon::None);
        m_failureReason = opened.reason;
        return;
    }
    m_reader = std::move(opened.reader);
    m_sampleRate = m_reader->GetSampleRate();

    for (const auto& event : m_segmentEvents) {
        if (!event->IsValid()) {
            Fail(QString::fromLatin1(CSoundOutput::kCreateBufferFailed), PlayerMessageIcon::Error);
            return;
        }
    }
    if (!m_readyEvent->IsValid() || !m_stopEvent->IsValid()) {
        Fail(QString::fromLatin1(CSoundOutput::kCreateBufferFailed), PlayerMessageIcon::Error);
        return;
    }

    QString error;
    m_pBuffer = m_output.CreateBuffer(m_pCue->m_nChannel, events, &error);
    if (!m_pBuffer) {
        Fail(error, PlayerMessageIcon::Error);
        return;
    }

    m_totalFrames = m_reader->GetFrameCount();
    const uint64_t startFrame = m_totalFrames * std::min(startPercent, 100u) / 100;
    m_framesRead = startFrame;
    m_readPos = static_cast<double>(startFrame);
    if (startFrame != 0) m_reader->SeekToFrame(startFrame);

    m_targetVolume = ClampLevel(static_cast<int64_t>(m_pCue->m_nVolume) * 100);
    m_fadeInMs = ClampFadeMs(m_pCue->m_dwFadeIn);
    m_fadeOutMs = ClampFadeMs(m_pCue->m_dwFadeOut);
    m_targetStep = NormalStep();
    m_step = NormalStep();
    if (m_fadeInMs <= 0) {
        m_volume = m_targetVolume;
        m_volumeRate = 0;
    } else {
        m_volume = kSilence;
        m_volumeRate = static_cast<int32_t>((static_cast<int64_t>(m_targetVolume) - kSilence) *
                                            1000 / m_fadeInMs);
    }
    const int64_t pan = std::clamp<int64_t>(m_pCue->m_nPan, -100, 100) * 100;
    m_pBuffer->SetPan(static_cast<int32_t>(pan));
}

CCuePlayer::~CCuePlayer() {
    if (m_thread.joinable()) {
        // The worker wakes at once, without waiting for the device to play another segment,
        // and reports nothing more: its owner is the one deleting it.
        m_stopRequested = true;
        ApplyCommand(kStopAll);
        m_stopEvent->Set();
        m_thread.join();
    }
    m_pBuffer.reset();
    m_reader.reset();
}

void CCuePlayer::Start() {
    if (m_failed || m_thread.joinable()) return;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_step = NormalStep();
        m_prevLeft = m_curLeft = m_prevRight = m_curRight = 0;
        m_fadeNotified = false;
    }
    try {
        m_thread = std::thread([this] {
            // Above normal priority where the system allows it (it needs the right to raise it).
            setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), kWorkerNice);
            Run();
        });
    } catch (const std::system_error&) {
        // No thread to be had (the system's limit): the cue ends at once without sound, and
        // says so, so that its owner deletes it as it would any ended player.
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_workerStopped = true;
            m_finished = true;
        }
        m_pBuffer->SetRefillsExpected(false);
        Report(PLAYER_ENDED);
        return;
    }
    m_readyEvent->Wait();
    std::lock_guard<std::mutex> guard(m_lock);
    // A cue without any sound left may already have ended; never restart its buffer.
    if (!m_workerStopped) m_pBuffer->Play(true);
}

void CCuePlayer::SeekToPercent(unsigned percent) {
    if (m_failed) return;
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_finished || m_workerStopped) return;  // the worker reads no more
    // A cue killed (or silenced by a fade-out of no time) ends at the next refill; moving it
    // would bring it back, silent and, when looped, for ever.
    if (m_killed) return;
    const uint64_t frame = m_totalFrames * std::min(percent, 100u) / 100;
    m_framesRead = frame;
    m_readPos = static_cast<double>(frame);
    m_step = NormalStep();
    m_reader->SeekToFrame(frame);
}

void CCuePlayer::ApplyCommand(unsigned id) {
    if (m_failed) return;
    std::lock_guard<std::mutex> guard(m_lock);
    const double normal = NormalStep();
    // A fade-out past -40 dB has been reported, and the owner lists the player no more: no later
    // command could reach it. A level command that came just before the owner heard the report
    // must not hold or turn the fade, or the cue would sound on, looped for ever, out of reach.
    if (m_fadeNotified && (id == kFadeIn || id == kVolUp || id == kVolDown)) return;
    // Fade All takes every cue down together; only a kill or a stop cuts it short.
    if (m_fadingAll && (id == kFadeIn || id == kFadeOut || id == kVolUp || id == kVolDown)) return;
    switch (id) {
        case kFadeIn:
            if (m_fadeInMs != 0) {
                m_volumeRate = static_cast<int32_t>(
                    (static_cast<int64_t>(m_targetVolume) - m_volume) * 1000 / m_fadeInMs);
            } else {
                m_volumeRate = 0;
                m_volume = m_targetVolume;
            }
            break;
        case kFadeOut:
            if (m_fadeOutMs != 0) {
                int64_t rate = (static_cast<int64_t>(kFadedLevel) - m_volume) * 1000 / m_fadeOutMs;
                // A cue already near or below -40 dB would get no rate or a rising one: fade it
                // as a cue at full level would fade, so Fade out always ends the cue.
                if (rate > kSlowestFadeOutRate) {
                    rate = std::min<int64_t>(static_cast<int64_t>(kFadedLevel) * 1000 / m_fadeOutMs,
                                             kSlowestFadeOutRate);
                }
                m_volumeRate = static_cast<int32_t>(rate);
            } else {
                m_reader->SeekToEnd();
                m_killed = true;
                m_volume = kSilence;
                if (m_pBuffer) m_pBuffer->SetVolume(kSilence);
            }
            break;
        case kKill:
        case kStopAll:
            m_reader->SeekToEnd();
            m_killed = true;
            // Silent from the device's next period; the worker ends the cue at its refill.
            if (m_pBuffer) m_pBuffer->SilenceNow();
            break;
        case kSpeedUp:
            m_targetStep = normal * 1.5;
            break;
        case kSlowDown:
            m_targetStep = normal * 0.6666666666666666;
            break;
        case kNormalSpeed:
            m_targetStep = normal;
            break;
        case kVolUp:
            m_volume = m_volume < 0 ? std::min(m_volume + 100, 0) : 0;
            m_volumeRate = 0;
            break;
        case kVolDown:
            m_volume = m_volume > kSilence ? std::max(m_volume - 100, kSilence) : kSilence;
            m_volumeRate = 0;
            break;
        default:
            break;
    }
}

void CCuePlayer::FadeAll(uint32_t ms) {
    if (m_failed) return;
    std::lock_guard<std::mutex> guard(m_lock);
    // A cue whose data has ended still plays out its last segments: those fade too.
    if (m_killed || m_workerStopped) return;
    if (ms == 0) {
        m_reader->SeekToEnd();
        m_killed = true;
        m_volume = kSilence;
        if (m_pBuffer) m_pBuffer->SilenceNow();
        return;
    }
    m_fadingAll = true;
    const int64_t rate = (static_cast<int64_t>(kEndLevel) - std::max(m_volume, kEndLevel + 1)) *
                         1000 / static_cast<int64_t>(ms);
    m_volumeRate = static_cast<int32_t>(std::min<int64_t>(rate, -1));
}

int32_t CCuePlayer::GetLevel() const {
    if (!m_pBuffer || m_pBuffer->IsSilenced()) return kSilence;
    return m_pBuffer->GetVolume();
}

bool CCuePlayer::IsKilled() const { return m_pBuffer && m_pBuffer->IsSilenced(); }

double CCuePlayer::GetSpeedRatio() const {
    const double normal = NormalStep();
    return normal > 0 ? m_step.load(std::memory_order_relaxed) / normal : 1.0;
}

uint32_t CCuePlayer::GetElapsedMs() const {
    if (m_finished) return 0;
    const double rate = m_step.load(std::memory_order_relaxed) * 44100.0;
    if (!(rate > 0)) return 0;
    const double ms = std::floor(static_cast<double>(m_framesRead.load()) * 1000.0 / rate);
    return static_cast<uint32_t>(std::clamp(ms, 0.0, 4294967295.0));
}

uint32_t CCuePlayer::GetRemainingMs() const {
    if (m_finished) return 0;
    const double rate = m_step.load(std::memory_order_relaxed) * 44100.0;
    const uint64_t read = m_framesRead.load();
    if (!(rate > 0) || read >= m_totalFrames) return 0;
    const double ms = std::ceil(static_cast<double>(m_totalFrames - read) * 1000.0 / rate);
    return static_cast<uint32_t>(std::clamp(ms, 0.0, 4294967295.0));
}

uint32_t CCuePlayer::GetDurationMs() const {
    const double rate = m_step.load(std::memory_order_relaxed) * 44100.0;
    if (!(rate > 0)) return 0;
    const double ms = std::ceil(static_cast<double>(m_totalFrames) * 1000.0 / rate);
    return static_cast<uint32_t>(std::clamp(ms, 0.0, 4294967295.0));
}

uint64_t CCuePlayer::GetUnderrunCount() const {
    return m_pBuffer ? m_pBuffer->GetUnderrunCount() : 0;
}

void CCuePlayer::Report(int status) {
    if (m_stopRequested) return;
    if (auto receiver = m_receiver.lock()) receiver->OnPlayerStatus(this, status);
}

void CCuePlayer::Run() {
    // Worker thread. Status is reported before the refilled region is published, so an
    // offline device, which waits for that refill, sees every report at the frame it is due.
    bool counted = false;
    if (auto receiver = m_receiver.lock()) {
        m_pCue->m_nPlayCount.fetch_add(1);
        counted = true;
        receiver->OnPlayerStatus(this, PLAYER_STARTED);
    }

    std::array<AutoResetEvent*, kSegments + 1> waitSet{};
    for (int i = 0; i < kSegments; ++i) waitSet[i] = m_segmentEvents[i].get();
    waitSet[kSegments] = m_stopEvent.get();

    // At the natural end of the data the worker keeps refilling (with the decaying tail and
    // then silence) until everything written up to the end has been played, then stops.
    bool draining = false;
    uint64_t segmentsToPlay = 0;
    int segment = -1;
    for (;;) {
        if (draining && --segmentsToPlay == 0) {
            Finish(counted);  // the last segment with sound has been played
            return;
        }
        const RefillResult result = Refill(segment, draining);
        if (result.faded) Report(PLAYER_FADED);
        bool stop = result.stopNow || m_stopRequested;
        if (!stop && !draining && result.dataEnded) {
            if (m_anyData) {
                draining = true;
                // Frames queued ahead of this refill's region: the seven other segments, or
                // nothing on the first fill, which starts playing at its first frame.
                const uint64_t queued =
                    segment < 0 ? 0 : (kSegments - 1) * uint64_t{kSegmentFrames};
                segmentsToPlay =
                    (queued + result.framesToEnd + kSegmentFrames - 1) / kSegmentFrames;
            } else {
                stop = true;  // nothing was ever written: there is nothing to play out
            }
        }
        if (stop) Finish(counted);
        if (result.locked) m_pBuffer->Unlock(result.p1, result.n1, result.p2, result.n2);
        m_readyEvent->Set();  // the first time, this releases Start
        if (stop) return;

        const int index = WaitForAny(waitSet);
        if (index < 0 || index >= kSegments) break;  // a stop request or a failed wait
        // One notification is one segment played, and segments play in ring order. A worker
        // that fell behind may find two pending and be handed the lower index first (segment 0
        // before 7 at the wrap); refilling in ring order keeps the sound in order all the same.
        segment = segment < 0 ? index : (segment + 1) % kSegments;
        m_framesPlayed.fetch_add(kSegmentFrames, std::memory_order_acq_rel);
    }
    Finish(counted);
}

void CCuePlayer::Finish(bool counted) {
    // Worker thread: the cue has ended.
    if (counted) m_pCue->m_nPlayCount.fetch_sub(1);
    Report(PLAYER_ENDED);
    std::lock_guard<std::mutex> guard(m_lock);
    m_workerStopped = true;
    m_finished = true;
    m_pBuffer->Stop();
    m_pBuffer->SetRefillsExpected(false);
}

CCuePlayer::RefillResult CCuePlayer::Refill(int segment, bool draining) {
    // Worker thread: one pass of the streaming loop, the buffer's region still locked after it.
    RefillResult result;
    const uint32_t offset = segment < 0 ? 0 : static_cast<uint32_t>(segment) * kSegmentFrames * 4;
    const uint32_t bytes = segment < 0 ? kBufferFrames * 4 : kSegmentFrames * 4;
    result.locked = m_pBuffer->Lock(offset, bytes, &result.p1, &result.n1, &result.p2, &result.n2);

    std::lock_guard<std::mutex> guard(m_lock);
    if (result.locked) {
        // The frames of the first region, then those of the second.
        WriteFrames(static_cast<int16_t*>(result.p1), result.n1 / 4, draining, result);
        if (result.p2 != nullptr && result.n2 > 0) {
            WriteFrames(static_cast<int16_t*>(result.p2), result.n2 / 4, draining, result);
        }
    }
    // A region that cannot be locked skips this refill: the segment plays what it held.

    // Speed glide: 1 % of the remaining distance per refill.
    const double step = m_step.load(std::memory_order_relaxed);
    if (m_targetStep > step) {
        m_step = step + (m_targetStep - step) * 0.01;
    } else if (m_targetStep < step) {
        m_step = step - (step - m_targetStep) * 0.01;
    }

    StepLevel(result);
    // Kill and Stop All cut the sound off at this refill, whether or not it came to read a
    // frame (a very slow step may read none) and also while the end of the data plays out.
    if (m_killed) result.stopNow = true;
    // The device has gone: nothing will ask for another refill, so end now, as a kill would.
    if (m_pBuffer->IsAbandoned()) result.stopNow = true;
    return result;
}

void CCuePlayer::StepLevel(RefillResult& result) {
    // The level change over one refill, in 64 bits: short fades have rates of millions.
    const int64_t delta = static_cast<int64_t>(m_volumeRate) * kSegmentFrames / 44100;
    int64_t level = static_cast<int64_t>(m_volume) + delta;
    if (m_fadeInMs != 0 && level > m_targetVolume) level = m_targetVolume;
    m_volume = ClampLevel(level);
    m_pBuffer->SetVolume(m_volume);

    if (m_volumeRate < 0) {
        if (m_volume <= kFadedLevel && !m_fadeNotified) {
            m_fadeNotified = true;
            result.faded = true;
            // A fade-out hurries once past -40 dB; Fade All keeps its even pace to the end.
            if (!m_fadingAll)
                m_volumeRate = static_cast<int32_t>(std::max<int64_t>(
                    static_cast<int64_t>(m_volumeRate) * 2, std::numeric_limits<int32_t>::min()));
        }
        if (m_volume <= kEndLevel) {
            m_finished = true;
            result.stopNow = true;
        }
    }
}

void CCuePlayer::WriteFrames(int16_t* out, uint32_t frames, bool draining, RefillResult& result) {
    // Worker thread, under m_lock. Linear interpolation between the two newest source frames
    // at the current step, with the file read frame by frame through its reader's block.
    const uint64_t total = m_totalFrames;
    const bool stereo = m_reader->GetChannels() != 1;
    const double step = m_step.load(std::memory_order_relaxed);
    double readPos = m_readPos;
    uint64_t framesRead = m_framesRead.load(std::memory_order_relaxed);
    int16_t prevL = m_prevLeft, curL = m_curLeft, prevR = m_prevRight, curR = m_curRight;

    for (uint32_t i = 0; i < frames; ++i, out += 2) {
        const double n = static_cast<double>(framesRead);
        const double wPrev = n + 1.0 - readPos;
        const double wCur = readPos - n;
        out[0] = Interpolate(prevL, curL, wPrev, wCur);
        out[1] = stereo ? Interpolate(prevR, curR, wPrev, wCur) : out[0];

        readPos += step;
        auto m = static_cast<uint64_t>(readPos);
        // A killed cue does not restart: that would take its file back from the end. A cue
        // without a frame has nothing to repeat: it ends as it would unlooped.
        if (!draining && !m_killed && total > 0 && m >= total &&
            (m_pCue->m_dwFlags.load(std::memory_order_relaxed) & CQRecord::kFlagLooped) != 0) {
            // Loop: the frames between the old read position and the end are skipped.
            framesRead = 0;
            readPos = step;
            m = static_cast<uint64_t>(step);
            m_reader->SeekToFrame(0);
        }
        while (framesRead < m) {
            int16_t left = 0;
            int16_t right = 0;
            if (!draining && framesRead < total && m_reader->ReadFrame(left, right)) {
                m_anyData = true;
            } else if (!result.dataEnded && !draining) {
                result.dataEnded = true;
                m_finished = true;
                // This frame and the decaying tail of the interpolation still carry sound.
                result.framesToEnd = result.framesToEnd + i + 2 + static_cast<uint64_t>(1.0 / step);
            }
            prevL = curL;
            curL = left;
            prevR = curR;
            curR = stereo ? right : left;
            ++framesRead;
        }
    }
    if (!result.dataEnded) result.framesToEnd += frames;

    m_readPos = readPos;
    m_framesRead.store(framesRead, std::memory_order_relaxed);
    m_prevLeft = prevL;
    m_curLeft = curL;
    m_prevRight = prevR;
    m_curRight = curR;
}
