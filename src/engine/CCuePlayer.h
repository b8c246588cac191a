#pragma once

#include <QString>
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/media/SoundReader.h"

class CQRecord;
class CSoundOutput;
class CCuePlayer;
class SoundBuffer;
class AutoResetEvent;

// Status codes a player's worker reports to its receiver.
inline constexpr int PLAYER_STARTED = 1;  // the worker begins, before its first refill
inline constexpr int PLAYER_ENDED = 2;    // the worker has stopped the buffer; delete the player
inline constexpr int PLAYER_FADED = 3;    // a fade-out has passed -40 dB for the first time

// Receives the status of players. The view implements it with a queued call to the UI thread.
class IPlayerStatusReceiver {
public:
    virtual ~IPlayerStatusReceiver() = default;

    // Called on the player's worker thread (PLAYER_ENDED also on the UI thread, inside Start,
    // when no worker thread could be started). Must not block and must not call back into the
    // player; `player` stays valid until the receiver's owner deletes it after PLAYER_ENDED.
    virtual void OnPlayerStatus(CCuePlayer* player, int status) = 0;
};

// How the operator is told that a player failed (the view shows the box, the engine never does).
enum class PlayerMessageIcon {
    None,   // a plain box with an OK button
    Error,  // the stop icon
};

// Plays one started cue: opens and prepares its sound file, streams it from a worker thread of
// its own into a sound buffer on the cue's channel, and carries out the live commands.
//
// Threads: the constructor, Start, SeekToPercent, ApplyCommand, the time queries and the
// destructor are called on the UI thread; Run is the worker thread's body.
class CCuePlayer {
public:
    // Live command identifiers understood by ApplyCommand (the program's command numbers).
    static constexpr unsigned kFadeIn = 32773;
    static constexpr unsigned kFadeOut = 32774;
    static constexpr unsigned kKill = 32775;
    static constexpr unsigned kSpeedUp = 32776;
    static constexpr unsigned kSlowDown = 32777;
    static constexpr unsigned kNormalSpeed = 32778;
    static constexpr unsigned kStopAll = 32779;
    static constexpr unsigned kVolUp = 32780;
    static constexpr unsigned kVolDown = 32781;

    // UI thread. Prepares the cue's sound starting at `startPercent` (0..100) of its length.
    // The player is then ready or failed (IsFailed). While `receiver` can be locked the worker
    // reports its status, and a worker that found it at its start counts itself in the cue's
    // play count until it ends; once it has expired the worker neither counts nor reports.
    // The cue must outlive the player.
    CCuePlayer(CQRecord* pCue, unsigned startPercent,
               std::weak_ptr<IPlayerStatusReceiver> receiver);
    // The same on a given audio output instead of theSoundOutput.
    CCuePlayer(CQRecord* pCue, unsigned startPercent, std::weak_ptr<IPlayerStatusReceiver> receiver,
               CSoundOutput& output);
    // UI thread. Stops the worker if one runs (at once, without waiting for the sound device),
    // joins it and frees the buffer and the file.
    ~CCuePlayer();

    CCuePlayer(const CCuePlayer&) = delete;
    CCuePlayer& operator=(const CCuePlayer&) = delete;

    // UI thread. Starts the worker, waits until the buffer holds its first 64 KiB of sound at
    // the right level, then sets the buffer playing as a ring. Once, on a ready player only.
    void Start();

    // UI thread. Moves the read position to `percent` (0..100) of the cue; the speed returns
    // to normal and glides back toward its target.
    void SeekToPercent(unsigned percent);

    // UI thread. Applies one live command (kFadeIn ... kVolDown); other ids are ignored.
    // The worker carries it out at its next refill.
    void ApplyCommand(unsigned id);

    // UI thread. Fade All: the level falls evenly in decibels from where it is to -80 dB over
    // `ms` milliseconds (at once when 0), and the cue then ends as at the end of a fade-out.
    // Level commands no longer hold or turn this fade.
    void FadeAll(uint32_t ms);

    // UI thread (lock-free). The level heard now in hundredths of a decibel (-10000: silent),
    // and the speed as a fraction of normal (1.0 normal, 1.5 sped up).
    int32_t GetLevel() const;
    double GetSpeedRatio() const;
    // UI thread (lock-free). Killed or stopped: silent, only its worker's end is to come.
    bool IsKilled() const;

    // UI thread (lock-free; a value one refill old is possible). Times at the current speed.
    uint32_t GetElapsedMs() const;
    uint32_t GetRemainingMs() const;
    uint32_t GetDurationMs() const;

    // Any thread. The cue this player plays.
    CQRecord* GetCue() const { return m_pCue; }

    // UI thread. A failed player never starts and never reports a status; the view shows
    // GetFailureMessage (when not empty) with GetFailureIcon and discards the player.
    bool IsFailed() const { return m_failed; }
    const QString& GetFailureMessage() const { return m_failureMessage; }
    PlayerMessageIcon GetFailureIcon() const { return m_failureIcon; }
    // UI thread. Why a failed player failed, in a few words for the status bar ("File not
    // found: ...", "64-bit float WAV"); empty when the player did not fail over its file.
    const QString& GetFailureReason() const { return m_failureReason; }

    // Any thread. Segments of the buffer that played before they were refilled (diagnostics).
    uint64_t GetUnderrunCount() const;

    // Any thread. Output frames of this player's buffer played so far, counted by the worker
    // one segment per notification; up to date whenever the player reports a status.
    uint64_t GetFramesPlayed() const { return m_framesPlayed.load(std::memory_order_acquire); }

    // Worker thread: the body of the streaming loop.
    void Run();

private:
    struct RefillResult {
        bool dataEnded = false;    // a read found no more data in this refill
        uint64_t framesToEnd = 0;  // output frames from this refill's start to the data's end
        bool stopNow = false;      // killed or faded out: end without playing out
        bool faded = false;        // PLAYER_FADED is due
        // The regions of the buffer written, published by Unlock after the status is reported.
        void* p1 = nullptr;
        void* p2 = nullptr;
        uint32_t n1 = 0;
        uint32_t n2 = 0;
        bool locked = false;
    };

    void Prepare(unsigned startPercent);
    void Fail(const QString& message, PlayerMessageIcon icon);
    double NormalStep() const;
    RefillResult Refill(int segment, bool draining);
    void WriteFrames(int16_t* out, uint32_t frames, bool draining, RefillResult& result);
    void StepLevel(RefillResult& result);
    void Report(int status);
    void Finish(bool counted);

    CQRecord* m_pCue;
    std::weak_ptr<IPlayerStatusReceiver> m_receiver;
    CSoundOutput& m_output;
    uint32_t m_sampleRate = 0;  // of the source, fixed once prepared
    std::unique_ptr<SoundBuffer> m_pBuffer;
    std::mutex m_lock;
    std::unique_ptr<SoundReader> m_reader;  // guarded by m_lock once the worker runs
    uint64_t m_totalFrames = 0;

    // Level state, guarded by m_lock.
    int32_t m_targetVolume = 0;
    int32_t m_volume = 0;
    int32_t m_fadeInMs = 0;
    int32_t m_fadeOutMs = 0;
    int32_t m_volumeRate = 0;
    bool m_fadingAll = false;  // Fade All: the rate is kept to the end

    // Read state, guarded by m_lock; m_step and m_framesRead are also read lock-free by the
    // time queries.
    double m_targetStep = 1.0;
    double m_readPos = 0.0;
    std::atomic<double> m_step{1.0};
    std::atomic<uint64_t> m_framesRead{0};
    int16_t m_prevLeft = 0, m_curLeft = 0, m_prevRight = 0, m_curRight = 0;
    bool m_killed = false;         // guarded by m_lock: the data was cut off, end at once
    bool m_workerStopped = false;  // guarded by m_lock: the worker has stopped the buffer

    std::thread m_thread;
    std::array<std::unique_ptr<AutoResetEvent>, 8> m_segmentEvents;
    std::unique_ptr<AutoResetEvent> m_readyEvent;
    std::unique_ptr<AutoResetEvent> m_stopEvent;  // the destructor's wake-up call

    // The data has ended, or the player failed or ended: set by the worker (and by the UI
    // thread for a failed player), read lock-free by the time queries.
    std::atomic<bool> m_finished{false};
    // Set by the destructor on the UI thread; the worker then reports nothing more.
    std::atomic<bool> m_stopRequested{false};
    // Written by the worker, one segment per notification; read by any thread.
    std::atomic<uint64_t> m_framesPlayed{0};
    bool m_fadeNotified = false;  // guarded by m_lock; set by the worker
    bool m_anyData = false;       // worker only: some source frame has been read

    bool m_failed = false;
    QString m_failureMessage;
    QString m_failureReason;
    PlayerMessageIcon m_failureIcon = PlayerMessageIcon::None;
};
