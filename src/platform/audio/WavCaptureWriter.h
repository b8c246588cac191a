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

    static constexpr uint32_t kMarkSlots = 4096;  // 20 s of marks at one per 256-frame period

    // Before Open: also write a text file of time marks at `path`, one line per MarkTime: the
    // frame of the capture the next pushed frame becomes, a tab, and the wall-clock time given
    // (nanoseconds since 1970). They relate what the capture holds to moments outside it.
    void SetTimeMarksPath(std::string path) { m_marksPath = std::move(path); }
    bool HasTimeMarks() const { return !m_marksPath.empty(); }

    // Creates the file with an empty data chunk and starts the writer thread.
    bool Open(std::string* error);
    // Clock thread: queues frames of GetChannels() samples each; never blocks, never allocates.
    // Frames that do not fit are dropped and counted.
    void Push(const int16_t* frames, uint32_t count);
    // Clock thread: the frames pushed next were made at `wallNs`. Never blocks, never allocates;
    // a mark that does not fit is dropped.
    void MarkTime(int64_t wallNs);
    // Writes everything queued, finishes the header and closes the file.
    void Close();

    uint64_t GetDroppedFrames() const { return m_dropped.load(std::memory_order_relaxed); }
    const std::string& GetPath() const { return m_path; }
    uint32_t GetChannels() const { return m_channels; }

private:
    void WriterLoop();
    bool Drain();
    void DrainMarks();
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

    struct Mark {
        uint64_t frame = 0;
        int64_t wallNs = 0;
    };
    std::string m_marksPath;
    int m_marksFd = -1;
    int64_t m_marksBytes = 0;                   // writer thread (and Close after the join)
    std::unique_ptr<Mark[]> m_marks;            // kMarkSlots, when marks are written
    std::atomic<uint64_t> m_markWriteIndex{0};  // marks made (clock thread)
    std::atomic<uint64_t> m_markReadIndex{0};   // marks written out (writer thread)

    std::thread m_thread;
    std::mutex m_wakeMutex;
    std::condition_variable m_wake;
    bool m_stop = false;  // guarded by m_wakeMutex
};
