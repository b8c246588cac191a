#include "platform/media/WaveReader.h"

#include <cstring>

namespace {

constexpr int64_t kReadBufferFrames = 4096;

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

QString DescribeFormat(const WaveFormat& f) {
    uint16_t tag = f.wFormatTag;
    if (tag == WaveFormat::kExtensible) tag = f.wSubFormatTag;
    if (f.nChannels == 0 || f.nChannels > SampleDecoder::kMaxChannels) {
        return QStringLiteral("WAV with %1 channels").arg(f.nChannels);
    }
    if (f.nSamplesPerSec == 0 || f.nSamplesPerSec > SampleDecoder::kMaxSampleRate) {
        return QStringLiteral("WAV at %1 frames per second").arg(f.nSamplesPerSec);
    }
    switch (tag) {
        case WaveFormat::kPcm:
            if (f.wBitsPerSample > 32) return QStringLiteral("%1-bit WAV").arg(f.wBitsPerSample);
            break;
        case WaveFormat::kIeeeFloat:
            if (f.wBitsPerSample != 32) {
                return QStringLiteral("%1-bit float WAV").arg(f.wBitsPerSample);
            }
            break;
        case 0x0002:
            return QStringLiteral("ADPCM WAV");
        case 0x0006:
            return QStringLiteral("A-law WAV");
        case 0x0007:
            return QStringLiteral("\u00b5-law WAV");
        case 0x0011:
            return QStringLiteral("IMA ADPCM WAV");
        case 0x0031:
            return QStringLiteral("GSM WAV");
        case 0x0050:
        case 0x0055:
            return QStringLiteral("MPEG audio in a WAV file");
        default:
            return QStringLiteral("compressed WAV (format 0x%1)")
                .arg(QString::number(tag, 16).toUpper().rightJustified(4, QLatin1Char('0')));
    }
    return QStringLiteral("damaged WAV format chunk");
}

}  // namespace

WaveReader::WaveReader(std::unique_ptr<WaveFile> file) : m_file(std::move(file)) {}

bool WaveReader::OpenWave() {
    int64_t dataEnd = 0;
    if (!ReadWaveHeader(*m_file, &m_format, &m_dataStart, &dataEnd)) return false;
    if (!Configure()) return false;
    m_frameCount = static_cast<uint64_t>(std::max<int64_t>(dataEnd - m_dataStart, 0)) /
                   static_cast<uint64_t>(m_format.nBlockAlign);
    const char* kind = m_decoder.GetKind() == SampleDecoder::Kind::Float32 ? "float " : "";
    m_description =
        QStringLiteral("%1-bit %2WAV").arg(m_format.wBitsPerSample).arg(QLatin1String(kind));
    return true;
}

bool WaveReader::OpenRaw() {
    m_format = WaveFormat{};
    m_format.wFormatTag = WaveFormat::kPcm;
    m_format.nChannels = 1;
    m_format.nSamplesPerSec = 22050;
    m_format.nAvgBytesPerSec = 44100;
    m_format.nBlockAlign = 2;
    m_format.wBitsPerSample = 16;
    m_dataStart = 0;
    if (!Configure()) return false;
    // A file whose length is odd loses its last byte.
    m_frameCount = static_cast<uint64_t>(m_file->GetLength()) / 2;
    m_description = QStringLiteral("raw 16-bit sound");
    return true;
}

bool WaveReader::Configure() {
    if (!m_decoder.Configure(m_format)) return false;
    m_sampleRate = m_format.nSamplesPerSec;
    m_channels = m_decoder.GetChannels();
    if (!m_file->SetBuffer(static_cast<int64_t>(m_format.nBlockAlign) * kReadBufferFrames)) {
        return false;
    }
    SeekToFrame(0);
    return true;
}

bool WaveReader::SeekSource(uint64_t frame) {
    if (frame > m_frameCount) frame = m_frameCount;
    m_frame = frame;
    return m_file->Seek(m_dataStart + static_cast<int64_t>(frame) * m_format.nBlockAlign,
                        WaveFile::Origin::Set) >= 0;
}

uint32_t WaveReader::Decode(int16_t* stereo, uint32_t frames) {
    // Never past the data chunk: what follows it is no sound.
    const uint64_t left = m_frameCount > m_frame ? m_frameCount - m_frame : 0;
    if (frames > left) frames = static_cast<uint32_t>(left);
    const int blockAlign = m_decoder.GetBlockAlign();
    uint8_t frame[SampleDecoder::kMaxChannels * 4];
    uint32_t done = 0;
    for (; done < frames; ++done) {
        if (!m_file->ReadFrame(frame, blockAlign)) break;
        m_decoder.Decode(frame, stereo[2 * done], stereo[2 * done + 1]);
    }
    m_frame += done;
    return done;
}

QString DescribeUnplayableWave(WaveFile& file) {
    if (file.GetLength() == 0) return QStringLiteral("empty file");
    uint8_t head[12] = {};
    file.Seek(0, WaveFile::Origin::Set);
    const int64_t got = file.Read(head, sizeof head);
    if (got >= 4 && std::memcmp(head, "RF64", 4) == 0) return QStringLiteral("RF64 WAV");
    if (got >= 4 && std::memcmp(head, "riff", 4) == 0) return QStringLiteral("Wave64 file");
    if (got < 12 || std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0) {
        return QStringLiteral("not a RIFF WAVE file");
    }
    WaveFile::Chunk riff;
    file.Seek(0, WaveFile::Origin::Set);
    if (!file.DescendRiff(MakeFourCC('W', 'A', 'V', 'E'), &riff)) {
        return QStringLiteral("not a RIFF WAVE file");
    }
    WaveFile::Chunk fmt;
    if (!file.FindChunk(MakeFourCC('f', 'm', 't', ' '), riff, &fmt)) {
        return QStringLiteral("WAV without a format chunk");
    }
    uint8_t raw[40] = {};
    const int64_t wanted = std::min<int64_t>(fmt.cksize, sizeof raw);
    const int64_t n = fmt.cksize < 16 ? 0 : file.Read(raw, wanted);
    if (n < 16) return QStringLiteral("damaged WAV format chunk");
    WaveFormat f;
    f.wFormatTag = Le16(raw);
    f.nChannels = Le16(raw + 2);
    f.nSamplesPerSec =
        static_cast<uint32_t>(Le16(raw + 4)) | (static_cast<uint32_t>(Le16(raw + 6)) << 16);
    f.nBlockAlign = Le16(raw + 12);
    f.wBitsPerSample = Le16(raw + 14);
    if (n >= 18) f.cbSize = Le16(raw + 16);
    if (f.wFormatTag == WaveFormat::kExtensible && n >= 40 && f.cbSize >= 22) {
        f.wSubFormatTag = Le16(raw + 24);
    }
    SampleDecoder decoder;
    if (!decoder.Configure(f)) return DescribeFormat(f);
    file.Seek(riff.dataOffset, WaveFile::Origin::Set);
    WaveFile::Chunk data;
    if (!file.FindChunk(MakeFourCC('d', 'a', 't', 'a'), riff, &data)) {
        return QStringLiteral("WAV without sound data");
    }
    return QStringLiteral("damaged WAV file");
}
