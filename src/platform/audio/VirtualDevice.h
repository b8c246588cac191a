#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "platform/audio/OutputDevice.h"

class WavCaptureWriter;

// A device driven by a real-time clock thread: every period it mixes one period of sound, as a
// sound card would, and optionally captures the mix to a WAV file (written by a writer thread
// of its own, so the clock thread does no I/O). The file is a valid WAV file at any moment
// after its first second, and complete after Close.
//
// Threads: Open/Close from the UI thread; the clock thread runs the mixer.
class VirtualDevice : public OutputDevice {
public:
    static constexpr uint32_t kDefaultPeriodFrames = 256;

    // capturePath empty: no capture. `outputs` and `rate` as OutputDevice's.
    VirtualDevice(std::string description, std::string capturePath = {},
                  uint32_t periodFrames = kDefaultPeriodFrames, uint32_t outputs = kChannels,
                  uint32_t rate = kSampleRate);
    ~VirtualDevice() override;

    bool Open() override;
    void Close() override;
    bool IsOpen() const override { return m_thread.joinable(); }
    uint32_t GetPeriodFrames() const override { return m_periodFrames; }

    const std::string& GetCapturePath() const { return m_capturePath; }
    // Before Open: the capture also gets a file of time marks (see WavCaptureWriter) beside it,
    // its name ending in ".times" instead of ".wav": the wall-clock time each period was mixed.
    void SetCaptureTimeMarks(bool on) { m_timeMarks = on; }
    std::string GetTimeMarksPath() const;
    // Periods the clock thread started late by more than one period (scheduling hiccups).
    uint64_t GetLatePeriods() const { return m_latePeriods.load(std::memory_order_relaxed); }
    // Frames of the mix the capture could not keep (writer fell behind); 0 in a healthy run.
    uint64_t GetDroppedCaptureFrames() const;

private:
    void ClockLoop();

    std::string m_capturePath;
    uint32_t m_periodFrames;
    bool m_timeMarks = false;
    std::unique_ptr<WavCaptureWriter> m_capture;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<uint64_t> m_latePeriods{0};
};
