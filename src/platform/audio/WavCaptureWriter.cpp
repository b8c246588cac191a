#include "platform/audio/WavCaptureWriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

#include "platform/media/WaveHeader.h"

namespace {

bool WriteAll(int fd, const void* data, size_t bytes, off_t offset) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (bytes > 0) {
        const ssize_t n = pwrite(fd, p, bytes, offset);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        bytes -= static_cast<size_t>(n);
        offset += n;
    }
    return true;
}

}  // namespace

WavCaptureWriter::WavCaptureWriter(std::string path, uint32_t channels, uint32_t rate)
    : m_path(std::move(path)),
      m_channels(channels == 0 ? 2 : channels),
      m_rate(rate == 0 ? 44100 : rate),
      m_maxDataBytes((0xFFFFFFFFull - 36) / (2 * m_channels) * (2 * m_channels)),
      m_ring(new int16_t[static_cast<size_t>(kRingFrames) * m_channels]()) {}

WavCaptureWriter::~WavCaptureWriter() { Close(); }

bool WavCaptureWriter::Open(std::string* error) {
    m_fd = open(m_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (m_fd < 0) {
        if (error) *error = "Cannot create " + m_path + ": " + std::strerror(errno);
        return false;
    }
    if (!m_marksPath.empty()) {
        m_marksFd = open(m_marksPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (m_marksFd < 0) {
            if (error) *error = "Cannot create " + m_marksPath + ": " + std::strerror(errno);
            close(m_fd);
            m_fd = -1;
            return false;
        }
        m_marks.reset(new Mark[kMarkSlots]);
    }
    m_dataBytes = 0;
    WriteHeader();
    m_stop = false;
    m_thread = std::thread(&WavCaptureWriter::WriterLoop, this);
    return true;
}

void WavCaptureWriter::Push(const int16_t* frames, uint32_t count) {
    const uint64_t write = m_writeIndex.load(std::memory_order_relaxed);
    const uint64_t read = m_readIndex.load(std::memory_order_acquire);
    const uint64_t space = kRingFrames - (write - read);
    const uint32_t n = count <= space ? count : static_cast<uint32_t>(space);
    const size_t frameBytes = sizeof(int16_t) * m_channels;
    for (uint32_t i = 0; i < n; ++i) {
        std::memcpy(m_ring.get() + ((write + i) % kRingFrames) * m_channels,
                    frames + static_cast<size_t>(m_channels) * i, frameBytes);
    }
    m_writeIndex.store(write + n, std::memory_order_release);
    if (n < count) m_dropped.fetch_add(count - n, std::memory_order_relaxed);
}

void WavCaptureWriter::MarkTime(int64_t wallNs) {
    if (!m_marks) return;
    const uint64_t write = m_markWriteIndex.load(std::memory_order_relaxed);
    if (write - m_markReadIndex.load(std::memory_order_acquire) >= kMarkSlots) return;
    m_marks[write % kMarkSlots] = {m_writeIndex.load(std::memory_order_relaxed), wallNs};
    m_markWriteIndex.store(write + 1, std::memory_order_release);
}

void WavCaptureWriter::DrainMarks() {
    if (m_marksFd < 0) return;
    const uint64_t read = m_markReadIndex.load(std::memory_order_relaxed);
    const uint64_t write = m_markWriteIndex.load(std::memory_order_acquire);
    std::string text;
    for (uint64_t i = read; i < write; ++i) {
        const Mark& mark = m_marks[i % kMarkSlots];
        text += std::to_string(mark.frame) + '\t' + std::to_string(mark.wallNs) + '\n';
    }
    m_markReadIndex.store(write, std::memory_order_release);
    if (!text.empty() &&
        WriteAll(m_marksFd, text.data(), text.size(), static_cast<off_t>(m_marksBytes)))
        m_marksBytes += static_cast<int64_t>(text.size());
}

void WavCaptureWriter::WriterLoop() {
    std::unique_lock<std::mutex> lock(m_wakeMutex);
    while (!m_stop) {
        m_wake.wait_for(lock, std::chrono::milliseconds(100));
        lock.unlock();
        Drain();
        DrainMarks();
        lock.lock();
    }
}

bool WavCaptureWriter::Drain() {
    const uint64_t read = m_readIndex.load(std::memory_order_relaxed);
    const uint64_t write = m_writeIndex.load(std::memory_order_acquire);
    if (write == read) return true;
    uint64_t taken = read;
    bool ok = true;
    while (taken < write) {
        // Contiguous piece of the ring.
        const uint64_t start = taken % kRingFrames;
        const uint64_t n = std::min<uint64_t>(write - taken, kRingFrames - start);
        const uint64_t bytes = n * 2 * m_channels;
        if (!m_full && m_dataBytes + bytes <= m_maxDataBytes) {
            ok = WriteAll(m_fd, m_ring.get() + start * m_channels, bytes,
                          static_cast<off_t>(kWaveHeaderBytes + m_dataBytes)) &&
                 ok;
            if (ok) m_dataBytes += bytes;
        } else {
            m_full = true;
            m_dropped.fetch_add(n, std::memory_order_relaxed);
        }
        taken += n;
    }
    m_readIndex.store(taken, std::memory_order_release);
    WriteHeader();
    return ok;
}

void WavCaptureWriter::WriteHeader() {
    if (m_fd < 0) return;
    const auto h = PcmWaveHeader(static_cast<uint16_t>(m_channels), m_rate, 16,
                                 static_cast<uint32_t>(m_dataBytes));
    WriteAll(m_fd, h.data(), h.size(), 0);
}

void WavCaptureWriter::Close() {
    if (m_thread.joinable()) {
        {
            std::lock_guard<std::mutex> lock(m_wakeMutex);
            m_stop = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }
    if (m_fd >= 0) {
        Drain();
        WriteHeader();
        close(m_fd);
        m_fd = -1;
    }
    if (m_marksFd >= 0) {
        DrainMarks();
        close(m_marksFd);
        m_marksFd = -1;
    }
}
