#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// Captures a device's mix to a 16-bit WAV file of the device's outputs and rate. The device's clock
// thread pushes frames into a lock-free single-producer ring; a writer thread of its own appends
// them to the file and then rewrites the header sizes, so the header never claims more than the
// file holds and the file is a valid WAV file at any moment. Close drains the ring and writes the
// final header.
//
// Threads: Open/Close from the device's owner (UI thread); Push from the clock thread only.
class WavCaptureWriter {
public:
    static constexpr uint32_t kRingFrames = 44100 * 4;  // four seconds of slack

    explicit WavCaptureWriter(std::string path, uint32_t channels = 2, uint32_t rate = 44100);
    ~WavCaptureWriter();
    WavCaptureWriter(const WavCaptureWriter&) = delete;
    WavCaptureWriter& operator=(const WavCaptureWriter&) = delete;

    // Creates the file with an empty data chunk and starts the writer thread.
    bool Open(std::string* error);
    // Clock thread: queues frames of GetChannels() samples each; never blocks, never allocates.
    // Frames that do not fit are dropped and counted.
    void Push(const int16_t* frames, uint32_t count);
    // Writes everything queued, finishes the header and closes the file.
    void Close();

    uint64_t GetDroppedFrames() const { return m_dropped.load(std::memory_order_relaxed); }
    const std::string& GetPath() const { return m_path; }
    uint32_t GetChannels() const { return m_channels; }

private:
    void WriterLoop();
    bool Drain();
    void WriteHeader();

    std::string m_path;
    uint32_t m_channels;
    uint32_t m_rate;
    uint64_t m_maxDataBytes;  // whole frames within what a WAV header can state
    int m_fd = -1;
    uint64_t m_dataBytes = 0;  // writer thread (and Close after the join)
    bool m_full = false;       // the file reached the largest size a WAV header can state

    std::unique_ptr<int16_t[]> m_ring;      // kRingFrames frames of m_channels samples
    std::atomic<uint64_t> m_writeIndex{0};  // frames pushed (clock thread)
    std::atomic<uint64_t> m_readIndex{0};   // frames taken (writer thread)
    std::atomic<uint64_t> m_dropped{0};

    std::thread m_thread;
    std::mutex m_wakeMutex;
    std::condition_variable m_wake;
    bool m_stop = false;  // guarded by m_wakeMutex
};
