#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "platform/audio/OutputDevice.h"

// A device without a clock: the caller renders its mix on demand. Before mixing past a
// notification of a playing buffer it waits until that buffer's worker has refilled the
// segment it was last signalled for, so a render equals a real-time run without underruns,
// sample for sample. A worker that is gone costs one bounded wait, never a hang.
//
// Threads: Render is called by one rendering thread (the one that also drives the players'
// commands); the rest from the UI/control thread.
class OfflineDevice : public OutputDevice {
public:
    static constexpr std::chrono::milliseconds kDefaultRefillTimeout{5000};

    explicit OfflineDevice(std::string description, uint32_t outputs = kChannels);
    ~OfflineDevice() override;

    bool Open() override;
    void Close() override;
    bool IsOpen() const override { return m_open; }
    uint32_t GetPeriodFrames() const override { return 512; }

    // Mixes the next `frames` frames into out (GetOutputCount() * frames samples). Works
    // whether open or not.
    void Render(int16_t* out, uint32_t frames);
    std::vector<int16_t> Render(uint32_t frames);

    // Frames rendered so far: the device's output clock.
    uint64_t GetFramesRendered() const;
    // How long Render waits for one buffer's refill before giving up on that buffer.
    void SetRefillTimeout(std::chrono::milliseconds timeout) { m_refillTimeout = timeout; }
    // Number of refill waits that timed out (a worker that never refilled).
    uint64_t GetRefillTimeouts() const { return m_refillTimeouts; }

private:
    bool m_open = false;
    std::chrono::milliseconds m_refillTimeout = kDefaultRefillTimeout;
    uint64_t m_refillTimeouts = 0;
};
