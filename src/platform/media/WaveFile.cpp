#include "platform/media/WaveFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>

namespace {

constexpr uint32_t kRiff = MakeFourCC('R', 'I', 'F', 'F');
constexpr uint32_t kWave = MakeFourCC('W', 'A', 'V', 'E');
constexpr uint32_t kFmt = MakeFourCC('f', 'm', 't', ' ');
constexpr uint32_t kData = MakeFourCC('d', 'a', 't', 'a');

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// The offset just past a chunk whose contents start at `dataOffset` (with its pad byte).
int64_t ChunkNext(int64_t dataOffset, uint32_t size) {
    return dataOffset + static_cast<int64_t>(size) + (size & 1);
}

}  // namespace

bool WaveFile::Open(const QByteArray& path) {
    Close();
    if (path.isEmpty() || path.contains('\0')) return false;
    // Non-blocking, so a FIFO named as a sound file cannot hang the caller in open() until
    // some writer turns up; only regular files are read, and those then block as usual.
    int fd;
    do {
        fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    m_fd = fd;
    m_length = static_cast<int64_t>(st.st_size);
    m_pos = 0;
    m_bufStart = m_bufEnd = 0;
    return true;
}

void WaveFile::Close() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    m_length = 0;
    m_pos = 0;
    m_buffer.reset();
    m_bufSize = 0;
    m_bufStart = m_bufEnd = 0;
}

int64_t WaveFile::Seek(int64_t offset, Origin origin) {
    int64_t base = 0;
    switch (origin) {
        case Origin::Set:
            base = 0;
            break;
        case Origin::Current:
            base = m_pos;
            break;
        case Origin::End:
            base = m_length;
            break;
    }
    if (offset < 0 && base < -offset) return -1;
    if (offset > 0 && offset > INT64_MAX / 2 - base) return -1;
    m_pos = base + offset;
    return m_pos;
}

int64_t WaveFile::ReadAt(int64_t offset, uint8_t* dst, int64_t bytes) {
    if (m_fd < 0 || bytes <= 0 || offset >= m_length) return 0;
    bytes = std::min(bytes, m_length - offset);
    int64_t done = 0;
    while (done < bytes) {
        const ssize_t n = ::pread(m_fd, dst + done, static_cast<size_t>(bytes - done),
                                  static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
    }
    return done;
}

bool WaveFile::FillBuffer() {
    m_bufStart = m_pos;
    m_bufEnd = m_pos + ReadAt(m_pos, m_buffer.get(), m_bufSize);
    return m_bufEnd > m_bufStart;
}

bool WaveFile::SetBuffer(int64_t bytes) {
    if (bytes <= 0 || bytes > kMaxBufferBytes) return false;
    m_buffer.reset(new (std::nothrow) uint8_t[static_cast<size_t>(bytes)]);
    if (!m_buffer) {
        m_bufSize = 0;
        m_bufStart = m_bufEnd = 0;
        return false;
    }
    m_bufSize = bytes;
    FillBuffer();
    return true;
}

int64_t WaveFile::Read(void* dst, int64_t bytes) {
    if (bytes <= 0 || m_fd < 0) return 0;
    auto* out = static_cast<uint8_t*>(dst);
    int64_t done = 0;
    while (done < bytes) {
        if (m_buffer && m_pos >= m_bufStart && m_pos < m_bufEnd) {
            const int64_t n = std::min(bytes - done, m_bufEnd - m_pos);
            std::memcpy(out + done, m_buffer.get() + (m_pos - m_bufStart), static_cast<size_t>(n));
            m_pos += n;
            done += n;
            continue;
        }
        if (m_buffer && bytes - done < m_bufSize) {
            if (!FillBuffer()) break;
            continue;
        }
        const int64_t n = ReadAt(m_pos, out + done, bytes - done);
        if (n <= 0) break;
        m_pos += n;
        done += n;
    }
    return done;
}

bool WaveFile::ReadFrameSlow(uint8_t* dst, int bytes) {
    if (bytes <= 0 || m_fd < 0 || m_pos > m_length - bytes) return false;
    if (m_buffer && bytes <= m_bufSize) {
        if (!FillBuffer() || m_bufEnd - m_bufStart < bytes) return false;
        std::memcpy(dst, m_buffer.get(), static_cast<size_t>(bytes));
        m_pos += bytes;
        return true;
    }
    if (ReadAt(m_pos, dst, bytes) != bytes) return false;
    m_pos += bytes;
    return true;
}

bool WaveFile::ReadHeader(uint32_t* id, uint32_t* size) {
    uint8_t header[8];
    if (ReadAt(m_pos, header, 8) != 8) return false;
    *id = Le32(header);
    *size = Le32(header + 4);
    return true;
}

bool WaveFile::DescendRiff(uint32_t formType, Chunk* riff) {
    // Every pass moves at least 8 bytes on, so a hostile file cannot make this loop for ever.
    while (m_pos >= 0 && m_pos <= m_length - 8) {
        uint32_t id = 0;
        uint32_t size = 0;
        const int64_t start = m_pos;
        if (!ReadHeader(&id, &size)) return false;
        if (id == kRiff && size >= 4) {
            uint8_t form[4];
            if (ReadAt(start + 8, form, 4) != 4) return false;
            if (Le32(form) == formType) {
                riff->ckid = id;
                riff->cksize = size;
                riff->fccType = formType;
                riff->dataOffset = start + 12;
                riff->dataEnd = std::min(start + 8 + static_cast<int64_t>(size), m_length);
                m_pos = riff->dataOffset;
                return true;
            }
        }
        m_pos = ChunkNext(start + 8, size);
    }
    return false;
}

bool WaveFile::FindChunk(uint32_t ckid, const Chunk& parent, Chunk* chunk) {
    if (m_pos < parent.dataOffset) m_pos = parent.dataOffset;
    while (m_pos <= parent.dataEnd - 8) {
        uint32_t id = 0;
        uint32_t size = 0;
        const int64_t start = m_pos;
        if (!ReadHeader(&id, &size)) return false;
        if (id == ckid) {
            chunk->ckid = id;
            chunk->cksize = size;
            chunk->fccType = 0;
            chunk->dataOffset = start + 8;
            chunk->dataEnd = std::min(start + 8 + static_cast<int64_t>(size), m_length);
            m_pos = chunk->dataOffset;
            return true;
        }
        m_pos = ChunkNext(start + 8, size);
    }
    return false;
}

bool WaveFile::Ascend(const Chunk& chunk) {
    m_pos = ChunkNext(chunk.dataOffset, chunk.cksize);
    return true;
}

bool ReadWaveHeader(WaveFile& file, WaveFormat* format, int64_t* dataStart, int64_t* dataEnd) {
    if (!file.IsOpen() || file.Seek(0, WaveFile::Origin::Set) != 0) return false;
    WaveFile::Chunk riff;
    if (!file.DescendRiff(kWave, &riff)) return false;

    WaveFile::Chunk fmt;
    if (!file.FindChunk(kFmt, riff, &fmt)) return false;
    if (fmt.cksize < 16 || fmt.dataEnd - fmt.dataOffset < 16) return false;
    uint8_t raw[40] = {};
    const int64_t wanted = std::min<int64_t>(fmt.cksize, sizeof raw);
    const int64_t got = file.Read(raw, wanted);
    if (got < 16) return false;

    WaveFormat f;
    f.wFormatTag = Le16(raw);
    f.nChannels = Le16(raw + 2);
    f.nSamplesPerSec = Le32(raw + 4);
    f.nAvgBytesPerSec = Le32(raw + 8);
    f.nBlockAlign = Le16(raw + 12);
    f.wBitsPerSample = Le16(raw + 14);
    if (got >= 18) f.cbSize = Le16(raw + 16);
    if (f.wFormatTag == WaveFormat::kExtensible && got >= 40 && f.cbSize >= 22) {
        f.wValidBitsPerSample = Le16(raw + 18);
        f.wSubFormatTag = Le16(raw + 24);  // first two bytes of the sub-format GUID
    }
    file.Ascend(fmt);

    WaveFile::Chunk data;
    if (!file.FindChunk(kData, riff, &data)) {
        // Some writers put the samples before the format: look again from the start.
        file.Seek(riff.dataOffset, WaveFile::Origin::Set);
        if (!file.FindChunk(kData, riff, &data)) return false;
    }

    SampleDecoder decoder;
    if (!decoder.Configure(f)) return false;

    *format = f;
    *dataStart = data.dataOffset;
    *dataEnd = std::max(data.dataEnd, data.dataOffset);
    file.Seek(data.dataOffset, WaveFile::Origin::Set);
    return true;
}
