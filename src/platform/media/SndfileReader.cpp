#include "platform/media/SndfileReader.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/media/WaveFormat.h"

namespace {

// Samples of all channels decoded at a time; a file with many channels reads fewer frames.
constexpr uint32_t kScratchSamples = 8 * SoundReader::kBlockFrames;
constexpr int64_t kFileBufferBytes = 64 * 1024;
// Frames decoded and dropped before the target of a seek in a lossy file (four MP3 frames).
constexpr uint64_t kLossyPreroll = 4 * 1152;
// libsndfile accepts up to 1024 channels; the first two play.
constexpr int kMaxChannels = 1024;

SndfileReader* Self(void* user) { return static_cast<SndfileReader*>(user); }

sf_count_t GetLength(void* user) { return Self(user)->VirtualLength(); }
sf_count_t Seek(sf_count_t offset, int whence, void* user) {
    return Self(user)->VirtualSeek(offset, whence);
}
sf_count_t Read(void* dst, sf_count_t count, void* user) {
    return Self(user)->VirtualRead(dst, count);
}
sf_count_t Write(const void*, sf_count_t, void*) { return 0; }
sf_count_t Tell(void* user) { return Self(user)->VirtualTell(); }

int16_t FromFloat(float value) {
    if (!std::isfinite(value)) return 0;
    const double scaled = std::trunc(static_cast<double>(value) * 32768.0);
    if (scaled >= 32767.0) return 32767;
    if (scaled <= -32768.0) return -32768;
    return static_cast<int16_t>(scaled);
}

QString MajorName(int format) {
    switch (format & SF_FORMAT_TYPEMASK) {
        case SF_FORMAT_AIFF:
            return QStringLiteral("AIFF");
        case SF_FORMAT_FLAC:
            return QStringLiteral("FLAC");
        case SF_FORMAT_OGG:
            switch (format & SF_FORMAT_SUBMASK) {
                case SF_FORMAT_OPUS:
                    return QStringLiteral("Ogg Opus");
                case SF_FORMAT_VORBIS:
                    return QStringLiteral("Ogg Vorbis");
                default:
                    return QStringLiteral("Ogg");
            }
        case SF_FORMAT_MPEG:
            return QStringLiteral("MP3");
        case SF_FORMAT_CAF:
            return QStringLiteral("CAF");
        case SF_FORMAT_W64:
            return QStringLiteral("Wave64");
        case SF_FORMAT_RF64:
            return QStringLiteral("RF64 WAV");
        case SF_FORMAT_WAV:
        case SF_FORMAT_WAVEX:
            return QStringLiteral("WAV");
        default: {
            SF_FORMAT_INFO info{};
            info.format = format & SF_FORMAT_TYPEMASK;
            if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) == 0 && info.name) {
                return QString::fromUtf8(info.name);
            }
            return QStringLiteral("sound file");
        }
    }
}

bool IsLossySubtype(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_VORBIS:
        case SF_FORMAT_OPUS:
        case SF_FORMAT_MPEG_LAYER_I:
        case SF_FORMAT_MPEG_LAYER_II:
        case SF_FORMAT_MPEG_LAYER_III:
            return true;
        default:
            return false;
    }
}

bool IsFloatSubtype(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_FLOAT:
        case SF_FORMAT_DOUBLE:
        case SF_FORMAT_VORBIS:
        case SF_FORMAT_OPUS:
        case SF_FORMAT_MPEG_LAYER_I:
        case SF_FORMAT_MPEG_LAYER_II:
        case SF_FORMAT_MPEG_LAYER_III:
            return true;
        default:
            return false;
    }
}

}  // namespace

SndfileReader::SndfileReader(std::unique_ptr<WaveFile> file) : m_file(std::move(file)) {}

SndfileReader::~SndfileReader() {
    if (m_sndfile != nullptr) sf_close(m_sndfile);
}

int64_t SndfileReader::VirtualSeek(int64_t offset, int whence) {
    const WaveFile::Origin origin = whence == SEEK_CUR   ? WaveFile::Origin::Current
                                    : whence == SEEK_END ? WaveFile::Origin::End
                                                         : WaveFile::Origin::Set;
    return m_file->Seek(offset, origin);
}

bool SndfileReader::Open(QString* error) {
    static SF_VIRTUAL_IO io = {GetLength, Seek, Read, Write, Tell};
    m_file->Seek(0, WaveFile::Origin::Set);
    // libsndfile reads in small pieces: serve them from one buffer.
    m_file->SetBuffer(kFileBufferBytes);
    SF_INFO info{};
    m_sndfile = sf_open_virtual(&io, SFM_READ, &info, this);
    if (m_sndfile == nullptr) {
        if (error) *error = QStringLiteral("contents not recognised");
        return false;
    }
    QString problem;
    if (info.channels < 1 || info.channels > kMaxChannels) {
        problem = QStringLiteral("sound file with %1 channels").arg(info.channels);
    } else if (info.samplerate < 1 ||
               static_cast<uint32_t>(info.samplerate) > SampleDecoder::kMaxSampleRate) {
        problem = QStringLiteral("sound file at %1 frames per second").arg(info.samplerate);
    } else if (info.frames < 0 || info.frames == SF_COUNT_MAX) {
        problem = QStringLiteral("sound file of unknown length");
    }
    if (!problem.isEmpty()) {
        sf_close(m_sndfile);
        m_sndfile = nullptr;
        if (error) *error = problem;
        return false;
    }
    m_sampleRate = static_cast<uint32_t>(info.samplerate);
    m_channels = info.channels;
    m_frameCount = static_cast<uint64_t>(info.frames);
    m_float = IsFloatSubtype(info.format);
    m_lossy = IsLossySubtype(info.format);
    m_scratchFrames = std::max<uint32_t>(1, kScratchSamples / static_cast<uint32_t>(m_channels));
    if (m_float) {
        m_floatScratch.reset(new float[kScratchSamples]);
    } else {
        m_intScratch.reset(new int32_t[kScratchSamples]);
    }
    m_description = MajorName(info.format);
    SeekToFrame(0);
    return true;
}

bool SndfileReader::SeekSource(uint64_t frame) {
    if (m_sndfile == nullptr) return false;
    if (frame >= m_frameCount) return false;
    if (!m_lossy) return sf_seek(m_sndfile, static_cast<sf_count_t>(frame), SEEK_SET) >= 0;
    // Lossy decoders land on the frame asked for only after decoding some sound before it:
    // MP3 needs its bit reservoir, and libsndfile's Vorbis seek misses near the last page.
    // Seek a little earlier and decode up to the frame.
    const uint64_t start = frame > kLossyPreroll ? frame - kLossyPreroll : 0;
    if (sf_seek(m_sndfile, static_cast<sf_count_t>(start), SEEK_SET) < 0) return false;
    for (uint64_t left = frame - start; left > 0;) {
        const auto n = static_cast<sf_count_t>(std::min<uint64_t>(left, m_scratchFrames));
        if (sf_readf_float(m_sndfile, m_floatScratch.get(), n) != n) return false;
        left -= static_cast<uint64_t>(n);
    }
    return true;
}

uint32_t SndfileReader::Decode(int16_t* stereo, uint32_t frames) {
    if (m_sndfile == nullptr) return 0;
    frames = std::min(frames, m_scratchFrames);
    const int channels = m_channels;
    const int right = channels == 1 ? 0 : 1;
    sf_count_t got = 0;
    if (m_float) {
        got = sf_readf_float(m_sndfile, m_floatScratch.get(), frames);
        for (sf_count_t i = 0; i < got; ++i) {
            const float* f = m_floatScratch.get() + i * channels;
            stereo[2 * i] = FromFloat(f[0]);
            stereo[2 * i + 1] = FromFloat(f[right]);
        }
    } else {
        got = sf_readf_int(m_sndfile, m_intScratch.get(), frames);
        for (sf_count_t i = 0; i < got; ++i) {
            const int32_t* s = m_intScratch.get() + i * channels;
            // The top 16 bits, as an arithmetic shift keeps them.
            stereo[2 * i] = static_cast<int16_t>(s[0] >> 16);
            stereo[2 * i + 1] = static_cast<int16_t>(s[right] >> 16);
        }
    }
    return got > 0 ? static_cast<uint32_t>(got) : 0;
}
