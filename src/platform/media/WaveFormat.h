#pragma once

#include <cstdint>

// The format record of a sound file or buffer, field for field as a RIFF "fmt " chunk stores it.
struct WaveFormat {
    static constexpr uint16_t kPcm = 1;
    static constexpr uint16_t kIeeeFloat = 3;
    static constexpr uint16_t kExtensible = 0xFFFE;

    uint16_t wFormatTag = 0;
    uint16_t nChannels = 0;
    uint32_t nSamplesPerSec = 0;
    uint32_t nAvgBytesPerSec = 0;
    uint16_t nBlockAlign = 0;
    uint16_t wBitsPerSample = 0;
    uint16_t cbSize = 0;
    // From WAVE_FORMAT_EXTENSIBLE only: the valid bits and the format tag of the sub-format.
    uint16_t wValidBitsPerSample = 0;
    uint16_t wSubFormatTag = 0;
};

// Turns one frame of a source file into a 16-bit left and right sample. Integer samples wider
// than 16 bits keep their top 16 bits; float samples are scaled by 32768, truncated and clipped;
// 8-bit samples are unsigned. A mono frame gives the same sample on both sides; frames with more
// than two channels give their first two.
class SampleDecoder {
public:
    enum class Kind { None, UInt8, Int16, Int24, Int32, Float32 };

    SampleDecoder() = default;

    // Decides how to read frames of `format`; false (and an unusable decoder) for formats that
    // cannot be played: compressed or unknown tags, no channels, no sample rate or one above
    // kMaxSampleRate, a block align that does not hold whole samples, more than kMaxChannels
    // channels.
    bool Configure(const WaveFormat& format);

    static constexpr int kMaxChannels = 32;
    // Above this a refill would read hundreds of thousands of source frames per output frame
    // while holding the player's lock, so that live commands wait for it.
    static constexpr uint32_t kMaxSampleRate = 1536000;

    Kind GetKind() const { return m_kind; }
    int GetChannels() const { return m_channels; }
    int GetBlockAlign() const { return m_blockAlign; }

    // `frame` holds GetBlockAlign() bytes.
    void Decode(const uint8_t* frame, int16_t& left, int16_t& right) const {
        left = DecodeSample(frame);
        right = m_channels == 1 ? left : DecodeSample(frame + m_sampleBytes);
    }

    int16_t DecodeSample(const uint8_t* p) const {
        switch (m_kind) {
            case Kind::UInt8:
                return static_cast<int16_t>((static_cast<int>(p[0]) - 128) * 256);
            case Kind::Int16:
                return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
            case Kind::Int24:
                return static_cast<int16_t>(static_cast<uint16_t>(p[1] | (p[2] << 8)));
            case Kind::Int32:
                return static_cast<int16_t>(static_cast<uint16_t>(p[2] | (p[3] << 8)));
            case Kind::Float32:
                return DecodeFloat(p);
            case Kind::None:
                break;
        }
        return 0;
    }

private:
    static int16_t DecodeFloat(const uint8_t* p);

    Kind m_kind = Kind::None;
    int m_channels = 0;
    int m_sampleBytes = 0;
    int m_blockAlign = 0;
};
