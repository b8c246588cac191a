#pragma once

#include <QByteArray>
#include <cstdint>
#include <memory>

#include "platform/media/WaveFormat.h"

// Builds a four-character code as RIFF files store it ("fmt " is 'f','m','t',' ').
constexpr uint32_t MakeFourCC(char a, char b, char c, char d) {
    return static_cast<uint32_t>(static_cast<uint8_t>(a)) |
           (static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8) |
           (static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24);
}

// A sound file opened for reading: RIFF chunk navigation, seeks by byte offset and buffered
// reads of whole frames. Every size found in the file is checked against the file itself, so a
// hostile header can neither make the reader loop nor allocate without bound.
//
// Threads: one thread at a time (the player's lock serialises its UI and worker threads).
class WaveFile {
public:
    enum class Origin { Set, Current, End };

    struct Chunk {
        uint32_t ckid = 0;
        uint32_t cksize = 0;     // as stored
        uint32_t fccType = 0;    // form type of a RIFF chunk
        int64_t dataOffset = 0;  // file offset of the chunk's contents (after the form type)
        int64_t dataEnd = 0;     // end of the contents, clipped to the file's length
    };

    // Largest read buffer SetBuffer accepts.
    static constexpr int64_t kMaxBufferBytes = 16 * 1024 * 1024;

    WaveFile() = default;
    ~WaveFile() { Close(); }
    WaveFile(const WaveFile&) = delete;
    WaveFile& operator=(const WaveFile&) = delete;

    // Opens the file for reading; the path's bytes go to the file system unchanged.
    bool Open(const QByteArray& path);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }
    int64_t GetLength() const { return m_length; }

    // Moves the read position; returns the new position, or -1 (position unchanged) when the
    // result would lie before the start of the file. Positions past the end are allowed and
    // read nothing.
    int64_t Seek(int64_t offset, Origin origin);
    int64_t Tell() const { return m_pos; }

    // Reads up to `bytes` bytes; returns how many were read (fewer at the end of the file).
    int64_t Read(void* dst, int64_t bytes);

    // Reads exactly `bytes` bytes of one frame; false (position unchanged) when the file holds
    // fewer. Served from the read buffer, which is refilled from the file when it runs dry.
    bool ReadFrame(uint8_t* dst, int bytes) {
        if (m_pos >= m_bufStart && m_pos + bytes <= m_bufEnd) {
            const uint8_t* src = m_buffer.get() + (m_pos - m_bufStart);
            for (int i = 0; i < bytes; ++i) dst[i] = src[i];
            m_pos += bytes;
            return true;
        }
        return ReadFrameSlow(dst, bytes);
    }

    // Sets the size of the read buffer (allocated here, never while reading) and fills it from
    // the current position. False when the size is out of range.
    bool SetBuffer(int64_t bytes);

    // Finds, from the current position on, the top-level RIFF chunk of form type `formType` and
    // leaves the position at its first sub-chunk.
    bool DescendRiff(uint32_t formType, Chunk* riff);
    // Finds, from the current position on, the chunk `ckid` inside `parent` and leaves the
    // position at its contents.
    bool FindChunk(uint32_t ckid, const Chunk& parent, Chunk* chunk);
    // Positions the file just past `chunk` (and its pad byte).
    bool Ascend(const Chunk& chunk);

private:
    bool ReadFrameSlow(uint8_t* dst, int bytes);
    bool ReadHeader(uint32_t* id, uint32_t* size);
    bool FillBuffer();
    int64_t ReadAt(int64_t offset, uint8_t* dst, int64_t bytes);

    int m_fd = -1;
    int64_t m_length = 0;
    int64_t m_pos = 0;  // logical read position
    std::unique_ptr<uint8_t[]> m_buffer;
    int64_t m_bufSize = 0;
    int64_t m_bufStart = 0;  // file offset of m_buffer[0]
    int64_t m_bufEnd = 0;    // file offset just past the valid bytes
};

// Reads the header of a RIFF WAVE file from its start: the "fmt " chunk into `format` (the
// extensible fields when present) and the place of the "data" chunk's samples, clipped to the
// file. False for files that are not RIFF WAVE, miss either chunk, have a "fmt " chunk shorter
// than the basic record, or a format that cannot be played.
bool ReadWaveHeader(WaveFile& file, WaveFormat* format, int64_t* dataStart, int64_t* dataEnd);
