#pragma once

#include <array>
#include <cstdint>

// The 44 bytes that open a plain PCM WAV file: a RIFF header, a 16-byte "fmt " chunk and the
// head of a "data" chunk of `dataBytes` bytes. The caller keeps 36 + dataBytes within 32 bits.
inline constexpr int kWaveHeaderBytes = 44;
// The most sound such a file holds in whole 16-bit stereo frames: 36 + dataBytes fits in 32 bits.
inline constexpr uint64_t kMaxStereo16DataBytes = (0xFFFFFFFFull - 36) / 4 * 4;

inline std::array<char, kWaveHeaderBytes> PcmWaveHeader(uint16_t channels, uint32_t rate,
                                                        uint16_t bits, uint32_t dataBytes) {
    std::array<char, kWaveHeaderBytes> h{};
    int at = 0;
    const auto text = [&](const char(&id)[5]) {
        for (int i = 0; i < 4; ++i) h[at++] = id[i];
    };
    const auto le = [&](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) h[at++] = static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    const uint32_t blockAlign = channels * ((bits + 7u) / 8u);
    text("RIFF");
    le(36 + dataBytes, 4);
    text("WAVE");
    text("fmt ");
    le(16, 4);  // size of the format record
    le(1, 2);   // PCM
    le(channels, 2);
    le(rate, 4);
    le(rate * blockAlign, 4);  // bytes per second
    le(blockAlign, 2);
    le(bits, 2);
    text("data");
    le(dataBytes, 4);
    return h;
}
