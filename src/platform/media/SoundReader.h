#pragma once

#include <QString>
#include <array>
#include <cstdint>

// A sound file opened for playing: its sample rate, channel count and length in frames, and
// its frames as 16-bit left and right samples from a position on. A mono file gives the same
// sample on both sides; a file with more than two channels gives its first two.
//
// Frames are decoded a block at a time into a small buffer the reader owns, so reading a frame
// costs a copy, and a long file is never decoded ahead of its play position.
//
// Threads: one thread at a time (a player's lock serialises its UI and worker threads).
class SoundReader {
public:
    // Frames decoded at a time.
    static constexpr uint32_t kBlockFrames = 1024;

    SoundReader() = default;
    virtual ~SoundReader() = default;
    SoundReader(const SoundReader&) = delete;
    SoundReader& operator=(const SoundReader&) = delete;

    uint32_t GetSampleRate() const { return m_sampleRate; }
    int GetChannels() const { return m_channels; }
    // The frames the file says it holds; decoding may end sooner when the file is damaged.
    uint64_t GetFrameCount() const { return m_frameCount; }
    // What kind of file this is, for the operator ("FLAC", "16-bit WAV").
    const QString& GetDescription() const { return m_description; }

    // The next frame; false at the end of the data, after SeekToEnd, or when the file cannot
    // be read further.
    bool ReadFrame(int16_t& left, int16_t& right) {
        if (m_next == m_count && !Refill()) return false;
        left = m_block[2 * m_next];
        right = m_block[2 * m_next + 1];
        ++m_next;
        return true;
    }

    // Moves to `frame` (0 = the first); frames beyond the end read nothing.
    void SeekToFrame(uint64_t frame) {
        m_next = m_count = 0;
        m_atEnd = !SeekSource(frame);
    }
    // Reads nothing more until the next SeekToFrame.
    void SeekToEnd() {
        m_next = m_count = 0;
        m_atEnd = true;
    }

protected:
    // Positions the source at `frame`; false when it cannot (it then reads nothing).
    virtual bool SeekSource(uint64_t frame) = 0;
    // Decodes up to `frames` frames (at most kBlockFrames) as left/right pairs into `stereo`;
    // returns how many, 0 at the end or on an error.
    virtual uint32_t Decode(int16_t* stereo, uint32_t frames) = 0;

    uint32_t m_sampleRate = 0;
    int m_channels = 0;
    uint64_t m_frameCount = 0;
    QString m_description;

private:
    bool Refill() {
        if (m_atEnd) return false;
        m_next = 0;
        m_count = Decode(m_block.data(), kBlockFrames);
        if (m_count == 0) m_atEnd = true;
        return m_count > 0;
    }

    std::array<int16_t, 2 * kBlockFrames> m_block{};
    uint32_t m_next = 0;
    uint32_t m_count = 0;
    bool m_atEnd = false;
};
