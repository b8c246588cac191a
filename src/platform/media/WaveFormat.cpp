#include "platform/media/WaveFormat.h"

#include <cmath>
#include <cstring>

bool SampleDecoder::Configure(const WaveFormat& format) {
    m_kind = Kind::None;
    m_channels = 0;
    m_sampleBytes = 0;
    m_blockAlign = 0;

    const int channels = format.nChannels;
    if (channels < 1 || channels > kMaxChannels) return false;
    if (format.nSamplesPerSec == 0 || format.nSamplesPerSec > kMaxSampleRate) return false;
    if (format.nBlockAlign == 0 || format.nBlockAlign % channels != 0) return false;
    const int sampleBytes = format.nBlockAlign / channels;
    if (sampleBytes < 1 || sampleBytes > 4) return false;

    uint16_t tag = format.wFormatTag;
    if (tag == WaveFormat::kExtensible) tag = format.wSubFormatTag;
    const int bits = format.wBitsPerSample;

    Kind kind = Kind::None;
    if (tag == WaveFormat::kPcm) {
        // Samples narrower than their container are stored in its high bits, so reading the
        // container's top 16 bits is right for every valid-bit count.
        if (bits < 1 || bits > sampleBytes * 8) return false;
        static constexpr Kind kIntKinds[] = {Kind::UInt8, Kind::Int16, Kind::Int24, Kind::Int32};
        kind = kIntKinds[sampleBytes - 1];
    } else if (tag == WaveFormat::kIeeeFloat) {
        if (bits != 32 || sampleBytes != 4) return false;
        kind = Kind::Float32;
    } else {
        return false;  // compressed or unknown
    }

    m_kind = kind;
    m_channels = channels;
    m_sampleBytes = sampleBytes;
    m_blockAlign = format.nBlockAlign;
    return true;
}

int16_t SampleDecoder::DecodeFloat(const uint8_t* p) {
    float value;
    std::memcpy(&value, p, sizeof value);
    if (!std::isfinite(value)) return 0;  // NaN and infinities are no sound
    const double scaled = std::trunc(static_cast<double>(value) * 32768.0);
    if (scaled >= 32767.0) return 32767;
    if (scaled <= -32768.0) return -32768;
    return static_cast<int16_t>(scaled);
}
